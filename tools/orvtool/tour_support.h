// tour_support.h - what the tour steps share: reading the standard log back.
#ifndef ORVTOOL_TOUR_SUPPORT_H
#define ORVTOOL_TOUR_SUPPORT_H

#include <string>

namespace orvtool {

// Bytes of the file from offset on (shared read, so the open log can be read).
std::string readFrom(const std::string& path, size_t offset);
// Writes log text to stdout without its carriage returns (stdout adds its own).
void showLog(const std::string& text);
// Size of the standard stream's log file, 0 when none is open.
size_t stdLogSize();
// Path of the standard stream's log file, "" when none is open.
std::string stdLogPath();
// The standard log file of this run as last seen open (it stays known after
// doExit has closed it).
std::string tourLogPath();
// Sets a variable for both the process block and the C run-time's copy.
void setEnv(const char* name, const char* value);

}  // namespace orvtool

#endif
