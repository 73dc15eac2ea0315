#include "tests/support/TestEnvironment.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TlsTestServer.h"
#include "workflow/EHistory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <algorithm>

#include <sys/stat.h>

namespace {

struct TRun
{
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;

    QList<QJsonObject> Records() const
    {
        QList<QJsonObject> records;
        for (const QByteArray& line : Out.split('\n')) {
            if (!line.trimmed().isEmpty())
                records << QJsonDocument::fromJson(line).object();
        }
        return records;
    }
};

TRun Check(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ERECHNUNG_CHECK_EXE), args);
    p.waitForFinished(120000);
    return TRun{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
}

// The first account (BT-84) of a CII invoice's bytes.
QByteArray FirstIban(const QByteArray& xml)
{
    const qsizetype from = xml.indexOf("<ram:IBANID>") + 12;
    return xml.mid(from, xml.indexOf("</ram:IBANID>", from) - from);
}

} // namespace

// The headless tool as a script would use it.
class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    TTlsTestServer server;

    QStringList ServiceArgs() const
    {
        return {QStringLiteral("--service"), server.BaseUrl(), QStringLiteral("--cacert"), server.CaFile()};
    }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        WriteFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ServeInvoiceServices(server);
    }

    void helpExplainsTheOptions()
    {
        const TRun run = Check({QStringLiteral("--help")});
        QCOMPARE(run.ExitCode, 0);
        for (const char* word : {"--validate", "--offline", "checked_by", "findings", "--render", "--service", "--cacert", "--json", "archive_name", "Rückgabewert"})
            QVERIFY2(run.Out.contains(word), word);
    }

    void exitStatusAndVerdicts_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("validate");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("verdicts");
        QTest::newRow("loaded") << QStringList{QStringLiteral("gut.xml")} << false << 0 << QStringList{QString()};
        QTest::newRow("accepted") << QStringList{QStringLiteral("gut.xml")} << true << 0 << QStringList{QStringLiteral("accept")};
        QTest::newRow("one rejected") << QStringList{QStringLiteral("gut.xml"), QStringLiteral("schlecht.xml")} << true << 1
                                      << QStringList{QStringLiteral("accept"), QStringLiteral("reject")};
        QTest::newRow("error beats reject")
            << QStringList{QStringLiteral("schlecht.xml"), QStringLiteral("fehlt.xml"), QStringLiteral("gut.xml")} << true << 2
            << QStringList{QStringLiteral("reject"), QString(), QStringLiteral("accept")};
    }

    void exitStatusAndVerdicts()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, validate);
        QFETCH(int, exitCode);
        QFETCH(QStringList, verdicts);
        Write(QStringLiteral("gut.xml"), "<Invoice>OK</Invoice>");
        Write(QStringLiteral("schlecht.xml"), "<Invoice>UNGUELTIG</Invoice>");
        QStringList args = ServiceArgs() << QStringLiteral("--json");
        if (validate)
            args << QStringLiteral("--validate");
        for (const QString& f : files)
            args << dir.filePath(f);
        const TRun run = Check(args);
        QCOMPARE(run.ExitCode, exitCode);
        const auto records = run.Records();
        QCOMPARE(records.size(), files.size()); // a failing file does not stop the others
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].value(QStringLiteral("path")).toString(), dir.filePath(files[i]));
            QCOMPARE(records[i].value(QStringLiteral("verdict")).toString(), verdicts[i]);
            const bool missing = files[i] == QLatin1String("fehlt.xml");
            QCOMPARE(records[i].value(QStringLiteral("error")).isNull(), !missing);
            if (missing)
                QVERIFY(records[i].value(QStringLiteral("error")).toString().startsWith(QStringLiteral("Datei ")));
            else if (validate)
                QVERIFY(records[i].value(QStringLiteral("validation")).toString().contains(QStringLiteral("Bewertung:")));
        }
    }

    void rendersIntoAFolder()
    {
        QTemporaryDir out;
        const QString file = Write(QStringLiteral("darstellen.xml"), "<Invoice>OK</Invoice>");
        const TRun run = Check(ServiceArgs() << QStringLiteral("--render") << out.path() << QStringLiteral("--json") << file);
        QCOMPARE(run.ExitCode, 0);
        const QString archiveName = run.Records().front().value(QStringLiteral("archive_name")).toString();
        QCOMPARE(ReadFileBytes(out.filePath(archiveName + QStringLiteral(".html"))), ReadTestData(QStringLiteral("rendering.html")));
    }

    // The built-in view and the invoice's main terms need no network at all.
    void builtInViewAndMainTermsWithoutNetwork()
    {
        TTempFolder out;
        const QString file = Write(QStringLiteral("gutschrift.xml"), ReadTestData(QStringLiteral("model/ubl-gutschrift.xml")));
        const TRun run = Check({QStringLiteral("--service"), QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort()),
                                QStringLiteral("--view"), out.path(), QStringLiteral("--json"), file});
        QCOMPARE(run.ExitCode, 0);
        const QJsonObject record = run.Records().front();
        const QJsonObject invoice = record.value(QStringLiteral("invoice")).toObject();
        QCOMPARE(invoice.value(QStringLiteral("number")).toString(), QStringLiteral("GS-2026-0042"));
        QCOMPARE(invoice.value(QStringLiteral("type_code")).toString(), QStringLiteral("381"));
        QCOMPARE(invoice.value(QStringLiteral("seller_vat_id")).toString(), QStringLiteral("DE123456789"));
        QCOMPARE(invoice.value(QStringLiteral("amount_due")).toString(), QStringLiteral("212.50"));
        QCOMPARE(invoice.value(QStringLiteral("line_count")).toInt(), 2);
        QCOMPARE(invoice.value(QStringLiteral("ibans")).toArray().first().toString(), QStringLiteral("DE75512108001245126199"));
        const QString archiveName = record.value(QStringLiteral("archive_name")).toString();
        const QByteArray html = ReadFileBytes(out.filePath(archiveName + QStringLiteral(".html")));
        QVERIFY(html.contains("<h1>Gutschrift GS-2026-0042</h1>"));

        // No UBL or CII invoice: no terms, and why.
        const TRun other = Check({QStringLiteral("--json"), Write(QStringLiteral("bestellung.xml"), "<Order xmlns=\"urn:x\"/>")});
        const QJsonObject r = other.Records().front();
        QVERIFY(r.value(QStringLiteral("invoice")).isNull());
        QVERIFY(r.value(QStringLiteral("invoice_error")).toString().contains(QStringLiteral("<Order>")));
    }

    // --offline: the built-in checks decide, nothing goes over the network (the service
    // address leads nowhere), and the findings are listed for scripts.
    void offlineChecksWithoutNetwork()
    {
        TTempFolder out;
        const QString good = Write(QStringLiteral("gut.xml"), ReadTestData(QStringLiteral("model/cii-positionen.xml")));
        const QString bad = Write(QStringLiteral("falsch.xml"), ReadTestData(QStringLiteral("invoice-utf8.xml")));
        const QStringList offline{QStringLiteral("--service"), QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort()),
                                  QStringLiteral("--offline")};
        const TRun run = Check(QStringList(offline) << QStringLiteral("--render") << out.path() << QStringLiteral("--json") << good << bad);
        QCOMPARE(run.ExitCode, 1);
        const auto records = run.Records();
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& r : records) {
            QVERIFY(r.value(QStringLiteral("error")).isNull());
            QCOMPARE(r.value(QStringLiteral("checked_by")).toString(), QStringLiteral("built-in"));
            QVERIFY(r.value(QStringLiteral("validation")).toString().contains(QStringLiteral("Eingebaute Prüfung (Stand XRechnung 3.0.2)")));
            const QByteArray view = ReadFileBytes(out.filePath(r.value(QStringLiteral("archive_name")).toString() + QStringLiteral(".html")));
            QVERIFY(view.contains("Eingebaute Ansicht"));
        }
        QCOMPARE(records[0].value(QStringLiteral("verdict")).toString(), QStringLiteral("accept"));
        QCOMPARE(records[1].value(QStringLiteral("verdict")).toString(), QStringLiteral("reject"));
        const QJsonArray findings = records[1].value(QStringLiteral("findings")).toArray();
        QVERIFY(!findings.isEmpty());
        const QJsonObject first = findings.first().toObject();
        QCOMPARE(first.keys(), (QStringList{QStringLiteral("id"), QStringLiteral("level"), QStringLiteral("location"), QStringLiteral("text")}));
        QCOMPARE(first.value(QStringLiteral("id")).toString(), QStringLiteral("cvc-complex-type.2.4.a"));
        QCOMPARE(first.value(QStringLiteral("level")).toString(), QStringLiteral("error"));
        QVERIFY(!first.value(QStringLiteral("location")).toString().isEmpty() && !first.value(QStringLiteral("text")).toString().isEmpty());

        // The text output names the check and lists the findings.
        const TRun text = Check(QStringList(offline) << bad);
        QCOMPARE(text.ExitCode, 1);
        QVERIFY(text.Out.contains("  Geprüft von: eingebaute Prüfung"));
        QVERIFY(text.Out.contains("  Befunde:     error cvc-complex-type.2.4.a: "));

        // With the service, the service decides; a PDF without XML is checked by nobody.
        const QString plain = dir.filePath(QStringLiteral("nur.pdf"));
        WriteMinimalPdf(plain);
        const TRun service = Check(ServiceArgs() << QStringLiteral("--validate") << QStringLiteral("--json") << good << plain);
        QCOMPARE(service.Records().size(), 2);
        QCOMPARE(service.Records()[0].value(QStringLiteral("checked_by")).toString(), QStringLiteral("service"));
        QVERIFY(service.Records()[0].value(QStringLiteral("findings")).isArray());
        QCOMPARE(service.Records()[1].value(QStringLiteral("verdict")).toString(), QStringLiteral("wave-through"));
        QVERIFY(service.Records()[1].value(QStringLiteral("checked_by")).isNull());
    }

    void textOutputIsGerman()
    {
        const TRun run = Check(ServiceArgs() << QStringLiteral("--validate") << Write(QStringLiteral("t.xml"), "<Invoice>UNGUELTIG</Invoice>"));
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(run.Out.contains("  Art:         XML-Rechnung\n"));
        QVERIFY(run.Out.contains("  Urteil:      ablehnen\n"));
    }

    // A FIFO is reported, never waited for; names that are not UTF-8 are read under their
    // own bytes and shown as the user reads them; both as a folder and named one by one.
    void fifosAndNamesThatAreNotUtf8_data()
    {
        QTest::addColumn<bool>("named");
        QTest::newRow("folder") << false;
        QTest::newRow("each file named") << true;
    }

    void fifosAndNamesThatAreNotUtf8()
    {
        QFETCH(bool, named);
        TTempFolder folder;
        WriteFileNamedBytes(folder.path(), "lat1-\xe4\xf6\xfc.xml", "<Invoice>OK</Invoice>");
        WriteFileNamedBytes(folder.path(), "bad\xff.xml", "<Invoice>OK</Invoice>");
        QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe.xml"))).constData(), 0600), 0);

        QProcess p;
        p.setWorkingDirectory(folder.path());
        // The shell hands the names over as bytes.
        p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --json %1").arg(named ? QStringLiteral("./*") : QStringLiteral(".")),
                                      QStringLiteral(ERECHNUNG_CHECK_EXE)});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 2);
        TRun run{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
        QMap<QString, QJsonObject> byName;
        for (const QJsonObject& r : run.Records())
            byName.insert(r.value(QStringLiteral("path")).toString().section(QLatin1Char('/'), -1), r);
        QCOMPARE(byName.keys(), QStringList({QStringLiteral("badÿ.xml"), QStringLiteral("lat1-äöü.xml"), QStringLiteral("pipe.xml")}));
        QVERIFY(byName[QStringLiteral("lat1-äöü.xml")].value(QStringLiteral("error")).isNull());
        QVERIFY(byName[QStringLiteral("lat1-äöü.xml")].value(QStringLiteral("archive_name")).toString().endsWith(QStringLiteral("_lat1-äöü.xml")));
        QVERIFY(byName[QStringLiteral("badÿ.xml")].value(QStringLiteral("error")).isNull());
        QVERIFY(byName[QStringLiteral("pipe.xml")].value(QStringLiteral("error")).toString().contains(QStringLiteral("keine Datei")));
    }

    // The profile the rules identifier names, for the corpus and the profile samples.
    void profileOfEachFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("profile");
        QTest::newRow("XRechnung UBL") << CorpusPath(QStringLiteral("kosit-ts__01.01a-INVOICE_ubl.xml")) << QStringLiteral("XRECHNUNG");
        QTest::newRow("XRechnung CII") << CorpusPath(QStringLiteral("kosit-ts__01.01a-INVOICE_uncefact.xml")) << QStringLiteral("XRECHNUNG");
        const QString samples = CorpusDir().isEmpty() ? QString() : CorpusDir() + QStringLiteral("/../profile-samples/");
        QTest::newRow("EXTENDED, Factur-X") << samples + QStringLiteral("horstoeko__xml_extended_2.xml") << QStringLiteral("EXTENDED");
        QTest::newRow("BASIC, Factur-X") << samples + QStringLiteral("mustang__validV2Basic.xml") << QStringLiteral("BASIC");
        QTest::newRow("BASIC, ZUGFeRD 2.0, in a PDF") << samples + QStringLiteral("zf-corpus__zugferd_2p0_BASIC_Taxifahrt.pdf") << QStringLiteral("BASIC");
        QTest::newRow("EXTENDED, ZUGFeRD 2.0, in a PDF")
            << samples + QStringLiteral("zf-corpus__zugferd_2p0_EXTENDED_Rechnungskorrektur.pdf") << QStringLiteral("EXTENDED");
        QTest::newRow("MINIMUM, in a PDF") << samples + QStringLiteral("zf-corpus__zugferd_2p1_MINIMUM_Buchungshilfe.pdf") << QStringLiteral("MINIMUM");
        QTest::newRow("ZUGFeRD 1.0") << QString() << QStringLiteral("ZUGFERD-1");
        QTest::newRow("PDF without XML") << QStringLiteral("pdf") << QString();
    }

    void profileOfEachFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, profile);
        if (file.isEmpty())
            file = Write(QStringLiteral("zf1.xml"), "<rsm:CrossIndustryDocument xmlns:rsm=\"urn:ferd:CrossIndustryDocument:invoice:1p0\"/>");
        else if (file == QStringLiteral("pdf")) {
            file = dir.filePath(QStringLiteral("ohne.pdf"));
            WriteMinimalPdf(file);
        } else if (CorpusDir().isEmpty()) {
            QSKIP("the sample corpus is not there");
        }
        TTempFolder view;
        const TRun run = Check({QStringLiteral("--json"), QStringLiteral("--view"), view.path(), file});
        QCOMPARE(run.Records().size(), 1);
        const QJsonObject record = run.Records().front();
        const QJsonValue found = record.value(QStringLiteral("profile"));
        if (profile.isEmpty())
            QVERIFY(found.isNull());
        else
            QCOMPARE(found.toString(), profile);
        // The built-in view names the profile, and a booking aid's notice.
        if (record.value(QStringLiteral("invoice")).isObject()) {
            const QString page = QString::fromUtf8(ReadFileBytes(view.filePath(record.value(QStringLiteral("archive_name")).toString() + QStringLiteral(".html"))));
            const QString shown = profile == QStringLiteral("XRECHNUNG") ? QStringLiteral("XRechnung") : profile;
            QVERIFY2(page.contains(QStringLiteral(" · Profil %1</div>").arg(shown)), qPrintable(shown));
            QCOMPARE(page.contains(QStringLiteral("Keine E-Rechnung nach § 14 UStG")), profile == QStringLiteral("MINIMUM"));
        }
    }

    // MINIMUM, BASIC WL and ZUGFeRD 1.0 are no e-invoices: never accepted, waved through
    // with the reason, whoever checks.
    void bookingAidsAreWavedThrough_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        const QString samples = CorpusDir().isEmpty() ? QString() : CorpusDir() + QStringLiteral("/../profile-samples/");
        QTest::newRow("MINIMUM") << samples + QStringLiteral("zf-corpus__zugferd_2p1_MINIMUM_Buchungshilfe.pdf")
                                 << QStringLiteral("Keine E-Rechnung nach § 14 UStG (Profil MINIMUM: Buchungshilfe) – bitte wie eine "
                                                   "sonstige Rechnung prüfen");
        QTest::newRow("BASIC WL") << QStringLiteral("basicwl") << QStringLiteral("(Profil BASIC WL: Buchungshilfe)");
        QTest::newRow("ZUGFeRD 1.0") << QString() << QStringLiteral("(ZUGFeRD 1.0)");
    }

    void bookingAidsAreWavedThrough()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        if (file.isEmpty()) {
            file = Write(QStringLiteral("zf1.xml"), "<rsm:CrossIndustryDocument xmlns:rsm=\"urn:ferd:CrossIndustryDocument:invoice:1p0\"/>");
        } else if (file == QStringLiteral("basicwl")) {
            QByteArray xml = ReadFileBytes(CorpusDir() + QStringLiteral("/../profile-samples/mustang__validV2Basic.xml"));
            xml.replace("urn:cen.eu:en16931:2017#compliant#urn:factur-x.eu:1p0:basic", "urn:factur-x.eu:1p0:basicwl");
            file = Write(QStringLiteral("basicwl.xml"), xml);
        }
        for (const char* mode : {"--offline", "--validate"}) {
            const QStringList args = QString::fromLatin1(mode) == QStringLiteral("--offline")
                ? QStringList{QStringLiteral("--offline")}
                : ServiceArgs() << QStringLiteral("--validate");
            const TRun run = Check(QStringList(args) << QStringLiteral("--json") << file);
            QCOMPARE(run.Records().size(), 1);
            const QJsonObject r = run.Records().front();
            QCOMPARE(r.value(QStringLiteral("verdict")).toString(), QStringLiteral("wave-through"));
            QVERIFY2(r.value(QStringLiteral("validation")).toString().contains(reason.toHtmlEscaped()), mode);
            QCOMPARE(run.ExitCode, 0);
        }
        const TRun text = Check({QStringLiteral("--offline"), file});
        QVERIFY(QString::fromUtf8(text.Out).contains(QStringLiteral("  Hinweis:     Keine E-Rechnung nach § 14 UStG")));
    }

    // A folder is checked on several threads: its records are those of the files checked one
    // by one, in the same order.
    // The history from the command line: what it knows against an invoice as warnings,
    // and its decisions as lines, JSON or a CSV file; only read, never written.
    void historyWarningsAndExport()
    {
        const QString historyFile = dir.filePath(QStringLiteral("verlauf.sqlite"));
        QByteArray xml = ReadTestData(QStringLiteral("checks/kosit-ts__01.01a-INVOICE_uncefact.xml"));
        const QString first = Write(QStringLiteral("erste.xml"), xml);
        // Without a history: no warnings, and no history file made.
        QCOMPARE(Check({QStringLiteral("--json"), QStringLiteral("--history-file"), historyFile, first}).Records()[0]
                     .value(QStringLiteral("warnings")).toArray().size(), 0);
        QVERIFY(!QFile::exists(historyFile));
        {
            TEHistory history(historyFile);
            const QJsonObject invoice = Check({QStringLiteral("--json"), first}).Records()[0].value(QStringLiteral("invoice")).toObject();
            TInvoiceFacts f;
            f.SellerName = invoice.value(QStringLiteral("seller_name")).toString();
            f.SellerVatId = invoice.value(QStringLiteral("seller_vat_id")).toString();
            f.Number = invoice.value(QStringLiteral("number")).toString();
            f.TypeCode = invoice.value(QStringLiteral("type_code")).toString();
            f.GrandTotal = invoice.value(QStringLiteral("total_with_vat")).toString();
            for (const QJsonValue& iban : invoice.value(QStringLiteral("ibans")).toArray())
                f.Accounts << NormalizedAccount(iban.toString());
            QVERIFY(!f.Accounts.isEmpty());
            history.WriteHistory(QStringLiteral("0123abcd_erste.xml"), QStringLiteral("frueher"), QStringLiteral("Akzeptiert"), &f);
        }
        // The very same bytes decided before: that decision.
        const QString firstHash = Check({QStringLiteral("--json"), first}).Records()[0].value(QStringLiteral("hash")).toString();
        {
            TEHistory history(historyFile);
            history.WriteHistory(QStringLiteral("abcd0123_erste.xml"), firstHash, QStringLiteral("Abgelehnt"));
        }
        const QJsonArray decided = Check({QStringLiteral("--json"), QStringLiteral("--history-file"), historyFile, first}).Records()[0]
                                       .value(QStringLiteral("warnings")).toArray();
        QCOMPARE(decided.size(), 1);
        QCOMPARE(decided[0].toObject().value(QStringLiteral("id")).toString(), QStringLiteral("decided-before"));
        QVERIFY(decided[0].toObject().value(QStringLiteral("text")).toString().contains(QStringLiteral("Abgelegt als: abcd0123_erste.xml")));
        const QByteArray before = ReadFileBytes(historyFile);
        // The same invoice in other bytes, and the next one with another account.
        const QString again = Write(QStringLiteral("nochmal.xml"), xml + "\n<!-- anders -->\n");
        const QByteArray iban = FirstIban(xml);
        xml.replace(iban, "DE75512108001245126199");
        const QByteArray number = "<ram:ID>" + Check({QStringLiteral("--json"), first}).Records()[0]
                                                   .value(QStringLiteral("invoice")).toObject().value(QStringLiteral("number")).toString().toUtf8() + "</ram:ID>";
        xml.replace(number, "<ram:ID>NEU-1</ram:ID>");
        const QString other = Write(QStringLiteral("neu.xml"), xml);
        const QList<QJsonObject> records =
            Check({QStringLiteral("--json"), QStringLiteral("--history-file"), historyFile, again, other}).Records();
        QCOMPARE(records.size(), 2);
        const QJsonArray sameWarnings = records[0].value(QStringLiteral("warnings")).toArray();
        QCOMPARE(sameWarnings.size(), 1);
        QCOMPARE(sameWarnings[0].toObject().value(QStringLiteral("id")).toString(), QStringLiteral("same-invoice"));
        QVERIFY(sameWarnings[0].toObject().value(QStringLiteral("text")).toString().contains(QStringLiteral("in anderer Form")));
        const QJsonArray accountWarnings = records[1].value(QStringLiteral("warnings")).toArray();
        QCOMPARE(accountWarnings.size(), 1);
        QCOMPARE(accountWarnings[0].toObject().value(QStringLiteral("id")).toString(), QStringLiteral("new-account"));
        QVERIFY(accountWarnings[0].toObject().value(QStringLiteral("text")).toString().endsWith(QStringLiteral("jetzt DE75 5121 0800 1245 1261 99")));
        // In text the same as lines.
        QVERIFY(Check({QStringLiteral("--history-file"), historyFile, other}).Out.contains("Warnung:     Achtung: neue Bankverbindung"));

        // The decisions.
        const TRun lines = Check({QStringLiteral("--history"), QStringLiteral("--history-file"), historyFile});
        QCOMPARE(lines.ExitCode, 0);
        QVERIFY2(lines.Out.contains("Akzeptiert  0123abcd_erste.xml"), lines.Out.constData());
        const QList<QJsonObject> rows = Check({QStringLiteral("--history"), QStringLiteral("--json"), QStringLiteral("--history-file"), historyFile}).Records();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].value(QStringLiteral("archive_name")).toString(), QStringLiteral("0123abcd_erste.xml"));
        QCOMPARE(Check({QStringLiteral("--history"), QStringLiteral("--json"), QStringLiteral("--search"), QStringLiteral("gibt-es-nicht"),
                        QStringLiteral("--history-file"), historyFile}).Records().size(), 0);
        const QString csv = dir.filePath(QStringLiteral("verlauf.csv"));
        QCOMPARE(Check({QStringLiteral("--history"), QStringLiteral("--csv"), csv, QStringLiteral("--history-file"), historyFile}).ExitCode, 0);
        const QByteArray exported = ReadFileBytes(csv);
        QVERIFY(exported.startsWith("\xEF\xBB\xBFZeitpunkt;Entscheidung;"));
        QCOMPARE(exported.count("\r\n"), 3);
        QCOMPARE(ReadFileBytes(historyFile), before); // read only
    }

    void folderRunEqualsOneByOne()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const TRun folder = Check({QStringLiteral("--json"), QStringLiteral("--offline"), CorpusDir()});
        const auto records = folder.Records();
        QVERIFY(records.size() > 40);
        QStringList names;
        for (const QJsonObject& r : records)
            names << QFileInfo(r.value(QStringLiteral("path")).toString()).fileName();
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(names, sorted);
        for (qsizetype i = 0; i < records.size(); ++i) {
            const TRun one = Check({QStringLiteral("--json"), QStringLiteral("--offline"), CorpusPath(names[i])});
            QCOMPARE(one.Records().size(), 1);
            QJsonObject alone = one.Records().front();
            QJsonObject inFolder = records[i];
            alone.remove(QStringLiteral("path"));
            inFolder.remove(QStringLiteral("path"));
            QVERIFY2(alone == inFolder, qPrintable(names[i]));
        }
    }

    void wholeCorpusMatchesTheManifest()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const TRun run = Check({QStringLiteral("--json"), CorpusDir()});
        QCOMPARE(run.ExitCode, 0);

        QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
        QHash<QString, QPair<QString, QString>> expected;
        while (!manifest.atEnd()) {
            const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
            expected.insert(QString::fromUtf8(row[header.indexOf("file")]),
                            {QString::fromLatin1(row[header.indexOf("invoice_hash")]),
                             QString::fromUtf8(row[header.indexOf("archive_name")])});
        }
        int checked = 0;
        for (const QJsonObject& r : run.Records()) {
            const QString name = QFileInfo(r.value(QStringLiteral("path")).toString()).fileName();
            if (!expected.contains(name))
                continue; // README.md, manifest.tsv
            QCOMPARE(r.value(QStringLiteral("hash")).toString(), expected[name].first);
            QCOMPARE(r.value(QStringLiteral("archive_name")).toString(), expected[name].second);
            ++checked;
        }
        QCOMPARE(checked, expected.size());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
