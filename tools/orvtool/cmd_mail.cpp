// orvtool mail: a mail handed to the system's mail client through
// VSYST_SendMail, with the Simple MAPI result in words.
#include "orvtool.h"

#include "VSYST_SendMail.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The Simple MAPI results, by number.
const char* const kResults[] = {
    "success", "the user cancelled", "general failure", "log-on failed", "disk full", "not enough memory",
    "access denied", "unknown error 7", "too many sessions", "too many files", "too many recipients",
    "attachment not found", "attachment cannot be opened", "attachment cannot be written", "unknown recipient",
    "bad recipient type", "no messages", "invalid message", "text too large", "invalid session",
    "type not supported", "ambiguous recipient", "message in use", "network failure", "invalid edit fields",
    "invalid recipients", "not supported"};

std::string resultText(unsigned long r)
{
    const std::string words = r < sizeof kResults / sizeof kResults[0] ? kResults[r] : "not a Simple MAPI result";
    return std::to_string(r) + " (" + words + ")";
}

int report(const VSYST_SendMail& mail, bool sent, unsigned long loadError)
{
    const std::string result = resultText(mail.getLastResult());
    switch (mail.getLastStep()) {
    case VMS_NoLibrary:
        return orvtool::failure("no mail client: MAPI32.DLL cannot be loaded (system error " + std::to_string(loadError) +
                                ")");
    case VMS_NoFunction:
        return orvtool::failure("no mail client: MAPI32.DLL lacks MAPILogon, MAPILogoff or MAPISendMail");
    case VMS_LogonFailed:
        return orvtool::failure("the mail client refused the log-on: MAPILogon gave " + result);
    default:
        break;
    }
    if (!sent || mail.getLastResult() != 0)
        return orvtool::failure("the mail client did not take the mail: MAPISendMail gave " + result);
    std::printf("handed to the mail client: MAPISendMail gave %s\n", result.c_str());
    return 0;
}

int mail(const orvtool::Args& args)
{
    const std::string* to = nullptr;
    const std::string* subject = nullptr;
    const std::string* body = nullptr;
    std::vector<V_STRING> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue = a == "--to" || a == "--subject" || a == "--attach";
        if (takesValue && i + 1 == args.size()) return orvtool::usageError("mail", a + " needs a value");
        if (a == "--to") to = &args[++i];
        else if (a == "--subject") subject = &args[++i];
        else if (a == "--attach") {
            const std::string& file = args[++i];
            char full[MAX_PATH];
            const DWORD n = GetFullPathNameA(file.c_str(), MAX_PATH, full, nullptr);
            const DWORD attr = n && n < MAX_PATH ? GetFileAttributesA(full) : INVALID_FILE_ATTRIBUTES;
            if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY))
                return orvtool::failure("cannot attach " + file + ": no such file");
            files.push_back(V_STRING(full));
        } else if (a.size() > 1 && a[0] == '-') return orvtool::usageError("mail", "unknown option '" + a + "'");
        else if (body) return orvtool::usageError("mail", "mail takes one BODY, not also '" + a + "'");
        else body = &a;
    }
    if (!to || !subject || !body) return orvtool::usageError("mail", "mail needs --to, --subject and a BODY");
    VSYST_SendMail message(files, to->c_str(), subject->c_str(), body->c_str());
    SetLastError(0);
    const bool sent = message.sendMail();
    return report(message, sent, GetLastError());
}

const char kMailNotes[] =
    "Hands a mail to the system's mail client (Simple MAPI from MAPI32.DLL), which\n"
    "shows it in its compose dialog, and reports the result in words. ADDRESS may\n"
    "be empty (\"\"): the user then chooses the recipient in the dialog. Each FILE\n"
    "must exist; it is attached by its full path.";

}  // namespace

ORVTOOL_COMMAND_NOTES(mail, "mail", "mail --to ADDRESS --subject TEXT [--attach FILE]... BODY",
                      "hand a mail to the system's mail client and report the Simple MAPI result",
                      "mail --to support@example.org --subject \"Run log\" --attach run.log \"See the log.\"",
                      kMailNotes, mail);
