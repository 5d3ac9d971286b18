#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// xdotool on the test's X display: real pointer and window actions, as a person would do them.
bool xdotool(const QStringList& arguments, QString* output = nullptr);

// The visible windows whose title matches the regular expression (waits up to the timeout for one).
QList<unsigned long> visible_windows(const QString& title, int timeout_ms = 10000);
