#include "tests/support/AuthorizationServer.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace {

QUrlQuery FormOf(const std::string& body)
{
    QByteArray b = QByteArray::fromStdString(body);
    b.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(b));
}

QString Field(const QUrlQuery& form, const char* name)
{
    return form.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
}

TTlsTestServer::TAnswer Json(int status, const QJsonObject& object)
{
    TTlsTestServer::TAnswer answer;
    answer.Status = status;
    answer.ContentType = "application/json";
    answer.Body = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    return answer;
}

TTlsTestServer::TAnswer Error(const QString& error, const QString& description)
{
    return Json(400, {{QStringLiteral("error"), error}, {QStringLiteral("error_description"), description}});
}

} // namespace

struct TAuthorizationServer::TImpl
{
    TTlsTestServer Https;
    httplib::Server Introspection;
    int IntrospectionPort = 0;
    std::thread IntrospectionThread;

    mutable std::mutex Lock;
    QString User;
    int AccessLifetime = 3600;
    int Counter = 0;
    std::map<std::string, QDateTime> AccessTokens; // token -> expiry (invalid: never expires)
    std::set<std::string> RefreshTokens;
    struct TDevice
    {
        QString UserCode;
        enum class TState { Pending, Approved, Declined, Redeemed } State = TState::Pending;
    };
    std::map<std::string, TDevice> Devices; // device code -> state
    QString LastUserCode;
    int SlowDowns = 0;
    struct TCode
    {
        QString Challenge;
        QString RedirectUri;
    };
    std::map<std::string, TCode> Codes;
    QString BrowserError;
    std::atomic<int> Refreshes{0};
    std::atomic<int> Introspections{0};
    std::vector<std::string> TokenRequests;

    QString Next(const char* prefix) { return QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(++Counter); }

    // New tokens, under the lock.
    TTlsTestServer::TAnswer Issue()
    {
        const QString access = Next("at");
        const QString refresh = Next("rt");
        AccessTokens[access.toStdString()] = QDateTime::currentDateTimeUtc().addSecs(AccessLifetime);
        RefreshTokens.insert(refresh.toStdString());
        return Json(200, {{QStringLiteral("token_type"), QStringLiteral("Bearer")},
                          {QStringLiteral("scope"), QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All")},
                          {QStringLiteral("expires_in"), AccessLifetime},
                          {QStringLiteral("access_token"), access},
                          {QStringLiteral("refresh_token"), refresh}});
    }

    TTlsTestServer::TAnswer Token(const TTlsTestServer::TRequest& request)
    {
        const QUrlQuery form = FormOf(request.Body);
        std::lock_guard<std::mutex> guard(Lock);
        TokenRequests.push_back(request.Body);
        if (Field(form, "client_id") != TAuthorizationServer::ClientId())
            return Error(QStringLiteral("unauthorized_client"),
                         QStringLiteral("AADSTS700016: Application with identifier '%1' was not found in the directory.")
                             .arg(Field(form, "client_id")));
        const QString grant = Field(form, "grant_type");
        if (grant == QLatin1String("refresh_token")) {
            ++Refreshes;
            const std::string old = Field(form, "refresh_token").toStdString();
            if (!RefreshTokens.erase(old))
                return Error(QStringLiteral("invalid_grant"),
                             QStringLiteral("AADSTS50173: The provided grant has expired due to it being revoked.\r\nTrace ID: 1"));
            return Issue();
        }
        if (grant == QLatin1String("urn:ietf:params:oauth:grant-type:device_code")) {
            auto device = Devices.find(Field(form, "device_code").toStdString());
            if (device == Devices.end())
                return Error(QStringLiteral("bad_verification_code"), QStringLiteral("unknown device code"));
            if (SlowDowns > 0) {
                --SlowDowns;
                return Error(QStringLiteral("slow_down"), QString());
            }
            switch (device->second.State) {
            case TDevice::TState::Pending:
                return Error(QStringLiteral("authorization_pending"), QStringLiteral("AADSTS70016: pending"));
            case TDevice::TState::Declined:
                return Error(QStringLiteral("authorization_declined"), QStringLiteral("AADSTS70000: the user declined"));
            case TDevice::TState::Redeemed:
                return Error(QStringLiteral("bad_verification_code"), QStringLiteral("already used"));
            case TDevice::TState::Approved:
                device->second.State = TDevice::TState::Redeemed;
                return Issue();
            }
        }
        if (grant == QLatin1String("authorization_code")) {
            const auto code = Codes.find(Field(form, "code").toStdString());
            if (code == Codes.end())
                return Error(QStringLiteral("invalid_grant"), QStringLiteral("AADSTS70000: unknown code"));
            const TCode issued = code->second;
            Codes.erase(code);
            const QString verifier = Field(form, "code_verifier");
            const QString challenge = QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                                                              .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            if (challenge != issued.Challenge)
                return Error(QStringLiteral("invalid_grant"), QStringLiteral("AADSTS501481: The Code_Verifier does not match."));
            if (Field(form, "redirect_uri") != issued.RedirectUri)
                return Error(QStringLiteral("invalid_grant"), QStringLiteral("AADSTS70000: redirect_uri differs"));
            return Issue();
        }
        return Error(QStringLiteral("unsupported_grant_type"), grant);
    }

    TTlsTestServer::TAnswer DeviceCode(const TTlsTestServer::TRequest& request, const QString& authority)
    {
        const QUrlQuery form = FormOf(request.Body);
        std::lock_guard<std::mutex> guard(Lock);
        if (Field(form, "client_id") != TAuthorizationServer::ClientId())
            return Error(QStringLiteral("unauthorized_client"), QStringLiteral("AADSTS700016: unknown application"));
        const QString device = Next("dc");
        LastUserCode = QStringLiteral("K%1Q-7ZX").arg(Counter);
        Devices[device.toStdString()] = {LastUserCode, TDevice::TState::Pending};
        return Json(200, {{QStringLiteral("device_code"), device},
                          {QStringLiteral("user_code"), LastUserCode},
                          {QStringLiteral("verification_uri"), authority + QStringLiteral("/devicelogin")},
                          {QStringLiteral("expires_in"), 900},
                          {QStringLiteral("interval"), 1},
                          {QStringLiteral("message"), QStringLiteral("To sign in, enter the code %1.").arg(LastUserCode)}});
    }

    void SetDevice(const QString& userCode, TDevice::TState state)
    {
        std::lock_guard<std::mutex> guard(Lock);
        for (auto& [code, device] : Devices)
            if (device.UserCode == userCode)
                device.State = state;
    }
};

TAuthorizationServer::TAuthorizationServer(QString user, QString tenant)
    : d(std::make_unique<TImpl>())
    , FTenant(std::move(tenant))
{
    d->User = std::move(user);
    const std::string base = "/" + FTenant.toStdString() + "/oauth2/v2.0/";
    d->Https.On(base + "token", [this](const TTlsTestServer::TRequest& r) { return d->Token(r); });
    d->Https.On(base + "devicecode", [this](const TTlsTestServer::TRequest& r) { return d->DeviceCode(r, Authority()); });

    d->Introspection.Post("/introspect", [this](const httplib::Request& request, httplib::Response& response) {
        ++d->Introspections;
        const std::string token = request.get_param_value("token");
        bool active = false;
        std::string user;
        {
            std::lock_guard<std::mutex> guard(d->Lock);
            const auto it = d->AccessTokens.find(token);
            active = it != d->AccessTokens.end() && (!it->second.isValid() || it->second > QDateTime::currentDateTimeUtc());
            user = d->User.toStdString();
        }
        response.set_content(active ? "{\"active\":true,\"username\":\"" + user + "\"}" : std::string("{\"active\":false}"),
                             "application/json");
    });
    d->IntrospectionPort = d->Introspection.bind_to_any_port("127.0.0.1");
    d->IntrospectionThread = std::thread([this] { d->Introspection.listen_after_bind(); });
    // A stop before the loop runs would be lost, and the join would wait for ever.
    while (!d->Introspection.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TAuthorizationServer::~TAuthorizationServer()
{
    d->Introspection.stop();
    d->IntrospectionThread.join();
}

QString TAuthorizationServer::Authority() const
{
    return d->Https.BaseUrl();
}

QString TAuthorizationServer::CaFile() const
{
    return d->Https.CaFile();
}

QString TAuthorizationServer::IntrospectionUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/introspect").arg(d->IntrospectionPort);
}

void TAuthorizationServer::SetAccessLifetime(int seconds)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->AccessLifetime = seconds;
}

QString TAuthorizationServer::LastUserCode() const
{
    std::lock_guard<std::mutex> guard(d->Lock);
    return d->LastUserCode;
}

void TAuthorizationServer::Approve(const QString& userCode)
{
    d->SetDevice(userCode, TImpl::TDevice::TState::Approved);
}

void TAuthorizationServer::Decline(const QString& userCode)
{
    d->SetDevice(userCode, TImpl::TDevice::TState::Declined);
}

void TAuthorizationServer::SlowDown(int times)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->SlowDowns = times;
}

QString TAuthorizationServer::Authorize(const QUrl& authorizeAddress)
{
    const QUrlQuery query(authorizeAddress);
    const auto value = [&query](const char* name) { return query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded); };
    const QString redirect = value("redirect_uri");
    QUrlQuery answer;
    std::lock_guard<std::mutex> guard(d->Lock);
    if (authorizeAddress.path() != QStringLiteral("/%1/oauth2/v2.0/authorize").arg(FTenant) || value("client_id") != ClientId()
        || value("response_type") != QLatin1String("code") || value("code_challenge_method") != QLatin1String("S256")
        || value("code_challenge").isEmpty()) {
        answer.addQueryItem(QStringLiteral("error"), QStringLiteral("invalid_request"));
        answer.addQueryItem(QStringLiteral("error_description"), QStringLiteral("AADSTS900144: bad authorize request"));
    } else if (!d->BrowserError.isEmpty()) {
        answer.addQueryItem(QStringLiteral("error"), d->BrowserError);
        answer.addQueryItem(QStringLiteral("error_description"),
                            d->BrowserError == QLatin1String("consent_required")
                                ? QStringLiteral("AADSTS65001: The user or administrator has not consented to use the application.")
                                : QStringLiteral("AADSTS65004: User declined to consent to access the app."));
    } else {
        const QString code = d->Next("code");
        d->Codes[code.toStdString()] = {value("code_challenge"), redirect};
        answer.addQueryItem(QStringLiteral("code"), code);
    }
    answer.addQueryItem(QStringLiteral("state"), value("state"));
    return redirect + QStringLiteral("?") + answer.toString(QUrl::FullyEncoded);
}

void TAuthorizationServer::SetBrowserError(const QString& error)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->BrowserError = error;
}

void TAuthorizationServer::Activate(const std::string& accessToken)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->AccessTokens[accessToken] = QDateTime();
}

void TAuthorizationServer::Revoke(const std::string& accessToken)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->AccessTokens.erase(accessToken);
}

void TAuthorizationServer::RevokeAccessTokens()
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->AccessTokens.clear();
}

void TAuthorizationServer::RevokeRefreshTokens()
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->RefreshTokens.clear();
}

void TAuthorizationServer::SetTokenOwner(const QString& user)
{
    std::lock_guard<std::mutex> guard(d->Lock);
    d->User = user;
}

int TAuthorizationServer::Refreshes() const
{
    return d->Refreshes;
}

int TAuthorizationServer::Introspections() const
{
    return d->Introspections;
}

std::vector<std::string> TAuthorizationServer::TokenRequests() const
{
    std::lock_guard<std::mutex> guard(d->Lock);
    return d->TokenRequests;
}
