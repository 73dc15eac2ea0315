#include "platform/SecretStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>

namespace {

// The keyring's name for the program's entries.
const QString kService = QStringLiteral("PALUDRA_ERechnungsEingang");

TSecretResult Run(QKeychain::Job& job)
{
    // Never a plain-text file beside the settings when there is no keyring: the caller
    // keeps the secret for this run only and says so.
    job.setInsecureFallback(false);
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    TSecretResult result;
    switch (job.error()) {
    case QKeychain::NoError:
        break;
    case QKeychain::EntryNotFound:
        result.State = TSecretResult::TState::NotFound;
        break;
    default:
        result.State = TSecretResult::TState::Unavailable;
        result.Problem = job.errorString().trimmed();
        if (result.Problem.isEmpty())
            result.Problem = QStringLiteral("kein Schlüsselbund erreichbar");
        break;
    }
    return result;
}

} // namespace

TSecretResult ReadSecret(const QString& key)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    TSecretResult result = Run(job);
    if (result.Ok())
        result.Value = job.textData();
    return result;
}

TSecretResult WriteSecret(const QString& key, const QString& value)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(key);
    job.setTextData(value);
    return Run(job);
}

TSecretResult DeleteSecret(const QString& key)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(key);
    TSecretResult result = Run(job);
    if (result.State == TSecretResult::TState::NotFound)
        result.State = TSecretResult::TState::Done;
    return result;
}
