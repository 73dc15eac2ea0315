#include "services/OAuth.h"

#include "services/HttpClient.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QUrlQuery>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

const QString kOrigin = QStringLiteral("Antwort des Anmeldedienstes");

bool Cancelled(const TOAuthOptions& options)
{
    return options.Cancel && options.Cancel->load();
}

TOAuthError CancelledError()
{
    return TOAuthError(TOAuthFailure::Cancelled, QStringLiteral("Die Anmeldung wurde abgebrochen."));
}

QByteArray FormBody(const QList<std::pair<QString, QString>>& fields)
{
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

THttpResponse PostForm(const TOAuthOptions& options, const QString& endpoint, const QList<std::pair<QString, QString>>& fields)
{
    THttpRequest request;
    request.Method = THttpRequest::TMethod::Post;
    request.Url = endpoint;
    request.Body = FormBody(fields);
    request.ContentType = "application/x-www-form-urlencoded";
    request.ExtraHeaders = {"Accept: application/json"};
    request.UserAgent = DefaultUserAgent();
    request.CaFile = options.CaFile;
    request.ReceiveTimeoutMs = options.TimeoutMs;
    request.SendTimeoutMs = options.TimeoutMs;
    request.TotalTimeoutMs = options.TimeoutMs;
    request.MaxRedirects = 0; // a token endpoint answers itself
    request.Cookies = false;
    request.MaxBodyBytes = 1024 * 1024;
    request.Cancel = options.Cancel;
    try {
        return HttpPerform(request);
    } catch (const Exception&) {
        if (Cancelled(options))
            throw CancelledError();
        throw;
    }
}

QJsonObject JsonObjectOf(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
}

// The provider's text: the error code and the first line of its description (Microsoft
// adds trace and correlation ids on further lines).
QString ServerText(const QString& error, const QString& description, int httpStatus)
{
    const QString first = description.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0).trimmed();
    if (error.isEmpty())
        return first.isEmpty() ? QStringLiteral("HTTP %1").arg(httpStatus) : first;
    return first.isEmpty() ? error : error + QStringLiteral(": ") + first;
}

TOAuthError ErrorOf(const QString& error, const QString& description, QList<int> codes, int httpStatus, bool refreshing)
{
    // Microsoft names the exact cause as AADSTS<number> in the description as well.
    static const QRegularExpression aadsts(QStringLiteral("AADSTS(\\d+)"));
    for (auto it = aadsts.globalMatch(description); it.hasNext();)
        codes.append(it.next().captured(1).toInt());
    const auto has = [&codes](std::initializer_list<int> list) {
        for (int c : list)
            if (codes.contains(c))
                return true;
        return false;
    };
    const QString detail = ServerText(error, description, httpStatus);
    const auto make = [&detail](TOAuthFailure kind, const QString& sentence) {
        return TOAuthError(kind, WithReason(sentence, kOrigin, detail));
    };

    if (error == QLatin1String("access_denied") || error == QLatin1String("authorization_declined") || has({65004}))
        return make(TOAuthFailure::Cancelled, QStringLiteral("Die Anmeldung wurde abgebrochen: der Zugriff auf das Postfach wurde nicht erlaubt."));
    if (error == QLatin1String("consent_required") || has({65001}))
        return make(TOAuthFailure::ConsentMissing,
                    QStringLiteral("Die Zustimmung zum Zugriff der App auf das Postfach fehlt. Bitte stimmen Sie bei der Anmeldung "
                                   "zu oder lassen Sie die Zustimmung von der IT-Verwaltung Ihrer Firma erteilen."));
    if (error == QLatin1String("invalid_client") || error == QLatin1String("unauthorized_client")
        || has({700016, 7000218, 90002, 900023}))
        return make(TOAuthFailure::UnknownClient,
                    QStringLiteral("Die App-Registrierung wird nicht angenommen. Bitte prüfen Sie Client-ID und Mandant in den "
                                   "Einstellungen (die App muss öffentliche Client-Flows erlauben)."));
    if (refreshing && (error == QLatin1String("invalid_grant") || error == QLatin1String("interaction_required")
                       || has({70008, 50173, 700082, 50078, 50076})))
        return make(TOAuthFailure::SignInExpired, kSignInExpired);
    if (error == QLatin1String("expired_token"))
        return make(TOAuthFailure::CodeExpired,
                    QStringLiteral("Der Anmeldecode ist abgelaufen, bevor die Anmeldung bestätigt wurde. Bitte melden Sie sich "
                                   "erneut an."));
    return make(TOAuthFailure::Other, QStringLiteral("Die Anmeldung bei Microsoft 365 ist fehlgeschlagen."));
}

TOAuthTokens TokensOf(const THttpResponse& response, bool refreshing, const QString& oldRefreshToken)
{
    if (response.Status != 200)
        throw OAuthErrorOf(response.Body, response.Status, refreshing);
    const QJsonObject answer = JsonObjectOf(response.Body);
    TOAuthTokens tokens;
    tokens.AccessToken = answer.value(QLatin1String("access_token")).toString();
    if (tokens.AccessToken.isEmpty())
        throw TOAuthError(TOAuthFailure::Other,
                          WithReason(QStringLiteral("Die Antwort des Anmeldedienstes enthält kein Zugriffstoken."), kOrigin,
                                     QString::fromUtf8(response.Body.left(200))));
    tokens.RefreshToken = answer.value(QLatin1String("refresh_token")).toString();
    if (tokens.RefreshToken.isEmpty())
        tokens.RefreshToken = oldRefreshToken;
    qint64 lifetime = answer.value(QLatin1String("expires_in")).toVariant().toLongLong();
    if (lifetime <= 0)
        lifetime = 3600; // the provider's usual lifetime when it does not say
    tokens.ExpiresAt = QDateTime::currentDateTimeUtc().addSecs(lifetime);
    return tokens;
}

// Waits up to ms, ending early when the sign-in is cancelled.
void Pause(const TOAuthOptions& options, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (Cancelled(options))
            throw CancelledError();
        QThread::msleep(50);
    }
}

// The HTML page that ends the browser's part of the sign-in.
QByteArray BrowserPage(int status, const QString& title, const QString& text)
{
    const QByteArray body = QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                           "<body style=\"font-family:sans-serif;margin:3em\"><h1>%1</h1><p>%2</p></body></html>")
                                .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
                                .toUtf8();
    const char* reason = status == 200 ? "OK" : status == 400 ? "Bad Request" : "Not Found";
    return QByteArray("HTTP/1.1 ") + QByteArray::number(status) + ' ' + reason
        + "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

void SendAll(TTcpSocket& socket, const QByteArray& data)
{
    qint64 sent = 0;
    while (sent < data.size()) {
        if (!socket.WaitWritable(5000))
            return;
        const qint64 n = socket.Send(data.constData() + sent, data.size() - sent);
        if (n > 0)
            sent += n;
    }
}

// The request line's target of one HTTP request from the browser; empty when none came.
QByteArray ReadRequestTarget(TTcpSocket& socket)
{
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n") && request.size() < 16 * 1024) {
        if (!socket.WaitReadable(5000))
            break;
        const qint64 n = socket.Receive(buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n > 0)
            request.append(buffer, qsizetype(n));
    }
    const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
    if (line.size() != 3 || line[0] != "GET")
        return {};
    return line[1];
}

} // namespace

QString TOAuthOptions::Endpoint(const QString& name) const
{
    QString base = Authority.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString tenant = Tenant.trimmed().isEmpty() ? QStringLiteral("organizations") : Tenant.trimmed();
    return QStringLiteral("%1/%2/oauth2/v2.0/%3").arg(base, QString::fromLatin1(QUrl::toPercentEncoding(tenant)), name);
}

TOAuthError OAuthErrorOf(const QByteArray& answer, int httpStatus, bool refreshing)
{
    const QJsonObject object = JsonObjectOf(answer);
    QList<int> codes;
    for (const QJsonValue& code : object.value(QLatin1String("error_codes")).toArray())
        codes.append(code.toInt());
    QString description = object.value(QLatin1String("error_description")).toString();
    if (object.isEmpty())
        description = QString::fromUtf8(answer.left(200)).simplified();
    return ErrorOf(object.value(QLatin1String("error")).toString(), description, codes, httpStatus, refreshing);
}

TOAuthTokens RefreshTokens(const TOAuthOptions& options, const QString& refreshToken)
{
    const THttpResponse response = PostForm(options, options.Endpoint(QStringLiteral("token")),
                                            {{QStringLiteral("client_id"), options.ClientId},
                                             {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                             {QStringLiteral("refresh_token"), refreshToken},
                                             {QStringLiteral("scope"), options.Scopes}});
    return TokensOf(response, true, refreshToken);
}

TDeviceCode StartDeviceCode(const TOAuthOptions& options)
{
    const THttpResponse response = PostForm(options, options.Endpoint(QStringLiteral("devicecode")),
                                            {{QStringLiteral("client_id"), options.ClientId}, {QStringLiteral("scope"), options.Scopes}});
    if (response.Status != 200)
        throw OAuthErrorOf(response.Body, response.Status, false);
    const QJsonObject answer = JsonObjectOf(response.Body);
    TDeviceCode code;
    code.DeviceCode = answer.value(QLatin1String("device_code")).toString();
    code.UserCode = answer.value(QLatin1String("user_code")).toString();
    code.VerificationUri = answer.value(QLatin1String("verification_uri")).toString();
    if (code.VerificationUri.isEmpty())
        code.VerificationUri = answer.value(QLatin1String("verification_url")).toString(); // older endpoints
    code.Message = answer.value(QLatin1String("message")).toString();
    const int interval = answer.value(QLatin1String("interval")).toVariant().toInt();
    code.IntervalSeconds = interval > 0 ? interval : 5;
    const qint64 lifetime = answer.value(QLatin1String("expires_in")).toVariant().toLongLong();
    code.ExpiresAt = QDateTime::currentDateTimeUtc().addSecs(lifetime > 0 ? lifetime : 900);
    if (code.DeviceCode.isEmpty() || code.UserCode.isEmpty() || code.VerificationUri.isEmpty())
        throw TOAuthError(TOAuthFailure::Other,
                          WithReason(QStringLiteral("Der Anmeldedienst hat keinen Anmeldecode geliefert."), kOrigin,
                                     QString::fromUtf8(response.Body.left(200))));
    return code;
}

TOAuthTokens WaitForDeviceCode(const TOAuthOptions& options, const TDeviceCode& code)
{
    int interval = code.IntervalSeconds;
    for (;;) {
        Pause(options, interval * 1000);
        if (QDateTime::currentDateTimeUtc() > code.ExpiresAt)
            throw ErrorOf(QStringLiteral("expired_token"), QString(), {}, 400, false);
        const THttpResponse response =
            PostForm(options, options.Endpoint(QStringLiteral("token")),
                     {{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                      {QStringLiteral("client_id"), options.ClientId},
                      {QStringLiteral("device_code"), code.DeviceCode}});
        if (response.Status == 200)
            return TokensOf(response, false, QString());
        const QString error = JsonObjectOf(response.Body).value(QLatin1String("error")).toString();
        if (error == QLatin1String("authorization_pending"))
            continue;
        if (error == QLatin1String("slow_down")) {
            interval += 5; // RFC 8628 section 3.5
            continue;
        }
        throw OAuthErrorOf(response.Body, response.Status, false);
    }
}

QString RandomUrlText(int length)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    QString text;
    text.reserve(length);
    QRandomGenerator* random = QRandomGenerator::system();
    for (int i = 0; i < length; ++i)
        text += QLatin1Char(kAlphabet[random->bounded(int(sizeof kAlphabet - 1))]);
    return text;
}

QString CodeChallenge(const QString& verifier)
{
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

TAuthorizationCodeFlow::TAuthorizationCodeFlow(TOAuthOptions options, QString loginHint)
    : FOptions(std::move(options))
    , FLoginHint(std::move(loginHint))
{
}

TAuthorizationCodeFlow::~TAuthorizationCodeFlow() = default;

QUrl TAuthorizationCodeFlow::Start()
{
    FVerifier = RandomUrlText(64);
    FState = RandomUrlText(24);
    // "localhost" is what the provider lets an app register for any port; the browser
    // reaches it on 127.0.0.1, where we listen.
    FRedirectUri = QStringLiteral("http://localhost:%1").arg(FListener.ListenOnLoopback());
    QList<std::pair<QString, QString>> query{{QStringLiteral("client_id"), FOptions.ClientId},
                                             {QStringLiteral("response_type"), QStringLiteral("code")},
                                             {QStringLiteral("redirect_uri"), FRedirectUri},
                                             {QStringLiteral("response_mode"), QStringLiteral("query")},
                                             {QStringLiteral("scope"), FOptions.Scopes},
                                             {QStringLiteral("state"), FState},
                                             {QStringLiteral("code_challenge"), CodeChallenge(FVerifier)},
                                             {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
                                             {QStringLiteral("prompt"), QStringLiteral("select_account")}};
    if (!FLoginHint.isEmpty())
        query.append({QStringLiteral("login_hint"), FLoginHint});
    return QUrl::fromEncoded(FOptions.Endpoint(QStringLiteral("authorize")).toUtf8() + '?' + FormBody(query));
}

TOAuthTokens TAuthorizationCodeFlow::Finish(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Cancelled(FOptions))
            throw CancelledError();
        if (Clock::now() >= deadline)
            throw TOAuthError(TOAuthFailure::Cancelled,
                              QStringLiteral("Die Anmeldung im Browser wurde nicht innerhalb von %1 Minuten abgeschlossen.")
                                  .arg(timeoutMs / 60000));
        TTcpSocket browser;
        if (!FListener.Accept(browser, 200))
            continue;
        QByteArray target = ReadRequestTarget(browser);
        // Form encoding writes a blank as "+".
        target.replace('+', "%20");
        const QUrlQuery query(QUrl::fromEncoded("http://localhost" + target).query(QUrl::FullyEncoded));
        const auto value = [&query](const char* name) {
            return query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
        };
        if (!query.hasQueryItem(QStringLiteral("state"))) {
            SendAll(browser, BrowserPage(404, QStringLiteral("Nicht gefunden"), QString())); // e.g. the favicon
            continue;
        }
        if (value("state") != FState) {
            // Not the answer to our request: whoever sent it gets nothing, we wait on.
            SendAll(browser, BrowserPage(400, QStringLiteral("Unbekannte Anfrage"),
                                         QStringLiteral("Diese Anfrage gehört zu keiner laufenden Anmeldung.")));
            continue;
        }
        if (query.hasQueryItem(QStringLiteral("error"))) {
            SendAll(browser, BrowserPage(200, QStringLiteral("Anmeldung nicht abgeschlossen"),
                                         QStringLiteral("Die Anmeldung wurde nicht abgeschlossen. Das Programm nennt den Grund.")));
            throw ErrorOf(value("error"), value("error_description"), {}, 200, false);
        }
        const QString code = value("code");
        if (code.isEmpty()) {
            SendAll(browser, BrowserPage(400, QStringLiteral("Unbekannte Anfrage"), QStringLiteral("Es fehlt der Code.")));
            continue;
        }
        SendAll(browser, BrowserPage(200, QStringLiteral("Anmeldung abgeschlossen"),
                                     QStringLiteral("Sie können dieses Fenster schließen und zum Programm E-Rechnung Eingang "
                                                    "zurückkehren.")));
        browser.Close();
        FListener.Close();
        const THttpResponse response = PostForm(FOptions, FOptions.Endpoint(QStringLiteral("token")),
                                                {{QStringLiteral("client_id"), FOptions.ClientId},
                                                 {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                                 {QStringLiteral("code"), code},
                                                 {QStringLiteral("redirect_uri"), FRedirectUri},
                                                 {QStringLiteral("code_verifier"), FVerifier},
                                                 {QStringLiteral("scope"), FOptions.Scopes}});
        return TokensOf(response, false, QString());
    }
}
