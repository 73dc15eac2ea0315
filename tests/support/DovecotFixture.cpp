#include "tests/support/DovecotFixture.h"

#include "tests/support/TlsTestServer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

const char* kDovecot = "/usr/sbin/dovecot";
const char* kLda = "/usr/lib/dovecot/dovecot-lda";
const char* kMailUser = "vmail";

bool Accepts(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(quint16(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

void Run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        throw std::runtime_error((program + QLatin1Char(' ') + args.join(QLatin1Char(' '))
                                  + QStringLiteral(" (exit code %1): ").arg(p.exitCode())
                                  + QString::fromLocal8Bit(p.readAll()))
                                     .toStdString());
}

} // namespace

QString TDovecot::Unavailable()
{
    if (!QFile::exists(QString::fromLatin1(kDovecot)) || !QFile::exists(QString::fromLatin1(kLda)))
        return QStringLiteral("Dovecot is not installed (dovecot-imapd)");
    if (getpwnam(kMailUser))
        return {};
    if (geteuid() != 0)
        return QStringLiteral("the mail user vmail is missing and only root can create it");
    QProcess p;
    p.start(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                        QStringLiteral("/usr/sbin/nologin"), QString::fromLatin1(kMailUser)});
    p.waitForFinished(30000);
    return getpwnam(kMailUser) ? QString() : QStringLiteral("cannot create the mail user vmail");
}

TDovecot::TDovecot(const TOptions& options)
{
    const QString dir = FDir.path();
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                   | QFile::ReadOther | QFile::ExeOther);
    FCert = TTestCertificate::Create(dir, QStringLiteral("dovecot"));
    FImapPort = ClosedLoopbackPort();
    FImapsPort = ClosedLoopbackPort();
    while (FImapsPort == FImapPort)
        FImapsPort = ClosedLoopbackPort();

    {
        QFile users(dir + QStringLiteral("/users"));
        users.open(QIODevice::WriteOnly);
        users.write((User() + QStringLiteral(":{PLAIN}") + Password() + QStringLiteral("::::::\n")).toUtf8());
    }
    QDir(dir).mkpath(QStringLiteral("mail"));
    const passwd* pw = getpwnam(kMailUser);
    if (!pw || ::chown(QFile::encodeName(dir + QStringLiteral("/mail")).constData(), pw->pw_uid, pw->pw_gid) != 0)
        throw std::runtime_error("mail folder for vmail");

    QString mailboxes;
    for (const TMailbox& m : options.Mailboxes) {
        mailboxes += QStringLiteral("  mailbox \"%1\" {\n    auto = subscribe\n").arg(m.Name);
        if (!m.SpecialUse.isEmpty())
            mailboxes += QStringLiteral("    special_use = %1\n").arg(m.SpecialUse);
        mailboxes += QStringLiteral("  }\n");
    }
    QString config = QStringLiteral(
        "instance_name = test-dovecot-%2\n"
        "base_dir = %1/run\n"
        "state_dir = %1/state\n"
        "log_path = %1/dovecot.log\n"
        "info_log_path = %1/dovecot.log\n"
        "protocols = imap\n"
        "listen = 127.0.0.1\n"
        "ssl = %4\n"
        "ssl_cert = <%5\n"
        "ssl_key = <%6\n"
        "ssl_min_protocol = TLSv1.2\n"
        "disable_plaintext_auth = no\n"
        "auth_mechanisms = plain login\n"
        "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/users\n}\n"
        "userdb {\n  driver = static\n  args = uid=vmail gid=vmail home=%1/mail/%u\n}\n"
        "first_valid_uid = 100\n"
        "mail_location = maildir:~/Maildir\n"
        "namespace inbox {\n  inbox = yes\n  separator = /\n%7}\n"
        "service imap-login {\n"
        "  inet_listener imap {\n    address = 127.0.0.1\n    port = %2\n  }\n"
        "  inet_listener imaps {\n    address = 127.0.0.1\n    port = %3\n    ssl = yes\n  }\n"
        "}\n");
    if (!options.OAuthIntrospectionUrl.isEmpty()) {
        QFile oauth(dir + QStringLiteral("/oauth2.conf"));
        oauth.open(QIODevice::WriteOnly);
        oauth.write(("introspection_mode = post\nintrospection_url = " + options.OAuthIntrospectionUrl.toUtf8()
                     + "\nusername_attribute = username\nactive_attribute = active\nactive_value = true\ndebug = yes\n").constData());
        oauth.close();
        config.replace(QStringLiteral("passdb {\n  driver = passwd-file\n"),
                       QStringLiteral("passdb {\n  driver = passwd-file\n  mechanisms = plain login\n"));
        // Delivery asks the user database, which then cannot confirm the user through a
        // password database restricted to logins.
        config.replace(QStringLiteral("home=%1/mail/%u\n"), QStringLiteral("home=%1/mail/%u allow_all_users=yes\n"));
        config.replace(QStringLiteral("auth_mechanisms = plain login\n"),
                       QStringLiteral("auth_mechanisms = plain login %2\nauth_verbose = yes\nauth_debug = yes\n"
                                      "passdb {\n  driver = oauth2\n  mechanisms = %2\n  args = %1/oauth2.conf\n}\n")
                           .arg(QStringLiteral("%1"), options.OAuthMechanisms));
    }
    config = config.arg(dir).arg(FImapPort).arg(options.Tls ? FImapsPort : 0).arg(options.Tls ? QStringLiteral("yes") : QStringLiteral("no"))
                 .arg(FCert.CertFile, FCert.KeyFile, mailboxes);
    if (!options.Tls)
        config.replace(QStringLiteral("  inet_listener imaps {\n    address = 127.0.0.1\n    port = 0\n    ssl = yes\n  }\n"), QString());
    QFile conf(dir + QStringLiteral("/dovecot.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write(config.toUtf8());
    conf.close();

    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    FProcess.start(QString::fromLatin1(kDovecot), {QStringLiteral("-F"), QStringLiteral("-c"), dir + QStringLiteral("/dovecot.conf")});
    QElapsedTimer clock;
    clock.start();
    while (!Accepts(FImapPort) || (options.Tls && !Accepts(FImapsPort))) {
        if (FProcess.state() == QProcess::NotRunning || clock.elapsed() > 15000)
            throw std::runtime_error(("Dovecot did not start: " + FProcess.readAll() + Log().toUtf8()).toStdString());
        QThread::msleep(20);
    }
}

TDovecot::~TDovecot()
{
    FProcess.terminate();
    if (!FProcess.waitForFinished(10000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

void TDovecot::Deliver(const QByteArray& message)
{
    Run(QString::fromLatin1(kLda), {QStringLiteral("-c"), FDir.path() + QStringLiteral("/dovecot.conf"), QStringLiteral("-d"), User(),
                                    QStringLiteral("-f"), QStringLiteral("lieferant@example.com")},
        message);
}

QString TDovecot::Maildir(const QString& mailbox) const
{
    const QString root = FDir.path() + QStringLiteral("/mail/") + User() + QStringLiteral("/Maildir");
    return mailbox == QLatin1String("INBOX") ? root : root + QStringLiteral("/.") + mailbox;
}

QStringList TDovecot::Messages(const QString& mailbox) const
{
    QStringList files;
    for (const char* sub : {"new", "cur"}) {
        QDir d(Maildir(mailbox) + QLatin1Char('/') + QString::fromLatin1(sub));
        for (const QString& f : d.entryList(QDir::Files))
            files << d.filePath(f);
    }
    return files;
}

QString TDovecot::Log() const
{
    QFile log(FDir.path() + QStringLiteral("/dovecot.log"));
    log.open(QIODevice::ReadOnly);
    return QString::fromUtf8(log.readAll());
}

QByteArray BuildMail(const QByteArray& subject, const QList<TTestAttachment>& attachments)
{
    const QByteArray boundary = "----=_Teil_4711";
    QByteArray mail = "From: Lieferant <lieferant@example.com>\r\n"
                      "To: Buchhaltung <rechnung@example.org>\r\n"
                      "Subject: " + subject + "\r\n"
                      "Date: Thu, 10 Dec 2026 09:00:00 +0100\r\n"
                      "Message-ID: <" + QByteArray::number(qHash(subject + QByteArray::number(attachments.size()))) + "@example.com>\r\n"
                      "MIME-Version: 1.0\r\n";
    if (attachments.isEmpty())
        return mail + "Content-Type: text/plain; charset=utf-8\r\n\r\nGuten Tag,\r\nanbei nichts.\r\n";
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n"
            "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nGuten Tag,\r\nanbei die Rechnung.\r\n";
    for (const TTestAttachment& a : attachments) {
        mail += "--" + boundary + "\r\nContent-Type: " + a.Type + "\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; " + a.FileNameParameter + "\r\n\r\n";
        const QByteArray base64 = a.Content.toBase64();
        for (qsizetype i = 0; i < base64.size(); i += 76)
            mail += base64.mid(i, 76) + "\r\n";
    }
    return mail + "--" + boundary + "--\r\n";
}
