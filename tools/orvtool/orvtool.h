// orvtool.h - command registry of the orvtool host program.
#ifndef ORVTOOL_H
#define ORVTOOL_H

#include <string>
#include <vector>

namespace orvtool {

using Args = std::vector<std::string>;
// A command returns the process exit status: 0 success, 1 failure, 2 usage error.
using CommandFn = int (*)(const Args& args);

// The usage and the examples are the command's whole contract with main():
// `--help` anywhere shows them (exit 0), and an option ("--word") the usage
// does not name is refused (exit 2) before the command runs. An option
// followed in the usage by an upper-case word takes a value.
struct Command {
    const char* name;
    const char* usage;      // its forms, one a line, without "orvtool "; a form whose
                            // second word is lower case is that sub-command's
    const char* summary;    // one sentence
    const char* example;    // one command line per sub-command (or one), one a line
    CommandFn run;
    const char* notes;      // more help text, or null
};

// Commands register themselves from their own source file.
struct Registrar {
    explicit Registrar(const Command& cmd);
};

const std::vector<Command>& commands();

// The tour (`orvtool tour`) is a sequence of steps, each contributed by the
// source file of the service it shows; steps run in ascending order.
// Order bands: 100 before start-up, 200 start-up (doInit), 250 logging and
// exceptions, 300-799 services, 900 shutdown (doExit), 950 the log file.
struct TourStep {
    int order;
    const char* title;
    int (*run)();   // 0 when the step went as expected
};
struct TourRegistrar {
    explicit TourRegistrar(const TourStep& step);
};
const std::vector<TourStep>& tourSteps();

// Writes "orvtool: <message>" and the command's usage to stderr; returns 2.
int usageError(const char* command, const std::string& message);
// Writes "orvtool: <message>" to stderr; returns 1.
int failure(const std::string& message);
// The system's text for an error code ("5: Access denied."), without the line break.
std::string systemReason(unsigned long code);

}  // namespace orvtool

#define ORVTOOL_COMMAND(ident, name, usage, summary, example, fn) \
    static const ::orvtool::Registrar ident##_registrar({name, usage, summary, example, fn, nullptr})
#define ORVTOOL_COMMAND_NOTES(ident, name, usage, summary, example, notes, fn) \
    static const ::orvtool::Registrar ident##_registrar({name, usage, summary, example, fn, notes})

#define ORVTOOL_TOUR_STEP(ident, order, title, fn) \
    static const ::orvtool::TourRegistrar ident##_tour({order, title, fn})

#endif
