#pragma once

#include "mail/ImapClient.h"
#include "mail/OAuthSession.h"

#include <QObject>
#include <QString>

#include <functional>

class QTimer;
class TESettings;

// The mail import: on each tick of its timer, one message of the IMAP inbox is handled
// (a mailbox of the kind "IMAP" with its password, or "Office 365" with an OAuth 2.0 sign-in):
// its attachments are saved into the hotfolder, then it is copied to the mailbox's trash
// folder and deleted from the inbox. A message is only deleted when all of that worked.
class TEMailImport : public QObject
{
    Q_OBJECT

public:
    // settings: where the account and the hotfolder are read (the engine's settings).
    TEMailImport(QObject* owner, std::function<TESettings*()> settings);

    // One poll. Connection failures are reported in a message box and switch the import
    // off; every other failure is raised. The network steps run off this object's thread
    // while its event loop goes on; the status texts come back to it in order, and what
    // the poll found (how many mails, a missing trash folder) is the last word.
    void Tick();
    // (Re)connects with the current settings, as after the settings dialog.
    void ConnectImap();
    void Disconnect();
    bool Connected() const { return imap.Connected(); }

    // The timer that drives the ticks: 1 s until the first tick, then 10 s.
    QTimer* tImap;
    QString imapTrash;
    TImapClient imap;
    // The sign-in of an "Office 365" mailbox (OAuth 2.0).
    TOAuthSession Session;

    std::function<void(const QString&)> OnStatus; // imapStatus: the status bar

    // Sets host, port (with the port rule), TLS mode and login of the client.
    void ApplyAccount(const TESettings& settings);

private:
    void Poll(const TESettings& settings);
    void ConnectWithToken(const TESettings& settings);
    void HandleLastMessage(const TESettings& settings, int count);
    void FindTrash();
    void Report(const QString& text);
    void OnOwnThread(const std::function<void()>& work);
    bool AskToTrust(const QString& host, const QString& fingerprint, const QString& problem);

    std::function<TESettings*()> FSettings;
    bool FBusy = false;
    QString FSummary; // what the last poll found, shown once the connection is set up again
    // The port rule compares the TLS mode with the previous connection's; the port it
    // chose is kept for as long as the settings stay the same.
    TImapTls FLastMode = TImapTls::Implicit;
    quint16 FLastSettingsPort = 0;
    int FLastSettingsTls = -1;
    quint16 FLastPort = 0;
};

// The TLS mode of a MailTLS value (any other value: none).
TImapTls TlsModeOf(int mailTls);
