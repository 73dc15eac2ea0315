#pragma once

#include "services/OAuth.h"

#include <QString>

class TESettings;

// The sign-in of an OAuth 2.0 mailbox ("Office 365"): the refresh token in the desktop's
// keyring (or, when there is none, for this run only) and the current access token in
// memory. A sign-in belongs to the authority, tenant and client id it was made with; when
// the settings name another one, nobody is signed in.
class TOAuthSession
{
public:
    // The sign-in options for the account of these settings.
    TOAuthOptions OptionsFor(const TESettings& settings) const;
    // The CA that the sign-in service's certificate is checked against; empty: the system's.
    QString CaFile;
    // An access token is renewed when it has less than this left.
    int RefreshMarginSeconds = 120;

    // Reads the stored sign-in from the keyring, once per run (application thread).
    void Load();
    bool SignedIn(const TESettings& settings);
    // For the settings dialog: whether and where the sign-in is kept.
    QString Describe(const TESettings& settings);
    // Keeps a new sign-in; returns a note when it can be kept for this run only.
    QString Store(const TESettings& settings, const TOAuthTokens& tokens);
    // Forgets the sign-in here and in the keyring; returns a note when the keyring could
    // not be reached.
    QString SignOut();

    // A valid access token for the account of the settings: the one in memory, or a new one
    // from the refresh token when it expires soon or force is set (after the mail server
    // refused it). The network step runs with the event loop going on. Raises TOAuthError
    // (kSignInExpired and the provider's text when the sign-in is no longer accepted), or
    // Exception for a network failure.
    QString AccessToken(const TESettings& settings, bool force);

    // The keyring's problem when it could not be used (the sign-in is then kept for this run
    // only); empty when it could.
    QString KeyringProblem() const { return FKeyringProblem; }

private:
    struct TAccount
    {
        QString Authority;
        QString Tenant;
        QString ClientId;
        bool operator==(const TAccount&) const = default;
    };
    static TAccount AccountOf(const TESettings& settings);
    void Keep();

    bool FLoaded = false;
    TAccount FAccount;
    TOAuthTokens FTokens;
    QString FKeyringProblem;
};

// The keyring entry of the sign-in.
inline const QString kOAuthSecretKey = QStringLiteral("Office 365");

// The message for a token the mail server refused although the sign-in service had just
// issued it: its own sentence where the server names the cause (IMAP not enabled for the
// mailbox), else that the sign-in expired; then the server's text.
QString TokenRefusedMessage(const QString& serverText);
