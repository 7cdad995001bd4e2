// VSYST_DateTime against the <chrono> calendar, its texts, formats, archive
// record and the clock call (hooked: no test moves the machine's clock).
#include "VSYST_DateTime.h"
#include "VSYST_RegistryKey.h"
#include "V_ASArchive.h"
#include "support/OrvTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <utility>

namespace {

using U8 = unsigned char;

VSYST_DateTime at(unsigned d, unsigned m, unsigned y, unsigned h = 0, unsigned mi = 0, unsigned s = 0)
{
    return VSYST_DateTime(U8(d), U8(m), static_cast<unsigned short>(y), U8(h), U8(mi), U8(s));
}

bool accepted(unsigned d, unsigned m, unsigned y, unsigned h = 0, unsigned mi = 0, unsigned s = 0)
{
    try {
        at(d, m, y, h, mi, s);
        return true;
    } catch (const VSYST_BadValue&) {
        return false;
    }
}

std::string fields(const VSYST_DateTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", t.getDay(), t.getMonth(), t.getYear(),
                  t.getHour(), t.getMinute(), t.getSecond());
    return text;
}

SYSTEMTIME s_clock[2] = {{2007, 12, 1, 24, 23, 59, 59, 999}, {2007, 12, 2, 25, 0, 0, 0, 0}};
void WINAPI readClock(SYSTEMTIME* st) { *st = s_clock[0]; std::swap(s_clock[0], s_clock[1]); }

SYSTEMTIME s_set;
BOOL s_setResult;
BOOL WINAPI recordSetLocalTime(const SYSTEMTIME* st)
{
    s_set = *st;
    return s_setResult;
}

}  // namespace

TEST(DateTime, EveryDayOfTheRangeAgainstTheCalendar)
{
    using namespace std::chrono;
    unsigned long previous = 0;
    for (sys_days d = sys_days{year{1985} / 1 / 1}; d <= sys_days{year{2048} / 12 / 31}; d += days{1}) {
        const year_month_day ymd{d};
        const unsigned y = unsigned(int(ymd.year())), m = unsigned(ymd.month()), day = unsigned(ymd.day());
        const VSYST_DateTime t = at(day, m, y, 23, 59, 59);
        ASSERT_TRUE(t.getDay() == day && t.getMonth() == m && t.getYear() == y && t.getHour() == 23 &&
                    t.getMinute() == 59 && t.getSecond() == 59 && weekday{d}.c_encoding() == unsigned(t.getDayOfWeek()))
            << day << "." << m << "." << y << ": " << fields(t) << ", day " << t.getDayOfWeek();
        // Later days pack to larger values, except where 1994 (code 63) turns into 1995 (code 0).
        ASSERT_TRUE(!previous || (y == 1995 && m == 1 && day == 1) || t.asTimeStamp() > previous) << fields(t);
        previous = t.asTimeStamp();
    }
    // Around every month's end, and with months and years just outside the range.
    for (unsigned y = 1984; y <= 2049; ++y)
        for (unsigned m = 0; m <= 13; ++m)
            for (unsigned d : {0u, 1u, 28u, 29u, 30u, 31u, 32u})
                ASSERT_EQ(y >= 1985 && y <= 2048 && (year(int(y)) / month(m) / day(d)).ok(), accepted(d, m, y))
                    << d << "." << m << "." << y;
}

TEST(DateTime, PackingComparisonsRecordAndClock)
{
    EXPECT_EQ(53ul, at(31, 12, 2048, 23, 59, 59).asTimeStamp() >> 26);
    EXPECT_EQ(59ul, at(1, 1, 1990).asTimeStamp() >> 26);
    EXPECT_GT(at(1, 1, 1990), at(1, 1, 2000));
    const VSYST_DateTime a = at(5, 6, 2010, 12, 30, 1), b = at(5, 6, 2010, 12, 30, 59), c = at(5, 6, 2010, 12, 31);
    EXPECT_TRUE(a == b && b == a && a <= b && a >= b && !(a != b) && !(a < b) && !(a > b));
    EXPECT_TRUE(a < c && a <= c && c > b && c >= b && a != c && !(a == c));
    EXPECT_FALSE(accepted(1, 1, 2000, 24, 0, 0) || accepted(1, 1, 2000, 0, 60, 0) || accepted(1, 1, 2000, 0, 0, 60));
    // Two-digit years: 85 to 99 are 1985 to 1999, the rest 2000 and later.
    const struct { unsigned y, year; } years[] = {{85, 1985}, {99, 1999}, {0, 2000}, {48, 2048}, {49, 0}, {84, 0}, {100, 0}};
    for (const auto& y : years)
        EXPECT_EQ(y.year, accepted(1, 1, y.y) ? at(1, 1, y.y).getYear() : 0u) << y.y;
    VSYST_DateTime n(a);
    EXPECT_TRUE(n.setNull() && n.asTimeStamp() == 0 && VSYST_DateTime(0x12345678ul).asTimeStamp() == 0x12345678ul);
    // The archive record: 4 bytes, little-endian.
    unsigned char bytes[4] = {};
    V_ASArchiveOut out(bytes, 4);
    at(1, 1, 1995, 0, 0, 1).serializeAsMember(out);
    EXPECT_EQ(std::string("\x01\x00\x42\x00", 4), std::string(reinterpret_cast<char*>(bytes), 4));
    VSYST_DateTime back(0ul);
    V_ASArchiveIn in(bytes, 4);
    back.deserializeAsMember(in);
    EXPECT_TRUE(back.asTimeStamp() == 0x00420001ul && in.position() == 4);

    // Now is one reading of the local clock, which here turns midnight at the next one.
    orvtest::IatHook clock("OrvCore_Rudaru20.dll", "kernel32.dll", "GetLocalTime", reinterpret_cast<void*>(&readClock));
    EXPECT_EQ("24.12.2007 23:59:59", fields(VSYST_DateTime()));

    // Setting the clock hands the value to the system, milliseconds 0.
    orvtest::IatHook hook("OrvCore_Rudaru20.dll", "kernel32.dll", "SetLocalTime",
                          reinterpret_cast<void*>(&recordSetLocalTime));
    for (BOOL result : {TRUE, FALSE}) {
        s_setResult = result;
        s_set.wMilliseconds = 999;
        EXPECT_EQ(result != FALSE, at(29, 2, 2004, 23, 59, 58).setLocalTime());
        EXPECT_EQ("29.02.2004 23:59:58", fields(at(s_set.wDay, s_set.wMonth, s_set.wYear, s_set.wHour, s_set.wMinute,
                                                   s_set.wSecond)));
        EXPECT_EQ(0, s_set.wDayOfWeek + s_set.wMilliseconds);
    }
}

TEST(DateTime, TextsByPosition)
{
    // What a value of 05.05.2005 05:05:05 holds afterwards; a trailing "!": it threw.
    const struct { const char* text; const char* after; } cases[] = {
        {"24.12.2007 18:30", "24.12.2007 18:30:00"}, {"24/12/2007", "24.12.2007 00:00:00"},
        {"31-12-2048T23h59m59s", "31.12.2048 23:59:59"}, {"01.01.85", "01.01.1985 00:00:00"},
        {"24.12.1999 7", "24.12.1999 00:00:00"}, {"24.12.1999 07:5", "24.12.1999 07:00:00"},
        {"24.12.07", "!"}, {"2007-12-24", "!"}, {"1.1.2000", "!"}, {"29.02.2005", "!"}, {"24.12.200", "!"},
        {"24.12.2", "!"}, {"24.12.x007", "!"}, {"xx.12.2007", "!"}, {"", "!"}, {"24.12.2007 18:x0", "!"},
        {"24.12.2007 24:00", "24.12.2007 05:05:05!"},   // the date is stored before the time is checked
    };
    for (const auto& c : cases) {
        VSYST_DateTime t = at(5, 5, 2005, 5, 5, 5);
        std::string after;
        try {
            EXPECT_TRUE(t.getDateOfString(c.text, 0));
            after = fields(t);
        } catch (const VSYST_BadValue&) {
            after = fields(t) == "05.05.2005 05:05:05" ? "!" : fields(t) + "!";
        }
        EXPECT_EQ(c.after, after) << c.text;
    }
}

// Sets the time format up as asked (none: no settings key; key: the key
// alone; else the value), prints the formats of 24.12.2007 13:05:09 and the stored value.
ORV_TEST_CHILD(timeFormat)
{
    orvtest::TestRegKey root("timeformat");
    if (RegOverridePredefKey(HKEY_CURRENT_USER, root.handle()) != ERROR_SUCCESS) return 3;
    const std::string mode = argv[0];
    VSYST_RegistryKey settings(VSYST_RSK_CurrentUserSettings, mode != "none");
    if (mode != "none" && mode != "key") settings.setStringValue("TimeFormat", mode.c_str());
    bool ok = false;
    const VSYST_DateTime t = at(24, 12, 2007, 13, 5, 9);
    std::printf("%s|%s|%s|", t.getDateShort().data(), t.getDateLong().data(), t.getTime().data());
    V_STRING stored = VSYST_RegistryKey(VSYST_RSK_CurrentUserSettings, false).getStringValue("TimeFormat", ok);
    std::printf("%s", ok ? stored.data() : "(none)");
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    return 0;
}

TEST(DateTime, FormatsAndTheTimeFormatSetting)
{
    // The user's locale follows the environment under Wine: English (United States).
    const std::string dates = "12/24/2007|Monday, December 24, 2007|";
    const struct { const char* mode; const char* out; } cases[] = {
        {"none", "13:05:09|(none)"}, {"key", "13:05:09|HH':'mm':'ss"}, {"H'h'mm", "13h05|H'h'mm"}};
    for (const auto& c : cases) {
        orvtest::ChildResult r = orvtest::runChild("timeFormat", {c.mode}, {"LC_ALL=en_US.UTF-8"});
        EXPECT_EQ(dates + c.out + " 0", r.out + " " + std::to_string(r.exitCode)) << c.mode;
    }
}
