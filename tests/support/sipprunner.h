#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One sipp peer on 127.0.0.1 for a test: started on a free UDP port with a scenario from
// tests/sip, waited for, and ended by its PID when the runner goes away. Its message trace
// tells the test what the peer received and sent.
class SippRunner
{
public:
    struct Message
    {
        bool received;  // false: sent by sipp
        qint64 time_us; // when sipp logged it, microseconds since the epoch (wall clock)
        QString text;
        QString first_line() const { return text.section(QLatin1Char('\n'), 0, 0).trimmed(); }
        QString header(const QString& name) const; // first value of a header, empty when absent
        QString body() const;
    };

    // scenario: a file name under tests/sip. remote: "host:port" for scenarios that start by
    // sending (client role); empty for scenarios that wait for a request.
    explicit SippRunner(const QString& scenario, const QString& remote = QString());
    ~SippRunner();

    // Extra sipp arguments ("-key name value", "-s service"...), before start(). Unless they
    // hold "-m", sipp ends after one call.
    void add_arguments(const QStringList& arguments);
    // Starts sipp and waits until its SIP port is open. False on failure or timeout.
    bool start(int timeout_ms = 10000);
    int port() const { return sip_port; }
    // sipp's working directory: files a scenario names (a pcap to play) go here before start().
    QString work_dir() const { return work.path(); }
    QString uri(const QString& user) const;
    // The number that reaches this peer through the test Kamailio: "9" and its five-digit port.
    QString number() const { return QStringLiteral("9%1").arg(sip_port, 5, 10, QLatin1Char('0')); }

    // Waits for sipp to end by itself; true when it ended within the time.
    bool wait_finished(int timeout_ms);
    // sipp's exit code: 0 when every call of the scenario passed.
    int exit_code() const;
    // Ends sipp now (by PID) and waits for it.
    void stop();
    // Stops sipp where it is (SIGSTOP), as a peer that hangs: nothing answers, nothing is closed.
    void freeze();

    // The SIP messages sipp logged so far (complete once sipp has ended).
    QList<Message> messages() const;
    QList<Message> received_requests(const QString& method) const;
    QString output() const; // sipp's own screen and error logs, for failure messages

private:
    QString scenario_path;
    QString remote;
    QStringList extra;
    QTemporaryDir work;
    QProcess process;
    int sip_port = 0;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
int free_udp_port();
