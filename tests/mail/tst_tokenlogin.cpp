#include "mail/ImapClient.h"
#include "platform/Exception.h"
#include "tests/support/AuthorizationServer.h"
#include "tests/support/DovecotFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

#include <memory>

// The IMAP login with an OAuth 2.0 access token against a real Dovecot that checks tokens
// with an authorization server.
class TestTokenLogin : public QObject
{
    Q_OBJECT

    std::unique_ptr<TAuthorizationServer> authority;
    std::unique_ptr<TDovecot> dovecot;

    void Configure(TImapClient& client, const QString& token) const
    {
        client.Host = QStringLiteral("127.0.0.1");
        client.Port = quint16(dovecot->ImapsPort());
        client.Tls = TImapTls::Implicit;
        client.User = TDovecot::User();
        client.AccessToken = token;
        client.TimeoutMs = 10000;
        client.TrustedFingerprint = QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString unavailable = TDovecot::Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        authority = std::make_unique<TAuthorizationServer>(TDovecot::User());
    }

    void init()
    {
        TDovecot::TOptions options;
        options.OAuthIntrospectionUrl = authority->IntrospectionUrl();
        if (QTest::currentDataTag())
            options.OAuthMechanisms = QString::fromLatin1(QTest::currentDataTag());
        dovecot = std::make_unique<TDovecot>(options);
    }

    void cleanupTestCase()
    {
        dovecot.reset();
        authority.reset();
    }

    // A token the authorization server calls active logs in, by the mechanism the server
    // offers first among those the program knows; one it does not know is refused as a
    // login (the server's answer), never hung on.
    void loginWithAToken_data()
    {
        QTest::addColumn<QString>("mechanism");
        QTest::newRow("oauthbearer") << "OAUTHBEARER";
        QTest::newRow("xoauth2") << "XOAUTH2";
    }

    void loginWithAToken()
    {
        QFETCH(QString, mechanism);
        authority->Activate("gueltig-1");
        TImapClient client;
        Configure(client, QStringLiteral("gueltig-1"));
        const QString login = ErrorOf([&] { client.Connect(); });
        if (!login.isEmpty())
            qWarning().noquote() << dovecot->Log();
        QVERIFY2(login.isEmpty(), qPrintable(login));
        QVERIFY(client.Connected());
        QVERIFY(!client.List(QString(), QStringLiteral("*")).isEmpty());
        QVERIFY2(dovecot->Log().contains(mechanism.toLower() + u'(') || dovecot->Log().contains(mechanism),
                 qPrintable(dovecot->Log().right(1500)));
        client.Disconnect();
        QVERIFY(authority->Introspections() >= 1);

        authority->Revoke("gueltig-1");
        TImapClient revoked;
        Configure(revoked, QStringLiteral("gueltig-1"));
        const QString error = ErrorOf([&] { revoked.Connect(); });
        QVERIFY2(error.startsWith(QStringLiteral("Anmeldung abgelehnt")), qPrintable(error));
        QVERIFY(revoked.RefusedLogin());
        QVERIFY(!revoked.Connected());

        TImapClient unknown;
        Configure(unknown, QStringLiteral("unbekannt"));
        QVERIFY(!ErrorOf([&] { unknown.Connect(); }).isEmpty());
        QVERIFY(unknown.RefusedLogin());
    }

    // The password login of the same server is untouched.
    void passwordLoginStillWorks()
    {
        TImapClient client;
        Configure(client, QString());
        client.Password = TDovecot::Password();
        client.Connect();
        QVERIFY(client.Connected());
        client.Disconnect();
    }
};

QTEST_GUILESS_MAIN(TestTokenLogin)
#include "tst_tokenlogin.moc"
