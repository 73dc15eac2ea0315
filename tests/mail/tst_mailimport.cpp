#include "mail/EMailImport.h"
#include "platform/Exception.h"
#include "platform/ProfileFile.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"
#include "tests/support/DovecotFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TlsTestServer.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

const QString kConnectionBox = QStringLiteral("Mail Verbindungseinstellungen");

// A stand-in IMAP server that answers each command as the test says; an empty answer
// leaves the client waiting.
class TScriptedImapServer
{
public:
    using TAnswer = std::function<QByteArray(const QByteArray& tag, const QByteArray& command)>;

    explicit TScriptedImapServer(TAnswer answer)
        : FAnswer(std::move(answer))
    {
        FListener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        ::listen(FListener, 4);
        FThread = std::thread([this] { Serve(); });
    }

    ~TScriptedImapServer()
    {
        FStop = true;
        ::shutdown(FListener, SHUT_RDWR);
        ::close(FListener);
        const int client = FClient.exchange(-1);
        if (client >= 0)
            ::shutdown(client, SHUT_RDWR);
        FThread.join();
    }

    int Port() const { return FPort; }

private:
    void Serve()
    {
        while (!FStop) {
            const int client = ::accept(FListener, nullptr, nullptr);
            if (client < 0)
                return;
            FClient = client;
            Send(client, "* OK IMAP4rev1 Testserver bereit\r\n");
            QByteArray buffer;
            char chunk[4096];
            for (;;) {
                const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                buffer.append(chunk, n);
                qsizetype lf;
                while ((lf = buffer.indexOf("\r\n")) >= 0) {
                    const QByteArray line = buffer.left(lf);
                    buffer.remove(0, lf + 2);
                    const QByteArray tag = line.left(line.indexOf(' '));
                    const QByteArray answer = FAnswer(tag, line.mid(tag.size() + 1));
                    if (!answer.isEmpty())
                        Send(client, answer);
                }
            }
            FClient = -1;
            ::close(client);
        }
    }

    static void Send(int socket, const QByteArray& bytes) { ::send(socket, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL); }

    TAnswer FAnswer;
    int FListener = -1;
    int FPort = 0;
    std::atomic<int> FClient{-1};
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

QByteArray Plain(const QByteArray& tag, const QByteArray& command)
{
    const QByteArray verb = command.split(' ').value(0).toUpper();
    if (verb == "CAPABILITY")
        return "* CAPABILITY IMAP4rev1\r\n" + tag + " OK done\r\n";
    if (verb == "LOGIN")
        return tag + " OK angemeldet\r\n";
    if (verb == "LIST")
        return "* LIST () \"/\" INBOX\r\n* LIST () \"/\" Papierkorb\r\n" + tag + " OK\r\n";
    if (verb == "LOGOUT")
        return "* BYE\r\n" + tag + " OK\r\n";
    return {};
}

} // namespace

// The mail import against a real Dovecot on 127.0.0.1, and against servers that misbehave.
class TestMailImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<TDovecot> dovecot;
    TESettings settings;
    std::unique_ptr<QObject> owner;
    TEMailImport* mail = nullptr;
    QStringList statuses;

    QString Hot() const { return root->filePath(QStringLiteral("hot")); }

    void NewImport()
    {
        owner = std::make_unique<QObject>();
        mail = new TEMailImport(owner.get(), [this] { return &settings; });
        mail->tImap->stop(); // the test ticks by hand
        mail->OnStatus = [this](const QString& text) { statuses << text; };
    }

    void UseDovecot(int tls, bool implicitPort = false)
    {
        settings.MailServer = QStringLiteral("127.0.0.1");
        settings.MailPort = implicitPort ? dovecot->ImapsPort() : dovecot->ImapPort();
        settings.MailTLS = tls;
        settings.MailUser = TDovecot::User();
        settings.MailPass = TDovecot::Password();
        settings.MailDisabled = false;
    }

    void UsePlainServer(int port)
    {
        settings.MailServer = QStringLiteral("127.0.0.1");
        settings.MailPort = port;
        settings.MailTLS = 0;
        settings.MailUser = QStringLiteral("u");
        settings.MailPass = QStringLiteral("p");
        settings.MailDisabled = false;
    }

    void StartDovecot(const TDovecot::TOptions& options = {})
    {
        const QString unavailable = TDovecot::Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(unavailable));
        dovecot = std::make_unique<TDovecot>(options);
    }

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<TSandboxHome>();
        root = std::make_unique<QTemporaryDir>();
        QDir(root->path()).mkdir(QStringLiteral("hot"));
        TUserPrompt::Reset();
        settings = TESettings();
        settings.MailType = QStringLiteral("IMAP");
        settings.HotfolderPfad = Hot();
        statuses.clear();
        NewImport();
    }

    void cleanup()
    {
        owner.reset();
        mail = nullptr;
        dovecot.reset();
    }

    void threeMessagesThreeTicks()
    {
        StartDovecot();
        for (int i = 1; i <= 3; ++i)
            dovecot->Deliver(BuildMail("Rechnung " + QByteArray::number(i),
                                       {{"filename=\"rechnung-" + QByteArray::number(i) + ".pdf\"", "application/pdf",
                                         "%PDF-1.4 Nr. " + QByteArray::number(i)}}));
        UseDovecot(0);
        QCOMPARE(mail->tImap->interval(), 1000);
        mail->Tick(); // the first tick connects
        QCOMPARE(mail->tImap->interval(), 10000);
        QVERIFY(mail->Connected());
        QVERIFY(Names(Hot()).isEmpty());

        for (int left = 3; left >= 1; --left) {
            statuses.clear();
            mail->Tick();
            QCOMPARE(statuses.value(0), QStringLiteral("Messages: %1").arg(left));
            QCOMPARE(statuses.value(1), QStringLiteral("Rechnung %1").arg(left)); // the newest first
            QVERIFY(statuses.contains(QStringLiteral("Verbunden mit 127.0.0.1."))); // and a new connection
            QCOMPARE(ReadFileBytes(Hot() + QStringLiteral("/rechnung-%1.pdf").arg(left)), "%PDF-1.4 Nr. " + QByteArray::number(left));
            QCOMPARE(Names(Hot()).size(), 4 - left);
            QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), left - 1);
        }
        statuses.clear();
        mail->Tick();
        QCOMPARE(statuses.value(0), QStringLiteral("Messages: 0"));
        QCOMPARE(Names(Hot()).size(), 3);

        // Dovecot lists Trash, Papierkorb and Deleted Items: one of the two German/English
        // names wins over the special-use Trash.
        QVERIFY2(mail->imapTrash == QLatin1String("Papierkorb") || mail->imapTrash == QLatin1String("Deleted Items"),
                 qPrintable(mail->imapTrash));
        QCOMPARE(dovecot->Messages(mail->imapTrash).size(), 3);
    }

    void textOnlyMessageIsMovedWithoutSaving()
    {
        StartDovecot();
        dovecot->Deliver(BuildMail("Nur ein Gruss", {}));
        UseDovecot(0);
        mail->Tick();
        mail->Tick();
        QVERIFY(Names(Hot()).isEmpty());
        QVERIFY(dovecot->Messages(QStringLiteral("INBOX")).isEmpty());
        QCOMPARE(dovecot->Messages(mail->imapTrash).size(), 1);
    }

    void attachmentNames()
    {
        StartDovecot();
        WriteFileBytes(Hot() + QStringLiteral("/rechnung.pdf"), "alt");
        WriteFileBytes(Hot() + QStringLiteral("/rechnung"), "alt");
        dovecot->Deliver(BuildMail("Viele Anlagen", {{"filename=\"rechnung.pdf\"", "application/pdf", "eins"},
                                                     {"filename=\"rechnung.pdf\"", "application/pdf", "zwei"},
                                                     {"filename=\"rechnung\"", "application/octet-stream", "drei"},
                                                     {"filename=\"a:b?.xml\"", "text/xml", "<vier/>"},
                                                     {"filename=\"..\"", "application/pdf", "fuenf"}}));
        UseDovecot(0);
        mail->Tick();
        mail->Tick();
        QCOMPARE(Names(Hot()), QStringList({QStringLiteral("Anhang"), QStringLiteral("ab.xml"), QStringLiteral("rechnung"),
                                            QStringLiteral("rechnung(2)"), QStringLiteral("rechnung(2).pdf"),
                                            QStringLiteral("rechnung(3).pdf"), QStringLiteral("rechnung.pdf")}));
        QCOMPARE(ReadFileBytes(Hot() + QStringLiteral("/rechnung(2).pdf")), QByteArray("eins"));
        QCOMPARE(ReadFileBytes(Hot() + QStringLiteral("/rechnung(3).pdf")), QByteArray("zwei"));
        QCOMPARE(ReadFileBytes(Hot() + QStringLiteral("/rechnung.pdf")), QByteArray("alt"));
    }

    void trashFoundBySpecialUse()
    {
        StartDovecot({true, {{QStringLiteral("Trash"), QStringLiteral("\\Trash")}}, {}});
        dovecot->Deliver(BuildMail("R", {{"filename=\"r.pdf\"", "application/pdf", "r"}}));
        UseDovecot(0);
        mail->Tick();
        mail->Tick();
        QCOMPARE(mail->imapTrash, QStringLiteral("Trash"));
        QCOMPARE(dovecot->Messages(QStringLiteral("Trash")).size(), 1);
        QCOMPARE(Names(Hot()), QStringList{QStringLiteral("r.pdf")});
    }

    void withoutTrashNothingIsHandled()
    {
        StartDovecot({true, {}, {}});
        dovecot->Deliver(BuildMail("R", {{"filename=\"r.pdf\"", "application/pdf", "r"}}));
        UseDovecot(0);
        mail->Tick();
        mail->Tick();
        mail->Tick();
        QVERIFY(mail->imapTrash.isEmpty());
        // The last word of every poll, until a trash folder turns up.
        QCOMPARE(statuses.last(), QStringLiteral("Messages: 1 - kein Papierkorb-Ordner im Postfach gefunden, die Mails bleiben im Posteingang"));
        QVERIFY(Names(Hot()).isEmpty());
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
    }

    void missingHotfolderKeepsTheMessage()
    {
        StartDovecot();
        dovecot->Deliver(BuildMail("R", {{"filename=\"r.pdf\"", "application/pdf", "r"}}));
        UseDovecot(0);
        settings.HotfolderPfad = root->filePath(QStringLiteral("fehlt"));
        mail->Tick();
        QCOMPARE(ErrorOf([&] { mail->Tick(); }), QStringLiteral("Ordner %1 existiert nicht").arg(settings.HotfolderPfad));
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
        QCOMPARE(ErrorOf([&] { mail->Tick(); }), QStringLiteral("Ordner %1 existiert nicht").arg(settings.HotfolderPfad));
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
    }

    void emptyHotfolderSettingOnlyCounts()
    {
        StartDovecot();
        dovecot->Deliver(BuildMail("R", {{"filename=\"r.pdf\"", "application/pdf", "r"}}));
        UseDovecot(0);
        settings.HotfolderPfad.clear();
        mail->Tick();
        mail->Tick();
        QVERIFY(statuses.contains(QStringLiteral("Messages: 1")));
        QCOMPARE(dovecot->Messages(QStringLiteral("INBOX")).size(), 1);
    }

    void wrongPassword()
    {
        StartDovecot();
        UseDovecot(0);
        settings.MailPass = QStringLiteral("falsch");
        mail->Tick();
        const QList<TPrompt> boxes = PromptsWith(kConnectionBox);
        QCOMPARE(boxes.size(), 1);
        // What failed in German first, then the server's own words.
        QVERIFY2(boxes[0].Text.startsWith(QStringLiteral("Anmeldung abgelehnt: Der Mail-Server 127.0.0.1 nimmt die Anmeldung als %1 "
                                                         "nicht an.\r\nAntwort des Servers: ")
                                              .arg(TDovecot::User())),
                 qPrintable(boxes[0].Text));
        QVERIFY2(boxes[0].Text.contains(QStringLiteral("Authentication failed")), qPrintable(boxes[0].Text));
        QVERIFY(boxes[0].Text.endsWith(QStringLiteral("\r\nBitte überprüfen Sie jetzt die IMAP-Einstellungen.")));
        QCOMPARE(boxes[0].Buttons, TPromptButtons::Ok);
        QVERIFY(settings.MailDisabled);
        statuses.clear();
        mail->Tick();
        mail->Tick();
        QCOMPARE(PromptsWith(kConnectionBox).size(), 1); // no further attempt
        QVERIFY(statuses.isEmpty());
        QVERIFY(!mail->Connected());
    }

    void tlsModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("implicitPort");
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("0 no TLS") << 0 << false << false;
        QTest::newRow("1 implicit TLS") << 1 << true << true;
        QTest::newRow("2 STARTTLS required") << 2 << false << true;
        QTest::newRow("3 STARTTLS when offered") << 3 << false << true;
        QTest::newRow("7 means no TLS") << 7 << false << false;
    }

    void tlsModes()
    {
        QFETCH(int, mode);
        QFETCH(bool, implicitPort);
        QFETCH(bool, encrypted);
        StartDovecot();
        UseDovecot(mode, implicitPort);
        settings.MailZertifikat = QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint);
        mail->Tick();
        QVERIFY2(mail->Connected(), qPrintable(TUserPrompt::Asked().value(0).Text));
        QCOMPARE(mail->imap.Encrypted(), encrypted);
        QVERIFY(TUserPrompt::Asked().isEmpty());
    }

    // A fingerprint written as it is displayed (or in any case) is the same fingerprint.
    void trustedFingerprintInEveryForm_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("stored form") << QStringLiteral("lower");
        QTest::newRow("as displayed") << QStringLiteral("display");
        QTest::newRow("upper case, no colons") << QStringLiteral("upper");
        QTest::newRow("blanks between pairs") << QStringLiteral("blanks");
    }

    void trustedFingerprintInEveryForm()
    {
        QFETCH(QString, form);
        StartDovecot();
        UseDovecot(1, true);
        const QString hex = QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint);
        QStringList pairs;
        for (qsizetype i = 0; i < hex.size(); i += 2)
            pairs << hex.mid(i, 2);
        const QString written = form == QLatin1String("display") ? pairs.join(QLatin1Char(':')).toUpper()
            : form == QLatin1String("upper")                     ? hex.toUpper()
            : form == QLatin1String("blanks")                    ? pairs.join(QLatin1Char(' '))
                                                                 : hex;
        WriteProfileString(GetSettingsFile(), QStringLiteral("Main"), QStringLiteral("MailZertifikat"), written);
        TESettings read;
        ReadSettingsFromPersistent(read);
        QCOMPARE(read.MailZertifikat, hex.toLower());
        settings.MailZertifikat = written;
        mail->Tick();
        QVERIFY2(mail->Connected(), qPrintable(TUserPrompt::Asked().value(0).Text));
        QVERIFY(TUserPrompt::Asked().isEmpty());
        WriteMailCertificateToPersistent(settings);
        QCOMPARE(ReadProfileString(GetSettingsFile(), QStringLiteral("Main"), QStringLiteral("MailZertifikat"), {}), hex.toLower());
    }

    // The poll's network steps do not hold up the event loop, and what the poll found is
    // the last word in the status bar, not the reconnection's messages.
    void statusOfAPoll()
    {
        StartDovecot();
        dovecot->Deliver(BuildMail("Eins", {{"filename=\"1.pdf\"", "application/pdf", "1"}}));
        dovecot->Deliver(BuildMail("Zwei", {{"filename=\"2.pdf\"", "application/pdf", "2"}}));
        UseDovecot(0);
        int ticks = 0;
        QTimer meanwhile;
        connect(&meanwhile, &QTimer::timeout, [&] { ++ticks; });
        meanwhile.start(5);
        mail->Tick();
        statuses.clear();
        mail->Tick();
        QVERIFY(ticks > 0);
        QCOMPARE(statuses.value(0), QStringLiteral("Messages: 2"));
        QCOMPARE(statuses.value(1), QStringLiteral("Zwei"));
        QCOMPARE(statuses.last(), QStringLiteral("Messages: 1"));
    }

    void serverWithoutStartTls()
    {
        StartDovecot({false, {}, {}});
        UseDovecot(2);
        mail->Tick();
        QCOMPARE(PromptsWith(kConnectionBox).value(0).Text,
                 QStringLiteral("SSL ist auf diesem Server nicht verfügbar.\r\nBitte überprüfen Sie jetzt die IMAP-Einstellungen."));
        QVERIFY(!mail->Connected());

        UseDovecot(3); // when offered: goes on without
        mail->Tick();
        QVERIFY(mail->Connected());
        QVERIFY(!mail->imap.Encrypted());
    }

    void portRule_data()
    {
        QTest::addColumn<QList<int>>("steps"); // pairs of port and TLS mode, one pair per connection
        QTest::addColumn<QList<int>>("ports");
        QTest::newRow("993 without TLS") << QList<int>{993, 0, 993, 0} << QList<int>{143, 143};
        QTest::newRow("143 with implicit TLS, first time") << QList<int>{143, 1} << QList<int>{143};
        QTest::newRow("143 after a change to implicit TLS") << QList<int>{143, 2, 143, 1} << QList<int>{143, 993};
        QTest::newRow("993 with STARTTLS") << QList<int>{993, 2} << QList<int>{143};
        QTest::newRow("other ports stay") << QList<int>{4993, 0, 1143, 1} << QList<int>{4993, 1143};
    }

    void portRule()
    {
        QFETCH(QList<int>, steps);
        QFETCH(QList<int>, ports);
        for (int i = 0; i < ports.size(); ++i) {
            settings.MailPort = steps[2 * i];
            settings.MailTLS = steps[2 * i + 1];
            mail->ApplyAccount(settings);
            QCOMPARE(int(mail->imap.Port), ports[i]);
        }
    }

    void untrustedCertificate()
    {
        StartDovecot();
        UseDovecot(1, true);
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        mail->Tick();
        const QList<TPrompt> questions = PromptsWith(QStringLiteral("Warnung"));
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].Buttons, TPromptButtons::YesNo);
        QVERIFY(questions[0].Text.contains(QStringLiteral("127.0.0.1")));
        QString fingerprint = QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint).toUpper();
        for (qsizetype i = fingerprint.size() - 2; i > 0; i -= 2)
            fingerprint.insert(i, QLatin1Char(':'));
        QVERIFY(questions[0].Text.contains(fingerprint));
        QVERIFY(mail->Connected());
        QCOMPARE(settings.MailZertifikat, QString::fromLatin1(dovecot->Certificate().Sha256Fingerprint));
        QCOMPARE(ReadProfileString(GetSettingsFile(), QStringLiteral("Main"), QStringLiteral("MailZertifikat"), {}),
                 settings.MailZertifikat);

        // From now on exactly that certificate: the next connections ask nothing.
        mail->Tick();
        QVERIFY(mail->Connected());
        QCOMPARE(PromptsWith(QStringLiteral("Warnung")).size(), 1);

        // Another server with another certificate is refused without a question.
        dovecot = std::make_unique<TDovecot>();
        NewImport();
        UseDovecot(1, true);
        mail->Tick();
        QVERIFY(!mail->Connected());
        QCOMPARE(PromptsWith(QStringLiteral("Warnung")).size(), 1);
        QVERIFY(PromptsWith(kConnectionBox).value(0).Text.contains(QStringLiteral("nicht das, dem Sie vertraut haben")));
        QVERIFY(settings.MailDisabled);
    }

    void untrustedCertificateDeclined()
    {
        StartDovecot();
        UseDovecot(2);
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        mail->Tick();
        QVERIFY(!mail->Connected());
        QVERIFY(settings.MailZertifikat.isEmpty());
        const QString text = PromptsWith(kConnectionBox).value(0).Text;
        QVERIFY2(text.startsWith(QStringLiteral("Zertifikat nicht vertrauenswürdig: Das Zertifikat des Mail-Servers 127.0.0.1 "
                                                "wird nicht angenommen.\r\nPrüfung durch OpenSSL: ")),
                 qPrintable(text));
        QVERIFY(settings.MailDisabled);
    }

    void serverThatStopsAnswering()
    {
        TScriptedImapServer server([](const QByteArray& tag, const QByteArray& command) { return Plain(tag, command); });
        UsePlainServer(server.Port());
        mail->imap.TimeoutMs = 800;
        mail->Tick();
        QVERIFY(mail->Connected());
        QElapsedTimer clock;
        clock.start();
        const QString error = ErrorOf([&] { mail->Tick(); }); // SELECT is never answered
        QVERIFY2(error.startsWith(QStringLiteral("Zeitüberschreitung: Der Mail-Server 127.0.0.1 antwortet seit")), qPrintable(error));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!mail->Connected()); // the next tick connects anew
    }

    void serverThatNeverGreets()
    {
        TSilentServer silent;
        UsePlainServer(silent.Port());
        mail->imap.TimeoutMs = 500;
        mail->Tick();
        QVERIFY(PromptsWith(kConnectionBox).value(0).Text.startsWith(QStringLiteral("Zeitüberschreitung")));
        QVERIFY(settings.MailDisabled);
    }

    void trashFolderChoice_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QString>("trash");
        QTest::newRow("Papierkorb listed last") << QByteArray("* LIST () \"/\" \"Deleted Items\"\r\n* LIST () \"/\" Papierkorb\r\n")
                                                << QStringLiteral("Papierkorb");
        QTest::newRow("Deleted Items listed last") << QByteArray("* LIST () \"/\" Papierkorb\r\n* LIST () \"/\" \"Deleted Items\"\r\n")
                                                   << QStringLiteral("Deleted Items");
        QTest::newRow("modified UTF-7") << QByteArray("* LIST (\\HasNoChildren) \"/\" \"Gel&APY-schte Elemente\"\r\n")
                                        << QStringLiteral("Gelöschte Elemente");
        QTest::newRow("special use only") << QByteArray("* LIST (\\Trash) \"/\" Trash\r\n* LIST () \"/\" Archiv\r\n")
                                          << QStringLiteral("Trash");
        QTest::newRow("names before special use") << QByteArray("* LIST (\\Trash) \"/\" Trash\r\n* LIST () \"/\" Papierkorb\r\n")
                                                  << QStringLiteral("Papierkorb");
        QTest::newRow("case matters") << QByteArray("* LIST () \"/\" papierkorb\r\n* LIST () \"/\" deleted\r\n") << QString();
    }

    void trashFolderChoice()
    {
        QFETCH(QByteArray, list);
        QFETCH(QString, trash);
        TScriptedImapServer server([list](const QByteArray& tag, const QByteArray& command) -> QByteArray {
            if (command.startsWith("LIST"))
                return list + tag + " OK\r\n";
            if (command.startsWith("SELECT"))
                return "* 0 EXISTS\r\n" + tag + " OK\r\n";
            return Plain(tag, command);
        });
        UsePlainServer(server.Port());
        mail->Tick();
        mail->Tick();
        QCOMPARE(mail->imapTrash, trash);
    }

    void alertsReachTheStatusBar()
    {
        TScriptedImapServer server([](const QByteArray& tag, const QByteArray& command) -> QByteArray {
            if (command.startsWith("SELECT"))
                return "* 0 EXISTS\r\n* OK [ALERT] Wartung heute Nacht\r\n" + tag + " OK [READ-WRITE] ok\r\n";
            return Plain(tag, command);
        });
        UsePlainServer(server.Port());
        mail->Tick();
        mail->Tick();
        QVERIFY(statuses.contains(QStringLiteral("IMAP Alert")));
        QVERIFY(!statuses.join(QLatin1Char('\n')).contains(QStringLiteral("Wartung")));
    }

    void refusedCopyKeepsTheMessage()
    {
        TScriptedImapServer server([](const QByteArray& tag, const QByteArray& command) -> QByteArray {
            if (command.startsWith("SELECT"))
                return "* 1 EXISTS\r\n" + tag + " OK\r\n";
            if (command.startsWith("FETCH 1 (RFC822.HEADER)"))
                return "* 1 FETCH (RFC822.HEADER {21}\r\nSubject: Rechnung\r\n\r\n)\r\n" + tag + " OK\r\n";
            if (command.startsWith("FETCH 1 (UID)"))
                return "* 1 FETCH (UID 42)\r\n" + tag + " OK\r\n";
            if (command.startsWith("FETCH 1 (RFC822)")) {
                const QByteArray m = BuildMail("Rechnung", {{"filename=\"r.pdf\"", "application/pdf", "r"}});
                return "* 1 FETCH (RFC822 {" + QByteArray::number(m.size()) + "}\r\n" + m + ")\r\n" + tag + " OK\r\n";
            }
            if (command.startsWith("UID COPY"))
                return tag + " NO [TRYCREATE] Mailbox doesn't exist: Papierkorb\r\n";
            if (command.startsWith("UID STORE") || command.startsWith("EXPUNGE"))
                qFatal("the message must not be deleted");
            return Plain(tag, command);
        });
        UsePlainServer(server.Port());
        mail->Tick();
        const QString error = ErrorOf([&] { mail->Tick(); });
        QVERIFY2(error.startsWith(QStringLiteral("Die Mail konnte nicht in den Ordner Papierkorb kopiert werden")), qPrintable(error));
        QCOMPARE(Names(Hot()), QStringList{QStringLiteral("r.pdf")});
    }
};

QTEST_GUILESS_MAIN(TestMailImport)
#include "tst_mailimport.moc"
