#include "invoice/ERechnung.h"
#include "invoice/EZugFerd.h"
#include "services/EValidator.h"
#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TlsTestServer.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

QString Md5(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

TTlsTestServer::TAnswer Answer(const QByteArray& body, int status = 200)
{
    TTlsTestServer::TAnswer a;
    a.Status = status;
    a.Body = body.toStdString();
    a.ContentType = "application/xml";
    return a;
}

QByteArray ReportSaying(const QByteArray& sentence)
{
    return "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\"><rep:assessment><rep:accept><rep:explanation>"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>"
           + sentence + "</p></body></html></rep:explanation></rep:accept></rep:assessment></rep:report>";
}

// A report as the validation service gives it, with one finding.
QByteArray ReportWithFinding(bool accept)
{
    const QByteArray verdict = accept ? "accept" : "reject";
    const QByteArray sentence = accept ? kAcceptSentence : "Bewertung: Es wird empfohlen das Dokument zurückzuweisen.";
    return "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\" valid=\"" + QByteArray(accept ? "true" : "false")
        + "\"><rep:scenarioMatched><rep:validationStepResult id=\"val-sch.1\" valid=\"false\"><rep:message "
          "id=\"val-sch.1.1\" level=\"warning\" code=\"BR-DE-21\" xpathLocation=\"/Q{x}Invoice[1]\"> Die Kennung "
          "\n passt nicht. </rep:message></rep:validationStepResult></rep:scenarioMatched><rep:assessment><rep:"
        + verdict + "><rep:explanation><html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p class=\"important\">" + sentence
        + "</p></body></html></rep:explanation></rep:" + verdict + "></rep:assessment></rep:report>";
}

// A report of a service that knows no rules for the document (no scenario matched).
QByteArray NoScenarioReport()
{
    return "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\" valid=\"false\"><rep:noScenarioMatched/>"
           "<rep:assessment><rep:reject><rep:explanation><html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
           "<p class=\"important\">Bewertung: Es wird empfohlen das Dokument zurückzuweisen. Da kein Pruefszenario gegriffen "
           "hat.</p></body></html></rep:explanation></rep:reject></rep:assessment></rep:report>";
}

} // namespace

// The invoice document: loading, hash, archive name, and the answers of the services.
class TestRechnung : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<TTlsTestServer> server;

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        WriteFileBytes(path, bytes);
        return path;
    }

    TServiceOptions Options() const { return ServiceOptionsOf(*server); }

    int RequestsTo(const std::string& path) const
    {
        int n = 0;
        for (const auto& r : server->Requests())
            n += r.Path == path;
        return n;
    }

private Q_SLOTS:
    void init()
    {
        server = std::make_unique<TTlsTestServer>();
    }

    void cleanup()
    {
        server.reset();
    }

    void hashes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hashIsFileMd5");
        QTest::newRow("ascii") << ReadTestData(QStringLiteral("invoice-ascii.xml")) << true;
        QTest::newRow("utf-8 umlauts") << ReadTestData(QStringLiteral("invoice-utf8.xml")) << false;
        QTest::newRow("utf-8 bom") << QByteArray("\xef\xbb\xbf<a/>") << false;
        QTest::newRow("windows-1252 euro") << QByteArray("<a>\x80</a>") << false;
        QTest::newRow("empty file") << QByteArray() << true;
    }

    void hashes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hashIsFileMd5);
        TERechnung rechnung(nullptr, Write(QStringLiteral("hash.xml"), bytes));
        QCOMPARE(rechnung.GetXmlData(), AnsiDecode(bytes));
        QCOMPARE(rechnung.Hash(), Md5(AnsiDecode(bytes).toUtf8()));
        QCOMPARE(rechnung.Hash() == Md5(bytes), hashIsFileMd5);
        QCOMPARE(rechnung.Hash().size(), 32);
        QCOMPARE(rechnung.ShortHash(), rechnung.Hash().mid(1, 8));
    }

    void fileKindFollowsTheExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pdf");
        QTest::newRow(".pdf") << QStringLiteral("Rechnung.pdf") << true;
        QTest::newRow(".Pdf") << QStringLiteral("Rechnung.Pdf") << true;
        QTest::newRow(".pdf.xml") << QStringLiteral("Rechnung.pdf.xml") << false;
        QTest::newRow("no extension") << QStringLiteral("Rechnung") << false;
        QTest::newRow(".txt") << QStringLiteral("Rechnung.txt") << false;
        QTest::newRow("dot in the folder only") << QStringLiteral("ordner.pdf/Rechnung") << false;
    }

    void fileKindFollowsTheExtension()
    {
        QFETCH(QString, name);
        QFETCH(bool, pdf);
        const QByteArray bytes = ReadTestData(QStringLiteral("invoice-ascii.xml"));
        TERechnung rechnung(nullptr, Write(name, bytes));
        QCOMPARE(rechnung.IsPdf(), pdf);
        // A PDF name on XML bytes: no PDF, so no XML, and the file's bytes are the hash.
        QCOMPARE(rechnung.GetXmlData().isEmpty(), pdf);
        QCOMPARE(rechnung.Hash(), Md5(bytes));
        QVERIFY(!rechnung.IsZugFerd());
        QVERIFY(!rechnung.IsInvalidZugFerd());
    }

    void archiveNames_data()
    {
        const QString shortHash = Md5(ReadTestData(QStringLiteral("invoice-ascii.xml"))).mid(1, 8);
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("archiveName");
        QTest::newRow("plain name") << QStringLiteral("Rechnung 4711.xml") << shortHash + QStringLiteral("_Rechnung 4711.xml");
        QTest::newRow("own short hash kept") << shortHash + QStringLiteral("_Rechnung.xml") << shortHash + QStringLiteral("_Rechnung.xml");
        QTest::newRow("own short hash without _") << shortHash + QStringLiteral(".xml") << shortHash + QStringLiteral(".xml");
        QTest::newRow("other eight characters") << QStringLiteral("12345678_Rechnung.xml")
                                                << shortHash + QStringLiteral("_12345678_Rechnung.xml");
        QTest::newRow("short hash in other case") << shortHash.toUpper() + QStringLiteral("_R.xml")
                                                  << shortHash + QLatin1Char('_') + shortHash.toUpper() + QStringLiteral("_R.xml");
    }

    void archiveNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, archiveName);
        TERechnung rechnung(nullptr, Write(name, ReadTestData(QStringLiteral("invoice-ascii.xml"))));
        QCOMPARE(rechnung.FileName(), archiveName);
        QCOMPARE(rechnung.OriginalFilePath(), dir.filePath(name));
    }

    void missingFileFailsAndLeavesNothingBehind()
    {
        TERechnung rechnung(nullptr, Write(QStringLiteral("vorher.xml"), ReadTestData(QStringLiteral("invoice-ascii.xml"))));
        QVERIFY(!rechnung.FileName().isEmpty());
        const QString missing = dir.filePath(QStringLiteral("fehlt.xml"));
        const QString error = ErrorOf([&] { rechnung.LoadFromFile(missing); });
        QVERIFY2(error.startsWith(QStringLiteral("Datei %1 kann nicht geöffnet werden. ").arg(missing)), qPrintable(error));
        QVERIFY(error.size() > QStringLiteral("Datei %1 kann nicht geöffnet werden. ").arg(missing).size());
        QCOMPARE(rechnung.OriginalFilePath(), missing);
        QVERIFY(rechnung.Hash().isEmpty());
        QVERIFY(rechnung.FileName().isEmpty()); // never the archive name of the invoice before
        QVERIFY(rechnung.GetXmlData().isEmpty());
        QVERIFY(!rechnung.IsPdf());

        const QString missingPdf = dir.filePath(QStringLiteral("fehlt.pdf"));
        QVERIFY(ErrorOf([&] { rechnung.LoadFromFile(missingPdf); })
                    .startsWith(QStringLiteral("Datei %1 kann nicht geöffnet werden. ").arg(missingPdf)));
        QVERIFY(rechnung.FileName().isEmpty());
    }

    void xmlFileOverTheLimitIsRefused()
    {
        const QString big = dir.filePath(QStringLiteral("riesig.xml"));
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(kMaxInvoiceXmlBytes + 1)); // sparse: takes no room
        f.close();
        TERechnung rechnung(nullptr);
        QCOMPARE(ErrorOf([&] { rechnung.LoadFromFile(big); }),
                 QStringLiteral("Die XML-Rechnung %1 ist 64.0 MiB groß. XML-Rechnungen über 64 MiB werden nicht gelesen.").arg(big));
        QVERIFY(rechnung.Hash().isEmpty() && rechnung.FileName().isEmpty());
    }

    void clearForgetsEverything()
    {
        server->Answer("/validate", Answer(ReadTestData(QStringLiteral("report-accept.xml"))));
        TERechnung rechnung(nullptr, Write(QStringLiteral("c.xml"), "<a/>"));
        rechnung.SetServiceOptions(Options());
        rechnung.Validate();
        rechnung.MarkAsDuplicate();
        QVERIFY(rechnung.IsValid() && rechnung.IsDuplicate());
        rechnung.Clear();
        QVERIFY(rechnung.OriginalFilePath().isEmpty());
        QVERIFY(rechnung.FileName().isEmpty());
        QVERIFY(rechnung.Hash().isEmpty());
        QVERIFY(!rechnung.IsValid() && !rechnung.IsDuplicate() && !rechnung.IsSonstigeRechnung());
    }

    void acceptanceSentences_data()
    {
        QTest::addColumn<QByteArray>("sentence");
        QTest::addColumn<bool>("valid");
        QTest::newRow("accept") << QByteArray(kAcceptSentence) << true;
        QTest::newRow("accept, errors tolerated") << QByteArray(kAcceptToleratedSentence) << true;
        QTest::newRow("reject") << QByteArray("Bewertung: Es wird empfohlen das Dokument zurückzuweisen.") << false;
        QTest::newRow("reject, no scenario")
            << QByteArray("Bewertung: Es wird empfohlen das Dokument zurückzuweisen. Da kein Pruefszenario gegriffen hat.") << false;
        QTest::newRow("other letter case")
            << QByteArray("Bewertung: es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.") << false;
        QTest::newRow("no full stop") << QByteArray("Bewertung: Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten")
                                      << false;
        QTest::newRow("tolerated, no full stop")
            << QByteArray(kAcceptToleratedSentence).chopped(1) << false;
    }

    void acceptanceSentences()
    {
        QFETCH(QByteArray, sentence);
        QFETCH(bool, valid);
        server->Answer("/validate", Answer(ReportSaying(sentence), 200));
        TERechnung rechnung(nullptr, Write(QStringLiteral("s.xml"), "<a/>"));
        rechnung.SetServiceOptions(Options());
        QVERIFY(rechnung.Validate().contains(QString::fromUtf8(sentence)));
        QCOMPARE(rechnung.IsValid(), valid);
        QVERIFY(!rechnung.IsSonstigeRechnung());
        QCOMPARE(VerdictOf(rechnung), valid ? TVerdict::Accept : TVerdict::Reject);
    }

    void servicesAreAskedOncePerLoadAndAgainAfterAFailure()
    {
        TERechnung rechnung(nullptr, Write(QStringLiteral("once.xml"), ReadTestData(QStringLiteral("invoice-utf8.xml"))));
        rechnung.SetServiceOptions(Options());

        // A failing call keeps no result.
        server->Answer("/validate", Answer("kaputt", 500));
        server->Answer("/renderhtml", Answer("\xff", 200)); // no UTF-8: the call fails
        const QString broken = rechnung.Validate();
        QVERIFY(broken.contains(QStringLiteral("HTTP-Status: 500")) && broken.contains(QStringLiteral("kaputt")));
        QVERIFY(!rechnung.IsValid());
        // A failing rendering gives the built-in view, and for this load it stays so.
        const QString fallback = rechnung.Render();
        QCOMPARE(rechnung.RenderedBy(), TRenderedBy::BuiltIn);
        QVERIFY2(rechnung.RenderNote().startsWith(QStringLiteral("Der Darstellungsdienst ist nicht erreichbar: Keine Zuordnung")),
                 qPrintable(rechnung.RenderNote()));
        QVERIFY(fallback.contains(QStringLiteral("Eingebaute Ansicht")));
        server->Answer("/renderhtml", Answer(ReadTestData(QStringLiteral("rendering.html"))));
        const int failedOnce = RequestsTo("/renderhtml");
        QCOMPARE(rechnung.Render(), fallback);
        QCOMPARE(RequestsTo("/renderhtml"), failedOnce);

        // The validation kept its first answer; a new load asks both services again.
        server->Answer("/validate", Answer(ReadTestData(QStringLiteral("report-accept.xml"))));
        QCOMPARE(rechnung.Validate(), broken);
        rechnung.LoadFromFile(rechnung.OriginalFilePath());
        const int before = RequestsTo("/renderhtml");
        QCOMPARE(rechnung.Render(), QString::fromUtf8(ReadTestData(QStringLiteral("rendering.html"))));
        QCOMPARE(rechnung.Render(), QString::fromUtf8(ReadTestData(QStringLiteral("rendering.html"))));
        QCOMPARE(rechnung.RenderedBy(), TRenderedBy::Service);
        QCOMPARE(RequestsTo("/renderhtml"), before + 1);
        QVERIFY(rechnung.Validate().contains(QLatin1String(kAcceptSentence)));
        QVERIFY(rechnung.IsValid());
        const int validations = RequestsTo("/validate");
        rechnung.Validate();
        QCOMPARE(RequestsTo("/validate"), validations);
    }

    void failedValidationClearsTheFlags()
    {
        server->Answer("/validate", Answer(ReadTestData(QStringLiteral("report-accept.xml"))));
        TERechnung rechnung(nullptr, Write(QStringLiteral("f.xml"), "<a/>"));
        rechnung.SetServiceOptions(Options());
        rechnung.Validate();
        QVERIFY(rechnung.IsValid());
        rechnung.MarkAsDuplicate();
        rechnung.LoadFromFile(rechnung.OriginalFilePath());
        server->Answer("/validate", Answer("\xfe\xff", 200));
        QCOMPARE(ErrorOf([&] { rechnung.Validate(); }),
                 QStringLiteral("Keine Zuordnung für Unicode-Zeichen in der Multibyte-Zielcodeseite vorhanden"));
        QVERIFY(!rechnung.IsValid() && !rechnung.IsDuplicate() && !rechnung.IsSonstigeRechnung());
    }

    void validateClearsTheDuplicateMark()
    {
        TERechnung rechnung(nullptr, Write(QStringLiteral("leer.xml"), QByteArray()));
        rechnung.MarkAsDuplicate();
        QVERIFY(rechnung.IsDuplicate());
        // An empty XML file is a document without XML: the service is not asked.
        QVERIFY(rechnung.Validate().startsWith(QStringLiteral("Es kann im PDF kein XML-Anhang gefunden werden.<br>")));
        QVERIFY(!rechnung.IsDuplicate());
        QVERIFY(rechnung.IsSonstigeRechnung());
        QVERIFY(rechnung.IsSonstigeRechnung() == (rechnung.Validate(), rechnung.IsSonstigeRechnung())); // stable when asked again
        QCOMPARE(RequestsTo("/validate"), 0);
        QCOMPARE(rechnung.Hash(), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    }

    void unrenderedXmlIsShownAsText_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("xml declaration") << QByteArray("<?xml version=\"1.0\"?><Invoice/>") << true;
        QTest::newRow("blank before") << QByteArray(" <?xml version=\"1.0\"?><Invoice/>") << false;
        QTest::newRow("line break before") << QByteArray("\n<?xml version=\"1.0\"?><Invoice/>") << false;
        QTest::newRow("other case") << QByteArray("<?XML version=\"1.0\"?><Invoice/>") << false;
    }

    void unrenderedXmlIsShownAsText()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, replaced);
        const QByteArray xml = "<?xml version=\"1.0\"?><Invoice><Note>a & b <script>alert(1)</script></Note></Invoice>";
        server->Answer("/renderhtml", Answer(answer));
        TERechnung rechnung(nullptr, Write(QStringLiteral("r.xml"), xml));
        rechnung.SetServiceOptions(Options());
        const QString html = rechnung.Render();
        if (!replaced) {
            QCOMPARE(html, QString::fromUtf8(answer));
            return;
        }
        QCOMPARE(html, QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"></head><body><pre>"
                                      "&lt;?xml version=&quot;1.0&quot;?&gt;&lt;Invoice&gt;&lt;Note&gt;a &amp; b "
                                      "&lt;script&gt;alert(1)&lt;/script&gt;&lt;/Note&gt;&lt;/Invoice&gt;</pre>"));
    }

    // Who decides in each check mode, what the network sees, and what the report says
    // about it. "gut" is an invoice the built-in checks accept, "falsch" one they reject.
    void checkModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("service"); // "geschlossen": nothing listens
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("checkedBy"); // -1: Validate raises
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("note"); // how CheckNote starts; empty: none
        const int builtIn = int(TCheckedBy::BuiltIn);
        const int bySvc = int(TCheckedBy::Service);
        const int mBuiltIn = int(TCheckMode::BuiltIn);
        const int mService = int(TCheckMode::Service);
        const int mEither = int(TCheckMode::ServiceOrBuiltIn);
        const QString gut = QStringLiteral("model/cii-positionen.xml");
        const QString falsch = QStringLiteral("invoice-utf8.xml");
        const QString differ = QStringLiteral("Die eingebaute Prüfung kommt zu einem anderen Ergebnis: ");
        QTest::newRow("built-in chosen, good") << mBuiltIn << "reject" << gut << builtIn << true << "Sie haben die eingebaute";
        QTest::newRow("built-in chosen, wrong") << mBuiltIn << "accept" << falsch << builtIn << false << "Sie haben die eingebaute";
        QTest::newRow("either, service down") << mEither << "geschlossen" << gut << builtIn << true
                                              << "Der Prüfdienst war nicht erreichbar (";
        QTest::newRow("either, service down, wrong") << mEither << "geschlossen" << falsch << builtIn << false
                                                     << "Der Prüfdienst war nicht erreichbar (";
        QTest::newRow("either, an error page") << mEither << "500" << gut << builtIn << true
                                               << "Der Prüfdienst hat keinen Prüfbericht geliefert (HTTP-Status 500).";
        QTest::newRow("either, service agrees") << mEither << "accept" << gut << bySvc << true << "";
        QTest::newRow("either, service accepts what the built-in rejects")
            << mEither << "accept" << falsch << bySvc << true << differ + "Bewertung: Es wird empfohlen das Dokument zurückzuweisen.";
        QTest::newRow("either, service rejects what the built-in accepts")
            << mEither << "reject" << gut << bySvc << false << differ + "Bewertung: Es wird empfohlen das Dokument anzunehmen";
        // A profile the service has no scenario for: the built-in checks decide when they
        // know it and the user allows it.
        const QString extended = QStringLiteral("checks/mustang__Extended_SubInvoiceLines_Hardware_Bsp2.xml");
        QTest::newRow("either, no scenario for EXTENDED") << mEither << "no-scenario" << extended << builtIn << true
                                                          << "Der Prüfdienst kennt das Profil EXTENDED nicht; entschieden hat die eingebaute Prüfung.";
        QTest::newRow("service, no scenario for EXTENDED") << mService << "no-scenario" << extended << bySvc << false
                                                           << differ + "Bewertung: Es wird empfohlen das Dokument anzunehmen";
        QTest::newRow("either, no scenario for an invoice the built-in knows no more of")
            << mEither << "no-scenario" << falsch << bySvc << false << "";
        QTest::newRow("service, down: raises") << mService << "geschlossen" << gut << -1 << false << "";
        QTest::newRow("service, an error page: rejected") << mService << "500" << gut << bySvc << false << "";
    }

    void checkModes()
    {
        QFETCH(int, mode);
        QFETCH(QString, service);
        QFETCH(QString, file);
        QFETCH(int, checkedBy);
        QFETCH(bool, valid);
        QFETCH(QString, note);
        const QString extended = QStringLiteral("checks/mustang__Extended_SubInvoiceLines_Hardware_Bsp2.xml");
        if (service == QLatin1String("500"))
            server->Answer("/validate", Answer("kaputt", 500));
        else if (service == QLatin1String("no-scenario"))
            server->Answer("/validate", Answer(NoScenarioReport()));
        else
            server->Answer("/validate", Answer(ReportWithFinding(service == QLatin1String("accept"))));
        server->Answer("/renderhtml", Answer(ReadTestData(QStringLiteral("rendering.html"))));
        TServiceOptions options = Options();
        options.Mode = TCheckMode(mode);
        if (service == QLatin1String("geschlossen"))
            options.BaseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        TERechnung rechnung(nullptr, Write(QStringLiteral("m.xml"), ReadTestData(file)));
        rechnung.SetServiceOptions(options);

        QString html;
        const QString error = ErrorOf([&] { html = rechnung.Validate(); });
        if (checkedBy < 0) {
            QVERIFY(!error.isEmpty());
            QCOMPARE(rechnung.CheckedBy(), TCheckedBy::Nobody);
            QVERIFY(!rechnung.IsValid());
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(int(rechnung.CheckedBy()), checkedBy);
        QCOMPARE(rechnung.IsValid(), valid);
        QCOMPARE(VerdictOf(rechnung), valid ? TVerdict::Accept : TVerdict::Reject);
        QVERIFY2(note.isEmpty() ? rechnung.CheckNote().isEmpty() : rechnung.CheckNote().startsWith(note),
                 qPrintable(rechnung.CheckNote()));
        // A note other than the user's own choice stands at the top of the report.
        if (!note.isEmpty() && mode != int(TCheckMode::BuiltIn))
            QVERIFY2(html.startsWith(QStringLiteral("<p class=\"important\"")) && html.contains(rechnung.CheckNote().toHtmlEscaped()),
                     qPrintable(html.left(300)));

        if (rechnung.CheckedBy() == TCheckedBy::BuiltIn) {
            QVERIFY(html.contains(file == extended ? QStringLiteral("<h1>Eingebaute Prüfung (Stand Factur-X 1.09, Profil EXTENDED)</h1>")
                                                   : QStringLiteral("<h1>Eingebaute Prüfung (Stand XRechnung 3.0.2)</h1>")));
            // Its findings are the built-in ones: the wrong invoice names its schema error.
            const bool schemaError = std::any_of(rechnung.Findings().begin(), rechnung.Findings().end(), [](const TReportMessage& m) {
                return m.Id.startsWith(QLatin1String("cvc-")) && m.Level == QLatin1String("error") && !m.Location.isEmpty();
            });
            QCOMPARE(schemaError, !valid);
            // Without the service the invoice is shown without it too; a service that
            // answered (only without rules for the profile) still renders it.
            if (service == QLatin1String("no-scenario")) {
                rechnung.Render();
                QCOMPARE(rechnung.RenderedBy(), TRenderedBy::Service);
            } else {
                QVERIFY(rechnung.Render().contains(QStringLiteral("Eingebaute Ansicht")));
                QCOMPARE(rechnung.RenderedBy(), TRenderedBy::BuiltIn);
                QCOMPARE(RequestsTo("/renderhtml"), 0);
            }
        } else if (service == QLatin1String("accept") || service == QLatin1String("reject")) {
            // The service's findings, as its report states them.
            QCOMPARE(rechnung.Findings().size(), size_t(1));
            QCOMPARE(rechnung.Findings()[0].Id, QStringLiteral("BR-DE-21"));
            QCOMPARE(rechnung.Findings()[0].Level, QStringLiteral("warning"));
            QCOMPARE(rechnung.Findings()[0].Text, QStringLiteral("Die Kennung passt nicht."));
            QCOMPARE(rechnung.Findings()[0].Location, QStringLiteral("/Q{x}Invoice[1]"));
        }
        QCOMPARE(RequestsTo("/validate"), mode == int(TCheckMode::BuiltIn) || service == QLatin1String("geschlossen") ? 0 : 1);

        // A new load forgets who decided.
        rechnung.Clear();
        QCOMPARE(rechnung.CheckedBy(), TCheckedBy::Nobody);
        QVERIFY(rechnung.CheckNote().isEmpty() && rechnung.Findings().empty());
    }

    void corpusHashesAndArchiveNames()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
        const auto column = [&](const char* name) { return int(header.indexOf(QByteArray(name))); };
        int files = 0;
        while (!manifest.atEnd()) {
            const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
            if (row.size() < header.size())
                continue;
            const QString name = QString::fromUtf8(row[column("file")]);
            const QByteArray kind = row[column("kind")];
            TERechnung rechnung(nullptr, CorpusPath(name));
            QCOMPARE(rechnung.Hash(), QString::fromLatin1(row[column("invoice_hash")]));
            QCOMPARE(rechnung.FileName(), QString::fromUtf8(row[column("archive_name")]));
            QCOMPARE(rechnung.IsPdf(), kind.startsWith("pdf"));
            if (kind == "pdf-with-xml")
                QCOMPARE(Md5(AnsiEncode(rechnung.GetXmlData())), QString::fromLatin1(row[column("xml_md5")]));
            if (kind == "pdf-without-xml")
                QVERIFY2(rechnung.GetXmlData().isEmpty(), qPrintable(name));
            ++files;
        }
        QVERIFY(files >= 60);
    }

    void corpusSameXmlAsFileAndInPdf()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        TERechnung file(nullptr, CorpusPath(QStringLiteral("mustang__cii.xml")));
        TERechnung pdf(nullptr, CorpusPath(QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf")));
        QCOMPARE(pdf.GetXmlData(), file.GetXmlData());
        QCOMPARE(pdf.Hash(), file.Hash());
        QVERIFY(pdf.IsZugFerd());
    }
};

QTEST_GUILESS_MAIN(TestRechnung)
#include "tst_rechnung.moc"
