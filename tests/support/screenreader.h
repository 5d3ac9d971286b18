#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include "support/rootproperty.h"
#include "support/sessionbus.h"

#include <memory>

// The accessibility bus a desktop gives its programs: a private session bus with the AT-SPI bus
// launcher on it, and Qt's bridge switched on. Made in main() before the QApplication, which
// joins the bus as it starts. The launcher is ended by its PID (it ends its own bus
// daemon).
class AccessibilityBus
{
public:
    AccessibilityBus();
    ~AccessibilityBus();
    bool is_up() const { return !address.isEmpty(); }

private:
    SessionBus session;
    QTemporaryDir runtime;
    QProcess launcher;
    QString address;
    std::unique_ptr<RootProperty> on_root;
};

// A screen reader's side of that bus for the program in this process (tests/support/atspiclient.py
// over pyatspi): walks the windows, presses buttons through their actions and hears what is
// announced. Every wait keeps this process's event loop turning, since the client's questions
// are answered there.
class ScreenReader
{
public:
    ~ScreenReader();
    bool start(int timeout_ms = 20000);
    // One command and its answer (empty on timeout).
    QJsonObject ask(const QString& command, int timeout_ms = 30000);
    // The focusable objects without a name, "window: role at x,y w×h", one an entry.
    QStringList unnamed_controls();
    // Waits for a notification shown whose name contains the text; returns its name and
    // description, or an empty object on timeout.
    QJsonObject wait_for_announcement(const QString& text, int timeout_ms = 20000);

private:
    bool read_lines(int timeout_ms, bool (*until)(const QJsonObject&), QJsonObject* answer);

    QProcess client;
    QList<QJsonObject> announcements;
};
