// orvtool diag: a module's diagnostic level (shown, and set in the machine's
// registry) and a test event for the event log; and the tour step that shows
// a request context and an HRESULT report.
#include "orvtool.h"
#include "tour_support.h"

#include "VDIAG_FailureDiagnostics.h"
#include "VSYST_DumpStream.h"
#include "VSYST_RegistryKey.h"

#include <windows.h>
#include <oleauto.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Diag = VDIAG_FailureDiagnostics;

const char kLevelsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brakmar\\T.R.I.O.N.(R) Platform\\Diagnostics\\Application";
const char kLevelsSub[] = "Diagnostics\\Application";

int diagLevel(const orvtool::Args& args)
{
    if (args.size() < 2 || args.size() > 3) return orvtool::usageError("diag", "diag level takes MODULE [LEVEL]");
    const std::string& module = args[1];
    if (args.size() == 3) {
        char* end = nullptr;
        errno = 0;
        long long level = std::strtoll(args[2].c_str(), &end, 0);
        if (args[2].empty() || *end || errno || level < INT_MIN || level > INT_MAX)
            return orvtool::usageError("diag", "not a level: '" + args[2] + "'");
        VSYST_RegistryKey key(VSYST_RSK_LocalMachinePlatform, true, V_STRING(kLevelsSub));
        if (!key.setIntValue(module.c_str(), static_cast<long>(level)))
            return orvtool::failure(std::string("cannot write ") + kLevelsKey + "\\" + module);
    }
    // The level as this process reads it: from the registry, once.
    const int level = Diag::getModuleDiagLevel(module.c_str());
    const int ref = Diag::getModuleDiagLevelRef(module.c_str());
    std::printf("module \"%s\": level %d (slot %d)\n", module.c_str(), level, ref);
    VSYST_RegistryKey key(VSYST_RSK_LocalMachinePlatform, false, V_STRING(kLevelsSub), VSYST_RegReadOnly);
    bool ok = false;
    long stored = key.getIntValue(module.c_str(), ok);
    if (ok) std::printf("%s: \"%s\" = %ld\n", kLevelsKey, module.c_str(), stored);
    else std::printf("%s: no value \"%s\" (the platform key is missing or not writable)\n", kLevelsKey, module.c_str());
    return 0;
}

int diagEvent(const orvtool::Args& args)
{
    std::string text = "orvtool test event", source;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--source") {
            if (++i == args.size()) return orvtool::usageError("diag", "--source needs a name");
            source = args[i];
        } else if (i == 1) {
            text = args[i];
        } else {
            return orvtool::usageError("diag", "diag event takes [TEXT] [--source NAME]");
        }
    }
    const char* name = source.empty() ? nullptr : source.c_str();
    if (!Diag::logMessage(1, text.c_str(), EVENTLOG_INFORMATION_TYPE, name))
        return orvtool::failure("the event could not be written");
    std::printf("event 1 (information) written under the source \"%s\": %s\n", name ? name : "ZIZ Oziraz",
                text.c_str());
    return 0;
}

int diag(const orvtool::Args& args)
{
    if (!args.empty() && args[0] == "level") return diagLevel(args);
    if (!args.empty() && args[0] == "event") return diagEvent(args);
    return orvtool::usageError("diag", args.empty() ? "diag needs level or event" : "unknown diag command '" + args[0] + "'");
}

// The description of the thread's COM error information (taken), or "(none)".
std::string errorInfoText()
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "(none)";
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    char buf[1024] = {0};
    WideCharToMultiByte(CP_ACP, 0, text ? text : L"", -1, buf, sizeof buf, nullptr, nullptr);
    SysFreeString(text);
    return std::string("\"") + buf + "\"";
}

int diagStep()
{
    using namespace orvtool;
    std::string path = stdLogPath();
    size_t before = stdLogSize();
    int result = 0;
    {
        VDIAG_DiagnosticContext context;
        const unsigned long id = Diag::getRequestId();
        std::printf("request context: number %lu, nesting %ld, header hidden: %s\n", id, Diag::getRequestNesting(),
                    context.hiddenRqHeader() ? "yes" : "no");
        {
            VDIAG_DiagnosticContext inner;
            std::printf("nested context:  number %lu, nesting %ld, header hidden: %s\n", Diag::getRequestId(),
                        Diag::getRequestNesting(), inner.hiddenRqHeader() ? "yes" : "no");
            if (Diag::getRequestId() != id || !inner.hiddenRqHeader()) result = 1;
        }
        V_DIAG_DUMP("orvtool: diagnostics of request %lu", id);
        {
            // A block of detail: "{" opens it, the indentation's end closes it.
            V_DIAG_DUMP("{");
            VDIAG_DiagnosticIndent indent;
            std::printf("indentation inside a VDIAG_DiagnosticIndent: %ld\n", Diag::getIndent());
        }
        const long denied = static_cast<long>(0x80070005);
        Diag::hresult(denied, nullptr);
        std::printf("hresult(0x80070005): the thread's error information says %s\n", errorInfoText().c_str());
        Diag::hresult(0, nullptr);
        std::printf("hresult(0): the thread's error information says %s\n", errorInfoText().c_str());
    }
    std::printf("after the context: request number %lu\n", Diag::getRequestId());
    std::printf("the standard log received:\n");
    showLog(path.empty() ? std::string("(no file)\n") : readFrom(path, before));
    return result;
}

}  // namespace

ORVTOOL_COMMAND(diag, "diag", "diag level MODULE [LEVEL]\ndiag event [TEXT] [--source NAME]",
                "show (and set) a module's diagnostic level, or write a test event",
                "diag level MyModule 3\ndiag event \"test entry\" --source MyApp", diag);
ORVTOOL_TOUR_STEP(diag, 400, "Failure diagnostics: a request context and an HRESULT report", diagStep);
