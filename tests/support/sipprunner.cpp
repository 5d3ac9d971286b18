#include "support/sipprunner.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QUdpSocket>

#include <signal.h>

namespace {

QString message_file(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("messages.log"));
}

// Without SO_REUSEADDR, so that a port another socket holds with it counts as taken.
bool port_taken(int port)
{
    QUdpSocket probe;
    return !probe.bind(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port),
                       QAbstractSocket::DontShareAddress);
}

} // namespace

// Chosen above the phone's audio ports (10000 to 60000) and the system's own ephemeral ones (32768 to
// 60999): the kernel's pick of a free port could be taken by a call's RTP socket before its user
// binds it, and a peer that then shares it with that socket never hears its messages.
int free_udp_port()
{
    const int first = 61000;
    const int count = 4500;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = first + int(QRandomGenerator::global()->bounded(count));
        if (!port_taken(port))
            return port;
    }
    return 0;
}

QString SippRunner::Message::header(const QString& name) const
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty())
            break; // end of the headers
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QString();
}

QString SippRunner::Message::body() const
{
    const int blank = text.indexOf(QRegularExpression(QStringLiteral("\r?\n\r?\n")));
    return blank < 0 ? QString() : text.mid(blank).trimmed();
}

SippRunner::SippRunner(const QString& scenario, const QString& remote)
    : scenario_path(QStringLiteral(VELORA_SIP_SCENARIOS) + QLatin1Char('/') + scenario), remote(remote)
{
    process.setWorkingDirectory(work.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(work.filePath(QStringLiteral("screen.log")));
}

SippRunner::~SippRunner()
{
    stop();
}

void SippRunner::add_arguments(const QStringList& arguments)
{
    extra += arguments;
}

QString SippRunner::uri(const QString& user) const
{
    return QStringLiteral("sip:%1@127.0.0.1:%2").arg(user).arg(sip_port);
}

bool SippRunner::start(int timeout_ms)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        sip_port = free_udp_port();
        int media_port = free_udp_port();
        // sipp also opens the port two above its media port.
        while (media_port != 0 && (media_port == sip_port || media_port + 2 == sip_port))
            media_port = free_udp_port();
        if (sip_port == 0 || media_port == 0)
            return false;
        QStringList arguments{QStringLiteral("-sf"),
                              scenario_path,
                              QStringLiteral("-i"),
                              QStringLiteral("127.0.0.1"),
                              QStringLiteral("-p"),
                              QString::number(sip_port),
                              QStringLiteral("-mp"),
                              QString::number(media_port),
                              QStringLiteral("-nostdin"),
                              QStringLiteral("-trace_msg"),
                              QStringLiteral("-message_file"),
                              message_file(work),
                              QStringLiteral("-trace_err"),
                              QStringLiteral("-error_file"),
                              work.filePath(QStringLiteral("errors.log")),
                              QStringLiteral("-timeout"),
                              QStringLiteral("120s"),
                              QStringLiteral("-timeout_error")};
        if (!extra.contains(QStringLiteral("-m")))
            arguments << QStringLiteral("-m") << QStringLiteral("1"); // one call, then sipp ends
        arguments += extra;
        if (!remote.isEmpty())
            arguments << remote;
        process.start(QStringLiteral("sipp"), arguments);
        if (!process.waitForStarted(timeout_ms)) {
            qWarning("sipp did not start: %s", qPrintable(process.errorString()));
            return false;
        }
        QDeadlineTimer deadline(timeout_ms);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            if (port_taken(sip_port))
                return true;
            QThread::msleep(20);
        }
        if (process.state() == QProcess::Running) {
            // A machine busy enough to hold sipp back this long: another try, on other ports.
            qWarning("sipp did not open port %d in time (attempt %d)", sip_port, attempt + 1);
            stop();
            continue;
        }
        // Most likely a port was taken by someone else meanwhile: try other ones.
        qWarning("sipp ended at start (attempt %d): %s", attempt + 1, qPrintable(output().right(400)));
    }
    return false;
}

bool SippRunner::wait_finished(int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        process.waitForFinished(20);
    }
    return true;
}

int SippRunner::exit_code() const
{
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

void SippRunner::freeze()
{
    const qint64 pid = process.processId();
    if (process.state() != QProcess::NotRunning && pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
}

void SippRunner::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    const qint64 pid = process.processId();
    if (pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGCONT); // a frozen one takes its SIGTERM only once it runs
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    if (!process.waitForFinished(5000) && pid > 0) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        process.waitForFinished(5000);
    }
}

QList<SippRunner::Message> SippRunner::messages() const
{
    QList<Message> result;
    QFile file(message_file(work));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QString all = QString::fromUtf8(file.readAll());
    // Each entry starts with a dashed line and a time stamp (microseconds), then
    // "UDP message received|sent".
    static const QRegularExpression entry(
        QStringLiteral("^-{10,}\\s*(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\.(\\d+)[^\n]*\n"
                       "(UDP|TCP) message (received|sent)[^\n]*\n"),
        QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator it = entry.globalMatch(all);
    QList<QRegularExpressionMatch> matches;
    while (it.hasNext())
        matches.append(it.next());
    for (int i = 0; i < matches.size(); ++i) {
        const int start = matches[i].capturedEnd();
        const int end = i + 1 < matches.size() ? matches[i + 1].capturedStart() : all.size();
        Message message;
        message.received = matches[i].captured(4) == QStringLiteral("received");
        const QDateTime stamp =
            QDateTime::fromString(matches[i].captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QString fraction = (matches[i].captured(2) + QStringLiteral("000000")).left(6);
        message.time_us = stamp.toMSecsSinceEpoch() * 1000 + fraction.toLongLong();
        message.text = all.mid(start, end - start).trimmed();
        message.text.remove(QLatin1Char('\r'));
        result.append(message);
    }
    return result;
}

QList<SippRunner::Message> SippRunner::received_requests(const QString& method) const
{
    QList<Message> result;
    for (const Message& message : messages()) {
        if (message.received && message.first_line().startsWith(method + QLatin1Char(' ')))
            result.append(message);
    }
    return result;
}

QString SippRunner::output() const
{
    QString text;
    for (const QString& name : {QStringLiteral("screen.log"), QStringLiteral("errors.log")}) {
        QFile file(work.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll()).right(3000);
    }
    return text;
}
