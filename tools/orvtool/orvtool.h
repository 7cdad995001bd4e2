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

// Writes "orvtool: <message>" and the command's usage to stderr; returns 2.
int usageError(const char* command, const std::string& message);

}  // namespace orvtool

#define ORVTOOL_COMMAND(ident, name, synopsis, summary, fn) \
    static const ::orvtool::Registrar ident##_registrar({name, synopsis, summary, fn})

#endif
