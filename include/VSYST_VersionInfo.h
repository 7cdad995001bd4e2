// VSYST_VersionInfo.h - version information of a module (the running
// executable, a loaded module or a file): product version numbers, internal
// name, run info and the registry base. Modules without the platform's entries
// get generic values chosen by their file name.
#ifndef VSYST_VERSIONINFO_H
#define VSYST_VERSIONINFO_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <windef.h>   // HINSTANCE

// Reads a version resource once, at construction; nothing here throws. The
// numbers are the product version (not the file version). Objects are not copied.
class ORVCORE_API VSYST_VersionInfo {
public:
    // Formats of getVersionString; 4 to 7 act as 0 to 3, other values give "".
    enum VSF : int {
        VSF_Major = 0,              // "%hd"
        VSF_MajorMinor = 1,         // "%hd.%hd"
        VSF_MajorMinorUpdate = 2,   // "%hd.%hd.%hd"
        VSF_Full = 3                // "%hd.%hd.%hd.%hd"
    };
    enum eCheckState : int {
        CS_NotContained = 0,
        CS_Contained = 1,
        CS_NoRunInfo = 2
    };

    // readStrings: read InternalName, ProductVersion, RunInfo and RegBase as well.
    explicit VSYST_VersionInfo(bool readStrings = false);      // the process's executable
    VSYST_VersionInfo(HINSTANCE module, bool readStrings);      // null: every field at its initial value
    VSYST_VersionInfo(const char* path, bool readStrings);
    ~VSYST_VersionInfo();
    VSYST_VersionInfo(const VSYST_VersionInfo&) = delete;
    VSYST_VersionInfo& operator=(const VSYST_VersionInfo&) = delete;

    bool operator==(const VSYST_VersionInfo& other) const;     // major, minor, update
    bool operator<=(const VSYST_VersionInfo& other) const;     // same major.minor, update <=

    bool fromVersionResource() const;                           // the numbers came from a resource
    unsigned short getMajorRelease() const;
    unsigned short getMinorRelease() const;
    unsigned short getUpdateRelease() const;
    unsigned short getBuildRelease() const;
    // The numbers as signed 16-bit values: 40000 prints as -25536.
    V_STRING getVersionString(VSF format) const;
    // The ProductVersion text read last by any object in this process, else major.minor.update.
    V_STRING getProductVersionString() const;
    V_STRING getInternalName() const;
    V_STRING getRunInfo() const;
    bool isDefaultRegBase() const;                              // the registry base is a generic one
    V_STRING getRegBase() const;
    // Registry base, separator, major.minor.
    V_STRING getRegBaseVersion(char separator) const;
    eCheckState checkRunInfo(const V_STRING& text) const;

    // The running executable's per-user and machine-wide data folders
    // (VSYST_Pathes::getAppDataPath and getCommonAppDataPath).
    V_STRING getApplUserBaseFilename() const;
    V_STRING getApplGlobalBaseFilename() const;

private:
    struct Body;

    void infoFromHINSTANCE(HINSTANCE module, bool readStrings);
    void infoFromPATH(const char* path, bool readStrings);
    bool readStringEntries(const char* path, const unsigned char* block, unsigned long blockSize);
    void genericRegBase(const char* path);
    void genericRegBaseKeepVersionInfo(const char* path);

    Body* m_body;
};

#endif
