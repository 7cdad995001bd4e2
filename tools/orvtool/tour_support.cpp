#include "tour_support.h"

#include "VSYST_DumpStream.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace orvtool {

std::string readFrom(const std::string& path, size_t offset)
{
    std::string data;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return data;
    char buf[4096];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) data.append(buf, n);
    CloseHandle(h);
    return offset < data.size() ? data.substr(offset) : std::string();
}

void showLog(const std::string& text)
{
    for (char c : text)
        if (c != '\r') std::putchar(c);
    std::fflush(stdout);
}

static std::string s_lastLogPath;

std::string stdLogPath()
{
    std::string path = VSYST_DumpStream::getStdStream().filePath();
    if (!path.empty()) s_lastLogPath = path;
    return path;
}

std::string tourLogPath()
{
    stdLogPath();
    return s_lastLogPath;
}

size_t stdLogSize()
{
    std::string path = stdLogPath();
    return path.empty() ? 0 : readFrom(path, 0).size();
}

void setEnv(const char* name, const char* value)
{
    SetEnvironmentVariableA(name, value);
    _putenv((std::string(name) + "=" + value).c_str());
}

}  // namespace orvtool
