#include "mail/OAuthSession.h"

#include "platform/BackgroundCall.h"
#include "platform/SecretStore.h"
#include "settings/ESettings.h"

#include <QJsonDocument>
#include <QJsonObject>

TOAuthSession::TAccount TOAuthSession::AccountOf(const TESettings& settings)
{
    const TOAuthOptions defaults;
    TAccount account{settings.MailAuthority.trimmed(), settings.MailTenant.trimmed(), settings.MailClientId.trimmed()};
    if (account.Authority.isEmpty())
        account.Authority = defaults.Authority;
    while (account.Authority.endsWith(QLatin1Char('/')))
        account.Authority.chop(1);
    if (account.Tenant.isEmpty())
        account.Tenant = defaults.Tenant;
    return account;
}

TOAuthOptions TOAuthSession::OptionsFor(const TESettings& settings) const
{
    const TAccount account = AccountOf(settings);
    TOAuthOptions options;
    options.Authority = account.Authority;
    options.Tenant = account.Tenant;
    options.ClientId = account.ClientId;
    options.CaFile = CaFile;
    return options;
}

void TOAuthSession::Load()
{
    if (FLoaded)
        return;
    FLoaded = true;
    const TSecretResult stored = ReadSecret(kOAuthSecretKey);
    if (stored.State == TSecretResult::TState::Unavailable) {
        FKeyringProblem = stored.Problem;
        return;
    }
    const QJsonObject entry = QJsonDocument::fromJson(stored.Value.toUtf8()).object();
    FAccount = {entry.value(QLatin1String("authority")).toString(), entry.value(QLatin1String("tenant")).toString(),
                entry.value(QLatin1String("client_id")).toString()};
    FTokens = {};
    FTokens.RefreshToken = entry.value(QLatin1String("refresh_token")).toString();
}

bool TOAuthSession::SignedIn(const TESettings& settings)
{
    Load();
    return !FTokens.RefreshToken.isEmpty() && FAccount == AccountOf(settings);
}

QString TOAuthSession::Describe(const TESettings& settings)
{
    if (AccountOf(settings).ClientId.isEmpty())
        return QStringLiteral("Nicht angemeldet: bitte zuerst die Client-ID der App-Registrierung eintragen.");
    if (!SignedIn(settings))
        return !FTokens.RefreshToken.isEmpty()
            ? QStringLiteral("Nicht angemeldet: die gespeicherte Anmeldung gilt für einen anderen Mandanten oder eine andere Client-ID.")
            : QStringLiteral("Nicht angemeldet.");
    if (!FKeyringProblem.isEmpty())
        return QStringLiteral("Angemeldet, nur für diesen Programmlauf (kein Schlüsselbund erreichbar: %1).").arg(FKeyringProblem);
    return QStringLiteral("Angemeldet; die Anmeldung liegt im Schlüsselbund des Desktops.");
}

void TOAuthSession::Keep()
{
    const QJsonObject entry{{QStringLiteral("authority"), FAccount.Authority},
                            {QStringLiteral("tenant"), FAccount.Tenant},
                            {QStringLiteral("client_id"), FAccount.ClientId},
                            {QStringLiteral("refresh_token"), FTokens.RefreshToken}};
    const TSecretResult written = WriteSecret(kOAuthSecretKey, QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact)));
    FKeyringProblem = written.Ok() ? QString() : written.Problem;
}

QString TOAuthSession::Store(const TESettings& settings, const TOAuthTokens& tokens)
{
    FLoaded = true;
    FAccount = AccountOf(settings);
    FTokens = tokens;
    Keep();
    if (FKeyringProblem.isEmpty())
        return {};
    return QStringLiteral("Die Anmeldung gilt nur für diesen Programmlauf: es ist kein Schlüsselbund erreichbar, in dem sie "
                          "sicher gespeichert werden könnte (%1). Nach einem Neustart ist eine neue Anmeldung nötig.")
        .arg(FKeyringProblem);
}

QString TOAuthSession::SignOut()
{
    FLoaded = true;
    FAccount = {};
    FTokens = {};
    const TSecretResult removed = DeleteSecret(kOAuthSecretKey);
    if (removed.Ok())
        return {};
    FKeyringProblem = removed.Problem;
    return QStringLiteral("Die Anmeldung ist für diesen Programmlauf vergessen; der Schlüsselbund war nicht erreichbar (%1).")
        .arg(removed.Problem);
}

QString TOAuthSession::AccessToken(const TESettings& settings, bool force)
{
    if (!SignedIn(settings))
        throw TOAuthError(TOAuthFailure::SignInExpired,
                          QStringLiteral("Nicht bei Microsoft 365 angemeldet – bitte in den Einstellungen „Anmelden“ wählen."));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!force && !FTokens.AccessToken.isEmpty() && now.secsTo(FTokens.ExpiresAt) > RefreshMarginSeconds)
        return FTokens.AccessToken;
    const TOAuthOptions options = OptionsFor(settings);
    const QString refreshToken = FTokens.RefreshToken;
    try {
        FTokens = RunKeepingEventsFlowing([&] { return RefreshTokens(options, refreshToken); });
    } catch (const TOAuthError& error) {
        if (error.Kind() == TOAuthFailure::SignInExpired)
            FTokens.AccessToken.clear(); // never used again; the refresh token stays until a new sign-in replaces it
        throw;
    }
    // The provider may hand out a new refresh token with each refresh: keep the newest.
    if (FTokens.RefreshToken != refreshToken)
        Keep();
    return FTokens.AccessToken;
}

QString TokenRefusedMessage(const QString& serverText)
{
    // Exchange Online says so when the token is good but IMAP is off for the mailbox (or the
    // user has no right to the mailbox named as the user).
    const bool notEnabled = serverText.contains(QLatin1String("not connected"), Qt::CaseInsensitive);
    const QString sentence = notEnabled
        ? QStringLiteral("Die Anmeldung bei Microsoft 365 gilt, aber das Postfach nimmt keine IMAP-Verbindung an: IMAP ist für "
                         "dieses Postfach nicht eingeschaltet, oder das angemeldete Konto darf das als Benutzer genannte "
                         "Postfach nicht öffnen. Bitte lassen Sie IMAP in der Microsoft-365-Verwaltung für das Postfach "
                         "einschalten.")
        : kSignInExpired;
    return WithReason(sentence, QStringLiteral("Antwort des Mail-Servers"), serverText);
}
