#pragma once

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The real executable, copied into a private directory (or installed into a private prefix) so
// that its store and logs are the test's own. Starts first instances and messengers and ends
// only the processes it started.
class ProgramRunner
{
public:
    enum class Layout { Portable, Installed };
    explicit ProgramRunner(Layout layout = Layout::Portable);
    ~ProgramRunner();

    QString dir() const { return temp.path(); }
    QString executable_path() const { return executable; }
    // data/ beside the copied executable, or the XDG data directory of the installed one.
    QString data_dir() const;
    QString log_path() const;
    QString log_text() const;

    // Benches: the programs' terminal output goes to output.log in dir() instead of stderr.
    void keep_output_in_file() { output_to_file = true; }

    // Starts a first instance and waits until its command channel answers (false on timeout).
    bool start_first(const QStringList& args = {}, int timeout_ms = 20000);
    QProcess* first() const { return first_process; }
    void kill_first(); // SIGKILL, as a crash would
    void stop_first(); // SIGTERM, then SIGKILL if it lingers

    // Runs a later instance to its end; returns its exit code (-1 on timeout). With `errors`, its
    // standard error lands there instead of the test's.
    int run_messenger(const QStringList& args, int timeout_ms = 40000, QString* errors = nullptr);

    // Waits until the log contains the text.
    bool wait_for_log(const QString& text, int timeout_ms = 10000) const;

    // Plays another user: a user id of its own and a runtime directory below dir().
    void set_user(const QString& uid);
    // One variable of the programs' environment set, or removed.
    void set_variable(const QString& name, const QString& value) { overrides.insert(name, value); }
    void unset_variable(const QString& name) { overrides.insert(name, QString()); }
    QProcessEnvironment environment() const;
    // The command socket the program listens on (in its user's private folder).
    QString server_name() const;
    void route_output(QProcess& process) const;

private:
    void use_private_runtime_dir();

    QTemporaryDir temp;
    Layout layout;
    QMap<QString, QString> overrides;
    QString executable;
    QProcess* first_process = nullptr;
    bool output_to_file = false;
};
