#include "data/passwordkeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <qt5keychain/keychain.h>

#include <memory>
#include <type_traits>

namespace {

const QString SERVICE = QStringLiteral("velora-softphone");
const QString SECRET_SERVICE = QStringLiteral("org.freedesktop.secrets");
// A keyring that shows an unlock prompt nobody answers must not hold the phone.
const int KEYRING_TIMEOUT_MS = 5000;

struct Outcome
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString message;
    QString text;
};

// Runs the job to its end or the time-out. A job that outlives the wait deletes itself when it
// ends at last: nothing of this call is left for it to touch.
template <typename KeychainJob> Outcome run(KeychainJob* job)
{
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    QObject::connect(job, &QKeychain::Job::finished, [job, outcome, waiting] {
        outcome->finished = true;
        outcome->error = job->error();
        outcome->message = job->errorString();
        if constexpr (std::is_same_v<KeychainJob, QKeychain::ReadPasswordJob>)
            outcome->text = job->textData();
        if (waiting)
            waiting->quit();
    });
    QTimer::singleShot(KEYRING_TIMEOUT_MS, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    job->start();
    if (!outcome->finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!outcome->finished)
        outcome->message = QStringLiteral("the keyring did not answer");
    return *outcome;
}

} // namespace

bool PasswordKeyring::service_running()
{
    // "disabled:" is no bus at all: asking Qt for it would still start its D-Bus thread.
    if (qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").startsWith(QLatin1String("disabled")))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(SECRET_SERVICE).value();
}

PasswordKeyring::Result PasswordKeyring::read(const QString& key, QString* value, QString* error)
{
    auto* job = new QKeychain::ReadPasswordJob(SERVICE);
    job->setKey(key);
    const Outcome outcome = run(job);
    if (outcome.finished && outcome.error == QKeychain::NoError) {
        *value = outcome.text;
        return Found;
    }
    *error = outcome.message;
    if (!outcome.finished)
        return Silent;
    return outcome.error == QKeychain::EntryNotFound ? Missing : Failed;
}

PasswordKeyring::Result PasswordKeyring::write(const QString& key, const QString& value, QString* error)
{
    auto* job = new QKeychain::WritePasswordJob(SERVICE);
    job->setKey(key);
    job->setTextData(value);
    const Outcome outcome = run(job);
    *error = outcome.message;
    if (!outcome.finished)
        return Silent;
    return outcome.error == QKeychain::NoError ? Found : Failed;
}
