// The tray's mark for unseen missed calls and the desktop notification of an incoming call, the
// latter against a recording notification service on a private session bus.
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/sessionbus.h"
#include "support/testdir.h"
#include "ui/history/historywindow.h"
#include "ui/main/incomingcallnotifier.h"
#include "ui/main/missedcallmark.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QtTest>

class NotificationRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities{QStringLiteral("body")};
    QStringList texts; // summary + "|" + body
    QStringList calls; // what the program asked, with ids: "notify 0->1 着信中 [answer]", "close 1"

signals:
    void ActionInvoked(uint id, const QString& key);

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        texts << summary + QLatin1Char('|') + body;
        const uint id = replaces ? replaces : uint(texts.size());
        calls
            << QStringLiteral("notify %1->%2 %3 [%4]").arg(replaces).arg(id).arg(summary, actions.join(','));
        return id;
    }
    void CloseNotification(uint id) { calls << QStringLiteral("close %1").arg(id); }
};

class TestCallNotices : public QObject
{
    Q_OBJECT
    SessionBus* bus;

public:
    explicit TestCallNotices(SessionBus* bus) : bus(bus) {}

private slots:
    void missed_calls_mark_the_tray_until_the_missed_list_is_shown()
    {
        Q_INIT_RESOURCE(images);
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        HistoryWindow history(nullptr, &data, &logger);
        QSystemTrayIcon tray(QIcon(zim::APP_ICON));
        tray.setToolTip(zim::SHORT_PRODUCT_NAME);
        auto* mark = new MissedCallMark(&tray, &history);
        const qint64 plain = tray.icon().cacheKey();
        auto call = [&](const char* status) {
            history.add_history({{"status", status},
                                 {"phoneNumber", "201"},
                                 {"dialogTime", "00:00:00"},
                                 {"dialogDate", "2026/12/08 10:00:00"},
                                 {"deleteFlg", "0"}});
            mark->slot_update_later();
        };
        call("3");
        call("1");
        call("3");
        QTRY_COMPARE(mark->unseen(), 2);
        QCOMPARE(tray.toolTip(), zim::SHORT_PRODUCT_NAME + QStringLiteral("\n不在着信 2件"));
        QVERIFY(tray.icon().cacheKey() != plain);
        history.show(); // on the first list: not seen yet
        QTest::qWait(100);
        QCOMPARE(mark->unseen(), 2);
        history.findChild<QTabWidget*>()->setCurrentIndex(3);
        QTRY_COMPARE(mark->unseen(), 0);
        QCOMPARE(tray.toolTip(), zim::SHORT_PRODUCT_NAME);
        call("3"); // seen as it arrives
        QTest::qWait(100);
        QCOMPARE(mark->unseen(), 0);
    }

    void incoming_call_while_hidden_shows_a_plain_text_notification()
    {
        NotificationRecorder recorder;
        QDBusConnection service = QDBusConnection::connectToBus(bus->address(), QStringLiteral("recorder"));
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        const QMap<QString, QString> caller{{"callerName", "山田 <b>"}, {"callerId", "201"}};
        QWidget window;
        QSystemTrayIcon tray;
        auto* notifier = new IncomingCallNotifier(&window, &tray);
        QTest::qWait(200); // the capabilities arrive
        notifier->slot_received_dialog(caller);
        QTRY_COMPARE(recorder.texts, QStringList{QStringLiteral("着信中|山田 <b>\n201")});
        window.show();
        notifier->slot_received_dialog(caller);
        QTest::qWait(300);
        QCOMPARE(recorder.texts.size(), 1);
        // A service that reads markup gets the text escaped, so it still shows as written.
        window.hide();
        recorder.capabilities << QStringLiteral("body-markup");
        auto* escaping = new IncomingCallNotifier(&window, &tray);
        QTest::qWait(200);
        escaping->slot_received_dialog(caller);
        QTRY_COMPARE(recorder.texts.value(1), QStringLiteral("着信中|山田 &lt;b&gt;\n201"));
    }

    // The notification follows the call: answered, it closes; missed, it becomes the one 不在着信
    // notification on screen; its 応答 button answers.
    void notification_follows_the_call()
    {
        NotificationRecorder recorder;
        recorder.capabilities << QStringLiteral("actions");
        QDBusConnection::disconnectFromBus(QStringLiteral("recorder")); // the service of the case before
        QDBusConnection service = QDBusConnection::connectToBus(bus->address(), QStringLiteral("follower"));
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QWidget window;
        QSystemTrayIcon tray;
        auto* notifier = new IncomingCallNotifier(&window, &tray);
        QSignalSpy answer(notifier, &IncomingCallNotifier::signal_answer_requested);
        QTest::qWait(200);
        const QMap<QString, QString> caller{{"callerName", "Taro"}, {"callerId", "201"}};

        notifier->slot_received_dialog(caller);
        QTRY_COMPARE(recorder.calls, QStringList({"notify 0->1 着信中 [answer,応答]"}));
        QTest::qWait(100); // the id has come back
        emit recorder.ActionInvoked(1, QStringLiteral("answer"));
        QTRY_COMPARE(answer.size(), 1);
        notifier->slot_call_answered();
        notifier->slot_dialog_end(QStringLiteral("201"), 1);
        QTRY_COMPARE(recorder.calls.last(), QStringLiteral("close 1"));

        for (int missed = 0; missed < 2; ++missed) {
            notifier->slot_received_dialog(caller);
            QTest::qWait(200);
            notifier->slot_dialog_end(QStringLiteral("201"), 3);
            QTest::qWait(200);
        }
        QCOMPARE(recorder.calls.mid(2).join(" | "),
                 QStringLiteral("notify 0->2 着信中 [answer,応答] | notify 2->2 不在着信 [] | "
                                "notify 0->4 着信中 [answer,応答] | close 2 | notify 4->4 不在着信 []"));
        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }
};

int main(int argc, char* argv[])
{
    SessionBus bus; // before the application touches the bus
    QApplication app(argc, argv);
    TestCallNotices test(&bus);
    return QTest::qExec(&test, argc, argv);
}
#include "test_callnotices.moc"
