// orvtool date: the platform's packed date and time, parsed from a text or
// taken from the clock, in its three formats.
#include "orvtool.h"

#include "VSYST_DateTime.h"

#include <cstdio>

namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

int date(const orvtool::Args& args)
{
    if (args.size() > 1) return orvtool::usageError("date", "date takes at most one TEXT");
    VSYST_DateTime when(0ul);
    try {
        if (args.empty()) when = VSYST_DateTime();
        else when.getDateOfString(args[0].c_str(), 0);
    } catch (const VSYST_BadValue&) {
        if (args.empty()) return orvtool::failure("the clock lies outside 1985 to 2048");
        return orvtool::failure("\"" + args[0] + "\" is no date of the form DD.MM.YYYY[ HH:MM[:SS]] within 1985 to 2048");
    }
    std::printf("packed:      0x%08lX\n", when.asTimeStamp());
    std::printf("fields:      %02u.%02u.%04u %02u:%02u:%02u\n", when.getDay(), when.getMonth(), when.getYear(),
                when.getHour(), when.getMinute(), when.getSecond());
    std::printf("day:         %d (%s)\n", static_cast<int>(when.getDayOfWeek()), kDays[when.getDayOfWeek()]);
    std::printf("short date:  %s\n", when.getDateShort().data());
    std::printf("long date:   %s\n", when.getDateLong().data());
    std::printf("time:        %s\n", when.getTime().data());
    return 0;
}

}  // namespace

ORVTOOL_COMMAND(date, "date", "date [TEXT]",
                "parse \"DD.MM.YYYY HH:MM:SS\" (default: now) and show the packed value, the day and the formats",
                "date \"24.12.2026 18:30:00\"", date);
