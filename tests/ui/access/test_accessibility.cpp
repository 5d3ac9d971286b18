// The phone as an operator who cannot see the screen meets it: through a screen reader's side of
// the AT-SPI bus (pyatspi), on the test's X display, with Qt's accessibility switched on.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/screenreader.h"
#include "support/sipprunner.h"
#include "support/testdir.h"
#include "support/windowmanager.h"
#include "ui/history/historywindow.h"
#include "ui/main/announcer.h"
#include "ui/main/dialogincommingwindow.h"
#include "ui/main/focusmark.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        init_images();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_account_settings({{"userId", "100"}}));
    }

    // Every window the menus open, walked whole: a focusable control without a name is one a
    // reader can only call "button".
    void every_control_of_every_window_has_a_name()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The menu's first part opens the windows (設定 … バージョン情報).
        for (QAction* item : window.tray_context_menu()->actions()) {
            if (item->isSeparator())
                break;
            item->trigger();
        }
        // A history row is read in words, its kind (an icon) and outcome (a code) too.
        window.history_window()->add_history({{"status", "1"},
                                              {"phoneNumber", "0312345678"},
                                              {"dialogTime", "00:02:10"},
                                              {"dialogDate", "2026-12-01 10:00:00"},
                                              {"deleteFlg", "0"},
                                              {"outcome", "answered"}});
        QTest::qWait(300);
        ScreenReader reader;
        QVERIFY(reader.start());
        QVERIFY(reader.ask(QStringLiteral("name table_cell 着信")).value("found").toBool());
        QVERIFY(reader.ask(QStringLiteral("name table_cell 応答")).value("found").toBool());
        const QStringList unnamed = reader.unnamed_controls();
        QMap<QString, int> per_window;
        for (const QString& control : unnamed) {
            qWarning("%s", qPrintable(control));
            ++per_window[control.section(QLatin1Char(':'), 0, 0)];
        }
        QStringList counts;
        for (auto window = per_window.begin(); window != per_window.end(); ++window)
            counts << QStringLiteral("%1: %2").arg(window.key()).arg(window.value());
        QVERIFY2(unnamed.isEmpty(),
                 qPrintable(QStringLiteral("unnamed: ") + counts.join(QStringLiteral(", "))));
    }

    // A reader hears a ringing caller with no change of focus, answers through the action of 通話,
    // and hears the call connect.
    void a_ringing_call_is_told_and_answered_through_the_reader()
    {
        MainWindow window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.phone()->local_sip_port() > 0, 20000);
        ScreenReader reader;
        QVERIFY(reader.start());
        SippRunner caller(QStringLiteral("uac_named_caller_waits_for_bye.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(window.phone()->local_sip_port()));
        caller.add_arguments({"-s", "100", "-key", "from_name", "山田", "-key", "from_user", "0312345678"});
        QVERIFY(caller.start());

        const QJsonObject ring = reader.wait_for_announcement(QStringLiteral("0312345678"));
        QVERIFY2(ring.value("name").toString() == QStringLiteral("着信 山田 0312345678"),
                 QJsonDocument(ring).toJson(QJsonDocument::Compact).constData());
        QTRY_VERIFY_WITH_TIMEOUT(window.incoming_window() && window.incoming_window()->isVisible(), 5000);
        const QJsonObject popup = reader.ask(QStringLiteral("name frame 着信 山田 0312345678"));
        QVERIFY2(popup.value("found").toBool(),
                 QJsonDocument(popup).toJson(QJsonDocument::Compact).constData());

        QVERIFY(reader.ask(QStringLiteral("press 通話")).value("done").toBool());
        QTRY_VERIFY_WITH_TIMEOUT(window.phone()->phase() == CallPhase::Talking, 10000);
        QVERIFY2(!reader.wait_for_announcement(QStringLiteral("通話中")).isEmpty(),
                 qPrintable(window.announcements()->last_said()));

        window.phone()->request_hangup();
        QVERIFY(caller.wait_finished(30000));
    }

    // The day from the keyboard: Tab walks the skin's keys in the order the eye reads them, with a
    // ring drawn around each; Space opens 設定 and 履歴, which take the keys, and Escape closes
    // them.
    void the_keyboard_walks_the_phone_settings_and_history()
    {
        WindowManager manager;
        QVERIFY(manager.start());
        MainWindow window;
        window.show();
        window.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 5000);
        auto press = [](Qt::Key key) {
            QWidget* focused = QApplication::focusWidget();
            QVERIFY(focused);
            QTest::keyClick(focused, key);
        };
        auto name_of = [](QWidget* widget) {
            auto* button = qobject_cast<QPushButton*>(widget);
            return !widget->accessibleName().isEmpty() ? widget->accessibleName()
                   : button                            ? button->text()
                                                       : QString();
        };

        window.form().closeButton->setFocus(Qt::TabFocusReason);
        QStringList route;
        for (int step = 0; step < 7; ++step) {
            QWidget* focused = QApplication::focusWidget();
            route << name_of(focused);
            QTRY_VERIFY(window.focus_ring()->isVisible());
            const QRect ring(window.focus_ring()->mapToGlobal(QPoint(0, 0)), window.focus_ring()->size());
            QVERIFY(ring.contains(QRect(focused->mapToGlobal(QPoint(0, 0)), focused->size())));
            press(Qt::Key_Tab);
        }
        QCOMPARE(route, QStringList({"最小化", "設定", "履歴", "通話", "保留", "転送", "切断"}));
        QCOMPARE(name_of(QApplication::focusWidget()), QStringLiteral("最小化")); // round again

        auto open_with_space = [&](int tabs) {
            window.activateWindow();
            QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 5000);
            window.form().closeButton->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < tabs; ++i)
                press(Qt::Key_Tab);
            press(Qt::Key_Space);
        };
        open_with_space(1);
        QTRY_VERIFY_WITH_TIMEOUT(window.setting_window() && window.setting_window()->isActiveWindow(), 5000);
        press(Qt::Key_Escape);
        QTRY_VERIFY(!window.setting_window()->isVisible());

        open_with_space(2);
        QTRY_VERIFY_WITH_TIMEOUT(window.history_window()->isActiveWindow(), 5000);
        press(Qt::Key_Escape);
        QTRY_VERIFY(!window.history_window()->isVisible());
    }

private:
    TestAppDir dir;
};

int main(int argc, char* argv[])
{
    // The bridge finds its bus as the application starts.
    AccessibilityBus bus;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    if (!bus.is_up())
        qWarning("the AT-SPI bus did not start");
    TestAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_accessibility.moc"
