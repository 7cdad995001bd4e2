// orvtool sym and orvtool uuid: packed symbols and new UUIDs.
#include "orvtool.h"

#include "VSYST_Symbol.h"
#include "V_UUID.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const unsigned long kMostUuids = 100000;

const char* const kSymNotes =
    "Packs each NAME as a twelve-character symbol and prints its two words\n"
    "(characters 1-6 and 7-12, base 39), the name decoded from them (upper case,\n"
    "cut at the first character outside $ 0-9 A-Z a-z _ and after twelve) and\n"
    "whether every character of NAME is in that alphabet. Exit status 1 when\n"
    "a name is not valid.";

int sym(const orvtool::Args& args)
{
    if (args.empty()) return orvtool::usageError("sym", "sym takes one or more names");
    int status = 0;
    for (const std::string& name : args) {
        const VSYST_Symbol12 s(name.c_str());
        const bool valid = VSYST_Symbol12::isValid(name.c_str());
        std::printf("%s: high %lu (0x%08lx) low %lu (0x%08lx) decoded \"%s\" %s%s\n", name.c_str(), s.high(),
                    s.high(), s.low(), s.low(), s.getName().data(), valid ? "valid" : "not valid",
                    valid && name.size() > 12 ? ", only the first 12 characters count" : "");
        if (!valid) status = 1;
    }
    return status;
}

int uuid(const orvtool::Args& args)
{
    if (args.size() > 1) return orvtool::usageError("uuid", "uuid takes at most one count");
    unsigned long n = 1;
    if (!args.empty()) {
        const char* text = args[0].c_str();
        char* end = nullptr;
        n = std::strtoul(text, &end, 10);
        if (!*text || *end || *text == '-' || *text == '+' || n == 0 || n > kMostUuids)
            return orvtool::usageError("uuid", "the count must be a whole number from 1 to 100000, not '" + args[0] + "'");
    }
    for (unsigned long i = 0; i < n; ++i) {
        V_UUID u;
        std::printf("%s\n", u.generate().asString().data());
    }
    return 0;
}

}  // namespace

ORVTOOL_COMMAND_NOTES(sym, "sym", "sym NAME...", "show the packed words, decoded form and validity of twelve-character symbols",
                      "sym LAYER_01", kSymNotes, sym);
ORVTOOL_COMMAND(uuid, "uuid", "uuid [N]", "print N new UUIDs (default 1, at most 100000) in the platform's text form",
                "uuid 3", uuid);
