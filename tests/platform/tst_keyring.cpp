#include "mail/OAuthSession.h"
#include "platform/SecretStore.h"
#include "settings/ESettings.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// A desktop session's keyring for the test alone: a private D-Bus session bus and a GNOME
// Keyring on it that serves the Secret Service, its login keyring unlocked with a password
// of the test. Stopped when destroyed.
class TKeyring
{
public:
    static QString Unavailable()
    {
        for (const char* program : {"dbus-daemon", "gnome-keyring-daemon"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QStringLiteral("%1 fehlt (Paket dbus bzw. gnome-keyring)").arg(QLatin1String(program));
        return {};
    }

    TKeyring()
    {
        // A bus of its own without service activation: the first question to the keyring
        // would otherwise start a second, locked one.
        QFile config(FDir.filePath(QStringLiteral("bus.conf")));
        config.open(QIODevice::WriteOnly);
        config.write(("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                      "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig><type>session</type><listen>unix:dir=" + FDir.path().toUtf8() + "</listen>"
                      "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                      "</policy></busconfig>\n"));
        config.close();
        FBus.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!FBus.waitForReadyRead(10000))
            throw std::runtime_error("dbus-daemon did not start");
        FAddress = QString::fromLatin1(FBus.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", FAddress.toLocal8Bit());
        FKeyring.start(QStringLiteral("gnome-keyring-daemon"),
                       {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        FKeyring.write("test-kennwort");
        FKeyring.closeWriteChannel();
        // The daemon has taken the Secret Service's name once a write succeeds.
        QElapsedTimer clock;
        clock.start();
        while (!WriteSecret(QStringLiteral("bereit"), QStringLiteral("ja")).Ok()) {
            if (clock.elapsed() > 15000 || FKeyring.state() == QProcess::NotRunning)
                throw std::runtime_error(("gnome-keyring-daemon did not serve: " + FKeyring.readAllStandardError()).toStdString());
            QTest::qWait(100);
        }
        DeleteSecret(QStringLiteral("bereit"));
    }

    ~TKeyring()
    {
        for (QProcess* p : {&FKeyring, &FBus}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

private:
    QTemporaryDir FDir;
    QProcess FBus;
    QProcess FKeyring;
    QString FAddress;
};

TESettings Account(const QString& clientId)
{
    TESettings s;
    s.MailType = QString::fromLatin1(kMailTypeOffice365);
    s.MailTenant = QStringLiteral("firma.example");
    s.MailClientId = clientId;
    s.MailAuthority = QString::fromLatin1(kDefaultMailAuthority);
    return s;
}

} // namespace

// The sign-in's refresh token in a real keyring (Secret Service), and what happens where
// there is none.
class TestKeyring : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;

private Q_SLOTS:
    void initTestCase()
    {
        home = std::make_unique<TSandboxHome>();
        qputenv("XDG_RUNTIME_DIR", home->Path().toLocal8Bit());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    // No session bus at all: every call says the keyring is out of reach (and never falls
    // back to a file), and a sign-in is kept for this run only.
    void withoutAKeyring()
    {
        const TSecretResult written = WriteSecret(QStringLiteral("probe"), QStringLiteral("geheim"));
        QCOMPARE(int(written.State), int(TSecretResult::TState::Unavailable));
        QVERIFY(!written.Problem.isEmpty());
        QCOMPARE(int(ReadSecret(QStringLiteral("probe")).State), int(TSecretResult::TState::Unavailable));

        TOAuthSession session;
        const TESettings account = Account(QStringLiteral("app-1"));
        const QString note = session.Store(account, {QStringLiteral("at"), QStringLiteral("rt-geheim-4711"),
                                                     QDateTime::currentDateTimeUtc().addSecs(3600)});
        QVERIFY(note.contains(QStringLiteral("nur für diesen Programmlauf")));
        QVERIFY(session.SignedIn(account));
        QVERIFY(!session.KeyringProblem().isEmpty());
        QDirIterator files(home->Path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("rt-geheim-4711"), qPrintable(file.fileName()));
        }
        TOAuthSession nextRun;
        QVERIFY(!nextRun.SignedIn(account));
    }

    // With a keyring: the sign-in outlives the run, belongs to its app registration, and
    // "Abmelden" removes it.
    void inTheKeyring()
    {
        const QString unavailable = TKeyring::Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        TKeyring keyring;

        QCOMPARE(int(ReadSecret(QStringLiteral("fehlt")).State), int(TSecretResult::TState::NotFound));
        QVERIFY(WriteSecret(QStringLiteral("probe"), QStringLiteral("geheim äöü")).Ok());
        QCOMPARE(ReadSecret(QStringLiteral("probe")).Value, QStringLiteral("geheim äöü"));
        QVERIFY(DeleteSecret(QStringLiteral("probe")).Ok());
        QVERIFY(DeleteSecret(QStringLiteral("probe")).Ok()); // gone already: done all the same
        QCOMPARE(int(ReadSecret(QStringLiteral("probe")).State), int(TSecretResult::TState::NotFound));

        const TESettings account = Account(QStringLiteral("app-1"));
        {
            TOAuthSession session;
            QCOMPARE(session.Store(account, {QStringLiteral("at"), QStringLiteral("rt-1"), QDateTime::currentDateTimeUtc().addSecs(3600)}),
                     QString());
        }
        TOAuthSession nextRun;
        QVERIFY(nextRun.SignedIn(account));
        QCOMPARE(nextRun.Describe(account), QStringLiteral("Angemeldet; die Anmeldung liegt im Schlüsselbund des Desktops."));
        QVERIFY(!nextRun.SignedIn(Account(QStringLiteral("app-2"))));
        QVERIFY(ReadSecret(kOAuthSecretKey).Value.contains(QStringLiteral("rt-1")));
        // It is the desktop's keyring that holds it (GNOME Keyring's file below the data folder).
        QVERIFY(QFileInfo::exists(home->DataHome() + QStringLiteral("/keyrings/login.keyring")));

        QCOMPARE(nextRun.SignOut(), QString());
        QVERIFY(!nextRun.SignedIn(account));
        QCOMPARE(int(ReadSecret(kOAuthSecretKey).State), int(TSecretResult::TState::NotFound));
        TOAuthSession afterSignOut;
        QVERIFY(!afterSignOut.SignedIn(account));
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "tst_keyring.moc"
