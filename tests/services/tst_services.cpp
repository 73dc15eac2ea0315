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
        QTest::newRow("406 is read like 200") << accept << 406 << QString::fromUtf8(kHtml);
        QTest::newRow("white space before the html")
            << Report("<rep:explanation>\n   \t" + kHtml + "\n</rep:explanation>") << 200 << QString::fromUtf8(kHtml);
        QTest::newRow("two explanations: the first")
            << Report("<rep:explanation><p xmlns=\"urn:x\">eins</p></rep:explanation>"
                      "<rep:explanation><p xmlns=\"urn:x\">zwei</p></rep:explanation>")
            << 200 << QStringLiteral("<p xmlns=\"urn:x\">eins</p>");
        QTest::newRow("inherited namespace declared")
            << Report("<rep:explanation><rep:message code=\"1\">Text</rep:message></rep:explanation>") << 200
            << QStringLiteral("<rep:message xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\" code=\"1\">Text</rep:message>");
        QTest::newRow("text node escaped")
            << Report("<rep:explanation>a &lt; b &amp; c</rep:explanation>") << 200 << QStringLiteral("a &lt; b &amp; c");

        const QByteArray otherNs = "<report xmlns=\"urn:other\"><explanation>" + kHtml + "</explanation></report>";
        QTest::newRow("other namespace: whole answer") << otherNs << 200 << QString::fromUtf8(otherNs);
        const QByteArray empty = Report("<rep:explanation/>");
        QTest::newRow("empty explanation: whole answer") << empty << 200 << QString::fromUtf8(empty);
        const QByteArray blank = Report("<rep:explanation>  \n </rep:explanation>");
        QTest::newRow("blank explanation: whole answer") << blank << 200 << QString::fromUtf8(blank);
        const QByteArray page = "<html><body><h1>500 Internal Server Error</h1></body>";
        QTest::newRow("error page unchanged") << page << 500 << QString::fromUtf8(page);
        QTest::newRow("not xml") << QByteArray("Service Unavailable & more") << 503
                                 << QStringLiteral("Service Unavailable & more");
        QTest::newRow("empty answer") << QByteArray() << 400 << QString();
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
        QCOMPARE(validateError.isEmpty() ? validated : validateError, expected);
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
