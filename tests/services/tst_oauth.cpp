#include "platform/Exception.h"
#include "services/OAuth.h"
#include "tests/support/AuthorizationServer.h"
#include "tests/support/TestEnvironment.h"

#include <httplib.h>

#include <QtTest>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

// What a browser does with the sign-in address: the authorization server's redirect, then
// the request to the program's loopback address. Returns the page the program answered.
struct TBrowserVisit
{
    std::vector<int> StrayStatuses; // the answers to requests that are no sign-in's answer
    int Status = 0;
    std::string Page;
};

TBrowserVisit VisitLikeABrowser(TAuthorizationServer& server, const QUrl& address)
{
    TBrowserVisit visit;
    const QUrl redirect(server.Authorize(address));
    httplib::Client loopback("127.0.0.1", redirect.port());
    loopback.set_read_timeout(10);
    // What else arrives there is answered and passed over: the browser's icon request and
    // an answer that belongs to no sign-in of ours.
    for (const char* stray : {"/favicon.ico", "/?state=fremd&code=gestohlen"}) {
        const auto answer = loopback.Get(stray);
        visit.StrayStatuses.push_back(answer ? answer->status : -1);
    }
    const auto answer = loopback.Get("/?" + redirect.query(QUrl::FullyEncoded).toStdString());
    if (answer) {
        visit.Status = answer->status;
        visit.Page = answer->body;
    }
    return visit;
}

} // namespace

// The OAuth 2.0 sign-in against a real authorization server on loopback (HTTPS).
class TestOAuth : public QObject
{
    Q_OBJECT

    std::unique_ptr<TAuthorizationServer> server;

    TOAuthOptions Options() const
    {
        TOAuthOptions options;
        options.Authority = server->Authority();
        options.Tenant = server->Tenant();
        options.ClientId = TAuthorizationServer::ClientId();
        options.CaFile = server->CaFile();
        options.TimeoutMs = 10000;
        return options;
    }

    // Signs in with a device code that the user (a thread here) confirms after a moment.
    TOAuthTokens SignInWithCode()
    {
        const TOAuthOptions options = Options();
        const TDeviceCode code = StartDeviceCode(options);
        std::thread user([this, code] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            server->Approve(code.UserCode);
        });
        TOAuthTokens tokens;
        const QString error = ErrorOf([&] { tokens = WaitForDeviceCode(options, code); });
        user.join();
        if (!error.isEmpty())
            qWarning().noquote() << error;
        return tokens;
    }

private Q_SLOTS:
    void init() { server = std::make_unique<TAuthorizationServer>(QStringLiteral("rechnung@firma.example")); }
    void cleanup() { server.reset(); }

    // The code sign-in in the browser: PKCE and state checked by the server and by us, the
    // browser's answer page, and what the user or the directory said instead of a code.
    void signInInTheBrowser_data()
    {
        QTest::addColumn<QString>("browserError");
        QTest::addColumn<int>("failure"); // -1: signed in
        QTest::addColumn<QString>("message");
        QTest::newRow("signed in") << QString() << -1 << QString();
        QTest::newRow("cancelled by the user") << "access_denied" << int(TOAuthFailure::Cancelled)
                                               << "Die Anmeldung wurde abgebrochen";
        QTest::newRow("consent missing") << "consent_required" << int(TOAuthFailure::ConsentMissing)
                                         << "Die Zustimmung zum Zugriff der App auf das Postfach fehlt";
    }

    void signInInTheBrowser()
    {
        QFETCH(QString, browserError);
        QFETCH(int, failure);
        QFETCH(QString, message);
        server->SetBrowserError(browserError);
        TAuthorizationCodeFlow flow(Options(), QStringLiteral("rechnung@firma.example"));
        const QUrl address = flow.Start();
        const QUrlQuery query(address);
        QCOMPARE(query.queryItemValue(QStringLiteral("login_hint"), QUrl::FullyDecoded), QStringLiteral("rechnung@firma.example"));
        QCOMPARE(query.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded),
                 QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access"));
        QVERIFY(flow.RedirectUri().startsWith(QStringLiteral("http://localhost:")));

        std::optional<TBrowserVisit> visit;
        std::thread browser([&] { visit = VisitLikeABrowser(*server, address); });
        TOAuthTokens tokens;
        std::optional<TOAuthError> error;
        try {
            tokens = flow.Finish(20000);
        } catch (const TOAuthError& e) {
            error = e;
        }
        browser.join();
        QVERIFY(visit);
        QCOMPARE(visit->StrayStatuses, (std::vector<int>{404, 400}));
        QCOMPARE(visit->Status, 200);
        if (failure < 0) {
            QVERIFY2(!error, error ? qPrintable(error->Message()) : "");
            QVERIFY(tokens.AccessToken.startsWith(QStringLiteral("at-")));
            QVERIFY(tokens.RefreshToken.startsWith(QStringLiteral("rt-")));
            QVERIFY(tokens.ExpiresAt > QDateTime::currentDateTimeUtc().addSecs(3000));
            QVERIFY(QString::fromStdString(visit->Page).contains(QStringLiteral("Anmeldung abgeschlossen")));
            const std::string redeem = server->TokenRequests().back();
            QVERIFY(redeem.find("code_verifier=") != std::string::npos);
            QVERIFY(redeem.find("grant_type=authorization_code") != std::string::npos);
        } else {
            QVERIFY(error);
            QCOMPARE(int(error->Kind()), failure);
            QVERIFY2(error->Message().startsWith(message), qPrintable(error->Message()));
            // German first, then the directory's own words.
            QVERIFY2(error->Message().contains(QStringLiteral("Antwort des Anmeldedienstes: ") + browserError), qPrintable(error->Message()));
            QVERIFY(QString::fromStdString(visit->Page).contains(QStringLiteral("nicht abgeschlossen")));
            QVERIFY(server->TokenRequests().empty());
        }
    }

    // Nobody answers in the browser: the wait ends when the user cancels here.
    void browserSignInCancelledHere()
    {
        std::atomic<bool> cancel{false};
        TOAuthOptions options = Options();
        options.Cancel = &cancel;
        TAuthorizationCodeFlow flow(options);
        flow.Start();
        std::thread user([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancel = true;
        });
        QElapsedTimer timer;
        timer.start();
        const QString error = ErrorOf([&] { flow.Finish(60000); });
        user.join();
        QCOMPARE(error, QStringLiteral("Die Anmeldung wurde abgebrochen."));
        QVERIFY(timer.elapsed() < 5000);
    }

    // The device sign-in: the code is confirmed, declined, or the server asks to poll slower.
    void signInWithACode_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("failure");
        QTest::newRow("confirmed") << "approve" << -1;
        QTest::newRow("confirmed after slow_down") << "slow" << -1;
        QTest::newRow("declined") << "decline" << int(TOAuthFailure::Cancelled);
    }

    void signInWithACode()
    {
        QFETCH(QString, answer);
        QFETCH(int, failure);
        const TOAuthOptions options = Options();
        const TDeviceCode code = StartDeviceCode(options);
        QCOMPARE(code.UserCode, server->LastUserCode());
        QCOMPARE(code.VerificationUri, server->Authority() + QStringLiteral("/devicelogin"));
        QCOMPARE(code.IntervalSeconds, 1);
        if (answer == QLatin1String("slow"))
            server->SlowDown(1);
        std::thread user([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            if (answer == QLatin1String("decline"))
                server->Decline(code.UserCode);
            else
                server->Approve(code.UserCode);
        });
        std::optional<TOAuthError> error;
        TOAuthTokens tokens;
        try {
            tokens = WaitForDeviceCode(options, code);
        } catch (const TOAuthError& e) {
            error = e;
        }
        user.join();
        if (failure < 0) {
            QVERIFY2(!error, error ? qPrintable(error->Message()) : "");
            QVERIFY(!tokens.AccessToken.isEmpty());
            // Polled while pending (and, after slow_down, five seconds apart).
            QVERIFY(server->TokenRequests().size() >= 2);
        } else {
            QVERIFY(error);
            QCOMPARE(int(error->Kind()), failure);
            QVERIFY2(error->Message().contains(QStringLiteral("authorization_declined")), qPrintable(error->Message()));
        }
    }

    // A refresh hands out a new refresh token and retires the old one: the newest must be
    // kept. A retired or revoked one is the expired sign-in, with the directory's first
    // line (no trace ids).
    void refreshRotatesTheRefreshToken()
    {
        const TOAuthTokens first = SignInWithCode();
        QVERIFY(!first.RefreshToken.isEmpty());
        const TOAuthTokens second = RefreshTokens(Options(), first.RefreshToken);
        QVERIFY(second.AccessToken != first.AccessToken);
        QVERIFY(second.RefreshToken != first.RefreshToken);
        QVERIFY(RefreshTokens(Options(), second.RefreshToken).AccessToken.startsWith(QStringLiteral("at-")));

        try {
            RefreshTokens(Options(), first.RefreshToken);
            QFAIL("a retired refresh token was taken");
        } catch (const TOAuthError& error) {
            QCOMPARE(int(error.Kind()), int(TOAuthFailure::SignInExpired));
            QCOMPARE(error.Message(), kSignInExpired + QStringLiteral("\r\nAntwort des Anmeldedienstes: invalid_grant: AADSTS50173: "
                                                                      "The provided grant has expired due to it being revoked."));
        }
    }

    // What the directory answers in place of tokens, as the user reads it.
    void providerErrors_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("refreshing");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("consent, as interaction required")
            << QByteArray(R"({"error":"invalid_grant","error_description":"AADSTS65001: The user or administrator has not consented to use the application with ID 'x'.","error_codes":[65001]})")
            << true << int(TOAuthFailure::ConsentMissing)
            << "Die Zustimmung zum Zugriff der App auf das Postfach fehlt. Bitte stimmen Sie bei der Anmeldung zu oder lassen Sie "
               "die Zustimmung von der IT-Verwaltung Ihrer Firma erteilen.\r\nAntwort des Anmeldedienstes: invalid_grant: AADSTS65001: "
               "The user or administrator has not consented to use the application with ID 'x'.";
        QTest::newRow("refresh token expired")
            << QByteArray(R"({"error":"invalid_grant","error_description":"AADSTS70008: The provided authorization code or refresh token has expired due to inactivity.\r\nTrace ID: 5\r\nCorrelation ID: 6"})")
            << true << int(TOAuthFailure::SignInExpired)
            << kSignInExpired + "\r\nAntwort des Anmeldedienstes: invalid_grant: AADSTS70008: The provided authorization code or "
                                "refresh token has expired due to inactivity.";
        QTest::newRow("password changed, multi-factor now required")
            << QByteArray(R"({"error":"interaction_required","error_description":"AADSTS50076: Due to a configuration change you must use multi-factor authentication."})")
            << true << int(TOAuthFailure::SignInExpired) << kSignInExpired + "\r\nAntwort des Anmeldedienstes: interaction_required: AADSTS50076: Due to a configuration change you must use multi-factor authentication.";
        QTest::newRow("unknown app")
            << QByteArray(R"({"error":"unauthorized_client","error_description":"AADSTS700016: Application with identifier 'abc' was not found in the directory 'Firma'."})")
            << false << int(TOAuthFailure::UnknownClient)
            << "Die App-Registrierung wird nicht angenommen. Bitte prüfen Sie Client-ID und Mandant in den Einstellungen (die App "
               "muss öffentliche Client-Flows erlauben).\r\nAntwort des Anmeldedienstes: unauthorized_client: AADSTS700016: "
               "Application with identifier 'abc' was not found in the directory 'Firma'.";
        QTest::newRow("public client flows off")
            << QByteArray(R"({"error":"invalid_client","error_description":"AADSTS7000218: The request body must contain the following parameter: 'client_assertion' or 'client_secret'."})")
            << false << int(TOAuthFailure::UnknownClient) << "Die App-Registrierung wird nicht angenommen.";
        QTest::newRow("device code expired") << QByteArray(R"({"error":"expired_token"})") << false << int(TOAuthFailure::CodeExpired)
                                             << "Der Anmeldecode ist abgelaufen, bevor die Anmeldung bestätigt wurde. Bitte melden Sie "
                                                "sich erneut an.\r\nAntwort des Anmeldedienstes: expired_token";
        QTest::newRow("an invalid grant outside a refresh")
            << QByteArray(R"({"error":"invalid_grant","error_description":"AADSTS54005: OAuth2 Authorization code was already redeemed."})")
            << false << int(TOAuthFailure::Other) << "Die Anmeldung bei Microsoft 365 ist fehlgeschlagen.\r\nAntwort des Anmeldedienstes: invalid_grant: AADSTS54005: OAuth2 Authorization code was already redeemed.";
        QTest::newRow("no JSON at all") << QByteArray("<html><body>Service Unavailable</body></html>") << true << int(TOAuthFailure::Other)
                                        << "Die Anmeldung bei Microsoft 365 ist fehlgeschlagen.\r\nAntwort des Anmeldedienstes: "
                                           "<html><body>Service Unavailable</body></html>";
    }

    void providerErrors()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, refreshing);
        QFETCH(int, failure);
        QFETCH(QString, message);
        const TOAuthError error = OAuthErrorOf(answer, 400, refreshing);
        QCOMPARE(int(error.Kind()), failure);
        QVERIFY2(error.Message().startsWith(message), qPrintable(error.Message()));
    }

    // An app id the directory does not know is named as such by the live server; an
    // authority that is not https is never spoken to.
    void wrongAppAndPlainAuthority()
    {
        TOAuthOptions options = Options();
        options.ClientId = QStringLiteral("falsch");
        try {
            StartDeviceCode(options);
            QFAIL("an unknown client id was taken");
        } catch (const TOAuthError& error) {
            QCOMPARE(int(error.Kind()), int(TOAuthFailure::UnknownClient));
        }
        options = Options();
        options.Authority = QStringLiteral("http://127.0.0.1:9");
        QVERIFY(ErrorOf([&] { RefreshTokens(options, QStringLiteral("rt")); }).contains(QStringLiteral("HTTPS")));
    }

    // PKCE's S256 challenge (RFC 7636 appendix B) and the random texts.
    void pkce()
    {
        QCOMPARE(CodeChallenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
        const QString a = RandomUrlText(64);
        QCOMPARE(a.size(), 64);
        QVERIFY(a != RandomUrlText(64));
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9._~-]+$")).match(a).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestOAuth)
#include "tst_oauth.moc"
