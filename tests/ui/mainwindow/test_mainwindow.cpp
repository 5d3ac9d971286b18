#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "peercore.h"
#include "phone/zimphone.h"
#include "support/modalanswer.h"
#include "support/testdir.h"
#include "ui/history/historywindow.h"
#include "ui/main/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

// The main window as an operator uses it: a real window with its real engine, in a private
// data directory with an account stored, so no settings window pops up.
class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        old_home = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            data.save_account_settings({{"userId", "100"}});
        }
        window = new MainWindow;
        window->show();
    }
    ~MainWindowFixture()
    {
        delete window;
        qputenv("HOME", old_home);
    }
    QString display() const { return window->form().phoneNumberLabel->text(); }
    bool delete_shown() const { return !window->form().deleteButton->isHidden(); }
    QString log() const { return read_text_file(ZimLogger::log_path()); }

    TestAppDir dir;
    QByteArray old_home;
    MainWindow* window = nullptr;
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { init_images(); }

    // The database connection closes after its last user: no Qt warning when the window goes.
    void closing_leaves_no_database_warning()
    {
        static QStringList warnings;
        warnings.clear();
        auto* fixture = new MainWindowFixture;
        fixture->window->history_window()->show(); // its lists hold the connection too
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings.append(text); });
        delete fixture;
        qInstallMessageHandler(previous);
        QVERIFY2(!warnings.join('\n').contains("removeDatabase"), qPrintable(warnings.join('\n')));
    }

    void typing_on_the_dial_pad_and_deleting()
    {
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        QVERIFY(!f.delete_shown());
        QTest::mouseClick(ui.digitalButton[2], Qt::LeftButton);
        QVERIFY(f.delete_shown());
        QTest::mouseClick(ui.digitalButton[0], Qt::LeftButton);
        QTest::mouseClick(ui.starButton, Qt::LeftButton);
        QTest::mouseClick(ui.poundButton, Qt::LeftButton);
        QCOMPARE(f.display(), QStringLiteral("20*#"));

        // A short press removes one character.
        QTest::mousePress(ui.deleteButton, Qt::LeftButton);
        QTest::mouseRelease(ui.deleteButton, Qt::LeftButton);
        QCOMPARE(f.display(), QStringLiteral("20*"));
        QCOMPARE(ui.deleteButton->styleSheet(), zim::STYLE_DELETE_BUTTON);

        // Held for 2.5 s it empties the display; the release then hides the button.
        QTest::mousePress(ui.deleteButton, Qt::LeftButton);
        QCOMPARE(ui.deleteButton->styleSheet(), zim::STYLE_DELETE_BUTTON_PRESSED);
        QTest::qWait(1300);
        QCOMPARE(f.display(), QString());
        QTest::qWait(1200);
        QTest::mouseRelease(ui.deleteButton, Qt::LeftButton);
        QCOMPARE(f.display(), QString());
        QVERIFY(!f.delete_shown());
    }

    void typing_on_the_keyboard()
    {
        MainWindowFixture f;
        QTest::keyClicks(f.window, QStringLiteral("12a*#"));
        QCOMPARE(f.display(), QStringLiteral("12*#"));
        QTest::keyClick(f.window, Qt::Key_Backspace);
        QCOMPARE(f.display(), QStringLiteral("12*"));
        QTest::keyClick(f.window, Qt::Key_Delete);
        QTest::keyClick(f.window, Qt::Key_Delete);
        QTest::keyClick(f.window, Qt::Key_Backspace);
        QCOMPARE(f.display(), QString());
        QVERIFY(!f.delete_shown());
        QTest::keyClick(f.window, Qt::Key_Backspace); // nothing left: nothing changes
        QCOMPARE(f.display(), QString());
        QVERIFY(!f.delete_shown());
    }

    void return_with_an_empty_display_dials_nothing()
    {
        MainWindowFixture f;
        QTest::keyClick(f.window, Qt::Key_Return);
        QTest::qWait(300);
        QCOMPARE(f.window->phone()->phase(), int(PHASE_IDLE));
        QVERIFY(!f.delete_shown());
    }

    void pasting_keeps_only_digits()
    {
        MainWindowFixture f;
        QTest::keyClicks(f.window, QStringLiteral("0"));
        QApplication::clipboard()->setText(QStringLiteral("03-(1234) 56ab*#78"));
        QTest::keyClick(f.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.display(), QStringLiteral("00312345678"));

        MainWindowFixture empty;
        QApplication::clipboard()->setText(QStringLiteral("abc-()"));
        QTest::keyClick(empty.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(empty.display(), QString());
        QVERIFY(!empty.delete_shown());
    }

    void registration_lamp_and_status_words()
    {
        QFETCH(QString, state);
        QFETCH(QString, status);
        QFETCH(bool, online);
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        ui.dialogStatus->setText(QStringLiteral("before"));
        f.window->slot_phone_registration_state_change(state, QStringLiteral("201"));
        QCOMPARE(ui.dialogStatus->text(), status);
        QCOMPARE(ui.onlineStatus->styleSheet(),
                 online ? zim::STYLE_ONLINE_STATUS : zim::STYLE_OFFLINE_STATUS);
        QCOMPARE(ui.userId->text(), QStringLiteral("201"));
        QCOMPARE(f.window->tray_icon()->toolTip(), QStringLiteral("VeloraSimple 内線：201"));
    }
    void registration_lamp_and_status_words_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("online");
        QTest::newRow("registered") << "sucessful"
                                    << "before" << true;
        QTest::newRow("registering") << "progress"
                                     << "認証中・・・" << false;
        QTest::newRow("failed") << "failed"
                                << "認証失敗" << false;
        QTest::newRow("unregistered") << "unresigter"
                                      << "未認証" << false;
        QTest::newRow("other word") << "timeout"
                                    << "before" << false;
    }

    // The engine's reasons reach the status line (a call's for a while) and the lamp's tooltip.
    void failure_reasons_are_shown()
    {
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        ui.dialogStatus->setText(QStringLiteral("ダイヤルできます"));
        emit f.window->phone()->signal_call_failed(QStringLiteral("話中です"));
        QCOMPARE(ui.dialogStatus->text(), QStringLiteral("話中です"));
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("ダイヤルできます"), 5000);

        emit f.window->phone()->signal_registration_failed(QStringLiteral("サーバ応答なし"),
                                                           QStringLiteral("tip"));
        QCOMPARE(ui.dialogStatus->text(), QStringLiteral("サーバ応答なし"));
        QCOMPARE(ui.onlineStatus->toolTip(), QStringLiteral("tip"));
        f.window->slot_phone_registration_state_change(QStringLiteral("sucessful"), QStringLiteral("100"));
        QCOMPARE(ui.onlineStatus->toolTip(), QString());
    }

    void transfer_result_message_stays_two_seconds_from_the_first()
    {
        MainWindowFixture f;
        f.window->slot_show_transfer_call_result(QStringLiteral("転送完了しました"));
        QTest::qWait(1500);
        f.window->slot_show_transfer_call_result(QStringLiteral("second"));
        QCOMPARE(f.display(), QStringLiteral("second"));
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), QString(), 1500);
    }

    void commands_from_other_programs()
    {
        QFETCH(QString, command);
        QFETCH(QString, display);
        QFETCH(QString, log_line);
        QFETCH(bool, immediate_close);
        MainWindowFixture f;
        f.window->handle_client_command(command);
        QCOMPARE(f.display(), display);
        const QString log = f.log();
        QVERIFY2(log.contains(QStringLiteral("] ") + command + QLatin1Char('\n')), qPrintable(log));
        if (!log_line.isEmpty())
            QVERIFY2(log.contains(QStringLiteral("] ") + log_line + QLatin1Char('\n')), qPrintable(log));
        QCOMPARE(f.window->immediate_close_of_remote_site(), immediate_close);
    }
    void commands_from_other_programs_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("log_line");
        QTest::addColumn<bool>("immediate_close");
        QTest::newRow("callto formatted") << "callto:2-01"
                                          << "201"
                                          << "" << false;
        QTest::newRow("callto slashes") << "callto://(2)01"
                                        << "201"
                                        << "" << false;
        QTest::newRow("callto bare") << "callto"
                                     << ""
                                     << "callto paramter error." << false;
        QTest::newRow("callto inside client link") << "vlclient:callto:201"
                                                   << "callto"
                                                   << "" << false;
        QTest::newRow("client call") << "vlclient:call:202"
                                     << "202"
                                     << "is called from client action:call" << false;
        QTest::newRow("client hangup") << "vlclient:hangup"
                                       << ""
                                       << "is called from client action:hangup" << true;
        QTest::newRow("plain call") << "call&203"
                                    << "203"
                                    << "" << false;
        QTest::newRow("plain hangup") << "hangup"
                                      << ""
                                      << "" << true;
        QTest::newRow("hold while idle") << "hold"
                                         << ""
                                         << "" << false;
        QTest::newRow("unhold while idle") << "unhold"
                                           << ""
                                           << "" << false;
        QTest::newRow("transfer while idle") << "transfer&204"
                                             << ""
                                             << "" << false;
        QTest::newRow("transfer_complete while idle") << "transfer_complete"
                                                      << ""
                                                      << "" << false;
        QTest::newRow("blindtransfer while idle") << "blindtransfer&205"
                                                  << ""
                                                  << "" << false;
        QTest::newRow("answer with nothing ringing") << "answer"
                                                     << ""
                                                     << "" << false;
        QTest::newRow("case matters") << "CALL&201"
                                      << ""
                                      << "unsuppor action" << false;
        QTest::newRow("empty action") << "&201"
                                      << ""
                                      << "unsuppor action" << false;
        QTest::newRow("client without action") << "vlclient"
                                               << ""
                                               << "unsuppor action" << false;
    }

    void both_menus_offer_the_same_commands_in_order()
    {
        MainWindowFixture f;
        auto texts = [](QMenu* menu) {
            QStringList result;
            for (QAction* action : menu->actions())
                result << (action->isSeparator() ? QStringLiteral("-") : action->text());
            return result;
        };
        QCOMPARE(texts(f.window->tray_context_menu()),
                 QStringList({"設定", "履歴", "バージョン情報", "-", "通話", "保留", "転送", "切断", "-",
                              "開く", "終了"}));
        QTimer::singleShot(200, [&f] { f.window->right_menu()->close(); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10));
        QApplication::sendEvent(f.window, &event);
        QCOMPARE(texts(f.window->right_menu()), QStringList({"設定", "履歴", "バージョン情報", "-", "通話",
                                                             "保留", "転送", "切断", "-", "最小化", "終了"}));
        QCOMPARE(f.window->tray_icon()->toolTip(), QStringLiteral("VeloraSimple"));
    }

    void closing_hides_and_no_keeps_the_program()
    {
        MainWindowFixture f;
        QVERIFY(f.window->isVisible());
        f.window->close(); // Alt+F4 or the window manager's close
        QVERIFY(!f.window->isVisible());
        f.window->show();
        answer_next_box(QStringLiteral("いいえ"));
        f.window->slot_right_menu_exit_clicked();
        QVERIFY(f.window->isVisible());
        QVERIFY(f.window->phone()->isRunning());
    }

    void yes_stops_the_engine_and_closes()
    {
        MainWindowFixture f;
        answer_next_box(QStringLiteral("はい"));
        f.window->slot_right_menu_exit_clicked();
        QVERIFY(!f.window->phone()->isRunning());
        QVERIFY(!f.window->isVisible());
    }

    // A real call to a second SIP core: what the keys, the recall and the history do around it.
    void during_a_call_keys_send_dtmf_and_history_cannot_dial()
    {
        MainWindowFixture f;
        PeerCore peer;
        const MainWindowForm& ui = f.window->form();
        const QString number = peer.uri(QStringLiteral("peer"));

        // Outside a call a key only appends and plays.
        QTest::mouseClick(ui.digitalButton[4], Qt::LeftButton);
        QCOMPARE(f.display(), QStringLiteral("4"));
        QTest::qWait(300);
        QVERIFY(peer.dtmf.isEmpty());
        QTest::keyClick(f.window, Qt::Key_Backspace);

        f.window->history_window()->show();
        f.window->slot_send_call_from_history_window(number);
        QCOMPARE(f.display(), number);
        QVERIFY(!f.window->history_window()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("通話中"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!ui.dialogTime->text().isEmpty(), 3000);
        QTest::qWait(300); // media settles on both sides

        // A call from the history while talking is refused: nothing dialled, display kept.
        f.window->slot_send_call_from_history_window(QStringLiteral("sip:other@127.0.0.1:9"));
        QCOMPARE(f.display(), number);

        for (int digit : {1, 5, 9}) {
            QTest::mouseClick(ui.digitalButton[digit], Qt::LeftButton);
            QTest::qWait(400);
        }
        QTRY_COMPARE_WITH_TIMEOUT(peer.dtmf, QStringLiteral("159"), 10000);
        QCOMPARE(f.display(), number + QStringLiteral("159"));
        QCOMPARE(peer.calls_received, 1);

        QTest::mouseClick(ui.terminateButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("ダイヤルできます"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), QString(), 5000);
        QCOMPARE(ui.dialogTime->text(), QString());

        // The call button with an empty display recalls the number; Return dials it again.
        QTest::mouseClick(ui.dialogButton, Qt::LeftButton);
        QCOMPARE(f.display(), number);
        QVERIFY(f.delete_shown());
        QTest::keyClick(f.window, Qt::Key_Return);
        QVERIFY(!f.delete_shown());
        QTRY_COMPARE_WITH_TIMEOUT(peer.calls_received, 2, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
        f.window->handle_client_command(QStringLiteral("hangup"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->phone()->phase(), int(PHASE_IDLE), 10000);
    }

    void logo_and_version()
    {
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        QCOMPARE(ui.versionLabel->text(), QStringLiteral("1.4.0"));
        QCOMPARE(ui.userId->text(), QStringLiteral("100"));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("VeloraSimple"));
        QCOMPARE(ui.dialogStatus->text(), QStringLiteral("未認証"));
        QTest::mouseClick(ui.logoButton, Qt::LeftButton);
        QCOMPARE(f.display(), QString());
        QCOMPARE(ui.digitalButton[5]->styleSheet(), zim::STYLE_DIGITAL_BUTTON);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
