// VSYST_User.h - a Windows account named by its security identifier (SID),
// with account type, user name, full name, computer name and domain. A
// default-constructed object stands for the user running the process.
#ifndef VSYST_USER_H
#define VSYST_USER_H

#include "OrvCoreDefs.h"
#include "V_String.h"

class V_ASArchiveOut;
class V_ASArchiveIn;

// Without a SID of its own an object answers from the process's current user,
// which is looked up once per process (under a lock, so the first look-up may
// race with others) and never refreshed; a failed look-up leaves empty names.
// An object gets a SID of its own from getUserSID, serialisation, copying or
// deserialisation, and is independent of the current user from then on.
// Nothing here throws except the archive's range errors.
class ORVCORE_API VSYST_User {
public:
    VSYST_User();
    VSYST_User(const VSYST_User& other);              // copies the SID block
    VSYST_User& operator=(const VSYST_User& other);
    ~VSYST_User();

    V_STRING getName() const;
    V_STRING getFullName() const;                      // cut before its first line feed
    V_STRING getComputerName() const;
    V_STRING getDomainName() const;
    int getType() const;                               // a SID_NAME_USE value (1 user, 8 unknown)
    // Takes the current user's data first when the object has no SID; *size
    // (when size is not null) receives the SID's size in bytes.
    const void* getUserSID(unsigned long* size);

    // Equal when both stand for the current user, or when both kinds match and
    // the SIDs (own or the current user's) are valid and equal.
    bool operator==(const VSYST_User& other) const;
    bool operator!=(const VSYST_User& other) const { return !operator==(other); }
    // As ==, and false whenever this object is not a user account (type 1).
    bool contains(const VSYST_User& other) const;

    // Record, little-endian: type, reserved, kind and SID size n (4 bytes each),
    // the SID and a zero byte (n + 1 bytes), then name, full name, computer name
    // and domain as V_STRING records. Writing takes the current user first when
    // the object has no SID; reading changes nothing when the record is short.
    void serializeAsMember(V_ASArchiveOut& ar);
    void deserializeAsMember(V_ASArchiveIn& ar);

private:
    static void updateCurrent();
    void updateWithCurrent();

    int m_type;                      // SID_NAME_USE
    unsigned long m_reserved;
    unsigned long m_kind;
    unsigned long m_sidSize;
    unsigned char* m_sid;            // m_sidSize bytes and a zero byte; null: the current user
    V_STRING m_name;
    V_STRING m_fullName;
    V_STRING m_computerName;
    V_STRING m_domainName;
};

#endif
