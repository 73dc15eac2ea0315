#pragma once

#include "tests/support/TestCertificate.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A Dovecot IMAP server for one test: its own configuration in a temporary folder,
// listening on 127.0.0.1 on two free ports (plain with STARTTLS, and implicit TLS), one
// user "rechnung" with the password "geheim", Maildir storage. Stopped when destroyed.
class TDovecot
{
public:
    struct TMailbox
    {
        QString Name;
        QString SpecialUse; // e.g. "\\Trash"; empty for none
    };

    struct TOptions
    {
        bool Tls = true; // false: no STARTTLS and no implicit-TLS port
        QList<TMailbox> Mailboxes{{QStringLiteral("Trash"), QStringLiteral("\\Trash")},
                                  {QStringLiteral("Papierkorb"), {}},
                                  {QStringLiteral("Deleted Items"), {}}};
        // An OAuth 2.0 introspection endpoint (RFC 7662, POST token=...): when set, the
        // server also takes the SASL mechanisms XOAUTH2 and OAUTHBEARER and asks it whether
        // a token is active and whose it is.
        QString OAuthIntrospectionUrl;
        QString OAuthMechanisms = QStringLiteral("xoauth2 oauthbearer");
    };

    // Empty when Dovecot can run here; otherwise why not (for QSKIP).
    static QString Unavailable();

    explicit TDovecot(const TOptions& options);
    TDovecot() : TDovecot(TOptions()) {}
    ~TDovecot();

    int ImapPort() const { return FImapPort; }
    int ImapsPort() const { return FImapsPort; }
    const TTestCertificate& Certificate() const { return FCert; }
    static QString User() { return QStringLiteral("rechnung"); }
    static QString Password() { return QStringLiteral("geheim"); }

    // Delivers a message into the inbox (dovecot-lda).
    void Deliver(const QByteArray& message);
    // The stored messages of a mailbox ("INBOX" or another name), as files.
    QStringList Messages(const QString& mailbox) const;
    QString Log() const;

private:
    QString Maildir(const QString& mailbox) const;

    QTemporaryDir FDir;
    TTestCertificate FCert;
    int FImapPort = 0;
    int FImapsPort = 0;
    QProcess FProcess;
};

// A mail with the given subject and attachments (name, MIME type, content), built by hand.
struct TTestAttachment
{
    QByteArray FileNameParameter; // as it goes into Content-Disposition, e.g. filename="a.pdf"
    QByteArray Type;
    QByteArray Content;
};
QByteArray BuildMail(const QByteArray& subject, const QList<TTestAttachment>& attachments);
