#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Every top-level window mapped on the display while the watcher runs, with the wall-clock time
// the X server told of it (support/mapwatcher.py, python3-xlib): sipp's message trace keeps the
// same clock, so a request sent and the window it brings up can be set side by side. Ended by its
// PID when the object goes away.
class MapWatcher
{
public:
    struct Map
    {
        qint64 time_us; // microseconds since the epoch
        QString window; // the X id, "0x..."
        bool override_redirect;
        QString wm_class; // the class part of WM_CLASS, "-" when unset
        QString title;
    };

    MapWatcher() = default;
    ~MapWatcher();
    // Starts watching; true once the watch is in place.
    bool start(int timeout_ms = 10000);
    void stop();
    QList<Map> maps() const;

private:
    QTemporaryDir work;
    QProcess process;
};
