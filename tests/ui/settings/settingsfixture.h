#pragma once

#include "support/testdir.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class SippRunner;
class ZimData;
class ZimLogger;
class ZimPhone;

// What a settings window needs around it: a private application directory (and HOME, so the SIP
// library never touches the real one), the logger, the store and a real engine. The engine's core
// exists from construction, so the device list is there even while its thread is not running.
class SettingsFixture
{
public:
    SettingsFixture();
    ~SettingsFixture();

    ZimLogger* logger() const { return log.get(); }
    ZimData* data() const { return store.get(); }
    ZimPhone* phone() const { return engine.get(); }

    // Starts the engine's thread (needed for calls and registration).
    void start_engine();
    // Dials the sipp peer and waits until the call is up. False on timeout.
    bool start_call(SippRunner& callee);
    // Hangs up and waits until the engine is idle again.
    bool end_call();

    // The rows of one category as they are in the database file, read through a connection of
    // the test's own (not the store's cache).
    QMap<QString, QString> stored(int category) const;
    // Makes the settings table refuse every write (root ignores file modes, a trigger does not).
    bool make_store_read_only();

    QStringList playback_devices() const;
    QStringList capture_devices() const;

private:
    TestAppDir dir;
    QByteArray old_home;
    std::unique_ptr<ZimLogger> log;
    std::unique_ptr<ZimData> store;
    std::unique_ptr<ZimPhone> engine;
};

// Answers the next modal message boxes: records their title and text and presses the default
// button. Armed before the click that opens a box; polls, so it works inside the box's own loop.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    ModalAnswerer();
    struct Box
    {
        QString title;
        QString text;
        int buttons;        // QMessageBox::StandardButtons
        int default_button; // QMessageBox::StandardButton
        bool has_parent;
    };
    QList<Box> boxes;

private:
    void poll();
    QTimer timer;
};

// Processes events until the predicate holds or the time is up.
template <typename Predicate> bool wait_until(Predicate predicate, int timeout_ms = 10000);

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Predicate> bool wait_until(Predicate predicate, int timeout_ms)
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

void settle(int ms);
