#include "peercore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTest>

PeerCore::PeerCore()
{
    start({});
}

PeerCore::PeerCore(const QString& playback, const QString& capture)
{
    start({QStringLiteral("--sound"), playback, capture});
}

PeerCore::~PeerCore()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("quit\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void PeerCore::start(const QStringList& arguments)
{
    connect(&process, &QProcess::readyReadStandardOutput, this, &PeerCore::read_events);
    // The library's log lines stay off the terminal, in one file per test process.
    process.setStandardErrorFile(
        QDir::temp().filePath(
            QStringLiteral("velora-test-peer-%1.log").arg(QCoreApplication::applicationPid())),
        QIODevice::Append);
    process.start(QStringLiteral(VELORA_TEST_PEER), arguments);
    QDeadlineTimer deadline(15000);
    while (port == 0 && !deadline.hasExpired() && process.waitForReadyRead(int(deadline.remainingTime())))
        read_events();
    if (port == 0)
        QTest::qFail("the test peer did not start", __FILE__, __LINE__);
}

QString PeerCore::uri(const QString& user) const
{
    return QStringLiteral("sip:%1@127.0.0.1:%2").arg(user).arg(port);
}

void PeerCore::terminate_all()
{
    command(QStringLiteral("terminate"));
}

void PeerCore::dial(const QString& uri)
{
    command(QStringLiteral("dial ") + uri);
}

void PeerCore::use_srtp(bool required)
{
    command(QStringLiteral("srtp ") + (required ? QLatin1Char('1') : QLatin1Char('0')));
}

// Returns once the peer has carried the command out, so that a call the test places next meets
// the peer's new settings.
void PeerCore::command(const QString& line)
{
    const QString word = line.section(QLatin1Char(' '), 0, 0);
    last_ok.clear();
    process.write(line.toUtf8() + '\n');
    QDeadlineTimer deadline(10000);
    while (last_ok != word && !deadline.hasExpired() &&
           process.waitForReadyRead(int(deadline.remainingTime())))
        read_events();
    if (last_ok != word)
        QTest::qFail(qPrintable(QStringLiteral("the test peer did not carry out: ") + line), __FILE__,
                     __LINE__);
}

void PeerCore::read_events()
{
    pending += process.readAllStandardOutput();
    for (int end; (end = pending.indexOf('\n')) >= 0;) {
        take(pending.left(end));
        pending.remove(0, end + 1);
    }
}

void PeerCore::take(const QByteArray& line)
{
    const QByteArray word = line.left(line.indexOf(' '));
    const QByteArray value = line.mid(word.size() + 1);
    if (word == "ready")
        port = value.toInt();
    else if (word == "ok")
        last_ok = QString::fromUtf8(value);
    else if (word == "incoming")
        calls_received = value.toInt();
    else if (word == "dtmf")
        dtmf.append(QString::fromUtf8(value));
    else if (word == "calls")
        calls = value.toInt();
    else if (word == "encrypted")
        encrypted = value == "1";
}
