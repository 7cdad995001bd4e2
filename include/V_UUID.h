// V_UUID.h - V_UUID, a 128-bit identifier in the platform's GUID layout, with
// generation, text conversion, byte-order comparison and an archive record.
#ifndef V_UUID_H
#define V_UUID_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <guiddef.h>

class V_ASArchiveOut;
class V_ASArchiveIn;

class ORVCORE_API V_UUID {
public:
    V_UUID();                               // the null UUID (16 zero bytes)
    explicit V_UUID(unsigned long ignored); // the null UUID whatever the argument
    V_UUID(long d1, short d2, short d3, char b0, char b1, char b2, char b3, char b4, char b5, char b6, char b7);
    V_UUID(const GUID& g);
    V_UUID(const V_UUID& u);
    // Parsed by UuidFromStringA ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", no
    // braces); text that does not parse gives the null UUID.
    V_UUID(const char* text);
    V_UUID(const V_STRING& text);
    ~V_UUID() {}

    V_UUID& operator=(const V_UUID& u);
    V_UUID& operator=(const GUID& g);

    // The 16 bytes compared as unsigned bytes in memory order (Data1 least
    // significant byte first), not field by field.
    bool operator==(const V_UUID& u) const;
    bool operator!=(const V_UUID& u) const { return !(*this == u); }
    bool operator<(const V_UUID& u) const;

    GUID* addrOf() { return &m_guid; }     // for out-parameters
    const GUID& asUUID() const { return m_guid; }

    // A new UUID from CoCreateGuid. Should that fail: Data1 packs the local
    // time (year - 11, month, day, hour, minute, second), Data2 the
    // milliseconds, Data3 a process-wide counter (1 for the first such UUID,
    // wrapping at 16 bits), Data4 the first 8 bytes of the computer name
    // (zero-padded; all zero when the name cannot be read). Never fails.
    V_UUID& generate();

    // Lower-case "8-4-4-4-12" text from UuidToStringA; "" if that fails.
    V_STRING asString() const;
    bool isValid() const;                   // differs from the null UUID
    static const V_UUID& null();            // lives for the whole run

    // Archive record: Data1 (4 bytes), Data2 (2), Data3 (2), Data4 (8),
    // little-endian. A short archive throws VSYST_XRange and changes nothing.
    void serializeAsMember(V_ASArchiveOut& ar) const;
    void deserializeAsMember(V_ASArchiveIn& ar);

private:
    static const V_UUID s_null;

    GUID m_guid;
};

#endif
