// The registry exceptions. Unlike the other system exceptions they report
// nothing when constructed: callers decide with displayReason().
#include "VSYST_RegistryKey.h"
#include "VSYST_DumpStream.h"

VSYST_RegistryException::VSYST_RegistryException(const char* file, int line) : m_file(file), m_line(line) {}

VSYST_RegistryException::VSYST_RegistryException(const VSYST_RegistryException& other)
    : VSYST_Exception(other), m_file(other.m_file), m_line(other.m_line)
{
}

VSYST_RegistryException& VSYST_RegistryException::operator=(const VSYST_RegistryException& other)
{
    VSYST_Exception::operator=(other);
    m_file = other.m_file;
    m_line = other.m_line;
    return *this;
}

VSYST_RegistryException::~VSYST_RegistryException() {}

V_STRING VSYST_RegistryException::getAdditionalInfo() const
{
    return V_STRING();
}

void VSYST_RegistryException::displayReason() const
{
    VSYST_DumpStream& ds = VSYST_DumpStream::getStdStream();
    ds << "\n!E\tEXCEPTION " << className() << "\n";
    if (m_file)
        ds << "!E\tLOCATION    : \"" << m_file << "\" (line " << V_STRING(static_cast<long>(m_line)) << ").\n";
    V_STRING info = getAdditionalInfo();
    if (!info.isEmpty()) ds << "!E\tDESCRIPTION : \"" << info << "\"\n";
    ds.flush();
}

VSYST_RegistryInvalidKey::VSYST_RegistryInvalidKey(const V_STRING& keyName, const char* file, int line)
    : VSYST_RegistryException(file, line), m_keyName(keyName)
{
}

VSYST_RegistryInvalidKey::~VSYST_RegistryInvalidKey() {}

V_STRING VSYST_RegistryInvalidKey::getAdditionalInfo() const
{
    V_STRING text("The specified Registry key ");
    if (!m_keyName.isEmpty()) {
        text += '"';
        text += m_keyName;
        text += "\" ";
    }
    text += "is invalid";
    return text;
}
