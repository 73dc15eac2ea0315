#include "app/UnitAnmeldung.h"
#include "mail/EMailImport.h"
#include "platform/Exception.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"
#include "tests/support/AuthorizationServer.h"
#include "tests/support/DovecotFixture.h"
#include "tests/support/TestEnvironment.h"

#include <httplib.h>

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QByteArray Invoice(const QByteArray& name)
{
    return BuildMail("Rechnung " + name, {{"filename=\"" + name + "\"", "application/xml", "<Invoice>" + name + "</Invoice>"}});
}

} // namespace

// A Microsoft 365 mailbox end to end, with real parts on loopback: a Dovecot whose oauth2
// password database asks a small authorization server whether a token is active, and the
// program signing in through its sign-in window, importing, renewing tokens, and stopping
// when the sign-in is revoked.
class TestOffice365 : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;
    std::unique_ptr<TAuthorizationServer> server;
    std::unique_ptr<TDovecot> dovecot;
    std::unique_ptr<QTemporaryDir> root;
    TESettings settings;
    std::unique_ptr<QObject> owner;
    TEMailImport* mail = nullptr;

    QString Hot() const { return root->filePath(QStringLiteral("hot")); }

    // Confirms the code as soon as the window shows it, as the user does on another device.
    void ConfirmTheShownCode(TFormAnmeldung& window, QTimer& user)
    {
        connect(&user, &QTimer::timeout, &window, [this, &window, &user] {
            if (window.lCode->isVisible() && !window.lCode->text().isEmpty()) {
                user.stop();
                QCOMPARE(window.lCode->text(), server->LastUserCode());
                QVERIFY(window.lAddress->text().contains(server->Authority() + QStringLiteral("/devicelogin")));
                server->Approve(window.lCode->text());
            }
        });
        user.start(50);
    }

    QList<TPrompt> ConnectionBoxes() const
    {
        QList<TPrompt> boxes;
        for (const TPrompt& p : TUserPrompt::Asked())
            if (p.Caption == QLatin1String("Mail Verbindungseinstellungen"))
                boxes << p;
        return boxes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString unavailable = TDovecot::Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        home = std::make_unique<TSandboxHome>();
        // No desktop session here: the keyring is out of reach, as on a server without one.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", home->Path().toLocal8Bit());
    }

    void init()
    {
        server = std::make_unique<TAuthorizationServer>(TDovecot::User());
        TDovecot::TOptions options;
        options.OAuthIntrospectionUrl = server->IntrospectionUrl();
        dovecot = std::make_unique<TDovecot>(options);
        root = std::make_unique<QTemporaryDir>();
        QDir(root->path()).mkdir(QStringLiteral("hot"));
        TUserPrompt::Reset();
        settings = TESettings();
        settings.MailType = QString::fromLatin1(kMailTypeOffice365);
        settings.MailServer = QStringLiteral("127.0.0.1");
        settings.MailPort = dovecot->ImapsPort();
        settings.MailTLS = 1;
        settings.MailUser = TDovecot::User();
        settings.MailDisabled = false;
        settings.MailZertifikat = QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint);
        settings.MailAuthority = server->Authority();
        settings.MailTenant = server->Tenant();
        settings.MailClientId = TAuthorizationServer::ClientId();
        settings.HotfolderPfad = Hot();
        owner = std::make_unique<QObject>();
        mail = new TEMailImport(owner.get(), [this] { return &settings; });
        mail->tImap->stop(); // the test ticks by hand
        mail->Session.CaFile = server->CaFile();
        mail->Session.RefreshMarginSeconds = 1;
    }

    void cleanup()
    {
        owner.reset();
        mail = nullptr;
        dovecot.reset();
        server.reset();
    }

    // Signed in by code, the mails arrive in the hotfolder; an expired token is renewed
    // without a word, and so is one the server refuses before its time; a revoked sign-in
    // stops the import with the message to sign in again, and nothing leaves the inbox.
    void signInImportRenewAndRevoke()
    {
        server->SetAccessLifetime(3);
        TFormAnmeldung window;
        window.OpenBrowser = [](const QUrl&) { return false; }; // no browser on this computer
        QTimer user;
        ConfirmTheShownCode(window, user);
        QVERIFY(window.SignIn(mail->Session, settings));
        QVERIFY(!window.isVisible());
        QVERIFY(mail->Session.SignedIn(settings));
        // Without a keyring the sign-in is kept for this run, and the user is told so.
        QCOMPARE(TUserPrompt::Asked().size(), 1);
        QVERIFY2(TUserPrompt::Asked()[0].Text.contains(QStringLiteral("nur für diesen Programmlauf")),
                 qPrintable(TUserPrompt::Asked()[0].Text));
        QVERIFY(mail->Session.Describe(settings).startsWith(QStringLiteral("Angemeldet, nur für diesen Programmlauf")));
        QCOMPARE(server->Refreshes(), 0);

        dovecot->Deliver(Invoice("a.xml"));
        mail->Tick();
        QVERIFY2(mail->Connected(), qPrintable(dovecot->Log().right(1500)));
        mail->Tick();
        QCOMPARE(Names(Hot()), QStringList{QStringLiteral("a.xml")});
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 0);

        // The token's three seconds are over: the next connection renews it first.
        server->SetAccessLifetime(3600);
        QTest::qWait(3200);
        const int refreshes = server->Refreshes();
        dovecot->Deliver(Invoice("b.xml"));
        mail->Tick();
        QVERIFY(server->Refreshes() > refreshes);
        QCOMPARE(Names(Hot()), (QStringList{QStringLiteral("a.xml"), QStringLiteral("b.xml")}));

        // Refused before its time (revoked at the provider): renewed once, and on it goes.
        server->RevokeAccessTokens();
        const int beforeRefusal = server->Refreshes();
        dovecot->Deliver(Invoice("c.xml"));
        mail->Tick();
        QVERIFY(mail->Connected());
        QCOMPARE(server->Refreshes(), beforeRefusal + 1);
        mail->Tick();
        QCOMPARE(Names(Hot()).size(), 3);
        QVERIFY(ConnectionBoxes().isEmpty());

        // The sign-in itself revoked: the message, the import off, the mail stays.
        server->RevokeAccessTokens();
        server->RevokeRefreshTokens();
        mail->Tick();
        QVERIFY(!mail->Connected());
        QCOMPARE(ConnectionBoxes().size(), 1);
        const QString message = ConnectionBoxes()[0].Text;
        QVERIFY2(message.startsWith(kSignInExpired + QStringLiteral("\r\nAntwort des Anmeldedienstes: invalid_grant: AADSTS50173")),
                 qPrintable(message));
        QVERIFY(settings.MailDisabled);
        dovecot->Deliver(Invoice("d.xml"));
        mail->Tick();
        mail->Tick();
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
        QCOMPARE(Names(Hot()).size(), 3);
        QCOMPARE(ConnectionBoxes().size(), 1);
    }

    // The sign-in in the browser, and the switch to the code when the user prefers it; the
    // user's own "Abbrechen" ends it without a message.
    void signInWays_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("in the browser") << "browser";
        QTest::newRow("code instead of the browser") << "code";
        QTest::newRow("cancelled") << "cancel";
    }

    void signInWays()
    {
        QFETCH(QString, way);
        TFormAnmeldung window;
        std::thread browser;
        QTimer user;
        window.OpenBrowser = [&](const QUrl& address) {
            if (way == QLatin1String("browser")) {
                browser = std::thread([this, address] {
                    const QUrl redirect(server->Authorize(address));
                    httplib::Client(QStringLiteral("127.0.0.1").toStdString(), redirect.port())
                        .Get("/?" + redirect.query(QUrl::FullyEncoded).toStdString());
                });
            } else if (way == QLatin1String("code")) {
                QTimer::singleShot(300, window.bCode, &QPushButton::click);
                ConfirmTheShownCode(window, user);
            } else {
                QTimer::singleShot(300, window.bAbbrechen, &QPushButton::click);
            }
            return true;
        };
        const bool signedIn = window.SignIn(mail->Session, settings);
        if (browser.joinable())
            browser.join();
        QCOMPARE(signedIn, way != QLatin1String("cancel"));
        QCOMPARE(mail->Session.SignedIn(settings), signedIn);
        if (!signedIn) {
            QVERIFY(TUserPrompt::Asked().isEmpty());
            return;
        }
        // The same sign-in with another app registration is none.
        TESettings other = settings;
        other.MailClientId = QStringLiteral("andere-app");
        QVERIFY(!mail->Session.SignedIn(other));
        QVERIFY(mail->Session.Describe(other).contains(QStringLiteral("andere Client-ID")));
        mail->Session.SignOut();
        QVERIFY(!mail->Session.SignedIn(settings));
        QCOMPARE(mail->Session.Describe(settings), QStringLiteral("Nicht angemeldet."));
    }

    // A token the mail server refuses also when it is brand-new (here: the sign-in is of
    // another account than the mailbox): renewed once, then the message, and nothing else.
    void refusedAfterRenewal()
    {
        TFormAnmeldung window;
        window.OpenBrowser = [](const QUrl&) { return false; };
        QTimer user;
        ConfirmTheShownCode(window, user);
        QVERIFY(window.SignIn(mail->Session, settings));
        server->SetTokenOwner(QStringLiteral("jemand-anderes"));
        dovecot->Deliver(Invoice("a.xml"));
        mail->Tick();
        QVERIFY(!mail->Connected());
        QCOMPARE(server->Refreshes(), 1);
        QCOMPARE(ConnectionBoxes().size(), 1);
        QVERIFY2(ConnectionBoxes()[0].Text.startsWith(kSignInExpired + QStringLiteral("\r\nAntwort des Mail-Servers: ")),
                 qPrintable(ConnectionBoxes()[0].Text));
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
        QVERIFY(Names(Hot()).isEmpty());
    }

    // What Exchange Online says when the token is good but the mailbox takes no IMAP.
    void refusalTexts_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("first");
        QTest::newRow("IMAP off for the mailbox") << "User is authenticated but not connected."
                                                  << "Die Anmeldung bei Microsoft 365 gilt, aber das Postfach nimmt keine IMAP-Verbindung an";
        QTest::newRow("token refused") << "AUTHENTICATE failed." << kSignInExpired;
    }

    void refusalTexts()
    {
        QFETCH(QString, server);
        QFETCH(QString, first);
        const QString message = TokenRefusedMessage(server);
        QVERIFY2(message.startsWith(first), qPrintable(message));
        QVERIFY(message.endsWith(QStringLiteral("\r\nAntwort des Mail-Servers: ") + server));
    }

    // Nobody signed in: the import says where to sign in and connects no further.
    void notSignedIn()
    {
        mail->Tick();
        QCOMPARE(ConnectionBoxes().size(), 1);
        QVERIFY2(ConnectionBoxes()[0].Text.startsWith(QStringLiteral("Nicht bei Microsoft 365 angemeldet")),
                 qPrintable(ConnectionBoxes()[0].Text));
        QVERIFY(settings.MailDisabled);
    }
};

QTEST_MAIN(TestOffice365)
#include "tst_office365.moc"
