#include "app/CSecretStore.h"

#include <qt6keychain/keychain.h>

#include <QObject>
#include <QTimer>

#include <memory>

namespace {

// Runs a job and hands its answer to `done` once: when it finishes or when the time is up,
// whichever comes first. A job that never finishes stays with the keyring's library.
void Run(QKeychain::Job* job, QObject* receiver, CSecretStore::Done done, int timeoutMs)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a plain-text copy of the secret in the settings
    auto answered = std::make_shared<bool>(false);
    auto shared = std::make_shared<CSecretStore::Done>(std::move(done));
    QObject::connect(job, &QKeychain::Job::finished, receiver, [answered, shared](QKeychain::Job* j) {
        if (std::exchange(*answered, true))
            return;
        CSecretStore::Answer a;
        switch (j->error()) {
        case QKeychain::NoError:
            a.outcome = CSecretStore::Outcome::Ok;
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j))
                a.secret = read->textData();
            break;
        case QKeychain::EntryNotFound:
            a.outcome = CSecretStore::Outcome::NotFound;
            break;
        default:
            a.outcome = CSecretStore::Outcome::NoKeyring;
            a.error = j->errorString();
            break;
        }
        (*shared)(a);
    });
    QTimer::singleShot(timeoutMs, receiver, [answered, shared] {
        if (std::exchange(*answered, true))
            return;
        CSecretStore::Answer a;
        a.outcome = CSecretStore::Outcome::NoKeyring;
        a.error = QStringLiteral("钥匙环没有回应");
        (*shared)(a);
    });
    job->start();
}

} // namespace

QString CSecretStore::Service()
{
    return QStringLiteral("yuefengxuan");
}

QString CSecretStore::EntryFor(const QString& appKey)
{
    return QStringLiteral("open-platform-secret:") + appKey;
}

void CSecretStore::Read(const QString& appKey, QObject* receiver, Done done, int timeoutMs)
{
    auto* job = new QKeychain::ReadPasswordJob(Service());
    job->setKey(EntryFor(appKey));
    Run(job, receiver, std::move(done), timeoutMs);
}

void CSecretStore::Write(const QString& appKey, const QString& secret, QObject* receiver, Done done, int timeoutMs)
{
    auto* job = new QKeychain::WritePasswordJob(Service());
    job->setKey(EntryFor(appKey));
    job->setTextData(secret);
    Run(job, receiver, std::move(done), timeoutMs);
}
