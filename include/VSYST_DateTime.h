// VSYST_DateTime.h - the platform's time stamp: a local date and time to the
// second packed into one unsigned 32-bit word, with validation, comparison,
// formatting in the user's locale, parsing of "DD.MM.YYYY HH:MM:SS" texts,
// an archive record and setting of the system clock.
#ifndef VSYST_DATETIME_H
#define VSYST_DATETIME_H

#include "OrvCoreDefs.h"
#include "V_String.h"

class V_ASArchiveOut;
class V_ASArchiveIn;

enum V_DayOfWeek : int {
    V_Sunday = 0, V_Monday = 1, V_Tuesday = 2, V_Wednesday = 3, V_Thursday = 4, V_Friday = 5, V_Saturday = 6
};

// Packed value, from the top bit: year code (6 bits, (year - 1995) mod 64, so
// 1985 to 2048), month (4), day (5), hour (5), minute (6), second (6). The
// value 0 is the null date; it is not valid and comes only from setNull or
// from the time-stamp constructor. Every change through a date or time is
// validated; a bad one throws VSYST_BadValue (which reports itself).
class ORVCORE_API VSYST_DateTime {
public:
    VSYST_DateTime();   // now, local time
    // Years below 100 are two-digit years: 85 to 99 mean 1985 to 1999, 0 to 84
    // mean 2000 to 2084 (of which 2000 to 2048 are valid).
    VSYST_DateTime(unsigned char day, unsigned char month, unsigned short year, unsigned char hour,
                   unsigned char minute, unsigned char second);
    VSYST_DateTime(unsigned long timeStamp);   // taken unchanged, not validated
    VSYST_DateTime(const VSYST_DateTime& other) : m_value(other.m_value) {}
    VSYST_DateTime& operator=(const VSYST_DateTime& other) { m_value = other.m_value; return *this; }
    ~VSYST_DateTime() {}

    unsigned long asTimeStamp() const { return m_value; }
    unsigned short getYear() const;
    unsigned char getMonth() const;
    unsigned char getDay() const;
    unsigned char getHour() const;
    unsigned char getMinute() const;
    unsigned char getSecond() const;
    V_DayOfWeek getDayOfWeek() const;

    // Compare the packed values without the seconds: years 1985 to 1994 (codes
    // 54 to 63) compare as later than 1995 to 2048.
    bool operator<(const VSYST_DateTime& o) const { return compareTo(o, false) < 0; }
    bool operator<=(const VSYST_DateTime& o) const { return compareTo(o, false) <= 0; }
    bool operator==(const VSYST_DateTime& o) const { return compareTo(o, false) == 0; }
    bool operator!=(const VSYST_DateTime& o) const { return compareTo(o, false) != 0; }
    bool operator>=(const VSYST_DateTime& o) const { return compareTo(o, false) >= 0; }
    bool operator>(const VSYST_DateTime& o) const { return compareTo(o, false) > 0; }

    bool setNull();   // packed value 0; true
    // Sets the system's local time to this value (milliseconds 0); false when the
    // system refuses (for example without the privilege).
    bool setLocalTime() const;

    // The user's short and long date format; "" when the system cannot format.
    V_STRING getDateShort() const;
    V_STRING getDateLong() const;
    // The time in the per-user setting "TimeFormat" (a GetTimeFormat picture) of
    // the settings key, default "HH':'mm':'ss", which is written back when the
    // value is missing. Read once per process. "" when the system cannot format.
    V_STRING getTime() const;

    // Parses "DD.MM.YYYY HH:MM:SS" by position (separators are not looked at;
    // the time or its tail may be missing and counts as 0; a year below 100
    // gets 1900 added). Returns true; throws VSYST_BadValue on a bad text. A
    // bad time leaves the new date with the old time. flags is not used.
    bool getDateOfString(const V_STRING& text, unsigned long flags = 0);

    // Archive record: the packed value as 4 bytes, little-endian.
    void serializeAsMember(V_ASArchiveOut& ar);
    void deserializeAsMember(V_ASArchiveIn& ar);

    // Exported beside the time format; no operation of this class uses them.
    static V_STRING s_dateFormatLong;
    static V_STRING s_dateFormatShort;

private:
    int compareTo(const VSYST_DateTime& other, bool withSeconds) const;
    // Wide parameters, so that a parsed number is never cut to a valid one.
    void setDate(unsigned long day, unsigned long month, unsigned long year);
    void setTime(unsigned long hour, unsigned long minute, unsigned long second);
    void validateDate(unsigned long day, unsigned long month, unsigned long year) const;
    void validateTime(unsigned long hour, unsigned long minute, unsigned long second) const;
    static void initDateTimeFormats();

    unsigned long m_value;

    // The GetTimeFormat picture, "" until the first getTime; loaded and read
    // under a lock of its own, so the first getTime may race with others.
    static V_STRING s_timeFormat;
};

#endif
