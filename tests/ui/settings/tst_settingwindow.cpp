// The combined settings window: loading on every opening, saving both parts, the refusal during
// a call, a store that refuses writes, and the controls' own rules.

#include "settingsfixture.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/sipprunner.h"
#include "ui/settings/settingsnotice.h"
#include "ui/settings/settingwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

namespace {

template <typename T> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QLineEdit* edit(QWidget* w, const char* name)
{
    return child<QLineEdit>(w, name);
}

QComboBox* combo(QWidget* w, const char* name)
{
    return child<QComboBox>(w, name);
}

QStringList items(QComboBox* box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result.append(box->itemText(i));
    return result;
}

void click(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

void type_into(QLineEdit* field, const QString& text)
{
    field->clear();
    QTest::keyClicks(field, text);
}

const QMap<QString, QString> STORED_ACCOUNT = {{"address", "sip.example.com"},
                                               {"port", "5060"},
                                               {"userId", "1001"},
                                               {"password", "old-secret"},
                                               {"operatorAddress", "ops.example.com"}};

} // namespace

class TestSettingWindow : public QObject
{
    Q_OBJECT
private slots:
    void window_has_its_title_size_tabs_and_tooltips();
    void fresh_store_shows_empty_account_and_gain_five();
    void stored_gain_is_shown_or_falls_back_to_five_data();
    void stored_gain_is_shown_or_falls_back_to_five();
    void stored_devices_are_selected_and_a_vanished_one_gives_the_first();
    void save_when_idle_writes_both_parts_and_registers_the_new_account();
    void save_during_call_applies_devices_at_once_and_the_account_after_it();
    void read_only_store_warns_keeps_edits_and_applies_nothing();
    void cancel_or_close_then_reopen_shows_the_stored_values();
    void saving_only_devices_does_not_register_again();
    void port_accepts_only_numbers_up_to_65535();
    void password_echo_follows_the_check_box();
    void colleagues_page_keeps_the_list_refuses_a_bad_extension_and_follows_a_lock();
};

void TestSettingWindow::window_has_its_title_size_tabs_and_tooltips()
{
    SettingsFixture fixture;
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    QCOMPARE(window.windowTitle(), QStringLiteral("設定"));
    QCOMPARE(window.size(), QSize(413, 409)); // taller by the four account security rows
    QVERIFY(window.windowFlags() & Qt::Window);
    QVERIFY(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    // Centred in the primary screen's available area, whose origin is not added.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window.pos(), QPoint((available.width() - 413) / 2, (available.height() - 409) / 2));
    auto* tabs = child<QTabWidget>(&window, "tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("アカウント設定"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("その他設定"));
    QCOMPARE(child<QLabel>(&window, "playbackLabel")->toolTip(),
             QStringLiteral("通話で使用するスピーカーデバイスを指定します"));
    QCOMPARE(child<QLabel>(&window, "ringbackLabel")->toolTip(),
             QStringLiteral("着信音を鳴らすデバイスを指定します"));
    QCOMPARE(child<QLabel>(&window, "captureLabel")->toolTip(),
             QStringLiteral("通話で使用するマイクデバイスを指定します"));
    QCOMPARE(child<QLabel>(&window, "captureGainLabel")->toolTip(),
             QStringLiteral("マイクの感度を調節します\n※PulseAudio（デスクトップのサウンド設定）の音量調節と"
                            "は独立しています"));
    auto* note = child<QLabel>(&window, "label_7");
    QCOMPARE(note->text(),
             QStringLiteral("※デバッグモードは再起動後に有効になります")); // devices apply at once
    QVERIFY(note->font().bold());
    auto* slider = child<QSlider>(&window, "captureGainSlider");
    QCOMPARE(slider->minimum(), 1);
    QCOMPARE(slider->maximum(), 10);
    QCOMPARE(child<QPushButton>(&window, "saveButton")->text(), QStringLiteral("保存"));
    QCOMPARE(child<QPushButton>(&window, "cancelButton")->text(), QStringLiteral("キャンセル"));
}

void TestSettingWindow::fresh_store_shows_empty_account_and_gain_five()
{
    SettingsFixture fixture;
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    for (const char* name : {"address", "port", "userid", "password"})
        QCOMPARE(edit(&window, name)->text(), QString());
    QCOMPARE(child<QSlider>(&window, "captureGainSlider")->value(), 5);
    QCOMPARE(child<QLabel>(&window, "gainValueLabel")->text(), QStringLiteral("5"));
    QVERIFY(!child<QCheckBox>(&window, "debugModel")->isChecked());

    // The lists are the engine's devices, players in both the speaker and the ringer list.
    const QStringList players = fixture.playback_devices();
    QCOMPARE(items(combo(&window, "playbackComboBox")), players);
    QCOMPARE(items(combo(&window, "ringbackComboBox")), players);
    QCOMPARE(items(combo(&window, "captureComboBox")), fixture.capture_devices());
    if (!players.isEmpty())
        QCOMPARE(combo(&window, "playbackComboBox")->currentIndex(), 0);
}

void TestSettingWindow::stored_gain_is_shown_or_falls_back_to_five_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("zero") << "0" << 5;
    QTest::newRow("not a number") << "abc" << 5;
    QTest::newRow("empty") << "" << 5;
    QTest::newRow("negative") << "-3" << 5;
    QTest::newRow("seven") << "7" << 7;
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("above the range") << "15" << 10;
}

void TestSettingWindow::stored_gain_is_shown_or_falls_back_to_five()
{
    QFETCH(QString, stored);
    QFETCH(int, shown);
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_media_settings({{"captureGain", stored}}));
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    auto* slider = child<QSlider>(&window, "captureGainSlider");
    auto* label = child<QLabel>(&window, "gainValueLabel");
    QCOMPARE(slider->value(), shown);
    QCOMPARE(label->text(), QString::number(shown));
    // Moving the slider updates the number beside it at once.
    slider->setValue(shown == 3 ? 4 : 3);
    QCOMPARE(label->text(), QString::number(slider->value()));
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(label->text(), QStringLiteral("10"));
}

void TestSettingWindow::stored_devices_are_selected_and_a_vanished_one_gives_the_first()
{
    SettingsFixture fixture;
    const QStringList players = fixture.playback_devices();
    const QStringList recorders = fixture.capture_devices();
    if (players.isEmpty() || recorders.isEmpty())
        QSKIP("the engine lists no sound device here (is the PulseAudio null sink running?)");
    fixture.data()->save_media_settings({{"playback", "Unplugged USB Headset"},
                                         {"ringback", players.last()},
                                         {"capture", recorders.last()},
                                         {"captureGain", "3"}});
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QCOMPARE(combo(&window, "playbackComboBox")->currentIndex(), 0);
    QCOMPARE(combo(&window, "ringbackComboBox")->currentText(), players.last());
    QCOMPARE(combo(&window, "captureComboBox")->currentText(), recorders.last());

    ModalAnswerer answerer;
    click(&window, "saveButton");
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!window.isVisible());
    const QMap<QString, QString> media = fixture.stored(ZimData::Media);
    QCOMPARE(media.value("playback"), players.first());
    QCOMPARE(media.value("ringback"), players.last());
    QCOMPARE(media.value("capture"), recorders.last());
    QCOMPARE(media.value("captureGain"), QStringLiteral("3"));
}

void TestSettingWindow::save_when_idle_writes_both_parts_and_registers_the_new_account()
{
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "2002", "-key", "authpass", "new-secret"});
    QVERIFY(registrar.start());
    SettingsFixture fixture;
    fixture.data()->save_account_settings({{"operatorAddress", "ops.example.com"}});
    fixture.start_engine();

    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    type_into(edit(&window, "address"), "127.0.0.1");
    type_into(edit(&window, "port"), QString::number(registrar.port()));
    type_into(edit(&window, "userid"), "2002");
    type_into(edit(&window, "password"), "new-secret");
    QCOMPARE(combo(&window, "transport")->currentText(), QStringLiteral("UDP")); // registrar is UDP
    combo(&window, "mediaEncryption")->setCurrentIndex(1);
    child<QSlider>(&window, "captureGainSlider")->setValue(8);
    child<QCheckBox>(&window, "debugModel")->setChecked(true);

    ModalAnswerer answerer;
    click(&window, "saveButton");
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!window.isVisible());

    const QMap<QString, QString> account = fixture.stored(ZimData::Account);
    QCOMPARE(account.value("address"), QStringLiteral("127.0.0.1"));
    QCOMPARE(account.value("port"), QString::number(registrar.port()));
    QCOMPARE(account.value("userId"), QStringLiteral("2002"));
    QCOMPARE(account.value("password"), QStringLiteral("new-secret"));
    QCOMPARE(account.value("transport"), QStringLiteral("UDP"));
    QCOMPARE(account.value("mediaEncryption"), QStringLiteral("srtp"));
    QCOMPARE(account.value("operatorAddress"), QStringLiteral("ops.example.com"));
    QCOMPARE(fixture.stored(ZimData::Media).value("captureGain"), QStringLiteral("8"));
    QCOMPARE(fixture.stored(ZimData::Other).value("debugModel"), QStringLiteral("1"));

    // The engine registers with the account just saved.
    QVERIFY2(wait_until([&] { return registrar.received_requests("REGISTER").size() >= 2; }, 15000),
             qPrintable(registrar.output()));
    const auto registers = registrar.received_requests("REGISTER");
    QVERIFY(registers[0].header("From").contains("sip:2002@127.0.0.1"));
    QVERIFY(registers[1].header("Authorization").contains("username=\"2002\""));
}

// During a call the devices and the gain are saved and applied without a word; a changed account is
// saved too, and the one box names what waits for the call's end.
void TestSettingWindow::save_during_call_applies_devices_at_once_and_the_account_after_it()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    SettingsFixture fixture;
    fixture.start_engine();
    QVERIFY(fixture.start_call(callee));
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));

    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    child<QSlider>(&window, "captureGainSlider")->setValue(9);
    child<QCheckBox>(&window, "debugModel")->setChecked(true);
    {
        ModalAnswerer answerer;
        click(&window, "saveButton");
        QCOMPARE(answerer.boxes.size(), 0);
    }
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Media).value("captureGain"), QStringLiteral("9"));
    QCOMPARE(fixture.stored(ZimData::Other).value("debugModel"), QStringLiteral("1"));

    window.show();
    type_into(edit(&window, "address"), "other.example.com");
    type_into(edit(&window, "password"), "new-secret");
    ModalAnswerer answerer;
    click(&window, "saveButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("設定の反映"));
    QVERIFY2(answerer.boxes[0].text.contains(
                 QStringLiteral("通話の終了後に反映されます：\nSIPサーバーアドレス、パスワード\n")),
             qPrintable(answerer.boxes[0].text));
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Account).value("address"), QStringLiteral("other.example.com"));
    // The call is untouched by the save; the new account registers once it has ended.
    QTest::qWait(700);
    QVERIFY(fixture.phone()->is_current_streaming());
    QVERIFY(!read_text_file(ZimLogger::log_path()).contains(QStringLiteral("the saved account registers")));
    QVERIFY(fixture.end_call());
    QTRY_VERIFY_WITH_TIMEOUT(
        read_text_file(ZimLogger::log_path()).contains(QStringLiteral("the saved account registers")), 5000);
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

void TestSettingWindow::read_only_store_warns_keeps_edits_and_applies_nothing()
{
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "2002", "-key", "authpass", "x"});
    QVERIFY(registrar.start());
    SettingsFixture fixture;
    const QMap<QString, QString> account = {{"address", "127.0.0.1"},
                                            {"port", QString::number(registrar.port())},
                                            {"userId", "2002"},
                                            {"password", "x"}};
    QVERIFY(fixture.data()->save_account_settings(account));
    QVERIFY(fixture.data()->save_media_settings({{"captureGain", "4"}}));
    fixture.start_engine();
    // Registered: a challenged REGISTER and its answer.
    QVERIFY2(wait_until([&] { return registrar.received_requests("REGISTER").size() >= 2; }, 15000),
             qPrintable(registrar.output()));
    settle(300);
    const int registers_before = registrar.received_requests("REGISTER").size();
    QVERIFY(fixture.make_store_read_only());

    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    type_into(edit(&window, "userid"), "2003");
    type_into(edit(&window, "password"), "y");
    child<QSlider>(&window, "captureGainSlider")->setValue(9);
    child<QCheckBox>(&window, "debugModel")->setChecked(true);

    ModalAnswerer answerer;
    click(&window, "saveButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("設定を保存できませんでした"));
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("設定"));
    QCOMPARE(answerer.boxes[0].default_button, int(QMessageBox::Yes));

    // The window stays with the edits; nothing reached the database or the engine.
    QVERIFY(window.isVisible());
    QCOMPARE(edit(&window, "userid")->text(), QStringLiteral("2003"));
    QCOMPARE(edit(&window, "password")->text(), QStringLiteral("y"));
    QCOMPARE(child<QSlider>(&window, "captureGainSlider")->value(), 9);
    QVERIFY(child<QCheckBox>(&window, "debugModel")->isChecked());
    QCOMPARE(fixture.stored(ZimData::Account), account);
    QCOMPARE(fixture.stored(ZimData::Media).value("captureGain"), QStringLiteral("4"));
    QVERIFY(fixture.stored(ZimData::Other).isEmpty());
    // A re-registration would unregister and register again at once.
    settle(1500);
    QCOMPARE(registrar.received_requests("REGISTER").size(), registers_before);
}

// A save that changes no account key (here the gain) registers nothing again: no unregistration,
// no gap in which calls cannot reach the operator.
void TestSettingWindow::saving_only_devices_does_not_register_again()
{
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "2002", "-key", "authpass", "x", "-m", "10"});
    QVERIFY(registrar.start());
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings({{"address", "127.0.0.1"},
                                                   {"port", QString::number(registrar.port())},
                                                   {"userId", "2002"},
                                                   {"password", "x"}}));
    fixture.start_engine();
    QVERIFY2(wait_until([&] { return registrar.received_requests("REGISTER").size() >= 2; }, 15000),
             qPrintable(registrar.output()));
    settle(300);
    const int registers_before = registrar.received_requests("REGISTER").size();

    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    child<QSlider>(&window, "captureGainSlider")->setValue(9);
    click(&window, "saveButton");
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Media).value("captureGain"), QStringLiteral("9"));
    settle(1500);
    QCOMPARE(registrar.received_requests("REGISTER").size(), registers_before);
}

void TestSettingWindow::cancel_or_close_then_reopen_shows_the_stored_values()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    QVERIFY(fixture.data()->save_media_settings({{"captureGain", "6"}}));
    QVERIFY(fixture.data()->save_other_settings({{"debugModel", "1"}}));
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());

    for (const char* leave : {"cancel", "close"}) {
        window.show();
        type_into(edit(&window, "address"), "typed.example.com");
        type_into(edit(&window, "port"), "1234");
        type_into(edit(&window, "userid"), "9999");
        type_into(edit(&window, "password"), "typed");
        child<QSlider>(&window, "captureGainSlider")->setValue(2);
        child<QCheckBox>(&window, "debugModel")->setChecked(false);
        if (QByteArray(leave) == "cancel") {
            click(&window, "cancelButton");
        } else {
            // Closing only hides: the object stays for the next opening.
            QVERIFY(!window.close());
        }
        QVERIFY2(!window.isVisible(), leave);
        QCOMPARE(fixture.stored(ZimData::Account), STORED_ACCOUNT);

        window.show();
        QCOMPARE(edit(&window, "address")->text(), QStringLiteral("sip.example.com"));
        QCOMPARE(edit(&window, "port")->text(), QStringLiteral("5060"));
        QCOMPARE(edit(&window, "userid")->text(), QStringLiteral("1001"));
        QCOMPARE(edit(&window, "password")->text(), QStringLiteral("old-secret"));
        QCOMPARE(child<QSlider>(&window, "captureGainSlider")->value(), 6);
        QCOMPARE(child<QLabel>(&window, "gainValueLabel")->text(), QStringLiteral("6"));
        QVERIFY(child<QCheckBox>(&window, "debugModel")->isChecked());
        window.hide();
    }
}

void TestSettingWindow::port_accepts_only_numbers_up_to_65535()
{
    SettingsFixture fixture;
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QLineEdit* port = edit(&window, "port");
    auto* validator = qobject_cast<const QIntValidator*>(port->validator());
    QVERIFY(validator);
    QCOMPARE(validator->bottom(), 1);
    QCOMPARE(validator->top(), 65535);

    type_into(port, "65535");
    QCOMPARE(port->text(), QStringLiteral("65535"));
    QVERIFY(port->hasAcceptableInput());
    type_into(port, "0");
    QVERIFY(!port->hasAcceptableInput());
    type_into(port, "5a0b6c0");
    QCOMPARE(port->text(), QStringLiteral("5060"));
    type_into(port, "655350");
    QCOMPARE(port->text(), QStringLiteral("65535"));
    type_into(port, "65536");
    QVERIFY(!port->hasAcceptableInput());
    // No sign: the minus is refused as it is typed.
    type_into(port, "-1");
    QCOMPARE(port->text(), QStringLiteral("1"));

    // Five digits pass while typing; the save refuses what is out of range and keeps the edits.
    type_into(port, "99999");
    ModalAnswerer answerer;
    click(&window, "saveButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].text, SettingsNotice::MSG_BAD_PORT);
    QVERIFY(window.isVisible());
    QCOMPARE(port->text(), QStringLiteral("99999"));
    QVERIFY(fixture.stored(ZimData::Account).isEmpty());
}

void TestSettingWindow::password_echo_follows_the_check_box()
{
    SettingsFixture fixture;
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QLineEdit* password = edit(&window, "password");
    auto* show_password = child<QCheckBox>(&window, "showPassword");
    QCOMPARE(show_password->text(), QStringLiteral("パスワードの文字を表示する"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QTest::mouseClick(show_password, Qt::LeftButton, {}, QPoint(5, show_password->height() / 2));
    QVERIFY(show_password->isChecked());
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QTest::mouseClick(show_password, Qt::LeftButton, {}, QPoint(5, show_password->height() / 2));
    QCOMPARE(password->echoMode(), QLineEdit::Password);

    // Left ticked, it is off again at the next opening.
    QTest::mouseClick(show_password, Qt::LeftButton, {}, QPoint(5, show_password->height() / 2));
    window.hide();
    window.show();
    QVERIFY(!show_password->isChecked());
    QCOMPARE(password->echoMode(), QLineEdit::Password);
}

// The colleagues' page: rows saved in order as the store's one key, a row whose extension cannot
// name a line refused by its number with nothing written, and a list the administrator locked
// greyed and kept.
void TestSettingWindow::colleagues_page_keeps_the_list_refuses_a_bad_extension_and_follows_a_lock()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_other_settings({{"colleagues", "佐藤,201"}}));
    SettingWindow window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    QSignalSpy saved(&window, &SettingWindow::signal_colleagues_saved);
    window.show();
    auto* rows = child<QTableWidget>(&window, "colleagueRows");
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->item(0, 1)->text(), QStringLiteral("201"));
    click(&window, "addColleague");
    rows->item(1, 0)->setText(QStringLiteral("鈴木"));
    rows->item(1, 1)->setText(QStringLiteral("2 02"));
    ModalAnswerer answerer;
    click(&window, "saveButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QVERIFY(answerer.boxes[0].text.startsWith(QStringLiteral("2行目の内線番号")));
    QCOMPARE(fixture.stored(ZimData::Other).value("colleagues"), QStringLiteral("佐藤,201"));
    rows->item(1, 1)->setText(QStringLiteral("202"));
    click(&window, "saveButton");
    QCOMPARE(fixture.stored(ZimData::Other).value("colleagues"), QStringLiteral("佐藤,201\n鈴木,202"));
    QCOMPARE(saved.count(), 1);

    QVERIFY(fixture.data()->save_provisioned({{ZimData::Other, {{"colleagues", "受付,100"}}}},
                                             {{ZimData::Other, {"colleagues"}}}));
    window.show();
    QCOMPARE(rows->rowCount(), 1);
    QVERIFY(!rows->isEnabled() && !child<QPushButton>(&window, "addColleague")->isEnabled());
    click(&window, "saveButton");
    QCOMPARE(fixture.data()->other_settings().value("colleagues"), QStringLiteral("受付,100"));
}

QTEST_MAIN(TestSettingWindow)
#include "tst_settingwindow.moc"
