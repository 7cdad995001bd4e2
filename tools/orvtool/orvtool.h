// orvtool.h - command registry of the orvtool host program.
#ifndef ORVTOOL_H
#define ORVTOOL_H

#include <string>
#include <vector>

namespace orvtool {

using Args = std::vector<std::string>;
// A command returns the process exit status: 0 success, 1 failure, 2 usage error.
using CommandFn = int (*)(const Args& args);

struct Command {
    const char* name;
    const char* synopsis;   // one usage line, without the program name
    const char* summary;    // one sentence
    CommandFn run;
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

}  // namespace orvtool

#define ORVTOOL_COMMAND(ident, name, synopsis, summary, fn) \
    static const ::orvtool::Registrar ident##_registrar({name, synopsis, summary, fn})

#define ORVTOOL_TOUR_STEP(ident, order, title, fn) \
    static const ::orvtool::TourRegistrar ident##_tour({order, title, fn})

#endif
