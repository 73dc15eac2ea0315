#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "services/ERenderer.h"
#include "services/EValidator.h"
#include "services/HttpClient.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TlsTestServer.h"

#include <QtTest>

using TAnswer = TTlsTestServer::TAnswer;

namespace {

TAnswer Xml(const QByteArray& body, int status = 200)
{
    TAnswer a;
    a.Status = status;
    a.Body = body.toStdString();
    a.ContentType = "application/xml";
    return a;
}

const QByteArray kHtml = QByteArrayLiteral(
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta charset=\"utf-8\"/></head>"
    "<body><p>Bewertung: Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.</p></body></html>");

QByteArray Report(const QByteArray& assessment)
{
    return "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\" valid=\"true\">"
           "<rep:engine><rep:name>Validator</rep:name></rep:engine>"
           + assessment + "</rep:report>";
}

} // namespace

class TestServices : public QObject
{
    Q_OBJECT

    std::unique_ptr<TTlsTestServer> server;

    TServiceOptions Options() const { return ServiceOptionsOf(*server); }

private Q_SLOTS:
    void init()
    {
        server = std::make_unique<TTlsTestServer>();
    }

    void cleanup()
    {
        server.reset();
    }

    void requestCarriesTheInvoiceBytesAndOurHeaders()
    {
        const QByteArray file = ReadTestData(QStringLiteral("invoice-utf8.xml"));
        QVERIFY(std::any_of(file.begin(), file.end(), [](char c) { return uchar(c) >= 0x80; }));
        server->Answer("/validate", Xml(Report("")));

        TEValidator(nullptr, Options()).Validate(AnsiDecode(file));

        const auto requests = server->Requests();
        QCOMPARE(requests.size(), size_t(1));
        const auto& r = requests.front();
        QCOMPARE(r.Method, std::string("POST"));
        QCOMPARE(r.Path, std::string("/validate"));
        QCOMPARE(r.Header("content-type"), std::string("application/xml"));
        QCOMPARE(QByteArray::fromStdString(r.Header("user-agent")), DefaultUserAgent());
        QVERIFY(!r.HasHeader("accept"));
        QVERIFY(!r.HasHeader("accept-encoding"));
        QVERIFY(!r.HasHeader("expect"));
        QCOMPARE(r.Header("content-length"), std::to_string(file.size()));
        QCOMPARE(QByteArray::fromStdString(r.Body), file);
    }

    void everyByteValueReachesTheRenderer()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        server->Answer("/renderhtml", Xml("<p>ok</p>"));
        QCOMPARE(TERenderer(nullptr, Options()).Render(AnsiDecode(all)), QStringLiteral("<p>ok</p>"));
        QCOMPARE(QByteArray::fromStdString(server->Requests().front().Body), all);
    }

    void emptyTextIsPostedWithEmptyBody()
    {
        server->Answer("/renderhtml", Xml("leer"));
        QCOMPARE(TERenderer(nullptr, Options()).Render(QString()), QStringLiteral("leer"));
        const auto r = server->Requests().front();
        QCOMPARE(r.Method, std::string("POST"));
        QCOMPARE(r.Header("content-length"), std::string("0"));
        QVERIFY(r.Body.empty());
    }

    void validatorResult_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected");

        const QByteArray accept = Report("<rep:assessment><rep:accept><rep:explanation>" + kHtml
                                         + "</rep:explanation></rep:accept></rep:assessment>");
        QTest::newRow("html explanation") << accept << 200 << QString::fromUtf8(kHtml);
        QTest::newRow("white space before the html")
            << Report("<rep:assessment><rep:accept><rep:explanation>\n   \t" + kHtml
                      + "\n</rep:explanation></rep:accept></rep:assessment>")
            << 200 << QString::fromUtf8(kHtml);
        QTest::newRow("two explanations: the first")
            << Report("<rep:explanation><p xmlns=\"urn:x\">eins</p></rep:explanation>"
                      "<rep:explanation><p xmlns=\"urn:x\">zwei</p></rep:explanation>")
            << 200 << QStringLiteral("<p xmlns=\"urn:x\">eins</p>");
        QTest::newRow("inherited namespace declared")
            << Report("<rep:explanation><rep:message code=\"1\">Text</rep:message></rep:explanation>") << 200
            << QStringLiteral("<rep:message xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\" code=\"1\">Text</rep:message>");
        QTest::newRow("text node escaped")
            << Report("<rep:explanation>a &lt; b &amp; c</rep:explanation>") << 200 << QStringLiteral("a &lt; b &amp; c");

        const QByteArray empty = Report("<rep:explanation/>");
        QTest::newRow("empty explanation: whole answer") << empty << 200 << QString::fromUtf8(empty);
        const QByteArray blank = Report("<rep:explanation>  \n </rep:explanation>");
        QTest::newRow("blank explanation: whole answer") << blank << 200 << QString::fromUtf8(blank);
        QTest::newRow("external entity is not loaded")
            << QByteArray("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                          "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\">"
                          "<rep:explanation><p xmlns=\"urn:x\">&x;</p></rep:explanation></rep:report>")
            << 200 << QStringLiteral("<p xmlns=\"urn:x\">&x;</p>");
        QTest::newRow("character outside the code page replaced")
            << Report("<rep:explanation><p xmlns=\"urn:x\">Жx€</p></rep:explanation>") << 200
            << QStringLiteral("<p xmlns=\"urn:x\">?x€</p>");
    }

    void validatorResult()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(QString, expected);
        server->Answer("/validate", Xml(answer, status));
        QCOMPARE(TEValidator(nullptr, Options()).Validate(QStringLiteral("<x/>")), expected);
    }

    // Whether an answer counts as "accept": only a 200 that is a report whose assessment
    // is accept and whose stated sentence is an accept sentence. Everything else rejects,
    // and the pane says why when the answer looked like an acceptance.
    void verdictOfAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown"); // a text the pane must show

        const QByteArray sentence = kAcceptSentence;
        auto html = [](const QByteArray& body) {
            return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>" + body + "</body></html>";
        };
        auto report = [](const QByteArray& verdict, const QByteArray& html) {
            return Report("<rep:assessment><rep:" + verdict + "><rep:explanation>" + html + "</rep:explanation></rep:" + verdict
                          + "></rep:assessment>");
        };
        const QByteArray acceptP = "<p class=\"important\">" + sentence + "</p>";
        const QByteArray rejectP = "<p class=\"important error\">Bewertung: Es wird empfohlen das Dokument zurückzuweisen.</p>";

        QTest::newRow("200, accept report") << 200 << report("accept", html(acceptP)) << true << QString::fromUtf8(sentence);
        QTest::newRow("200, errors tolerated")
            << 200 << report("accept", html("<p>" + QByteArray(kAcceptToleratedSentence) + "</p>")) << true
            << QString::fromUtf8(kAcceptToleratedSentence);
        QTest::newRow("sentence spread over markup and lines")
            << 200 << report("accept", html("<p><b>Bewertung:</b>\n  Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.</p>"))
            << true << QStringLiteral("Bewertung:");
        QTest::newRow("406 with an accept report") << 406 << report("accept", html(acceptP)) << false
                                                   << QStringLiteral("HTTP-Status 406 statt 200");
        QTest::newRow("406, honest rejection") << 406 << report("reject", html(rejectP)) << false
                                               << QStringLiteral("zurückzuweisen");
        QTest::newRow("500 page with the sentence in a comment")
            << 500 << QByteArray("<html><body><!-- " + sentence + " --><h1>Internal Server Error</h1></body></html>") << false
            << QStringLiteral("HTTP-Status: 500");
        QTest::newRow("502 proxy page quoting the sentence")
            << 502 << QByteArray("<html><body><p>" + sentence + "</p><p>Bad Gateway</p></body></html>") << false
            << QStringLiteral("kein Prüfbericht");
        QTest::newRow("200, plain text with the sentence") << 200 << sentence << false
                                                           << QStringLiteral("kein wohlgeformtes XML");
        QTest::newRow("200, broken report with the sentence")
            << 200 << report("accept", html(acceptP)).chopped(5) << false << QStringLiteral("kein wohlgeformtes XML");
        QTest::newRow("200, XML that is no report")
            << 200 << QByteArray("<antwort><p>" + sentence + "</p></antwort>") << false << QStringLiteral("&lt;antwort&gt;");
        QTest::newRow("200, report in another namespace")
            << 200 << QByteArray("<report xmlns=\"urn:other\"><explanation>" + html(acceptP) + "</explanation></report>")
            << false << QStringLiteral("kein Prüfbericht");
        QTest::newRow("200, reject assessment, accept sentence") << 200 << report("reject", html(acceptP)) << false
                                                                 << QStringLiteral("lautet „reject“");
        QTest::newRow("200, accept assessment, reject sentence") << 200 << report("accept", html(rejectP)) << false
                                                                 << QStringLiteral("zurückzuweisen");
        QTest::newRow("200, two sentences that disagree")
            << 200 << report("accept", html(acceptP + rejectP)) << false << QStringLiteral("widersprechen einander");
        QTest::newRow("200, the sentence only inside the invoice's contents")
            << 200 << report("accept", html("<table><tr><td><div class=\"val\">" + sentence + "</div></td></tr></table>"))
            << false << QStringLiteral("keinen Bewertungssatz");
        QTest::newRow("200, report without assessment")
            << 200 << Report("<rep:explanation>" + html(acceptP) + "</rep:explanation>") << false
            << QStringLiteral("keine Bewertung");
    }

    void verdictOfAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        server->Answer("/validate", Xml(answer, status));
        TEValidator validator(nullptr, Options());
        const QString html = validator.Validate(QStringLiteral("<x/>"));
        QCOMPARE(validator.Accepted(), accepted);
        QVERIFY2(html.contains(shown), qPrintable(html.left(2000)));
        // What came from outside is shown as text, never as markup of the pane.
        if (!accepted && !answer.startsWith("<rep:report"))
            QVERIFY(!html.contains(QStringLiteral("<h1>Internal Server Error")));
    }

    void emptyAnswerIsAnError_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("200, empty") << 200 << QByteArray();
        QTest::newRow("204") << 204 << QByteArray();
        QTest::newRow("200, blanks only") << 200 << QByteArray(" \r\n\t");
        QTest::newRow("400, empty") << 400 << QByteArray();
    }

    void emptyAnswerIsAnError()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        server->Answer("/validate", Xml(answer, status));
        TEValidator validator(nullptr, Options());
        QCOMPARE(ErrorOf([&] { validator.Validate(QStringLiteral("<x/>")); }),
                 QStringLiteral("Leere Antwort des Prüfdienstes (HTTP-Status %1)").arg(status));
        QVERIFY(!validator.Accepted());
    }

    // The official validator's own answers for the sample corpus, with their statuses: the
    // recommendation read must be the one the report gives.
    void realReportsOfTheCorpus()
    {
        const QString dir = CorpusPath(QStringLiteral("validator-reports"));
        QFile index(dir + QStringLiteral("/index.tsv"));
        if (CorpusDir().isEmpty() || !index.open(QIODevice::ReadOnly))
            QSKIP("the sample corpus is not there");
        int read = 0;
        for (const QByteArray& line : index.readAll().split('\n').mid(1)) {
            const QList<QByteArray> cells = line.split('\t');
            if (cells.size() < 4)
                continue;
            const QString file = QString::fromUtf8(cells[0]);
            server->Answer("/validate", Xml(ReadFileBytes(dir + QLatin1Char('/') + file + QStringLiteral(".report.xml")),
                                            cells[2].toInt()));
            TEValidator validator(nullptr, Options());
            const QString html = validator.Validate(QStringLiteral("<x/>"));
            QVERIFY2(validator.Accepted() == (cells[3] == "accept"), qPrintable(file));
            QVERIFY2(html.contains(QString::fromUtf8(cells[4])), qPrintable(file));
            ++read;
        }
        QVERIFY(read > 50);
    }

    void realisticReportYieldsItsHtml()
    {
        const QByteArray report = ReadTestData(QStringLiteral("report-accept.xml"));
        server->Answer("/validate", Xml(report));
        const QString html = TEValidator(nullptr, Options()).Validate(QStringLiteral("<x/>"));
        QVERIFY(html.startsWith(QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\" data-report-type=\"report\">")));
        QVERIFY(html.endsWith(QStringLiteral("</html>")));
        QVERIFY(html.contains(QStringLiteral("Bewertung: Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.")));
        QVERIFY(html.contains(QStringLiteral("Müller &amp; Söhne")));
        QVERIFY(!html.contains(QStringLiteral("rep:engine")));
    }

    void rendererReturnsTheAnswerUnchanged()
    {
        const QByteArray page = "<html><body>Fehler 500 – interner Fehler Ж</body></html>";
        server->Answer("/renderhtml", Xml(page, 500));
        QCOMPARE(TERenderer(nullptr, Options()).Render(QStringLiteral("<x/>")), QString::fromUtf8(page));
        QCOMPARE(server->Requests().front().Path, std::string("/renderhtml"));
    }

    void answerDecoding_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bom dropped") << QByteArray("\xef\xbb\xbf<p>ä</p>") << QStringLiteral("<p>ä</p>");
        QTest::newRow("only one bom dropped") << QByteArray("\xef\xbb\xbf\xef\xbb\xbfx")
                                              << QString(QChar(0xFEFF)) + QLatin1Char('x');
        QTest::newRow("latin-1 is no utf-8") << QByteArray("<p>M\xfcller</p>")
                                             << QStringLiteral("Keine Zuordnung für Unicode-Zeichen in der Multibyte-Zielcodeseite vorhanden");
        QTest::newRow("truncated sequence") << QByteArray("abc\xe2\x82")
                                            << QStringLiteral("Keine Zuordnung für Unicode-Zeichen in der Multibyte-Zielcodeseite vorhanden");
    }

    void answerDecoding()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        server->Answer("/renderhtml", Xml(body));
        server->Answer("/validate", Xml(body));
        QString rendered, validated;
        const QString renderError = ErrorOf([&] { rendered = TERenderer(nullptr, Options()).Render(QStringLiteral("x")); });
        const QString validateError = ErrorOf([&] { validated = TEValidator(nullptr, Options()).Validate(QStringLiteral("x")); });
        QCOMPARE(renderError.isEmpty() ? rendered : renderError, expected);
        // No report: the validator shows the decoded answer as text.
        if (validateError.isEmpty())
            QVERIFY2(validated.contains(expected.toHtmlEscaped()), qPrintable(validated));
        else
            QCOMPARE(validateError, expected);
    }

    void redirects_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("hops");
        QTest::addColumn<QString>("finalMethod");
        QTest::newRow("301 -> GET") << 301 << 1 << QStringLiteral("GET");
        QTest::newRow("302 -> GET") << 302 << 1 << QStringLiteral("GET");
        QTest::newRow("303 -> GET") << 303 << 1 << QStringLiteral("GET");
        QTest::newRow("307 -> POST") << 307 << 1 << QStringLiteral("POST");
        QTest::newRow("308 -> POST") << 308 << 1 << QStringLiteral("POST");
        QTest::newRow("five hops followed") << 307 << 5 << QStringLiteral("POST");
    }

    void redirects()
    {
        QFETCH(int, status);
        QFETCH(int, hops);
        QFETCH(QString, finalMethod);
        server->RedirectChain("/renderhtml", hops, status, Xml("<p>ziel</p>"));
        QCOMPARE(TERenderer(nullptr, Options()).Render(QStringLiteral("<rechnung/>")), QStringLiteral("<p>ziel</p>"));

        const auto requests = server->Requests();
        QCOMPARE(int(requests.size()), hops + 1);
        const auto& last = requests.back();
        QCOMPARE(QString::fromStdString(last.Method), finalMethod);
        QCOMPARE(last.Path, "/renderhtml/" + std::to_string(hops));
        if (finalMethod == QStringLiteral("GET")) {
            QVERIFY(last.Body.empty());
            QVERIFY(!last.HasHeader("content-type"));
        } else {
            QCOMPARE(last.Body, std::string("<rechnung/>"));
            QCOMPARE(last.Header("content-type"), std::string("application/xml"));
        }
    }

    void sixthRedirectFails()
    {
        server->RedirectChain("/validate", 6, 302, Xml("<p>nie</p>"));
        QCOMPARE(ErrorOf([&] { TEValidator(nullptr, Options()).Validate(QStringLiteral("x")); }),
                 QStringLiteral("Maximale Anzahl von Umleitungen (5) überschritten"));
        QCOMPARE(server->Requests().size(), size_t(6));
    }

    // Only https is ever spoken: a redirect elsewhere fails, names its target, and nothing
    // reaches the other end.
    void redirectsToOtherSchemesAreRefused_data()
    {
        QTest::addColumn<QString>("location");
        QTest::newRow("local file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("local file, upper case") << QStringLiteral("FILE:///etc/hostname");
        QTest::newRow("gopher") << QStringLiteral("gopher://127.0.0.1:%1/_POST%20/");
        QTest::newRow("downgrade to http") << QStringLiteral("http://127.0.0.1:%1/validate");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1:%1/report.xml");
        QTest::newRow("dict") << QStringLiteral("dict://127.0.0.1:%1/d:x");
    }

    void redirectsToOtherSchemesAreRefused()
    {
        QFETCH(QString, location);
        TTlsTestServer plain(0, TTlsTestServer::TScheme::PlainHttp);
        ServeInvoiceServices(plain);
        location = location.contains(QLatin1String("%1")) ? location.arg(plain.Port()) : location;
        TAnswer redirect;
        redirect.Status = 307;
        redirect.Headers = {{"Location", location.toStdString()}};
        server->Answer("/validate", redirect);
        const QString error = ErrorOf([&] { TEValidator(nullptr, Options()).Validate(QStringLiteral("<x/>")); });
        QCOMPARE(error.toLower(), QStringLiteral("Umleitung auf %1 abgelehnt: nur HTTPS-Adressen sind erlaubt.").arg(location).toLower());
        QVERIFY(plain.Requests().empty());
    }

    void addressOtherThanHttpsIsRefused()
    {
        TTlsTestServer plain(0, TTlsTestServer::TScheme::PlainHttp);
        ServeInvoiceServices(plain);
        TServiceOptions o = Options();
        o.BaseUrl = plain.BaseUrl();
        QCOMPARE(ErrorOf([&] { TEValidator(nullptr, o).Validate(QStringLiteral("<x/>")); }),
                 QStringLiteral("Adresse %1/validate abgelehnt: nur HTTPS-Adressen sind erlaubt.").arg(plain.BaseUrl()));
        QVERIFY(plain.Requests().empty());
    }

    void redirectToHttpsInOtherLetterCaseIsFollowed()
    {
        TAnswer redirect;
        redirect.Status = 308;
        redirect.Headers = {{"Location", QStringLiteral("HTTPS://127.0.0.1:%1/renderhtml/neu").arg(server->Port()).toStdString()}};
        server->Answer("/renderhtml", redirect);
        server->Answer("/renderhtml/neu", Xml("<p>ziel</p>"));
        QCOMPARE(TERenderer(nullptr, Options()).Render(QStringLiteral("x")), QStringLiteral("<p>ziel</p>"));
    }

    // An answer that trickles in, a byte at a time, ends at the overall deadline even
    // though it is never idle long enough for the receive time-out.
    void tricklingAnswerEndsAtTheDeadline()
    {
        TAnswer slow = Xml(Report("<rep:explanation>" + kHtml + "</rep:explanation>"));
        slow.TrickleMs = 100;
        server->Answer("/validate", slow);
        TServiceOptions o = Options();
        o.TotalTimeoutMs = 2000;
        QElapsedTimer clock;
        clock.start();
        const QString error = ErrorOf([&] { TEValidator(nullptr, o).Validate(QStringLiteral("x")); });
        QCOMPARE(error, QStringLiteral("Fehler beim Empfangen der Daten: (28) Keine vollständige Antwort innerhalb von 2 Sekunden."));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void redirectWithoutLocationIsTheAnswer()
    {
        TAnswer a = Xml("<p>umgezogen</p>", 302);
        server->Answer("/renderhtml", a);
        QCOMPARE(TERenderer(nullptr, Options()).Render(QStringLiteral("x")), QStringLiteral("<p>umgezogen</p>"));
    }

    void cookieOfTheFirstAnswerIsSentOnTheRedirect()
    {
        TAnswer first;
        first.Status = 307;
        first.Headers = {{"Location", "/validate/next"}, {"Set-Cookie", "session=abc123; Path=/"}};
        server->Answer("/validate", first);
        server->Answer("/validate/next", Xml(Report("")));
        TEValidator(nullptr, Options()).Validate(QStringLiteral("x"));
        const auto requests = server->Requests();
        QCOMPARE(requests.size(), size_t(2));
        QVERIFY(!requests[0].HasHeader("cookie"));
        QCOMPARE(requests[1].Header("cookie"), std::string("session=abc123"));

        // A new call starts without the cookie.
        server->ClearRequests();
        TEValidator(nullptr, Options()).Validate(QStringLiteral("x"));
        QVERIFY(!server->Requests().front().HasHeader("cookie"));
    }

    void untrustedCertificate()
    {
        server->Answer("/validate", Xml("x"));
        TServiceOptions o = Options();
        o.CaFile.clear(); // the system's trust store does not know the test certificate
        QCOMPARE(ErrorOf([&] { TEValidator(nullptr, o).Validate(QStringLiteral("x")); }),
                 QStringLiteral("Serverzertifikat ungültig oder nicht vorhanden"));
    }

    void transportFailures()
    {
        TServiceOptions o = Options();
        o.BaseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        const QString closed = ErrorOf([&] { TERenderer(nullptr, o).Render(QStringLiteral("x")); });
        QVERIFY2(QRegularExpression(QStringLiteral("^Fehler beim Senden der Daten: \\(7\\) .+")).match(closed).hasMatch(),
                 qPrintable(closed));

        // A listener that never completes the TLS handshake: the connection time-out strikes.
        TSilentServer silent;
        o.BaseUrl = QStringLiteral("https://127.0.0.1:%1").arg(silent.Port());
        o.ConnectTimeoutMs = 300;
        const QString handshake = ErrorOf([&] { TERenderer(nullptr, o).Render(QStringLiteral("x")); });
        QVERIFY2(handshake.startsWith(QStringLiteral("Fehler beim Senden der Daten: (28) ")), qPrintable(handshake));
    }

    void serverThatNeverAnswers()
    {
        TAnswer slow = Xml("zu spät");
        slow.DelayMs = 20000;
        server->Answer("/validate", slow);
        TServiceOptions o = Options();
        o.ReceiveTimeoutMs = 500;
        QElapsedTimer clock;
        clock.start();
        const QString error = ErrorOf([&] { TEValidator(nullptr, o).Validate(QStringLiteral("x")); });
        QVERIFY2(error.startsWith(QStringLiteral("Fehler beim Empfangen der Daten: (28) ")), qPrintable(error));
        QVERIFY(clock.elapsed() < 10000);
    }

    void oversizedAnswerIsRefused()
    {
        TAnswer huge;
        huge.Body.assign(65 * 1024 * 1024, 'a');
        server->Answer("/renderhtml", huge);
        QCOMPARE(ErrorOf([&] { TERenderer(nullptr, Options()).Render(QStringLiteral("x")); }),
                 QStringLiteral("Die Antwort des Dienstes ist größer als 64 MiB und wird nicht angenommen."));
    }
};

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
