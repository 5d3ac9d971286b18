#pragma once

#include "phone/zimphone.h"
#include "support/testdir.h"

#include <QMap>
#include <QObject>
#include <QStringList>

#include <memory>

class ZimData;
class ZimLogger;

// Everything a telephony test needs around one engine: a private application directory (and
// HOME, so the library never touches the real one), the logger, the store and the engine,
// with every signal recorded in the order it arrived in this thread.
class EngineFixture : public QObject
{
    Q_OBJECT
public:
    EngineFixture();
    ~EngineFixture() override;

    // Settings written before the engine exists (the engine reads them at construction and start).
    void set_account(const QString& address, int port, const QString& user, const QString& password);
    void set_account_keys(const QMap<QString, QString>& values);
    void set_media(const QMap<QString, QString>& values);
    void set_other(const QMap<QString, QString>& values);

    // Creates the engine and starts its thread.
    ZimPhone* start();
    // Stops the thread and waits for it (bounded).
    bool stop(int timeout_ms = 10000);
    ZimPhone* phone() const { return engine.get(); }
    QString app_dir() const { return dir.path(); }

    // Recorded signals, as "name" or "name:argument" ("status:通話中", "registration:sucessful").
    QStringList events;
    // The sound server's device changes are recorded too ("devices_changed") only where a case
    // asks: suites running beside add and remove devices on the shared server at any time.
    bool record_device_changes = false;
    QList<QMap<QString, QString>> received_params;
    QStringList ended_calls;   // each call's row as "number/record status", in the order reported
    QList<CallReport> reports; // what came with each reported call end
    QStringList failures;      // "call:reason" and "registration:reason/tooltip"
    QStringList events_named(const QString& name) const;
    int count(const QString& event) const { return events.count(event); }
    // Waits until the event has been recorded (at least `times` times).
    bool wait_for(const QString& event, int timeout_ms = 10000, int times = 1);
    // Waits until the predicate holds, processing events meanwhile.
    template <typename Predicate> bool wait_until(Predicate predicate, int timeout_ms = 10000);
    void settle(int ms); // processes events for a while
    QString dump() const { return events.join(QStringLiteral(" | ")); }

private:
    void record(const QString& event) { events.append(event); }
    void connect_signals();

    TestAppDir dir;
    QByteArray old_home;
    std::unique_ptr<ZimLogger> logger;
    std::unique_ptr<ZimData> data;
    std::unique_ptr<ZimPhone> engine;
};

#include <QCoreApplication>
#include <QDeadlineTimer>

template <typename Predicate> bool EngineFixture::wait_until(Predicate predicate, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
