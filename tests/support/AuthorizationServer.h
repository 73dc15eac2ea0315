#pragma once

#include "tests/support/TlsTestServer.h"

#include <QString>
#include <QUrl>

#include <map>
#include <memory>
#include <mutex>
#include <string>

// A small OAuth 2.0 authorization server for tests, in the endpoint layout of the Microsoft
// identity platform: "/<tenant>/oauth2/v2.0/token" and ".../devicecode" over HTTPS on
// loopback, an introspection endpoint (RFC 7662) over plain HTTP on loopback for Dovecot's
// oauth2 password database, and what a browser would be redirected to by ".../authorize".
// Tokens live as long as the test says; a refresh hands out a new refresh token and
// retires the old one.
class TAuthorizationServer
{
public:
    explicit TAuthorizationServer(QString user, QString tenant = QStringLiteral("organizations"));
    ~TAuthorizationServer();

    QString Authority() const; // "https://127.0.0.1:<port>"
    QString Tenant() const { return FTenant; }
    QString CaFile() const;
    QString IntrospectionUrl() const;
    static QString ClientId() { return QStringLiteral("0f1e2d3c-test-client"); }

    // How long new access tokens live.
    void SetAccessLifetime(int seconds);

    // The device sign-in: the user code of the last code handed out (empty: none yet), and
    // the user's answer to it.
    QString LastUserCode() const;
    void Approve(const QString& userCode);
    void Decline(const QString& userCode);
    // Poll answers of "slow_down" before the next ones.
    void SlowDown(int times);

    // The browser's part of the code sign-in: the address the authorize endpoint redirects
    // the browser to for this authorize address (with a code, or the error the test chose:
    // "access_denied", "consent_required").
    QString Authorize(const QUrl& authorizeAddress);
    void SetBrowserError(const QString& error);

    // A token that introspection calls active (for tests that bring their own).
    void Activate(const std::string& accessToken);
    void Revoke(const std::string& accessToken);
    // Every access token issued so far / every refresh token too.
    void RevokeAccessTokens();
    void RevokeRefreshTokens();

    // Whose tokens introspection says they are (by default the user the server was made for).
    void SetTokenOwner(const QString& user);

    int Refreshes() const;
    int Introspections() const;
    // The body of every request to the token endpoint, in order.
    std::vector<std::string> TokenRequests() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
    QString FTenant;
};
