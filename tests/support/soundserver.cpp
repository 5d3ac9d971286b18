#include "soundserver.h"

#include <QFile>
#include <QProcess>

void pin_sound_server()
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (pactl.waitForFinished(5000)) {
            for (const QByteArray& line : pactl.readAllStandardOutput().split('\n')) {
                if (line.startsWith("Server String: ")) {
                    QByteArray server = line.mid(15).trimmed();
                    if (server.startsWith('/'))
                        server.prepend("unix:");
                    qputenv("PULSE_SERVER", server);
                }
            }
        } else {
            pactl.kill();
            pactl.waitForFinished(1000);
        }
    }
    const QByteArray cookie = qgetenv("HOME") + "/.config/pulse/cookie";
    if (qEnvironmentVariableIsEmpty("PULSE_COOKIE") && QFile::exists(QString::fromUtf8(cookie)))
        qputenv("PULSE_COOKIE", cookie);
}
