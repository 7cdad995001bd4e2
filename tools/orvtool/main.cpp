// orvtool - the host program of OrvCore: runs the library as a CAD host does
// and gives command-line access to its services.
#include "orvtool.h"

#include <cstdio>
#include <cstring>

namespace orvtool {

static std::vector<Command>& registry()
{
    static std::vector<Command> list;
    return list;
}

Registrar::Registrar(const Command& cmd)
{
    auto& list = registry();
    auto it = list.begin();
    while (it != list.end() && std::strcmp(it->name, cmd.name) < 0) ++it;
    list.insert(it, cmd);
}

const std::vector<Command>& commands() { return registry(); }

static std::vector<TourStep>& tourRegistry()
{
    static std::vector<TourStep> list;
    return list;
}

TourRegistrar::TourRegistrar(const TourStep& step)
{
    auto& list = tourRegistry();
    auto it = list.begin();
    while (it != list.end() && it->order <= step.order) ++it;
    list.insert(it, step);
}

const std::vector<TourStep>& tourSteps() { return tourRegistry(); }

static void printUsage(FILE* out)
{
    std::fprintf(out, "usage: orvtool <command> [arguments]\n\ncommands:\n");
    for (const Command& c : commands())
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\n");
    for (const Command& c : commands())
        std::fprintf(out, "  orvtool %s\n", c.synopsis);
    std::fprintf(out, "\n'orvtool --help' shows this text; it exits with status 2, as do usage errors.\n");
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "orvtool: %s\n", message.c_str());
    for (const Command& c : commands())
        if (command && std::strcmp(c.name, command) == 0)
            std::fprintf(stderr, "usage: orvtool %s\n", c.synopsis);
    if (!command) printUsage(stderr);
    return 2;
}

}  // namespace orvtool

int main(int argc, char** argv)
{
    using namespace orvtool;
    if (argc < 2) return usageError(nullptr, "no command given");
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 || std::strcmp(name, "help") == 0) {
        printUsage(stdout);
        return 2;   // hosts and scripts treat any request for usage as "nothing run"
    }
    for (const Command& c : commands()) {
        if (std::strcmp(c.name, name) == 0) {
            Args args(argv + 2, argv + argc);
            return c.run(args);
        }
    }
    return usageError(nullptr, std::string("unknown command '") + name + "'");
}
