#pragma once

#include <QString>

// Secrets (a sign-in's refresh token) in the desktop's keyring: the Secret Service on Linux
// (GNOME Keyring, KeePassXC, KWallet), the credential store on Windows; never in a file of
// ours. Each call waits for the keyring (its own event loop on the calling thread, which must
// be the application's).
struct TSecretResult
{
    enum class TState { Done, NotFound, Unavailable };
    TState State = TState::Done;
    QString Value;   // what was read
    QString Problem; // why the keyring could not be used (its own text), when Unavailable
    bool Ok() const { return State == TState::Done; }
};

TSecretResult ReadSecret(const QString& key);
TSecretResult WriteSecret(const QString& key, const QString& value);
// Removing a secret that is not there is done, not a failure.
TSecretResult DeleteSecret(const QString& key);
