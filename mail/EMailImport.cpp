#include "mail/EMailImport.h"

#include "mail/MimeMessage.h"
#include "mail/UniqueFileName.h"
#include "platform/BackgroundCall.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"

#include <QThread>
#include <QTimer>

namespace {

bool IsTrashName(const QString& name)
{
    return name.contains(QLatin1String("Papierkorb")) || name.contains(QStringLiteral("Gelöschte"))
        || name.contains(QLatin1String("Deleted"));
}

void SaveAttachment(const QString& path, const QByteArray& content)
{
    // Through a temporary file that the hotfolder poll passes over: it never shows half an
    // attachment.
    const QString error = WriteFileReplacing(path, content);
    if (!error.isEmpty())
        throw Exception(QStringLiteral("Fehler beim Speichern der Anlage.\r\n[%1] %2").arg(path, error));
}

} // namespace

TImapTls TlsModeOf(int mailTls)
{
    switch (mailTls) {
    case 1:
        return TImapTls::Implicit;
    case 2:
        return TImapTls::StartTlsRequired;
    case 3:
        return TImapTls::StartTlsIfOffered;
    default:
        return TImapTls::None;
    }
}

TEMailImport::TEMailImport(QObject* owner, std::function<TESettings*()> settings)
    : QObject(owner)
    , tImap(new QTimer(owner ? owner : this))
    , FSettings(std::move(settings))
{
    tImap->setInterval(1000);
    connect(tImap, &QTimer::timeout, this, [this] { Guarded([this] { Tick(); }); });
    // The network steps of a poll run on a worker thread (the window goes on meanwhile):
    // what they report is handed to this object's thread, and a question waits there for
    // the user's answer.
    imap.OnStatus = [this](const QString& text) { Report(text); };
    imap.OnAlert = [this](const QString&) { Report(QStringLiteral("IMAP Alert")); };
    imap.OnUntrustedCertificate = [this](const QString& host, const QString& fingerprint, const QString& problem) {
        bool trusted = false;
        OnOwnThread([&] { trusted = AskToTrust(host, fingerprint, problem); });
        return trusted;
    };
    tImap->start();
}

void TEMailImport::OnOwnThread(const std::function<void()>& work)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

void TEMailImport::Report(const QString& text)
{
    if (QThread::currentThread() == thread()) {
        if (OnStatus)
            OnStatus(text);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (OnStatus)
                OnStatus(text);
        },
        Qt::QueuedConnection);
}

bool TEMailImport::AskToTrust(const QString& host, const QString& fingerprint, const QString& problem)
{
    const TPromptAnswer answer = TUserPrompt::Ask(
        {QStringLiteral("Warnung"),
         WithReason(QStringLiteral("Dem Zertifikat des Mail-Servers %1 vertraut das System nicht.").arg(host),
                    QStringLiteral("Prüfung durch OpenSSL"), problem)
             + QStringLiteral("\r\n\r\nSHA-256-Fingerabdruck:\r\n%1\r\n\r\n"
                              "Vergleichen Sie den Fingerabdruck mit dem, den Ihr Mail-Anbieter nennt. "
                              "Soll diesem Zertifikat künftig vertraut werden?")
                   .arg(fingerprint),
         TPromptIcon::Question, TPromptButtons::YesNo, true}); // Enter never trusts a certificate
    if (answer != TPromptAnswer::Yes)
        return false;
    if (TESettings* s = FSettings()) {
        s->MailZertifikat = NormalizeFingerprint(fingerprint);
        WriteMailCertificateToPersistent(*s);
    }
    return true;
}

void TEMailImport::Tick()
{
    // A question or message box inside a tick runs a nested event loop in which the
    // timer fires again; that tick must not start a second conversation with the server.
    if (FBusy)
        return;
    FBusy = true;
    struct TDone
    {
        bool& Busy;
        ~TDone() { Busy = false; }
    } done{FBusy};

    if (tImap->interval() != 10000)
        tImap->setInterval(10000);
    TESettings* settings = FSettings();
    if (!settings)
        return;
    // The poll works with the settings as they are now; the dialog may change them
    // while the network steps run.
    const TESettings account = *settings;

    if (imap.Connected())
        RunKeepingEventsFlowing([&] { Poll(account); });

    if (imap.Connected() || !settings->MailDisabled)
        ConnectImap();
    if (settings->MailDisabled && imap.Connected())
        RunKeepingEventsFlowing([this] { imap.Disconnect(); });
    // What the poll found stays in the status bar until the next poll says otherwise, not
    // the connection's own messages.
    if (imap.Connected() && !FSummary.isEmpty())
        Report(FSummary);
}

void TEMailImport::Poll(const TESettings& settings)
{
    if (imapTrash.isEmpty())
        FindTrash();
    const int count = imap.Select(QStringLiteral("INBOX"));
    Report(QStringLiteral("Messages: %1").arg(count));
    FSummary = QStringLiteral("Messages: %1").arg(count);
    if (imapTrash.isEmpty()) {
        // Nothing can leave the inbox: say so, and keep saying so.
        FSummary = QStringLiteral("Messages: %1 - kein Papierkorb-Ordner im Postfach gefunden, die Mails bleiben im Posteingang")
                       .arg(count);
        Report(FSummary);
        return;
    }
    if (count > 0 && !settings.HotfolderPfad.isEmpty()) {
        HandleLastMessage(settings, count);
        FSummary = QStringLiteral("Messages: %1").arg(count - 1);
    }
}

void TEMailImport::FindTrash()
{
    QString byAttribute;
    for (const TImapMailbox& box : imap.List(QString(), QStringLiteral("*"))) {
        if (IsTrashName(box.Name))
            imapTrash = box.Name; // the last one listed wins
        if (byAttribute.isEmpty() && box.Attributes.contains(QStringLiteral("\\Trash"), Qt::CaseInsensitive))
            byAttribute = box.Name;
    }
    // Servers that name their trash otherwise ("Trash") mark it as such (RFC 6154).
    if (imapTrash.isEmpty())
        imapTrash = byAttribute;
}

void TEMailImport::HandleLastMessage(const TESettings& settings, int count)
{
    const int n = count;
    Report(ParseMailSubject(imap.FetchHeader(n)));
    const QString uid = imap.FetchUid(n);
    const QByteArray raw = imap.FetchMessage(n);
    if (uid.isEmpty() || raw.isEmpty())
        throw Exception(QStringLiteral("Die Mail %1 konnte nicht vom Mail-Server geholt werden; sie bleibt im Posteingang.").arg(n));

    for (const TMailAttachment& attachment : ParseMailMessage(raw).Attachments)
        SaveAttachment(UniqueFileNameInFolder(settings.HotfolderPfad, attachment.FileName), attachment.Content);

    // Deleted from the inbox only once it is safe in the trash folder.
    const TImapReply copied = imap.UidCopy(uid, imapTrash);
    if (!copied.Ok())
        throw Exception(QStringLiteral("Die Mail konnte nicht in den Ordner %1 kopiert werden; sie bleibt im Posteingang.\r\n%2")
                            .arg(imapTrash, copied.Text));
    const TImapReply flagged = imap.UidStore(uid, QByteArrayLiteral("+FLAGS.SILENT (\\Deleted)"));
    if (!flagged.Ok())
        throw Exception(QStringLiteral("Die Mail konnte nicht zum Löschen markiert werden.\r\n%1").arg(flagged.Text));
    imap.Expunge();
}

void TEMailImport::ApplyAccount(const TESettings& settings)
{
    const quint16 port = quint16(settings.MailPort & 0xFFFF);
    const TImapTls mode = TlsModeOf(settings.MailTLS);
    quint16 effective = port;
    if (port == FLastSettingsPort && settings.MailTLS == FLastSettingsTls) {
        effective = FLastPort;
    } else if (mode != FLastMode) {
        if (mode == TImapTls::Implicit && port == 143)
            effective = 993;
        else if (mode != TImapTls::Implicit && port == 993)
            effective = 143;
    }
    FLastMode = mode;
    FLastSettingsPort = port;
    FLastSettingsTls = settings.MailTLS;
    FLastPort = effective;

    imap.Host = settings.MailServer;
    imap.Port = effective;
    imap.Tls = mode;
    imap.User = settings.MailUser;
    imap.Password = settings.MailPass;
    imap.AccessToken.clear();
    imap.TrustedFingerprint = settings.MailZertifikat;
}

void TEMailImport::ConnectImap()
{
    TESettings* settings = FSettings();
    if (!settings)
        return;
    const bool office365 = settings->MailType == QLatin1String(kMailTypeOffice365);
    if (settings->MailType != QLatin1String(kMailTypeImap) && !office365)
        return;
    RunKeepingEventsFlowing([this] {
        if (imap.Connected())
            imap.Disconnect();
    });
    ApplyAccount(*settings);
    try {
        if (office365)
            ConnectWithToken(TESettings(*settings));
        else
            RunKeepingEventsFlowing([this] { imap.Connect(); });
    } catch (...) {
        const QString message = CurrentExceptionMessage();
        RunKeepingEventsFlowing([this] { imap.Disconnect(); });
        FSummary.clear();
        settings->MailDisabled = true;
        // The sign-in's messages say themselves what to do in the settings.
        TUserPrompt::Ask({QStringLiteral("Mail Verbindungseinstellungen"),
                          office365 ? message : message + QStringLiteral("\r\nBitte überprüfen Sie jetzt die IMAP-Einstellungen."),
                          TPromptIcon::None, TPromptButtons::Ok});
    }
}

void TEMailImport::ConnectWithToken(const TESettings& settings)
{
    imap.Password.clear();
    imap.AccessToken = Session.AccessToken(settings, false);
    try {
        RunKeepingEventsFlowing([this] { imap.Connect(); });
        return;
    } catch (const Exception&) {
        if (!imap.RefusedLogin())
            throw;
    }
    // The server refused a token that had not expired yet (revoked, or its lifetime ended
    // early): once more with a new one.
    RunKeepingEventsFlowing([this] { imap.Disconnect(); });
    imap.AccessToken = Session.AccessToken(settings, true);
    try {
        RunKeepingEventsFlowing([this] { imap.Connect(); });
    } catch (const Exception&) {
        if (!imap.RefusedLogin())
            throw;
        throw Exception(TokenRefusedMessage(imap.RefusalText()));
    }
}

void TEMailImport::Disconnect()
{
    // During a poll the connection belongs to it; the poll connects anew at its end anyway.
    if (FBusy)
        return;
    if (imap.Connected())
        RunKeepingEventsFlowing([this] { imap.Disconnect(); });
}
