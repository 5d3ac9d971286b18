#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Wayland desktop of the test's own: Debian's weston on its headless backend (pixman, no GPU
// and no screen needed) with its desktop shell and XWayland, in a private runtime directory.
// X programs reach it at x_display(), Wayland ones at wayland_display(); screenshot() is the
// composed screen as a user would see it. Ended by its PID.
class WestonSession
{
public:
    WestonSession() = default;
    ~WestonSession();
    bool start(int width = 1280, int height = 1024, int timeout_ms = 15000);
    QString x_display() const { return display; } // ":N"
    QString wayland_display() const;              // the socket's absolute path
    QImage screenshot(int timeout_ms = 10000);    // null when none came
    QString log() const;

private:
    QTemporaryDir dir;
    QProcess weston;
    QString display;
};
