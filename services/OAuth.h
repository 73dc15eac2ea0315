#pragma once

#include "platform/Exception.h"
#include "platform/TcpSocket.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>

// OAuth 2.0 sign-in for a mailbox: the Microsoft identity platform (v2.0 endpoints) and any
// provider with the same endpoint layout below its authority address
// "<authority>/<tenant>/oauth2/v2.0/{authorize,token,devicecode}". The program is a public
// client: no secret of its own, the authorization code protected by PKCE (RFC 7636).

struct TOAuthOptions
{
    QString Authority = QStringLiteral("https://login.microsoftonline.com"); // https, no trailing "/"
    QString Tenant = QStringLiteral("organizations");
    QString ClientId;
    QString Scopes = QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access");
    QString CaFile; // empty: the system's trust store
    int TimeoutMs = 30000;
    // Set from another thread to end a waiting sign-in (it then fails as cancelled).
    const std::atomic<bool>* Cancel = nullptr;

    QString Endpoint(const QString& name) const;
};

struct TOAuthTokens
{
    QString AccessToken;
    QString RefreshToken;
    QDateTime ExpiresAt; // UTC
};

// What went wrong, beside the German text: the mail import treats an expired sign-in
// otherwise than a network failure.
enum class TOAuthFailure { Cancelled, ConsentMissing, SignInExpired, UnknownClient, CodeExpired, Other };

class TOAuthError : public Exception
{
public:
    TOAuthError(TOAuthFailure kind, const QString& message) : Exception(message), FKind(kind) {}
    TOAuthFailure Kind() const { return FKind; }

private:
    TOAuthFailure FKind;
};

// The German sentence of an error answer of the token endpoint (RFC 6749 section 5.2,
// RFC 8628 section 3.5), followed by the server's own text. refreshing: the answer was to a
// refresh, where an invalid grant means the sign-in has expired or was revoked.
TOAuthError OAuthErrorOf(const QByteArray& answer, int httpStatus, bool refreshing);

// The first line of the message shown when a sign-in is no longer accepted.
inline const QString kSignInExpired = QStringLiteral("Anmeldung bei Microsoft 365 abgelaufen – bitte in den Einstellungen neu anmelden");

// New tokens for a refresh token. The answer may carry a new refresh token (the provider
// rotates them); without one, the old one stays valid and is kept.
TOAuthTokens RefreshTokens(const TOAuthOptions& options, const QString& refreshToken);

// The device authorization grant (RFC 8628): the user enters a code at an address shown by
// the program, on any device.
struct TDeviceCode
{
    QString DeviceCode;
    QString UserCode;
    QString VerificationUri;
    QString Message; // the provider's own instruction, may be empty
    int IntervalSeconds = 5;
    QDateTime ExpiresAt;
};
TDeviceCode StartDeviceCode(const TOAuthOptions& options);
// Polls the token endpoint at the interval the provider asks for until the user has
// confirmed the code; raises when the user declined, the code expired or options.Cancel was
// set.
TOAuthTokens WaitForDeviceCode(const TOAuthOptions& options, const TDeviceCode& code);

// The authorization code grant with PKCE in the user's browser and a redirect to a port on
// the loopback interface of this computer (RFC 8252).
class TAuthorizationCodeFlow
{
public:
    explicit TAuthorizationCodeFlow(TOAuthOptions options, QString loginHint = QString());
    ~TAuthorizationCodeFlow();

    // Listens for the redirect and returns the address to open in the browser.
    QUrl Start();
    // Waits for the browser's redirect (answering it with a page that says how it went),
    // then redeems the code. Raises when the user cancelled in the browser or here, consent
    // is missing, or nothing came within timeoutMs.
    TOAuthTokens Finish(int timeoutMs = 10 * 60 * 1000);

    QString RedirectUri() const { return FRedirectUri; }

private:
    TOAuthOptions FOptions;
    QString FLoginHint;
    QString FVerifier;
    QString FState;
    QString FRedirectUri;
    TTcpSocket FListener;
};

// A random text of the unreserved URL characters for PKCE verifiers and states.
QString RandomUrlText(int length);
// The S256 code challenge of a verifier: BASE64URL(SHA-256(verifier)) without padding.
QString CodeChallenge(const QString& verifier);
