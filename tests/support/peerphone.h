#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's desktop SIP phones, run as black boxes beside this program in benches:
// linphone-desktop, twinkle and baresip with its GTK front-end. Each gets a fresh HOME with
// private temporary files, and an account for its own user at a Kamailio on 127.0.0.1 (password
// "secret"), answering calls by itself when asked. The session bus and sound server are the
// bench's (its environment). Their output goes to output.log in their HOME. Ended by PID.
class PeerPhone
{
public:
    enum Kind { Linphone, Twinkle, Baresip };
    PeerPhone(Kind kind, const QString& user, int registrar_port, bool auto_answer);
    ~PeerPhone();

    static QString name(Kind kind);
    static bool installed(Kind kind);
    QString home() const { return dir.path(); }

    bool start();
    qint64 pid() const { return process.processId(); }
    // Ends the phone and everything it started, each by its PID; returns once all are gone.
    void stop();

private:
    bool write(const QString& path, const QString& text) const;
    bool configure();

    Kind kind;
    QString user;
    int registrar_port;
    bool auto_answer;
    QTemporaryDir dir;
    QProcess process;
    QStringList arguments;
};

// The bench's environment for a program living in this fresh HOME: private temporary files too
// (so no single-instance name is shared with another program), none of the bench's XDG folders or
// Qt platform.
QProcessEnvironment fresh_home_environment(const QString& home);

// Ends these processes: SIGTERM, then SIGKILL to those left after the time; returns once every
// one has gone (or is a zombie waiting for its parent).
void end_processes(const QList<qint64>& pids, int timeout_ms = 10000);
