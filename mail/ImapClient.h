#pragma once

#include "mail/ImapConnection.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// How the connection is protected; the numbers are those of the settings (MailTLS).
enum class TImapTls { None = 0, Implicit = 1, StartTlsRequired = 2, StartTlsIfOffered = 3 };

struct TImapMailbox
{
    QString Name;            // decoded from modified UTF-7
    QStringList Attributes;  // e.g. "\\Trash", "\\HasNoChildren"
};

// The reply to a command that may be refused without ending the work.
struct TImapReply
{
    QByteArray Status; // OK, NO, BAD
    QString Text;
    bool Ok() const { return Status == "OK"; }
};

// An IMAP4rev1 client for the commands the mail import needs (RFC 3501): CAPABILITY,
// STARTTLS, LOGIN, LIST, SELECT, FETCH, UID COPY, UID STORE, EXPUNGE, LOGOUT. Every call
// blocks until the server answered or the time-out struck; failures are raised.
class TImapClient
{
public:
    QString Host;
    quint16 Port = 993;
    TImapTls Tls = TImapTls::Implicit;
    QString User;
    QString Password;
    // An OAuth 2.0 access token (Microsoft 365 and other providers): when set, the login is
    // SASL OAUTHBEARER (RFC 7628) where the server offers it, else XOAUTH2, instead of
    // LOGIN with the password.
    QString AccessToken;
    int TimeoutMs = 30000;

    // A certificate the user chose to trust although the system does not (SHA-256, hex).
    QString TrustedFingerprint;
    // Asked when the server's certificate is not trusted and no fingerprint is stored:
    // true to trust it (the caller keeps the fingerprint).
    std::function<bool(const QString& host, const QString& fingerprint, const QString& problem)> OnUntrustedCertificate;
    std::function<void(const QString& text)> OnStatus;
    std::function<void(const QString& text)> OnAlert;

    // Connects, protects the connection as Tls says, and logs in. A refused login raises with
    // the server's text; RefusedLogin() then says that it was the login that failed (for a
    // token: expired or revoked), not the connection.
    void Connect();
    // LOGOUT (when possible) and close.
    void Disconnect();
    bool Connected() const { return FConnection.IsOpen() && FLoggedIn; }
    bool RefusedLogin() const { return FRefusedLogin; }
    // The server's text when it refused the login.
    const QString& RefusalText() const { return FRefusalText; }
    bool Encrypted() const { return FConnection.IsEncrypted(); }
    const QStringList& Capabilities() const { return FCapabilities; }

    QList<TImapMailbox> List(const QString& reference, const QString& pattern);
    // SELECT; the message count the server reported (the last one known when it refuses).
    int Select(const QString& mailbox);
    int MessageCount() const { return FMessageCount; }
    QByteArray FetchHeader(int number);
    // Empty when the server refuses.
    QString FetchUid(int number);
    // The whole message; empty when the server refuses.
    QByteArray FetchMessage(int number);
    TImapReply UidCopy(const QString& uid, const QString& mailbox);
    TImapReply UidStore(const QString& uid, const QByteArray& flags);
    TImapReply Expunge();

    // For tests of the reader: the limits of what a server may send.
    TImapLimits Limits;

private:
    struct TResult
    {
        TImapReply Reply;
        QList<TImapResponse> Untagged;
    };
    // Sends one command (arguments that need it go as literals) and reads up to its
    // tagged reply. Raises when the connection fails.
    TResult Command(const QList<QByteArray>& parts);
    TImapResponse Read();
    void Status(const QString& text) const;
    void TakeCapabilities(const TImapResponse& response);
    void AskCapabilities();
    void ProtectConnection();
    void CheckCertificate(const TCertificateCheck& check);
    QByteArray FetchItem(int number, const char* item, bool* refused = nullptr);

    TImapConnection FConnection;
    QStringList FCapabilities;
    bool FRefusedLogin = false;
    QString FRefusalText;
    bool FLoggedIn = false;
    int FTag = 0;
    int FMessageCount = 0;
};

// An argument of a command, quoted as IMAP needs it (an empty text is "").
QByteArray ImapArgument(const QByteArray& value);
