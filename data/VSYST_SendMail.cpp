// Mail through Simple MAPI, loaded at run time so that a machine without a
// mail client still loads the library.
#include "VSYST_SendMail.h"

#include <windows.h>
#include <mapi.h>

struct VSYST_SendMail::Body {
    V_STRING where;
    V_STRING subject;
    V_STRING body;
    std::vector<V_STRING> attachments;
    VSYST_MailStep lastStep = VMS_NotSent;
    unsigned long lastResult = 0;
};

namespace {

// Simple MAPI takes writable texts; each lives until the calls are over.
std::vector<char> writable(const V_STRING& s)
{
    return std::vector<char>(s.data(), s.data() + s.length() + 1);
}

// Unloads the mail library on every way out.
class Mapi32 {
public:
    Mapi32() : m_module(LoadLibraryA("MAPI32.DLL")) {}
    ~Mapi32()
    {
        if (m_module) FreeLibrary(m_module);
    }
    Mapi32(const Mapi32&) = delete;
    Mapi32& operator=(const Mapi32&) = delete;
    bool loaded() const { return m_module != nullptr; }
    template <class Fn>
    Fn* get(const char* name) const
    {
        return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

private:
    HMODULE m_module;
};

}  // namespace

VSYST_SendMail::VSYST_SendMail() : m_body(new Body) {}

VSYST_SendMail::VSYST_SendMail(const std::vector<V_STRING>& attachments, const char* where, const char* subject,
                               const char* body)
    : m_body(new Body)
{
    if (where) m_body->where = where;
    if (subject) m_body->subject = subject;
    if (body) m_body->body = body;
    addAttachment(attachments);
}

VSYST_SendMail::~VSYST_SendMail() { delete m_body; }

void VSYST_SendMail::setWhere(const V_STRING& where) { m_body->where = where; }
void VSYST_SendMail::setSubject(const V_STRING& subject) { m_body->subject = subject; }
void VSYST_SendMail::setBody(const V_STRING& body) { m_body->body = body; }

void VSYST_SendMail::addAttachment(const std::vector<V_STRING>& attachments)
{
    m_body->attachments.insert(m_body->attachments.end(), attachments.begin(), attachments.end());
}

VSYST_MailStep VSYST_SendMail::getLastStep() const { return m_body->lastStep; }
unsigned long VSYST_SendMail::getLastResult() const { return m_body->lastResult; }

bool VSYST_SendMail::sendMail()
{
    Body& b = *m_body;
    b.lastResult = 0;
    Mapi32 mapi;
    if (!mapi.loaded()) {
        b.lastStep = VMS_NoLibrary;
        return false;
    }
    MAPILOGON* logon = mapi.get<MAPILOGON>("MAPILogon");
    MAPILOGOFF* logoff = mapi.get<MAPILOGOFF>("MAPILogoff");
    MAPISENDMAIL* send = mapi.get<MAPISENDMAIL>("MAPISendMail");
    if (!logon || !logoff || !send) {
        b.lastStep = VMS_NoFunction;
        return false;
    }

    std::vector<char> where = writable(b.where), subject = writable(b.subject), body = writable(b.body);
    std::vector<char> noName(1, '\0');
    MapiRecipDesc recipient = {};
    recipient.ulRecipClass = MAPI_TO;
    recipient.lpszName = where.data();

    // Each file sits at the body's last character; with an empty body the
    // position wraps to 0xFFFFFFFF, which leaves the placement to the client.
    std::vector<std::vector<char>> paths;
    std::vector<MapiFileDesc> files(b.attachments.size());
    paths.reserve(b.attachments.size());
    for (size_t i = 0; i < files.size(); ++i) {
        paths.push_back(writable(b.attachments[i]));
        files[i].nPosition = static_cast<ULONG>(b.body.length() - 1);
        files[i].lpszPathName = paths.back().data();
        files[i].lpszFileName = noName.data();
    }

    MapiMessage message = {};
    message.lpszSubject = subject.data();
    message.lpszNoteText = body.data();
    if (b.where.length() != 0) {
        message.nRecipCount = 1;
        message.lpRecips = &recipient;
    }
    message.nFileCount = static_cast<ULONG>(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();

    LHANDLE session = 0;
    b.lastResult = logon(0, nullptr, nullptr, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &session);
    if (b.lastResult != SUCCESS_SUCCESS) {
        b.lastStep = VMS_LogonFailed;
        return false;
    }
    b.lastResult = send(session, 0, &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
    b.lastStep = VMS_Handed;
    logoff(session, 0, 0, 0);
    return true;
}
