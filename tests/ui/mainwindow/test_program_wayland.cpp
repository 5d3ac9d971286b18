// The whole program on a Wayland desktop: weston (headless, with its shell) runs it through
// XWayland as GNOME or Plasma would. A sipp caller rings it, the call is answered and hung up,
// and the composed screen shows what a user would see. The headless desktop has no pointer or
// keyboard (XWayland ends at the first synthetic pointer event without them), so the program is
// driven through its command channel, as a CRM's link does.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "support/processprobe.h"
#include "support/programrunner.h"
#include "support/sipprunner.h"
#include "support/westonsession.h"
#include "support/windowmanagerclose.h"
#include "support/xdotool.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QRect SCREEN(0, 0, 1280, 1024);

// Where the X server has the window, in screen coordinates.
QRect window_rect(unsigned long window)
{
    QString text;
    xdotool({QStringLiteral("getwindowgeometry"), QString::number(window)}, &text);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Position: (-?\\d+),(-?\\d+).*Geometry: (\\d+)x(\\d+)"),
                           QRegularExpression::DotMatchesEverythingOption)
            .match(text);
    return match.hasMatch() ? QRect(match.captured(1).toInt(), match.captured(2).toInt(),
                                    match.captured(3).toInt(), match.captured(4).toInt())
                            : QRect();
}

bool iconic(unsigned long window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window), QStringLiteral("WM_HINTS")});
    return xprop.waitForFinished(5000) && xprop.readAll().contains("Iconic State");
}

// The desktop's own colour, give or take the shadow weston draws around every window.
bool desktop_shows(const QColor& seen, const QColor& desktop)
{
    return qAbs(seen.red() - desktop.red()) <= 24 && qAbs(seen.green() - desktop.green()) <= 24 &&
           qAbs(seen.blue() - desktop.blue()) <= 24;
}

QString where(const QRect& rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

} // namespace

class TestProgramWayland : public QObject
{
    Q_OBJECT

    WestonSession weston;
    QByteArray old_display;

private slots:
    void initTestCase()
    {
        QVERIFY(weston.start(SCREEN.width(), SCREEN.height()));
        old_display = qgetenv("DISPLAY");
        qputenv("DISPLAY", weston.x_display().toUtf8()); // xdotool and xprop ask XWayland
    }

    void cleanupTestCase() { qputenv("DISPLAY", old_display); }

    // Skins cut to shape on the composed screen, 設定 and the popup on it, the global keys' limit
    // said, the call answered and ended, and closing the phone without a tray minimises it.
    void ringing_phone_on_a_wayland_desktop()
    {
        QImage desktop; // once the shell has drawn its background
        QTRY_VERIFY2_WITH_TIMEOUT(!(desktop = weston.screenshot()).isNull() &&
                                      desktop.pixelColor(SCREEN.center()) != QColor(Qt::black),
                                  qPrintable(weston.log()), 10000);
        ProgramRunner runner; // no account stored: 設定 opens by itself beside the phone
        zim::set_app_dir_for_tests(runner.dir());
        zim::make_private_log_dir();
        {
            ZimLogger logger;
            ZimData(nullptr, &logger).save_other_settings({{"hotkeyAnswer", "Ctrl+Shift+F9"}});
        }
        zim::set_app_dir_for_tests(QString());
        runner.set_variable(QStringLiteral("WAYLAND_DISPLAY"), weston.wayland_display());
        runner.set_variable(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        QVERIFY(runner.start_first());
        // The answer key works only while an X window has the focus, and the phone says so.
        QVERIFY(runner.wait_for_log(
            QStringLiteral("Wayland session: global keys act only while an X window has the focus")));
        // The log line can come before the windows are mapped on a busy machine: wait for both.
        QList<unsigned long> mains, settings;
        QTRY_VERIFY2_WITH_TIMEOUT((mains = visible_windows(QStringLiteral("^VeloraSimple$"), 0)).size() ==
                                          1 &&
                                      (settings = visible_windows(QStringLiteral("^設定$"), 0)).size() == 1,
                                  qPrintable(QStringLiteral("phone windows %1, settings windows %2")
                                                 .arg(mains.size())
                                                 .arg(settings.size())),
                                  20000);
        // 設定 is placed again once it has its frame: beside the phone, on the screen.
        QRect phone, settings_rect;
        const auto placed = [&] {
            phone = window_rect(mains.first());
            settings_rect = window_rect(settings.first());
            return SCREEN.contains(phone) && SCREEN.contains(settings_rect) &&
                   !settings_rect.intersects(phone);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(placed(), qPrintable(where(phone) + " / " + where(settings_rect)), 5000);
        QVERIFY(close_as_window_manager(settings.first()));

        int port = 0;
        QTRY_VERIFY_WITH_TIMEOUT((port = udp_port_of(runner.first()->processId())) > 0, 10000);
        SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(port));
        caller.add_arguments({"-s", "100"});
        QVERIFY(caller.start());
        QList<unsigned long> popups;
        QTRY_COMPARE_WITH_TIMEOUT((popups = visible_windows(QStringLiteral("^Form$"), 0)).size(), 1, 20000);
        QTest::qWait(1500); // the popup slides in while the call rings
        const QRect popup = window_rect(popups.first());
        QVERIFY2(SCREEN.contains(popup), qPrintable(where(popup)));

        // Cut to their skins: around the rounded frames the desktop shows as it was.
        QString seen;
        const auto cut = [&] {
            // Where they are now: on a busy machine the popup may still be sliding in.
            const QImage shot = weston.screenshot();
            for (const QRect& window : {window_rect(mains.first()), window_rect(popups.first())}) {
                for (const QPoint& corner :
                     {window.topLeft() + QPoint(3, 3), window.bottomRight() - QPoint(3, 3)}) {
                    seen = shot.pixelColor(corner).name();
                    if (!desktop_shows(shot.pixelColor(corner), desktop.pixelColor(corner)))
                        return false;
                }
                seen = QStringLiteral("the desktop in the middle of a window");
                if (desktop_shows(shot.pixelColor(window.center()), desktop.pixelColor(window.center())))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(cut(), qPrintable(seen), 5000);

        QCOMPARE(runner.run_messenger({QStringLiteral("answer")}), 0);
        const auto answered = [&] {
            for (const auto& message : caller.messages()) {
                if (message.received && message.first_line().startsWith(QStringLiteral("SIP/2.0 200")))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(answered(), qPrintable(caller.output()), 10000);
        QCOMPARE(runner.run_messenger({QStringLiteral("hangup")}), 0);
        QVERIFY2(caller.wait_finished(10000), qPrintable(caller.output() + runner.log_text()));
        QCOMPARE(caller.exit_code(), 0);

        // No tray on this desktop either: closing the phone asks for it to be minimised, and it
        // goes on running.
        QVERIFY(close_as_window_manager(mains.first()));
        QTRY_VERIFY_WITH_TIMEOUT(iconic(mains.first()), 5000);
        QTest::qWait(500);
        QCOMPARE(runner.first()->state(), QProcess::Running);
    }
};

QTEST_MAIN(TestProgramWayland)
#include "test_program_wayland.moc"
