// Helpers for checking what reaches a dump stream's file, byte for byte.
#ifndef ORV_TEST_LOGCAPTURE_H
#define ORV_TEST_LOGCAPTURE_H

#include "support/OrvTestSupport.h"
#include "VSYST_DumpStream.h"

#include <cctype>
#include <memory>
#include <string>

namespace orvtest {

// Line feeds as the dump stream writes them: "\n" becomes "\r\n".
inline std::string crlf(const std::string& text)
{
    std::string r;
    for (char c : text) {
        if (c == '\n') r += '\r';
        r += c;
    }
    return r;
}

// Every "hh:mm:ss dd.mm.yyyy" time stamp replaced by "<TIME>".
inline std::string maskTimes(const std::string& text)
{
    static const char pattern[] = "99:99:99 99.99.9999";
    const size_t n = sizeof pattern - 1;
    std::string r;
    size_t i = 0;
    while (i < text.size()) {
        bool match = i + n <= text.size();
        for (size_t k = 0; match && k < n; ++k) {
            unsigned char c = static_cast<unsigned char>(text[i + k]);
            match = pattern[k] == '9' ? std::isdigit(c) != 0 : c == static_cast<unsigned char>(pattern[k]);
        }
        if (match) {
            r += "<TIME>";
            i += n;
        } else {
            r += text[i++];
        }
    }
    return r;
}

// The banners a stream writes around the text of its file.
inline std::string openingBanner()
{
    return crlf("APPLICATION DUMP STARTED AT : <TIME>\n--------------------------------------------------\n");
}
inline std::string closingBanner()
{
    return crlf("\n--------------------------------------------------\nAPPLICATION DUMP FINISHED AT : <TIME>\n\n");
}

// A named stream (file output only) in a private folder.
class CaptureStream {
public:
    CaptureStream() : m_path(m_dir.file("capture.log")), m_stream(new VSYST_DumpStream(m_path.c_str(), 4)) {}
    VSYST_DumpStream& stream() { return *m_stream; }
    // What was written so far, after the opening banner.
    std::string text() const
    {
        std::string all = maskTimes(readFile(m_path));
        std::string head = openingBanner();
        return all.compare(0, head.size(), head) == 0 ? all.substr(head.size()) : "<no banner>" + all;
    }

private:
    TempDir m_dir;
    std::string m_path;
    std::unique_ptr<VSYST_DumpStream> m_stream;
};

// The per-run log files of the standard stream in a private folder (opened
// by whatever the test runs, doInit for one).
class LogFolderCapture {
public:
    LogFolderCapture() : m_dirEnv("ORV_DIR_LOGFILES", m_dir.path().c_str()), m_switch("ORV_STDLOGFILE", "1") {}
    // Every per-run file of the folder, oldest first, time stamps masked.
    std::string text() const
    {
        std::string all;
        for (const std::string& name : m_dir.list()) all += readFile(m_dir.file(name));
        return maskTimes(all);
    }
    size_t fileCount() const { return m_dir.list().size(); }

private:
    TempDir m_dir;
    ScopedEnv m_dirEnv, m_switch;
};

}  // namespace orvtest

#endif
