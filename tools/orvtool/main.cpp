// orvtool - the host program of OrvCore: runs the library as a CAD host does
// and gives command-line access to its services.
#include "orvtool.h"

#include <windows.h>

#include <cctype>
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

static const Command* findCommand(const char* name)
{
    for (const Command& c : commands())
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

static std::vector<std::string> split(const char* text, char sep)
{
    std::vector<std::string> out;
    std::string piece;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p != sep) {
            piece += *p;
        } else if (!piece.empty()) {
            out.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) out.push_back(piece);
    return out;
}

// The second word of a form or example when it names a sub-command.
static std::string actionOf(const std::string& line)
{
    std::vector<std::string> words = split(line.c_str(), ' ');
    if (words.size() < 2) return std::string();
    for (char c : words[1])
        if (!std::islower(static_cast<unsigned char>(c)) && c != '-') return std::string();
    return words[1][0] == '-' ? std::string() : words[1];
}

// Lines of text whose action is action; all of them when none has it.
static std::vector<std::string> linesFor(const char* text, const std::string& action)
{
    std::vector<std::string> all = split(text, '\n'), picked;
    if (action.empty()) return all;
    for (const std::string& line : all)
        if (actionOf(line) == action) picked.push_back(line);
    return picked.empty() ? all : picked;
}

static void printOverview(FILE* out)
{
    std::fprintf(out, "usage: orvtool <command> [arguments]\n"
                      "       orvtool <command> [<action>] --help\n\ncommands:\n");
    for (const Command& c : commands())
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\nAn argument \"--\" ends the options: the words after it are taken as they are.\n"
                      "Exit status: 0 done, 1 failed (the message says what and why), 2 usage error.\n");
}

static void printUsage(FILE* out, const Command& c, const std::string& action)
{
    std::vector<std::string> forms = linesFor(c.usage, action);
    for (size_t i = 0; i < forms.size(); ++i)
        std::fprintf(out, "%s orvtool %s\n", i ? "      " : "usage:", forms[i].c_str());
}

static int printHelp(const Command& c, const std::string& action)
{
    printUsage(stdout, c, action);
    std::printf("\n%s\n", c.summary);
    if (c.notes) std::printf("\n%s\n", c.notes);
    std::vector<std::string> examples = linesFor(c.example, action);
    std::printf("\nexample%s:\n", examples.size() > 1 ? "s" : "");
    for (const std::string& e : examples) std::printf("  orvtool %s\n", e.c_str());
    return 0;
}

int usageError(const char* command, const std::string& message)
{
    std::fprintf(stderr, "orvtool: %s\n", message.c_str());
    const Command* c = command ? findCommand(command) : nullptr;
    if (c) printUsage(stderr, *c, std::string());
    else printOverview(stderr);
    return 2;
}

int failure(const std::string& message)
{
    std::fprintf(stderr, "orvtool: %s\n", message.c_str());
    return 1;
}

std::string systemReason(unsigned long code)
{
    char buf[512] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                             sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = 0;
    return std::to_string(code) + ": " + (n ? buf : "unknown error");
}

// Options the forms name: "--word", taking a value when an upper-case word follows.
static bool optionTakesValue(const std::vector<std::string>& forms, const std::string& option, bool& known)
{
    std::vector<std::string> words;
    for (const std::string& form : forms)
        for (std::string w : split(form.c_str(), ' ')) {
            while (!w.empty() && std::strchr("[]()|", w.back())) w.pop_back();
            while (!w.empty() && std::strchr("[]()|", w.front())) w.erase(0, 1);
            words.push_back(w);
        }
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != option) continue;
        known = true;
        return i + 1 < words.size() && std::isupper(static_cast<unsigned char>(words[i + 1][0]));
    }
    known = false;
    return false;
}

}  // namespace orvtool

int main(int argc, char** argv)
{
    using namespace orvtool;
    if (argc < 2) return usageError(nullptr, "no command given");
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        const Command* c = argc > 2 ? findCommand(argv[2]) : nullptr;
        if (argc > 2 && !c) return usageError(nullptr, std::string("unknown command '") + argv[2] + "'");
        if (c) return printHelp(*c, argc > 3 ? argv[3] : "");
        printOverview(stdout);
        return 0;
    }
    const Command* c = findCommand(name.c_str());
    if (!c) return usageError(nullptr, "unknown command '" + name + "'");

    // The options are checked against the forms of the action (the first word
    // that is neither an option nor its value), or of the command without one.
    const std::vector<std::string> allForms = split(c->usage, '\n');
    Args args;
    std::vector<std::string> options;
    std::string action;
    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (operandsOnly) {
            args.push_back(arg);
        } else if (arg == "--") {
            operandsOnly = true;
            continue;
        } else if (arg == "--help" || arg == "-h") {
            return printHelp(*c, action);
        } else if (arg.compare(0, 2, "--") == 0) {
            bool known = false;
            const bool takesValue = optionTakesValue(allForms, arg, known);
            options.push_back(arg);
            args.push_back(arg);
            if (takesValue && i + 1 < argc) args.push_back(argv[++i]);
            continue;
        } else {
            args.push_back(arg);
        }
        if (action.empty()) action = args.back();
    }
    const std::vector<std::string> forms = linesFor(c->usage, action);
    for (const std::string& option : options) {
        bool known = false;
        optionTakesValue(forms, option, known);
        if (!known) return usageError(c->name, "unknown option '" + option + "'");
    }
    return c->run(args);
}
