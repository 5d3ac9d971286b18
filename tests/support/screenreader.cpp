#include "support/screenreader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

namespace {

QString bus_call(const QStringList& arguments)
{
    QProcess call;
    call.start(QStringLiteral("dbus-send"),
               QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply=literal")} + arguments);
    if (!call.waitForFinished(5000)) {
        call.kill();
        call.waitForFinished(2000);
        return QString();
    }
    return call.exitCode() == 0 ? QString::fromUtf8(call.readAllStandardOutput()).trimmed() : QString();
}

bool is_answer(const QJsonObject& line)
{
    return !line.contains(QStringLiteral("event"));
}

bool is_ready(const QJsonObject& line)
{
    return line.value(QStringLiteral("ready")).toBool();
}

} // namespace

AccessibilityBus::AccessibilityBus()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.address());
    environment.remove(QStringLiteral("DISPLAY")); // the bus's address stays off the shared X display
    // Its socket in a folder of its own, not in the user's runtime folder or cache.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    launcher.setProcessEnvironment(environment);
    launcher.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
                   {QStringLiteral("--launch-immediately")});
    if (!launcher.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && launcher.state() == QProcess::Running) {
        const QString owned = bus_call({QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/"),
                                        QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                                        QStringLiteral("string:org.a11y.Bus")});
        if (owned.endsWith(QLatin1String("true"))) {
            address = bus_call({QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                QStringLiteral("org.a11y.Bus.GetAddress")});
            break;
        }
        QThread::msleep(50);
    }
    qputenv("AT_SPI_BUS_ADDRESS", address.toUtf8());
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    // Qt's bridge, told only by the session bus, can make ready before it has joined the
    // accessibility bus (and then never joins); given the address on the display's root window as
    // well, it joins at once. The test runs alone on its display, and the property goes with it.
    if (!address.isEmpty() && !qEnvironmentVariableIsEmpty("DISPLAY"))
        on_root.reset(new RootProperty("AT_SPI_BUS", address.toUtf8()));
}

AccessibilityBus::~AccessibilityBus()
{
    on_root.reset();
    launcher.terminate();
    if (!launcher.waitForFinished(5000)) {
        launcher.kill();
        launcher.waitForFinished(5000);
    }
}

ScreenReader::~ScreenReader()
{
    if (client.state() == QProcess::NotRunning)
        return;
    client.closeWriteChannel(); // the client ends when its input closes
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && client.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        client.waitForFinished(20);
    }
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished(5000);
    }
}

bool ScreenReader::start(int timeout_ms)
{
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's interpreter, where python3-pyatspi lives.
    client.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(VELORA_ATSPI_CLIENT), QString::number(QCoreApplication::applicationPid())});
    return client.waitForStarted(5000) && read_lines(timeout_ms, is_ready, nullptr);
}

bool ScreenReader::read_lines(int timeout_ms, bool (*until)(const QJsonObject&), QJsonObject* answer)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired() && client.state() == QProcess::Running) {
        while (client.canReadLine()) {
            const QJsonObject line = QJsonDocument::fromJson(client.readLine()).object();
            if (line.contains(QStringLiteral("event")))
                announcements.append(line);
            if (until(line)) {
                if (answer)
                    *answer = line;
                return true;
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        client.waitForReadyRead(10);
    }
    return false;
}

QJsonObject ScreenReader::ask(const QString& command, int timeout_ms)
{
    client.write(command.toUtf8() + '\n');
    QJsonObject answer;
    read_lines(timeout_ms, is_answer, &answer);
    return answer;
}

QStringList ScreenReader::unnamed_controls()
{
    QStringList result;
    const QJsonObject answer = ask(QStringLiteral("walk"));
    if (!answer.contains(QStringLiteral("windows")))
        return {QStringLiteral("no walk: ") + QString::fromUtf8(QJsonDocument(answer).toJson())};
    const QJsonObject windows = answer.value(QStringLiteral("windows")).toObject();
    for (auto window = windows.begin(); window != windows.end(); ++window) {
        for (const QJsonValue& item : window.value().toArray()) {
            const QJsonArray control = item.toArray();
            result << QStringLiteral("%1: %2 at %3,%4 %5×%6")
                          .arg(window.key(), control.at(0).toString())
                          .arg(control.at(1).toInt())
                          .arg(control.at(2).toInt())
                          .arg(control.at(3).toInt())
                          .arg(control.at(4).toInt());
        }
    }
    return result;
}

QJsonObject ScreenReader::wait_for_announcement(const QString& text, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    do {
        for (const QJsonObject& heard : announcements)
            if (heard.value(QStringLiteral("name")).toString().contains(text))
                return heard;
        read_lines(
            50, [](const QJsonObject& line) { return line.contains(QStringLiteral("event")); }, nullptr);
    } while (!deadline.hasExpired());
    return QJsonObject();
}
