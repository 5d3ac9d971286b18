#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/kamailiorunner.h"
#include "support/modalanswer.h"
#include "support/peercore.h"
#include "support/sipprunner.h"
#include "support/soundserver.h"
#include "support/testdir.h"
#include "ui/colleagues/colleagueswindow.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/history/historyrecord.h"
#include "ui/history/historywindow.h"
#include "ui/main/dialogincommingwindow.h"
#include "ui/main/fittedlabel.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSqlTableModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
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
    // `account` and `other` add to the stored settings.
    explicit MainWindowFixture(const QMap<QString, QString>& account = {},
                               const QMap<QString, QString>& other = {})
    {
        pin_sound_server(); // the cues are played for real
        old_home = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            data.save_account_settings({{"userId", "100"}});
            data.save_account_settings(account);
            data.save_other_settings(other);
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

// A call to a sipp callee that serves transfers, with 転送 pressed: the window asks for the target.
void call_and_press_transfer(MainWindowFixture& f, SippRunner& callee)
{
    QVERIFY(callee.start());
    f.window->phone()->request_dial(callee.uri(QStringLiteral("201")));
    QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
    QTest::mouseClick(f.window->form().transferButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(f.window->form().dialogStatus->text(), zim::STATUS_TRANSFER_PROMPT, 10000);
}

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

    // Keys as automation tools and keyboard-wedge devices send them, each with its real cue.
    void a_burst_of_keys_dials_exactly_what_was_typed()
    {
        MainWindowFixture f;
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(VELORA_BIN_DIR)); // where the cues are, as for the program
        const QString typed = QStringLiteral("0312345678");
        for (int spacing_ms : {0, 30}) {
            for (QChar digit : typed) {
                QCoreApplication::postEvent(f.window,
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key_0 + digit.digitValue(),
                                                          Qt::NoModifier, QString(digit)));
                if (spacing_ms)
                    QTest::qWait(spacing_ms);
            }
            QTRY_COMPARE_WITH_TIMEOUT(f.display().size(), typed.size(), 5000);
            QCOMPARE(f.display(), typed);
            f.window->slot_clear_phone_number();
        }
        QDir::setCurrent(cwd);
    }

    // Clicking the selector to pick a status leaves the keys with the dial pad, and a stray wheel
    // turn over it changes no status (so nothing is reported).
    void status_selector_takes_neither_keys_nor_stray_wheel_turns()
    {
        MainWindowFixture f;
        QComboBox* selector = f.window->operator_status_selector();
        QApplication::setActiveWindow(f.window);
        QTest::mouseClick(selector, Qt::LeftButton);
        selector->hidePopup();
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClicks(focus ? focus : f.window, QStringLiteral("123"));
        QCOMPARE(f.display(), QStringLiteral("123"));

        QSignalSpy changed(selector, QOverload<int>::of(&QComboBox::currentIndexChanged));
        const QPoint centre = selector->rect().center();
        QWheelEvent wheel(centre, selector->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(selector, &wheel);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(selector->currentIndex(), 0);
    }

    // Choosing a status before logging in opens the login beside the phone, ready for the password.
    void operator_login_opens_beside_the_phone_at_the_password()
    {
        MainWindowFixture f;
        f.window->data()->save_account_settings({{"operatorAddress", "127.0.0.1:9"}, {"operatorId", "op7"}});
        f.window->move(40, 40);
        f.window->operator_status_selector()->setCurrentIndex(1);
        QWidget* login = f.window->operator_reporter()->login_window();
        QTRY_VERIFY(login->isVisible());
        QVERIFY(!login->frameGeometry().intersects(f.window->frameGeometry()));
        QVERIFY(qAbs(login->frameGeometry().center().y() - f.window->frameGeometry().center().y()) < 40);
        QCOMPARE(login->findChild<QLineEdit*>(QStringLiteral("username"))->text(), QStringLiteral("op7"));
        QCOMPARE(login->focusWidget(), login->findChild<QLineEdit*>(QStringLiteral("password")));
    }

    // The list opens below the selector whatever is chosen, so the opening click picks nothing.
    void status_list_drops_below_the_selector()
    {
        MainWindowFixture f;
        QComboBox* selector = f.window->operator_status_selector();
        {
            const QSignalBlocker quiet(selector); // no report for this test
            selector->setCurrentIndex(3);
        }
        selector->showPopup();
        QWidget* list = selector->view()->window();
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 2000);
        QCOMPARE(list->geometry().top(), selector->mapToGlobal(QPoint(0, selector->height())).y());
        selector->hidePopup();
    }

    // A caller's user part or display name with markup shows its characters.
    void caller_text_is_shown_as_typed()
    {
        MainWindowFixture f;
        f.window->slot_set_phone_number(QStringLiteral("<b>201</b>"));
        DialogIncommingWindow popup(f.window, f.window->phone());
        for (QLabel* label : {f.window->form().phoneNumberLabel, popup.findChild<QLabel*>("phoneNumber")})
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void return_with_an_empty_display_dials_nothing()
    {
        MainWindowFixture f;
        QTest::keyClick(f.window, Qt::Key_Return);
        QTest::qWait(300);
        QCOMPARE(f.window->phone()->phase(), CallPhase::Idle);
        QVERIFY(!f.delete_shown());
    }

    // An input method in full-width mode: its digits and signs count as the plain ones. Tab
    // never stops on the keypad, and Escape closes 設定 and 履歴.
    void keyboard_use_of_the_phone_and_its_windows()
    {
        MainWindowFixture f;
        for (const QChar c : QStringLiteral("＋８１３＊＃＋")) { // as the X keyboard reports them
            QKeyEvent key(QEvent::KeyPress, c.unicode(), Qt::NoModifier, QString(c));
            QApplication::sendEvent(f.window, &key);
        }
        QCOMPARE(f.display(), QStringLiteral("+813*#"));

        QApplication::setActiveWindow(f.window);
        QList<QWidget*> keypad(std::begin(f.window->form().digitalButton),
                               std::end(f.window->form().digitalButton));
        keypad << f.window->form().starButton << f.window->form().poundButton;
        for (int step = 0; step < 30; ++step) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : f.window,
                            Qt::Key_Tab);
            QVERIFY(!keypad.contains(QApplication::focusWidget()));
        }

        f.window->slot_setting_button_clicked();
        f.window->slot_history_button_clicked();
        for (QWidget* window : {static_cast<QWidget*>(f.window->setting_window()),
                                static_cast<QWidget*>(f.window->history_window())}) {
            QVERIFY(window->isVisible());
            QWidget* field = window->focusWidget() ? window->focusWidget() : window;
            QTest::keyClick(field, Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
        }
    }

    void pasting_keeps_digits_and_one_leading_plus()
    {
        MainWindowFixture f;
        QApplication::clipboard()->setText(QStringLiteral("＋８１ (3) 1234-56ab*#78 +9"));
        QTest::keyClick(f.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.display(), QStringLiteral("+813123456789"));
        QVERIFY(f.delete_shown());
        // Inside a number a "+" means nothing: only the digits are added.
        QApplication::clipboard()->setText(QStringLiteral("+0"));
        QTest::keyClick(f.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.display(), QStringLiteral("+8131234567890"));

        MainWindowFixture empty;
        QApplication::clipboard()->setText(QStringLiteral("abc-()+"));
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

    // Nothing the operator reads is cut off: every notice of the status line (at scale 1, and at
    // scale 2 in the suite's second run), the selector, 設定 and 履歴. A long reason is drawn
    // smaller, still legible and whole; what does not fit is said in short, whole in the tooltip.
    void notices_selector_and_buttons_show_whole()
    {
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        auto* status = static_cast<FittedLabel*>(ui.dialogStatus);
        const auto whole = [status] {
            const QFont fitted = status->fitted_font();
            return fitted.pointSize() >= 7 &&
                   QFontMetrics(fitted).horizontalAdvance(status->text()) <= status->contentsRect().width();
        };
        const QString notices[] = {zim::STATUS_REGISTERING,
                                   zim::STATUS_REG_FAILED,
                                   zim::STATUS_NOT_REGISTERED,
                                   zim::STATUS_READY,
                                   zim::STATUS_CALLS_UNCHECKED,
                                   zim::STATUS_OUTGOING,
                                   zim::STATUS_INCOMING,
                                   zim::STATUS_IN_CALL,
                                   zim::STATUS_ON_HOLD,
                                   zim::STATUS_MUTED,
                                   zim::STATUS_RECORDING,
                                   zim::STATUS_LINE_POOR,
                                   zim::STATUS_REMOTE_HOLD,
                                   zim::STATUS_TRANSFER_PROMPT,
                                   zim::STATUS_TRANSFER_CALLING,
                                   zim::STATUS_TRANSFER_IN_CALL,
                                   zim::STATUS_TRANSFER_ON_HOLD,
                                   zim::STATUS_TRANSFER_REMOTE_HOLD,
                                   zim::STATUS_ONLINE,
                                   zim::STATUS_ENCRYPTION_REFUSED,
                                   zim::FAIL_BUSY,
                                   zim::FAIL_NO_ANSWER,
                                   zim::FAIL_UNREACHABLE,
                                   zim::FAIL_REJECTED,
                                   zim::FAIL_REQUEST_PENDING,
                                   zim::FAIL_HOLD_REFUSED,
                                   zim::FAIL_RECORDING,
                                   zim::FAIL_NO_ACCOUNT,
                                   zim::FAIL_UNSAFE_NUMBER,
                                   zim::FAIL_REG_CREDENTIALS,
                                   zim::FAIL_REG_TIMEOUT,
                                   zim::FAIL_REG_REFUSED,
                                   zim::FAIL_REG_CERTIFICATE,
                                   QStringLiteral("使えないグローバルキーあり"),
                                   QStringLiteral("グローバルキーは制限付き")};
        for (const QString& notice : notices) {
            f.window->slot_update_dialog_status(notice);
            QVERIFY2(whole(), qPrintable(notice));
        }
        f.window->slot_show_provisioning_error(
            QStringLiteral("/home/operator/.config/velora-softphone/provisioning.ini line 4: no such key"));
        QCOMPARE(status->text(), QStringLiteral("設定ファイルの誤り (4行目)"));
        QVERIFY(whole());
        QVERIFY(status->toolTip().contains(QStringLiteral("provisioning.ini line 4: no such key")));
        for (QWidget* widget :
             {static_cast<QWidget*>(ui.settingButton), static_cast<QWidget*>(ui.historyButton),
              static_cast<QWidget*>(f.window->operator_status_selector())})
            QVERIFY2(widget->height() >= widget->sizeHint().height(), qPrintable(widget->objectName()));
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

    // A prompt ends with what it prompted for: a blind transfer the target refuses gives the call
    // back, and the status line says the call, not the transfer prompt.
    void a_failed_transfer_ends_its_prompt()
    {
        MainWindowFixture f;
        const MainWindowForm& ui = f.window->form();
        SippRunner callee(QStringLiteral("callee.xml"));
        call_and_press_transfer(f, callee);
        if (QTest::currentTestFailed())
            return;
        f.window->phone()->request_transfer_step(QStringLiteral("sip:unreachable@127.0.0.1:5999"));
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), zim::STATUS_TRANSFER_FAILED, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), zim::STATUS_IN_CALL, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), callee.uri(QStringLiteral("201")), 5000);
        f.window->phone()->request_hangup();
        QVERIFY(callee.wait_finished(15000));
    }

    // A blind transfer the target takes: 転送完了しました shows for its time, and the operator's
    // next number typed over it is a number of its own, never appended to the message.
    void a_number_typed_after_a_transfer_is_only_the_number()
    {
        MainWindowFixture f;
        SippRunner callee(QStringLiteral("callee.xml"));
        call_and_press_transfer(f, callee);
        if (QTest::currentTestFailed())
            return;
        f.window->phone()->request_transfer_step(QStringLiteral("sip:300@127.0.0.1:9"));
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), zim::STATUS_TRANSFER_DONE, 15000);
        QTest::keyClicks(f.window, QStringLiteral("209"));
        QCOMPARE(f.display(), QStringLiteral("209"));
        QTest::qWait(2300); // past the message's time
        QCOMPARE(f.display(), QStringLiteral("209"));
        QVERIFY(callee.wait_finished(15000));
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
        QTest::newRow("call without a number") << "call&"
                                               << ""
                                               << "call without a number." << false;
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
        // Nothing from another program names a host: the call would bypass the account's server.
        const QString refused = QStringLiteral("number refused, it names more than a number: ");
        QTest::newRow("link with an escaped host") << "sip:x%40evil.example@pbx.example.com"
                                                   << "" << refused + "x@evil.example" << false;
        QTest::newRow("call naming a host") << "call&201@evil.example:5060"
                                            << "" << refused + "201@evil.example:5060" << false;
        QTest::newRow("blind transfer naming a host") << "blindtransfer&sip:300@127.0.0.1:9"
                                                      << "" << refused + "sip:300@127.0.0.1:9" << false;
        QTest::newRow("call with a control character") << "call&20\x01"
                                                       << "" << refused + "20%01" << false;
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
                 QStringList({"設定", "外部連携設定", "アカウント設定", "その他", "履歴", "内線状態",
                              "バージョン情報", "-", "通話", "保留", "消音", "録音", "転送", "切断", "-",
                              "開く", "終了"}));
        QTimer::singleShot(200, [&f] { f.window->right_menu()->close(); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10));
        QApplication::sendEvent(f.window, &event);
        QCOMPARE(texts(f.window->right_menu()),
                 QStringList({"設定", "外部連携設定", "アカウント設定", "その他", "履歴", "内線状態",
                              "バージョン情報", "-", "通話", "保留", "消音", "録音", "転送", "切断", "-",
                              "最小化", "終了"}));
        QCOMPARE(f.window->tray_icon()->toolTip(), QStringLiteral("VeloraSimple"));
        f.window->tray_context_menu()->actions().at(1)->trigger();
        QWidget* outlink = f.window->findChild<QWidget*>(QStringLiteral("OutlinkSetting"));
        QVERIFY(outlink && outlink->isVisible());
        // The account page opens where the operator's login ID is set.
        f.window->right_menu()->actions().at(2)->trigger();
        QWidget* account = f.window->findChild<QWidget*>(QStringLiteral("AccountSetting"));
        QVERIFY(account && account->isVisible());
        auto* tabs = account->findChild<QTabWidget*>(QStringLiteral("SIP"));
        QCOMPARE(tabs->tabText(tabs->currentIndex()), QStringLiteral("オペレータ設定"));
        // その他 leads to the desk's global keys and auto-answer.
        f.window->tray_context_menu()->actions().at(3)->trigger();
        QWidget* other = f.window->findChild<QWidget*>(QStringLiteral("OtherSetting"));
        QVERIFY(other && other->isVisible());
        auto* other_tabs = other->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        QVERIFY(other_tabs->findChild<QWidget*>(QStringLiteral("autoAnswer")));
        QVERIFY(other_tabs->findChild<QWidget*>(QStringLiteral("hotkeyAnswer")));
    }

    // 内線状態 opens from both menus and F2; a click on a colleague while a call is connected hands
    // the call to them (blind).
    void colleagues_window_opens_from_menus_and_f2_and_a_click_transfers()
    {
        KamailioRunner server;
        QVERIFY(server.start());
        MainWindowFixture f({{"address", "127.0.0.1"},
                             {"port", QString::number(server.port())},
                             {"userId", "1001"},
                             {"password", "secret"}},
                            {{"colleagues", "鈴木,202"}});
        ColleaguesWindow* colleagues = f.window->colleagues();
        QTest::keyClick(f.window, Qt::Key_F2);
        QVERIFY(colleagues->isVisible());
        QCOMPARE(colleagues->windowTitle(), QStringLiteral("内線状態"));
        QCOMPARE(colleagues->state_text(0), QStringLiteral("不明")); // no server to ask
        colleagues->hide();
        QTimer::singleShot(200, [&f] { f.window->right_menu()->close(); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10));
        QApplication::sendEvent(f.window, &event);
        for (QMenu* menu : {f.window->tray_context_menu(), f.window->right_menu()}) {
            colleagues->hide();
            menu->actions().at(5)->trigger();
            QVERIFY(colleagues->isVisible());
        }
        SippRunner callee(QStringLiteral("callee.xml"));
        QVERIFY(callee.start());
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_registered(), 15000);
        f.window->phone()->request_dial(callee.number());
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
        QTableWidget* table = colleagues->table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualItemRect(table->item(0, 1)).center());
        QTRY_VERIFY2_WITH_TIMEOUT(!callee.received_requests(QStringLiteral("REFER")).isEmpty(),
                                  qPrintable(f.log().right(1500)), 10000);
        QVERIFY(callee.received_requests(QStringLiteral("REFER"))
                    .first()
                    .header(QStringLiteral("Refer-To"))
                    .contains("202"));
        QVERIFY(callee.wait_finished(15000));
    }

    // "answer" only answers: a number on the display stays undialled, however often it comes.
    void answer_with_nothing_ringing_dials_nothing()
    {
        MainWindowFixture f;
        PeerCore peer;
        const QString number = peer.uri(QStringLiteral("peer"));
        f.window->slot_set_phone_number(number);
        f.window->handle_client_command(QStringLiteral("answer"));
        f.window->handle_client_command(QStringLiteral("answer"));
        QTest::qWait(1500);
        QCOMPARE(peer.calls_received, 0);
        QCOMPARE(f.window->phone()->phase(), CallPhase::Idle);
        QCOMPARE(f.display(), number);
    }

    // A call link, callto or call while a call rings is refused: the call rings on (the caller
    // gives up and gets 487, never a 200) and the display keeps the caller's number.
    void a_call_link_while_a_call_rings_is_refused()
    {
        MainWindowFixture f;
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->local_sip_port() > 0, 10000);
        SippRunner caller(QStringLiteral("uac_cancel_after_ring.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(f.window->phone()->local_sip_port()));
        caller.add_arguments({"-s", "100", "-d", "2500"});
        QVERIFY(caller.start());
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_incoming_ringing(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), QStringLiteral("401"), 5000);
        for (const char* command : {"sip:201@pbx.example.com", "callto:202", "call&203"})
            f.window->handle_client_command(QString::fromLatin1(command));
        QTest::qWait(500);
        QVERIFY(f.window->phone()->is_incoming_ringing());
        QCOMPARE(f.display(), QStringLiteral("401"));
        for (const char* number : {"201", "202", "203"})
            QVERIFY2(f.log().contains(QStringLiteral("] call refused, the phone is busy with a call: ") +
                                      QString::fromLatin1(number) + QLatin1Char('\n')),
                     qPrintable(f.log()));
        QVERIFY(caller.wait_finished(10000));
        QCOMPARE(caller.exit_code(), 0);
    }

    // Settings and history open beside the main window, on whichever side has room, never over
    // its keypad.
    void settings_open_beside_the_main_window()
    {
        MainWindowFixture f;
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        for (int x : {area.left(), area.right() + 1 - f.window->width()}) {
            f.window->move(x, area.top());
            f.window->slot_setting_button_clicked();
            const QRect settings = f.window->setting_window()->frameGeometry();
            QVERIFY2(!settings.intersects(f.window->frameGeometry()), qPrintable(QString::number(x)));
            QVERIFY(area.contains(settings));
            f.window->setting_window()->hide();
        }
        // With the phone in the middle of a small screen neither side has room: the phone makes it.
        QVERIFY(area.width() < 2 * f.window->width() + f.window->setting_window()->width());
        const QList<QPair<void (MainWindow::*)(), QWidget*>> windows{
            {&MainWindow::slot_setting_button_clicked, f.window->setting_window()},
            {&MainWindow::slot_history_button_clicked, f.window->history_window()}};
        for (const auto& [open, opened] : windows) {
            f.window->move(area.center() - f.window->rect().center());
            (f.window->*open)();
            QVERIFY(opened->isVisible());
            QVERIFY(!opened->frameGeometry().intersects(f.window->frameGeometry()));
            QVERIFY(area.contains(opened->frameGeometry()));
            QVERIFY(area.contains(f.window->frameGeometry()));
            opened->hide();
        }
    }

    // The test display has no system tray: closing leaves the phone in the task bar, where the
    // operator finds it again, and the next start brings it up.
    void closing_without_a_tray_minimises_and_no_keeps_the_program()
    {
        MainWindowFixture f;
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        f.window->close(); // Alt+F4 or the window manager's close
        QVERIFY(f.window->isVisible());
        QVERIFY(f.window->isMinimized());
        f.window->bring_to_front(); // as a later start of the program does
        QVERIFY(!f.window->isMinimized());
        QTest::mouseClick(f.window->form().closeButton, Qt::LeftButton);
        QVERIFY(f.window->isVisible() && f.window->isMinimized());
        f.window->bring_to_front();
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

        // A history row naming a host is not dialled: it would bypass the account's server.
        f.window->history_window()->show();
        f.window->slot_send_call_from_history_window(number);
        QCOMPARE(f.display(), QString());
        QCOMPARE(ui.dialogStatus->text(), zim::FAIL_UNSAFE_NUMBER);
        QVERIFY(f.window->history_window()->isVisible());
        f.window->history_window()->hide();

        // Only digits are dialled from the keys: an address on the display is not.
        f.window->slot_set_phone_number(number);
        QTest::keyClick(f.window, Qt::Key_Return);
        QCOMPARE(ui.dialogStatus->text(), zim::FAIL_UNSAFE_NUMBER);
        QTest::qWait(300);
        QCOMPARE(peer.calls_received, 0);
        // The peer has no server to be reached through: the engine dials its address.
        f.window->phone()->request_dial(number);
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

        // Mute: M, the 消音 key shown during the call, and the menu item, each one way round.
        QVERIFY(ui.muteButton->isVisible());
        QTest::keyClick(f.window, Qt::Key_M);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("ミュート中"), 5000);
        QVERIFY(ui.muteButton->isChecked());
        QTest::mouseClick(ui.muteButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("通話中"), 5000);
        QVERIFY(!ui.muteButton->isChecked());
        // Recording: R starts it, the 録音 key shown beside 消音 stops it.
        QVERIFY(ui.recordButton->isVisible() && !ui.recordButton->isChecked());
        QTest::keyClick(f.window, Qt::Key_R);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("録音中"), 5000);
        QTRY_VERIFY(ui.recordButton->isChecked());
        QTest::qWait(1000);
        QTest::mouseClick(ui.recordButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("通話中"), 5000);
        QVERIFY(!ui.recordButton->isChecked());
        f.window->tray_context_menu()->actions().at(10)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("ミュート中"), 5000);

        QTest::mouseClick(ui.terminateButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ui.dialogStatus->text(), QStringLiteral("ダイヤルできます"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), QString(), 5000);
        QCOMPARE(ui.dialogTime->text(), QString());
        QVERIFY(!ui.muteButton->isVisible() && !ui.muteButton->isChecked()); // mute ends with the call
        // The call's row is marked recorded, and 再生 plays it back (停止 while it plays).
        HistoryWindow* history = f.window->history_window();
        QTRY_VERIFY(history->model()->rowCount() > 0);
        const QModelIndex recorded = history->proxy(0)->index(0, 2);
        QVERIFY(!history_record::recording_of(recorded).isEmpty());
        history->table(0)->setCurrentIndex(recorded);
        auto* play = history->findChild<QPushButton*>(QStringLiteral("playButton"));
        QVERIFY(play->isEnabled());
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(play->text(), QStringLiteral("停止"), 5000);
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(play->text(), QStringLiteral("再生"), 5000);

        // The call button with an empty display recalls the number; Return dials it again.
        QTest::mouseClick(ui.dialogButton, Qt::LeftButton);
        QCOMPARE(f.display(), number);
        QVERIFY(f.delete_shown());
        QTest::keyClick(f.window, Qt::Key_Return);
        QVERIFY(!f.delete_shown());
        QTRY_COMPARE_WITH_TIMEOUT(peer.calls_received, 2, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
        f.window->handle_client_command(QStringLiteral("hangup"));
        QTRY_COMPARE_WITH_TIMEOUT(f.window->phone()->phase(), CallPhase::Idle, 10000);
    }

    // A named caller with a 19-digit number rings while a number is half typed: the popup and the
    // main display show the number whole and the name as written, Return answers, and the typed
    // number is back once the call is over.
    void incoming_call_names_the_caller_and_keeps_the_typed_number()
    {
        MainWindowFixture f;
        const QString long_number = QStringLiteral("0033010442079460951");
        QTest::keyClicks(f.window, QStringLiteral("031"));
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->local_sip_port() > 0, 10000);
        SippRunner caller(QStringLiteral("uac_named_caller_waits_for_bye.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(f.window->phone()->local_sip_port()));
        caller.add_arguments(
            {"-s", "100", "-key", "from_name", "<b>山田</b>", "-key", "from_user", long_number});
        QVERIFY(caller.start());
        QTRY_VERIFY_WITH_TIMEOUT(f.window->incoming_window() && f.window->incoming_window()->isVisible(),
                                 15000);
        QWidget* popup = f.window->incoming_window();
        auto* name = popup->findChild<QLabel*>(QStringLiteral("callerName"));
        auto* number = popup->findChild<QLabel*>(QStringLiteral("phoneNumber"));
        QCOMPARE(name->text(), QStringLiteral("<b>山田</b>"));
        QCOMPARE(name->textFormat(), Qt::PlainText);
        QVERIFY(name->isVisible());
        QVERIFY(name->mapToGlobal(QPoint()).y() + name->height() <= number->mapToGlobal(QPoint()).y());
        const MainWindowForm& ui = f.window->form();
        for (QLabel* label : {number, ui.phoneNumberLabel}) {
            auto* fitted = static_cast<FittedLabel*>(label);
            QCOMPARE(fitted->shown_text(), label->text());
            QVERIFY(QFontMetrics(fitted->fitted_font()).horizontalAdvance(label->text()) <=
                    label->contentsRect().width());
        }
        QCOMPARE(number->text(), long_number + QStringLiteral(" から着信中・・・"));
        QCOMPARE(f.display(), long_number);
        const auto name_under_number = [&ui] {
            return ui.callerNameLabel->text() == QStringLiteral("<b>山田</b>") &&
                   ui.callerNameLabel->isVisible() &&
                   ui.callerNameLabel->y() >= ui.phoneNumberLabel->geometry().bottom();
        };
        QVERIFY(name_under_number());

        QTest::keyClick(f.window, Qt::Key_Return); // answers, dials nothing
        QTRY_VERIFY_WITH_TIMEOUT(f.window->phone()->is_current_streaming(), 15000);
        QVERIFY(name_under_number());
        QTest::mouseClick(f.window->form().terminateButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(f.display(), QStringLiteral("031"), 10000);
        QCOMPARE(ui.callerNameLabel->text(), QString());
        QVERIFY(f.delete_shown());

        // Only a number too long even for the smallest type loses its middle.
        const QString very_long = QString(20, QLatin1Char('1')) + QString(20, QLatin1Char('9'));
        f.window->slot_set_phone_number(very_long);
        const QString shown = static_cast<FittedLabel*>(ui.phoneNumberLabel)->shown_text();
        QVERIFY2(shown.startsWith(QStringLiteral("111")) && shown.endsWith(QStringLiteral("999")) &&
                     shown.contains(QChar(0x2026)),
                 qPrintable(shown));
        QCOMPARE(f.display(), very_long);
        QVERIFY(caller.wait_finished(10000));
    }

    // A drag that starts on the logo moves the window like one on the frame, never off the
    // available area, and the next start opens where it was dropped.
    void dragging_by_the_logo_stays_on_screen_and_is_remembered()
    {
        MainWindowFixture f;
        QWidget* logo = f.window->form().logoButton;
        const auto mouse = [logo](QEvent::Type type, const QPoint& global) {
            QMouseEvent event(type, logo->mapFromGlobal(global), global, Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(logo, &event);
        };
        const QRect area = f.window->screen()->availableGeometry();
        const QPoint start = area.topLeft() + QPoint(20, 20);
        f.window->move(start);
        const QPoint grip = logo->mapToGlobal(QPoint(20, 20));
        mouse(QEvent::MouseButtonPress, grip);
        mouse(QEvent::MouseMove, grip + QPoint(60, 60));
        QCOMPARE(f.window->pos(), start + QPoint(60, 60));
        mouse(QEvent::MouseMove, grip + QPoint(-500, -500));
        QCOMPARE(f.window->pos(), area.topLeft());
        mouse(QEvent::MouseMove, grip + QPoint(30, 40));
        mouse(QEvent::MouseButtonRelease, grip + QPoint(30, 40));
        const QPoint dropped = start + QPoint(30, 40);
        QCOMPARE(f.window->pos(), dropped);

        delete f.window;
        f.window = new MainWindow;
        QCOMPARE(f.window->pos(), dropped);
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
