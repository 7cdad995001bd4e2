// VSYST_DateTime: the packed local date and time.
#include "VSYST_DateTime.h"
#include "VSYST_RegistryKey.h"
#include "V_ASArchive.h"
#include "dllmain/OrvLock.h"

#include <windows.h>

#include <cstdio>

namespace {

const unsigned long kYearShift = 26, kMonthShift = 22, kDayShift = 17, kHourShift = 12, kMinuteShift = 6;
const unsigned long kDateMask = 0xFFFE0000ul;    // year, month, day
const unsigned long kSecondMask = 0x3Ful;
const unsigned long kFormatChars = 330;
const char kDefaultTimeFormat[] = "HH':'mm':'ss";
const char kTimeFormatValue[] = "TimeFormat";

// Guards s_timeFormat: its first load may race with other first getTime calls.
SRWLOCK s_timeFormatLock = SRWLOCK_INIT;

unsigned long field(unsigned long value, unsigned long shift, unsigned long bits)
{
    return (value >> shift) & ((1ul << bits) - 1);
}

bool isLeapForWeekday(unsigned long y)
{
    return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0);
}

[[noreturn]] void badValue()
{
    throw VSYST_BadValue();
}

// sscanf "%lu" over exactly the given characters; one number or a throw.
unsigned long scanNumber(const V_STRING& text, unsigned pos, unsigned count)
{
    V_STRING part(text, pos, count);
    unsigned long v = 0;
    if (std::sscanf(part.data(), "%lu", &v) != 1) badValue();
    return v;
}

unsigned long convertNumber(const V_STRING& text, unsigned pos, unsigned count)
{
    unsigned long v = 0;
    if (!V_STRING(text, pos, count).convert(v)) badValue();
    return v;
}

V_STRING formatted(int chars, const char* buffer)
{
    return chars > 0 ? V_STRING(buffer) : V_STRING();
}

}  // namespace

// ---- construction -----------------------------------------------------------

VSYST_DateTime::VSYST_DateTime() : m_value(0)
{
    // Date and time from one reading: two readings may straddle midnight.
    SYSTEMTIME now;
    GetLocalTime(&now);
    setDate(now.wDay, now.wMonth, now.wYear);
    setTime(now.wHour, now.wMinute, now.wSecond);
}

VSYST_DateTime::VSYST_DateTime(unsigned char day, unsigned char month, unsigned short year, unsigned char hour,
                               unsigned char minute, unsigned char second)
    : m_value(0)
{
    unsigned long fullYear = year;
    if (fullYear < 100) fullYear += fullYear >= 85 ? 1900 : 2000;
    setDate(day, month, fullYear);
    setTime(hour, minute, second);
}

VSYST_DateTime::VSYST_DateTime(unsigned long timeStamp) : m_value(timeStamp) {}

// ---- fields -----------------------------------------------------------------

unsigned short VSYST_DateTime::getYear() const
{
    unsigned long code = field(m_value, kYearShift, 6);
    return static_cast<unsigned short>(code + (code >= 54 ? 1931 : 1995));
}

unsigned char VSYST_DateTime::getMonth() const { return static_cast<unsigned char>(field(m_value, kMonthShift, 4)); }
unsigned char VSYST_DateTime::getDay() const { return static_cast<unsigned char>(field(m_value, kDayShift, 5)); }
unsigned char VSYST_DateTime::getHour() const { return static_cast<unsigned char>(field(m_value, kHourShift, 5)); }
unsigned char VSYST_DateTime::getMinute() const { return static_cast<unsigned char>(field(m_value, kMinuteShift, 6)); }
unsigned char VSYST_DateTime::getSecond() const { return static_cast<unsigned char>(field(m_value, 0, 6)); }

V_DayOfWeek VSYST_DateTime::getDayOfWeek() const
{
    const unsigned long y = getYear(), month = getMonth();
    const unsigned long before = 365 * (y - 1) + (y - 1) / 4 - (y - 1) / 100 + (y - 1) / 400;
    long n = 30 * (static_cast<long>(month) - 1) + static_cast<long>(month / 2) + getDay();
    if (month == 9 || month == 11) n += 1;
    if (month > 2) n -= isLeapForWeekday(y) ? 1 : 2;
    return static_cast<V_DayOfWeek>((before + static_cast<unsigned long>(n)) % 7);
}

int VSYST_DateTime::compareTo(const VSYST_DateTime& other, bool withSeconds) const
{
    unsigned long a = m_value, b = other.m_value;
    if (!withSeconds) {
        a &= ~kSecondMask;
        b &= ~kSecondMask;
    }
    return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- changes ----------------------------------------------------------------

void VSYST_DateTime::validateDate(unsigned long day, unsigned long month, unsigned long year) const
{
    if (year < 1985 || year > 2048) badValue();
    if (month < 1 || month > 12) badValue();
    static const unsigned char kLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned long length = kLength[month - 1];
    if (month == 2 && year % 4 == 0) length = 29;
    if (day < 1 || day > length) badValue();
}

void VSYST_DateTime::validateTime(unsigned long hour, unsigned long minute, unsigned long second) const
{
    if (hour >= 24 || minute >= 60 || second >= 60) badValue();
}

void VSYST_DateTime::setDate(unsigned long day, unsigned long month, unsigned long year)
{
    validateDate(day, month, year);
    const unsigned long code = (year - 1995) & 0x3F;   // modulo 64, also below 1995
    m_value = (m_value & ~kDateMask) | (code << kYearShift) | (month << kMonthShift) | (day << kDayShift);
}

void VSYST_DateTime::setTime(unsigned long hour, unsigned long minute, unsigned long second)
{
    validateTime(hour, minute, second);
    m_value = (m_value & kDateMask) | (hour << kHourShift) | (minute << kMinuteShift) | second;
}

bool VSYST_DateTime::setNull()
{
    m_value = 0;
    return true;
}

bool VSYST_DateTime::setLocalTime() const
{
    SYSTEMTIME st = {};
    st.wYear = getYear();
    st.wMonth = getMonth();
    st.wDayOfWeek = static_cast<WORD>(getDayOfWeek());
    st.wDay = getDay();
    st.wHour = getHour();
    st.wMinute = getMinute();
    st.wSecond = getSecond();
    return SetLocalTime(&st) != FALSE;
}

bool VSYST_DateTime::getDateOfString(const V_STRING& text, unsigned long)
{
    const unsigned length = text.length();
    if (length < 8) badValue();
    const unsigned long day = scanNumber(text, 0, 2);
    const unsigned long month = scanNumber(text, 3, 2);
    unsigned long year = convertNumber(text, 6, 4);
    if (year < 100) year += 1900;
    const unsigned long hour = length >= 13 ? convertNumber(text, 11, 2) : 0;
    const unsigned long minute = length >= 16 ? convertNumber(text, 14, 2) : 0;
    const unsigned long second = length >= 19 ? convertNumber(text, 17, 2) : 0;
    setDate(day, month, year);
    setTime(hour, minute, second);
    return true;
}

// ---- formatting -------------------------------------------------------------

V_STRING VSYST_DateTime::getDateShort() const
{
    SYSTEMTIME st = {getYear(), getMonth(), static_cast<WORD>(getDayOfWeek()), getDay(), 1, 1, 1, 0};
    char buffer[kFormatChars] = "";
    return formatted(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, kFormatChars), buffer);
}

V_STRING VSYST_DateTime::getDateLong() const
{
    SYSTEMTIME st = {getYear(), getMonth(), static_cast<WORD>(getDayOfWeek()), getDay(), 1, 1, 1, 0};
    char buffer[kFormatChars] = "";
    return formatted(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st, nullptr, buffer, kFormatChars), buffer);
}

V_STRING VSYST_DateTime::getTime() const
{
    initDateTimeFormats();
    V_STRING picture;
    {
        orv::SrwGuard shared(s_timeFormatLock, false);
        picture = s_timeFormat;
    }
    SYSTEMTIME st = {1, 1, 1, 1, getHour(), getMinute(), getSecond(), 0};
    char buffer[kFormatChars] = "";
    return formatted(GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, picture.data(), buffer, kFormatChars), buffer);
}

void VSYST_DateTime::initDateTimeFormats()
{
    orv::SrwGuard exclusive(s_timeFormatLock, true);
    if (!s_timeFormat.isEmpty()) return;
    s_timeFormat = kDefaultTimeFormat;
    try {
        VSYST_RegistryKey settings(VSYST_RSK_CurrentUserSettings, false);
        try {
            V_STRING stored = settings.getStringValue(kTimeFormatValue);
            // An empty picture would be "not loaded yet" for ever; the default stands in.
            if (!stored.isEmpty()) s_timeFormat = stored;
        } catch (const V_Exception&) {
            settings.setStringValue(kTimeFormatValue, s_timeFormat);
        }
    } catch (const V_Exception&) {
        // The default stays.
    }
}

// ---- archive ----------------------------------------------------------------

void VSYST_DateTime::serializeAsMember(V_ASArchiveOut& ar)
{
    ar.writeUInt32(m_value);
}

void VSYST_DateTime::deserializeAsMember(V_ASArchiveIn& ar)
{
    m_value = ar.readUInt32();
}
