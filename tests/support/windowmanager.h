#pragma once

#include <QProcess>

// Openbox on the test's X display for one case: the desktop an operator has, where a window that
// maps is focused unless it asks not to be, and a click focuses a window. Ended by its PID.
class WindowManager
{
public:
    ~WindowManager();
    // Starts it and waits until it manages the display (false when it is missing or did not).
    bool start(int timeout_ms = 10000);
    void stop();

private:
    QProcess process;
};

// The window that has the keyboard, as the window manager says (0 when none).
unsigned long active_window();

// Another program the operator types in (xmessage), its window given the focus by the window
// manager as a click would. Ended by its PID.
class TypingWindow
{
public:
    ~TypingWindow();
    bool start();
    // Gives it the focus again; false when the window manager did not within 5 s.
    bool activate();
    unsigned long window() const { return id; }

private:
    QProcess process;
    unsigned long id = 0;
};
