// VSYST_SendMail.h - one mail message (recipient, subject, body, attached
// files) handed to the system's mail client through Simple MAPI. The client's
// compose dialog shows the prepared message; the user sends it from there.
#ifndef VSYST_SENDMAIL_H
#define VSYST_SENDMAIL_H

#include "OrvCoreDefs.h"
#include "V_String.h"

#include <vector>

// How far the last sendMail came.
enum VSYST_MailStep {
    VMS_NotSent,      // sendMail was not called yet
    VMS_NoLibrary,    // "MAPI32.DLL" could not be loaded
    VMS_NoFunction,   // it lacks MAPILogon, MAPILogoff or MAPISendMail
    VMS_LogonFailed,  // MAPILogon refused: getLastResult gives its result
    VMS_Handed        // the message went to MAPISendMail: getLastResult gives its result
};

// The mail library is loaded and unloaded on every sendMail. Sending does not
// clear the message. One object must not be used from two threads at once.
class ORVCORE_API VSYST_SendMail {
public:
    VSYST_SendMail();
    // Texts that are null leave their field empty.
    VSYST_SendMail(const std::vector<V_STRING>& attachments, const char* where, const char* subject,
                   const char* body);
    ~VSYST_SendMail();

    // The recipient, a name or address the mail client resolves; empty for
    // none (the user chooses one in the dialog).
    void setWhere(const V_STRING& where);
    void setSubject(const V_STRING& subject);
    void setBody(const V_STRING& body);
    // Appends full paths of files to attach, after those already there.
    void addAttachment(const std::vector<V_STRING>& attachments);

    // Shows the message in the mail client's compose dialog and blocks until
    // it is closed. True when the log-on to the mail client succeeded: what the
    // user or the client then does with the message is not reported. Writes
    // nothing to the log and throws nothing.
    bool sendMail();

    // What the last sendMail came to, and the result of the last Simple MAPI
    // call it made (0 for success; 0 before the log-on).
    VSYST_MailStep getLastStep() const;
    unsigned long getLastResult() const;

private:
    VSYST_SendMail(const VSYST_SendMail&) = delete;
    VSYST_SendMail& operator=(const VSYST_SendMail&) = delete;

    struct Body;
    Body* m_body;
};

#endif
