#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>

// The application log: one time-stamped line per message in data/logs/logger, earlier days kept
// as logger1 (newest) to logger6 (oldest). Safe to call from any thread.
class ZimLogger : public QObject
{
    Q_OBJECT
public:
    explicit ZimLogger(QObject* parent = nullptr);

    // The level (1 or 2) is informative only; every line goes to the same file.
    void log(const QString& message, int level);

    // In debug mode ("debugModel" = "1") each line is also written to the terminal.
    void set_terminal_echo(bool on) { echo = on; }

    static QString log_path();

private:
    void rotate();

    std::mutex mutex; // lines from the interface and engine threads never interleave
    std::atomic<bool> echo{false};
};
