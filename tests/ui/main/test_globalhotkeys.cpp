// The desk's system-wide keys, grabbed on the test's X display: a key pressed while another
// window has the focus reaches the phone, and a key another program holds is reported.

#include "support/xdotool.h"
#include "ui/main/globalhotkeys.h"
#include "ui/settings/deskkeyspage.h"

#include <QLabel>

#include <QSignalSpy>
#include <QtTest>

class TestGlobalHotKeys : public QObject
{
    Q_OBJECT
    GlobalHotKeys keeper;
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        // Its connection stays open for the whole run: Xvfb resets when its last client goes, and
        // refuses connections while it does.
        QCOMPARE(keeper.apply({{"hotkeyHold", "Ctrl+Shift+F8"}}), QStringList());
    }

    void grabbed_key_reaches_the_phone_from_any_window()
    {
        GlobalHotKeys keys;
        QCOMPARE(keys.apply({{"hotkeyAnswer", "Ctrl+Shift+F9"}, {"hotkeyMute", "Ctrl+Alt+M"}}),
                 QStringList());
        QSignalSpy pressed(&keys, &GlobalHotKeys::signal_pressed);
        QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
        QVERIFY(pressed.wait(5000));
        QCOMPARE(pressed.takeFirst().value(0).toInt(), int(GlobalHotKeys::Answer));
        QVERIFY(xdotool({"key", "ctrl+alt+m"}));
        QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), 1, 5000);
        QCOMPARE(pressed.takeFirst().value(0).toInt(), int(GlobalHotKeys::Mute));

        // Saved again without keys: nothing is grabbed any more.
        QCOMPARE(keys.apply({}), QStringList());
        QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
        QTest::qWait(300);
        QCOMPARE(pressed.size(), 0);
    }

    void key_another_program_holds_is_reported()
    {
        GlobalHotKeys other_program;
        QCOMPARE(other_program.apply({{"hotkeyHangup", "Ctrl+Shift+F10"}}), QStringList());
        GlobalHotKeys keys;
        const QStringList problems =
            keys.apply({{"hotkeyHangup", "Ctrl+Shift+F10"}, {"hotkeyHold", "Ctrl+Shift+F11"}});
        QCOMPARE(problems, QStringList({"global key Ctrl+Shift+F10 is taken by another program"}));
        QSignalSpy pressed(&keys, &GlobalHotKeys::signal_pressed);
        QVERIFY(xdotool({"key", "ctrl+shift+F11"}));
        QVERIFY(pressed.wait(5000)); // the free one still works
        QCOMPARE(pressed.takeFirst().value(0).toInt(), int(GlobalHotKeys::Hold));
    }

    // A Wayland session's XWayland hands keys to X programs only while an X window has the focus:
    // the grab still serves the phone's own windows, but it is said to be limited every time keys
    // are set, and the keys page says so before the operator relies on it.
    void wayland_session_says_where_the_keys_work()
    {
        qputenv("WAYLAND_DISPLAY", "wayland-velora-test");
        GlobalHotKeys keys;
        const QStringList problems = keys.apply({{"hotkeyAnswer", "Ctrl+Shift+F12"}});
        const QStringList without_keys = GlobalHotKeys().apply({});
        DeskKeysPage page;
        qunsetenv("WAYLAND_DISPLAY");
        QCOMPARE(problems, QStringList({GlobalHotKeys::wayland_limit()}));
        QCOMPARE(without_keys, QStringList());
        auto* limit = page.findChild<QLabel*>(QStringLiteral("waylandLimit"));
        QVERIFY(limit && limit->text().contains(QStringLiteral("フォーカスがある間だけ")));
        QVERIFY(!DeskKeysPage().findChild<QLabel*>(QStringLiteral("waylandLimit")));
        QSignalSpy pressed(&keys, &GlobalHotKeys::signal_pressed);
        QVERIFY(xdotool({"key", "ctrl+shift+F12"})); // an X window has the focus here
        QVERIFY(pressed.wait(5000));
    }
};

QTEST_MAIN(TestGlobalHotKeys)
#include "test_globalhotkeys.moc"
