#pragma once

#include <QString>
#include <QStringList>

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

    // Listens to the library's errors even without a log file, so a failed connection to the
    // server can be explained in the application log.
    static void watch();
    // The library's last word on why a connection to the server failed (a TLS handshake or
    // certificate error first); empty when there was none. Cleared by reading.
    static QString take_connection_failure();
    // Texts that never reach the log file: each is written as "********".
    static void set_secrets(const QStringList& secrets);
};
