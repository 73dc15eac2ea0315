#include "platform/Exception.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "settings/ESettings.h"
#include "tests/support/TestEnvironment.h"

#include <QSettings>
#include <QtTest>

namespace {

TESettings Sample()
{
    TESettings s;
    s.HotfolderPfad = QStringLiteral("/srv/rechnungen/eingang");
    s.ProblemPfad = QStringLiteral("/srv/rechnungen/problem/");
    s.WeiterverarbeitungPfad = QStringLiteral("/srv/rechnungen/weiter");
    s.DMSPfad = QStringLiteral("/srv/dms");
    s.MailType = QStringLiteral("IMAP");
    s.MailServer = QStringLiteral("imap.example.org");
    s.MailPort = 143;
    s.MailTLS = 2;
    s.MailUser = QStringLiteral("buchhaltung@example.org");
    s.MailPass = QStringLiteral("geheim");
    s.MailDisabled = false;
    s.CreateFolderDisabled = true;
    return s;
}

} // namespace

// The settings object, its INI file, the registry value that locates it, the password.
class TestSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;

    QString Ini() const { return home->DataHome() + QStringLiteral("/erechnungseingang.ini"); }

    void WriteIni(const QByteArray& content) const
    {
        QDir().mkpath(home->DataHome());
        WriteFileBytes(Ini(), content);
    }

    TESettings Read() const
    {
        TESettings s;
        ReadSettingsFromPersistent(s);
        return s;
    }

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<TSandboxHome>();
    }

    void firstStartHasTheDefaults()
    {
        QCOMPARE(GetSettingsFolder(), home->DataHome() + QLatin1Char('/'));
        const TESettings s = Read();
        QVERIFY(s.HotfolderPfad.isEmpty() && s.ProblemPfad.isEmpty() && s.WeiterverarbeitungPfad.isEmpty() && s.DMSPfad.isEmpty());
        QCOMPARE(s.MailType, QStringLiteral("IMAP"));
        QCOMPARE(s.MailServer, QString::fromLatin1(kDefaultMailServer));
        QCOMPARE(s.MailPort, 993);
        QCOMPARE(s.MailTLS, 1);
        QVERIFY(s.MailUser.isEmpty() && s.MailPass.isEmpty());
        QVERIFY(s.MailDisabled);
        QVERIFY(!s.CreateFolderDisabled);
        QCOMPARE(s.Pruefung, QString::fromLatin1(kPruefungDienstOderEingebaut)); // a new installation
        QVERIFY(s.PruefdienstUrl.isEmpty());
        QVERIFY(!QFile::exists(Ini())); // reading creates nothing
    }

    // A file from before there was a choice keeps the service; the choice and the address
    // come back as written, and clearing the address removes it for good.
    void checkChoiceAndServiceAddress()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/alt\r\n");
        QCOMPARE(Read().Pruefung, QString::fromLatin1(kPruefungDienst));
        TESettings s = Sample();
        s.Pruefung = QString::fromLatin1(kPruefungEingebaut);
        s.PruefdienstUrl = QStringLiteral("https://pruefung.example.org:8443");
        WriteSettingsToPersistent(s);
        QVERIFY(ReadFileBytes(Ini()).contains("\r\nPruefung=Eingebaut\r\nPruefdienstUrl=https://pruefung.example.org:8443\r\n"));
        TESettings back = Read();
        QCOMPARE(back.Pruefung, s.Pruefung);
        QCOMPARE(back.PruefdienstUrl, s.PruefdienstUrl);
        back.PruefdienstUrl.clear();
        WriteSettingsToPersistent(back);
        QVERIFY(Read().PruefdienstUrl.isEmpty());
    }

    void serviceAddress_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("kept"); // empty with refused
        QTest::addColumn<bool>("refused");
        QTest::newRow("host") << "https://pruefung.example.org" << "https://pruefung.example.org" << false;
        QTest::newRow("port, blanks, slash") << "  https://127.0.0.1:8443/ " << "https://127.0.0.1:8443" << false;
        QTest::newRow("empty: the program's own") << "   " << "" << false;
        QTest::newRow("plain http") << "http://pruefung.example.org" << "" << true;
        QTest::newRow("a path") << "https://pruefung.example.org/api" << "" << true;
        QTest::newRow("a query") << "https://pruefung.example.org?x=1" << "" << true;
        QTest::newRow("user info") << "https://ich:pw@pruefung.example.org" << "" << true;
        QTest::newRow("no scheme") << "pruefung.example.org" << "" << true;
        QTest::newRow("no host") << "https://" << "" << true;
    }

    void serviceAddress()
    {
        QFETCH(QString, input);
        QFETCH(QString, kept);
        QFETCH(bool, refused);
        try {
            QCOMPARE(NormalizeServiceUrl(input), kept);
            QVERIFY(!refused);
        } catch (const Exception& e) {
            QVERIFY2(refused, qPrintable(e.Message()));
            QVERIFY(e.Message().contains(input.trimmed()));
        }
    }

    void firstWriteListsTheTwelveKeysInOrder()
    {
        WriteSettingsToPersistent(Sample());
        QCOMPARE(ReadFileBytes(Ini()),
                 QByteArray("[Main]\r\n"
                            "HotfolderPfad=/srv/rechnungen/eingang\r\n"
                            "ProblemPfad=/srv/rechnungen/problem/\r\n"
                            "WeiterverarbeitungPfad=/srv/rechnungen/weiter\r\n"
                            "DMSPfad=/srv/dms\r\n"
                            "MailType=IMAP\r\n"
                            "MailServer=imap.example.org\r\n"
                            "MailPort=143\r\n"
                            "MailTLS=2\r\n"
                            "MailUser=buchhaltung@example.org\r\n"
                            "MailPass=")
                     + EncodePassword(QStringLiteral("geheim")).toLatin1()
                     + "\r\nMailDisabled=0\r\nCreateFolderDisabled=1\r\n");
        const TESettings back = Read();
        QCOMPARE(back.HotfolderPfad, Sample().HotfolderPfad);
        QCOMPARE(back.MailPass, QStringLiteral("geheim"));
        QCOMPARE(back.MailPort, 143);
        QVERIFY(!back.MailDisabled && back.CreateFolderDisabled);
        QCOMPARE(QDir(home->DataHome()).entryList(QDir::Files), QStringList{QStringLiteral("erechnungseingang.ini")});
    }

    // The sign-in keys of an "Office 365" mailbox: written once they differ from their
    // defaults (a file without them keeps its twelve keys), read back as written.
    void office365Keys()
    {
        TESettings s = Sample();
        s.MailTenant = QString::fromLatin1(kDefaultMailTenant);
        s.MailAuthority = QString::fromLatin1(kDefaultMailAuthority);
        WriteSettingsToPersistent(s);
        QVERIFY(!ReadFileBytes(Ini()).contains("MailTenant"));
        QVERIFY(!ReadFileBytes(Ini()).contains("MailAuthority"));
        TESettings back = Read();
        QCOMPARE(back.MailTenant, QStringLiteral("organizations"));
        QCOMPARE(back.MailAuthority, QStringLiteral("https://login.microsoftonline.com"));
        QCOMPARE(back.MailClientId, QString());

        s.MailType = QString::fromLatin1(kMailTypeOffice365);
        s.MailTenant = QStringLiteral("firma.onmicrosoft.com");
        s.MailClientId = QStringLiteral("4a1aa1d5-c567-49d0-ad0b-cd957a47f842");
        WriteSettingsToPersistent(s);
        QVERIFY(ReadFileBytes(Ini()).endsWith("MailTenant=firma.onmicrosoft.com\r\nMailClientId=4a1aa1d5-c567-49d0-ad0b-cd957a47f842\r\n"));
        back = Read();
        QCOMPARE(back.MailType, QStringLiteral("Office 365"));
        QCOMPARE(back.MailTenant, s.MailTenant);
        QCOMPARE(back.MailClientId, s.MailClientId);
        // Back to the default: the key that was there says so.
        s.MailTenant = QString::fromLatin1(kDefaultMailTenant);
        WriteSettingsToPersistent(s);
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("MailTenant"), {}), QStringLiteral("organizations"));
        QVERIFY(!ReadFileBytes(Ini()).contains("Token"));
    }

    void existingFileKeepsWhatItHad()
    {
        WriteIni("; Einstellungen der Buchhaltung\r\n"
                 "[Main]\r\n"
                 "MailServer = alt.example.org\r\n"
                 "Unbekannt=bleibt\r\n"
                 "hotfolderpfad=/alt/eingang\r\n"
                 "\r\n"
                 "[Andere]\r\n"
                 "MailPort=1\r\n");
        WriteSettingsToPersistent(Sample());
        const QByteArray content = ReadFileBytes(Ini());
        QVERIFY(content.startsWith("; Einstellungen der Buchhaltung\r\n"
                                   "[Main]\r\n"
                                   "MailServer=imap.example.org\r\n"
                                   "Unbekannt=bleibt\r\n"
                                   "hotfolderpfad=/srv/rechnungen/eingang\r\n"
                                   "ProblemPfad=/srv/rechnungen/problem/\r\n"));
        QVERIFY(content.endsWith("CreateFolderDisabled=1\r\n\r\n[Andere]\r\nMailPort=1\r\n"));
        QCOMPARE(content.count("HotfolderPfad"), 0); // replaced where it stood, in its own spelling
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Andere"), QStringLiteral("MailPort"), {}), QStringLiteral("1"));
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("blanks around") << QByteArray("  DMSPfad  =   /dms/ordner   ") << QStringLiteral("DMSPfad") << QStringLiteral("/dms/ordner");
        QTest::newRow("double quotes") << QByteArray("DMSPfad=\" /mit blank \"") << QStringLiteral("DMSPfad") << QStringLiteral(" /mit blank ");
        QTest::newRow("single quotes") << QByteArray("DMSPfad='/x'") << QStringLiteral("DMSPfad") << QStringLiteral("/x");
        QTest::newRow("other case") << QByteArray("dmspfad=/klein") << QStringLiteral("DMSPfad") << QStringLiteral("/klein");
        QTest::newRow("windows-1252") << QByteArray("DMSPfad=/Rechnungen/Gel\xf6scht \x80") << QStringLiteral("DMSPfad")
                                      << QStringLiteral("/Rechnungen/Gelöscht €");
        QTest::newRow("cut at 2047") << QByteArray("DMSPfad=") + QByteArray(3000, 'x') << QStringLiteral("DMSPfad") << QString(2047, QLatin1Char('x'));
    }

    void readingRules()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QString, value);
        WriteIni("[main]\n" + line + "\n");
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), key, QStringLiteral("?")), value);
    }

    void integerKeys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value"); // 0: not an integer, the defaults apply
        QTest::newRow("decimal") << QByteArray("143") << 143;
        QTest::newRow("0x hex") << QByteArray("0x3E1") << 993;
        QTest::newRow("0X hex") << QByteArray("0X3e1") << 993;
        QTest::newRow("$ hex") << QByteArray("$3E1") << 993;
        QTest::newRow("plus sign") << QByteArray("+143") << 143;
        QTest::newRow("minus sign") << QByteArray("-1") << -1;
        QTest::newRow("letters") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("bare 0x") << QByteArray("0x") << 0;
        QTest::newRow("trailing letters") << QByteArray("99x") << 0;
        QTest::newRow("too big") << QByteArray("4294967296") << 0;
    }

    void integerKeys()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        WriteIni("[Main]\r\nMailPort=" + text + "\r\nMailTLS=" + text + "\r\n");
        const TESettings s = Read();
        QCOMPARE(s.MailPort, value ? value : 993);
        QCOMPARE(s.MailTLS, value ? value : 1);
    }

    void booleanKeys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("mailDisabled");
        QTest::addColumn<bool>("createFolderDisabled");
        QTest::newRow("2") << QByteArray("2") << true << true;
        QTest::newRow("0") << QByteArray("0") << false << false;
        QTest::newRow("1") << QByteArray("1") << true << true;
        QTest::newRow("yes: the default") << QByteArray("yes") << true << false;
        QTest::newRow("empty: the default") << QByteArray("") << true << false;
    }

    void booleanKeys()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, mailDisabled);
        QFETCH(bool, createFolderDisabled);
        WriteIni("[Main]\r\nMailDisabled=" + text + "\r\nCreateFolderDisabled=" + text + "\r\n");
        const TESettings s = Read();
        QCOMPARE(s.MailDisabled, mailDisabled);
        QCOMPARE(s.CreateFolderDisabled, createFolderDisabled);
    }

    void presentButEmptyMailTypeStaysEmpty()
    {
        WriteIni("[Main]\r\nMailType=\r\nMailServer=\r\n");
        const TESettings s = Read();
        QVERIFY(s.MailType.isEmpty());
        QVERIFY(s.MailServer.isEmpty());
    }

    void passwordsRoundTrip_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("empty") << QString();
        QTest::newRow("spaces") << QStringLiteral("mit  Leer zeichen ");
        QTest::newRow("non-ascii") << QStringLiteral("Pässwörd€ß😀");
        QTest::newRow("57 bytes") << QString(57, QLatin1Char('a'));
        QTest::newRow("58 bytes") << QStringLiteral("!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[");
        QTest::newRow("300 bytes") << QString(100, QChar(0x20AC));
    }

    void passwordsRoundTrip()
    {
        QFETCH(QString, password);
        TESettings s = Sample();
        s.MailPass = password;
        WriteSettingsToPersistent(s);
        const QString stored = ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("MailPass"), QStringLiteral("?"));
        QCOMPARE(stored, EncodePassword(password));
        QVERIFY(!stored.contains(QLatin1Char('\n')) && !stored.contains(QLatin1Char('\r')));
        QCOMPARE(Read().MailPass, password);
        if (password.isEmpty())
            QVERIFY(ReadFileBytes(Ini()).contains("\r\nMailPass=\r\n"));
    }

    void passwordWithLineBreaksDecodes()
    {
        const QString password(60, QLatin1Char('k'));
        QString stored = EncodePassword(password);
        QVERIFY(stored.size() > 76);
        stored.insert(76, QStringLiteral("\r\n"));
        QCOMPARE(DecodePassword(stored), password);
        QCOMPARE(DecodePassword(QStringLiteral("%%%")), QString());
    }

    void scrambleTextIsItsOwnInverse()
    {
        QString alphabet;
        for (char16_t c = u'!'; c <= u'~'; ++c)
            alphabet += QChar(c);
        const QString scrambled = ScrambleText(alphabet);
        QVERIFY(scrambled != alphabet);
        QCOMPARE(ScrambleText(scrambled), alphabet);
        QString sorted = scrambled;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, alphabet); // a permutation of the 94 characters
        const QString others = QStringLiteral(" \t\r\näöüß€\x7f") + QChar(0x80) + QChar(0xA0);
        QCOMPARE(ScrambleText(others), others);
    }

    void registryValueIsAPlainPrefix()
    {
        const QString folder = home->Path() + QStringLiteral("/Config");
        TRegistryKey(QStringLiteral("PALUDRA_ERechnungsEingang\\Main")).WriteString(QStringLiteral("Pfad_Settings"), folder);
        QCOMPARE(GetSettingsFile(), folder + QStringLiteral("erechnungseingang.ini"));
        WriteSettingsToPersistent(Sample());
        QVERIFY(QFile::exists(home->Path() + QStringLiteral("/Configerechnungseingang.ini")));
        QCOMPARE(Read().MailServer, QStringLiteral("imap.example.org"));
    }

    void registryValueOfTheWrongType()
    {
        QSettings store(TRegistryKey::StoreFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("Main/Pfad_Settings"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        store.sync();
        QCOMPARE(ErrorOf([] { GetSettingsFolder(); }), QStringLiteral("Ungültiger Datentyp für 'Pfad_Settings'"));
    }

    void unwritableFolder()
    {
        const QString folder = home->Path() + QStringLiteral("/gibt-es-nicht/");
        TRegistryKey(QStringLiteral("PALUDRA_ERechnungsEingang\\Main")).WriteString(QStringLiteral("Pfad_Settings"), folder);
        QCOMPARE(ErrorOf([] { WriteSettingsToPersistent(Sample()); }),
                 QStringLiteral("In %1erechnungseingang.ini kann nicht geschrieben werden").arg(folder));
        QVERIFY(!QFileInfo::exists(folder)); // no folder is ever created
    }

    void settingsIntegerParser_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("$FFFFFFFF") << QStringLiteral("$FFFFFFFF") << true << -1;
        QTest::newRow("-$10") << QStringLiteral("-$10") << true << -16;
        QTest::newRow("min") << QStringLiteral("-2147483648") << true << int(-2147483648LL);
        QTest::newRow("max+1") << QStringLiteral("2147483648") << false << 0;
        QTest::newRow("sign only") << QStringLiteral("-") << false << 0;
        QTest::newRow("$ only") << QStringLiteral("$") << false << 0;
        QTest::newRow("blank inside") << QStringLiteral("9 9") << false << 0;
    }

    void settingsIntegerParser()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        qint32 parsed = 0;
        QCOMPARE(ParseSettingsInteger(text, parsed), ok);
        if (ok)
            QCOMPARE(parsed, value);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
