#pragma once

#include <QString>

// The SIP library's own log, written only in debug mode. The file keeps one older generation:
// a log last written on an earlier day moves to the same name with "1" appended.
class ZimCoreLog
{
public:
    // Rotates the file if needed and sends the library's log lines to it, appending.
    // Fails silently: when the file cannot be opened the library log stays off.
    static bool start(const QString& path);
    // Moves a file written on an earlier day aside (exposed for tests).
    static void rotate(const QString& path);
};
