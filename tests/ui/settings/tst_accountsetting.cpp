// The account page: loading, the operator keys, saving as typed, the refusal during a call and a
// store that refuses writes.

#include "settingsfixture.h"

#include "data/provisioning.h"
#include "data/zimdata.h"
#include "phone/zimphone.h"
#include "support/sipprunner.h"
#include "ui/settings/accountsetting.h"
#include "ui/settings/settingsnotice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
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

QCheckBox* box(QWidget* w, const char* name)
{
    return child<QCheckBox>(w, name);
}

void click(QWidget* w, const char* name)
{
    QTest::mouseClick(child<QPushButton>(w, name), Qt::LeftButton);
}

void toggle(QCheckBox* check)
{
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, check->height() / 2));
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
                                               {"operatorId", "op-7"},
                                               {"operatorPW", "op-secret"},
                                               {"operatorAuto", "1"},
                                               {"operatorAddress", "ops.example.com"}};

} // namespace

class TestAccountSetting : public QObject
{
    Q_OBJECT
private slots:
    void window_has_its_title_size_and_tabs();
    void stored_account_and_operator_are_shown();
    void save_writes_the_fields_as_typed_and_registers_the_new_account();
    void save_with_everything_empty_stores_empty_strings_and_zero();
    void save_during_call_warns_and_keeps_the_stored_account();
    void read_only_store_warns_and_keeps_edits();
    void cancel_then_reopen_shows_the_stored_values();
    void each_check_box_shows_only_its_own_password();
    void security_fields_show_the_defaults_for_an_old_account_and_save_the_choice();
    void local_ports_are_checked_on_save_and_a_desk_file_locks_them();
};

void TestAccountSetting::window_has_its_title_size_and_tabs()
{
    SettingsFixture fixture;
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    QCOMPARE(window.windowTitle(), QStringLiteral("アカウント設定"));
    QCOMPARE(window.size(), QSize(390, 220));
    QVERIFY(window.windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    auto* tabs = child<QTabWidget>(&window, "SIP");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("SIPサーバ設定"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("オペレータ設定"));
    QCOMPARE(child<QLabel>(&window, "label")->text(), QStringLiteral("サーバアドレス"));
    QCOMPARE(box(&window, "operatorAuto")->text(), QStringLiteral("次回から自動ログイン"));
    QCOMPARE(child<QPushButton>(&window, "pushButton")->text(), QStringLiteral("設定"));
    QCOMPARE(child<QPushButton>(&window, "pushButton_2")->text(), QStringLiteral("キャンセル"));
}

void TestAccountSetting::stored_account_and_operator_are_shown()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QCOMPARE(edit(&window, "address")->text(), QStringLiteral("sip.example.com"));
    QCOMPARE(edit(&window, "port")->text(), QStringLiteral("5060"));
    QCOMPARE(edit(&window, "userid")->text(), QStringLiteral("1001"));
    QCOMPARE(edit(&window, "password")->text(), QStringLiteral("old-secret"));
    QCOMPARE(edit(&window, "operatorId")->text(), QStringLiteral("op-7"));
    QCOMPARE(edit(&window, "operatorPW")->text(), QStringLiteral("op-secret"));
    QVERIFY(box(&window, "operatorAuto")->isChecked());
}

void TestAccountSetting::save_writes_the_fields_as_typed_and_registers_the_new_account()
{
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "3003", "-key", "authpass", "pw"});
    QVERIFY(registrar.start());
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    fixture.start_engine();
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();

    // No validator on this page: the port field takes any text, and the save refuses anything
    // but 1 to 65535 with the edits kept.
    QVERIFY(!edit(&window, "port")->validator());
    for (const char* port : {"port?", "99999", "0"}) {
        type_into(edit(&window, "port"), port);
        ModalAnswerer refused;
        click(&window, "pushButton");
        QCOMPARE(refused.boxes.size(), 1);
        QCOMPARE(refused.boxes[0].text, SettingsNotice::MSG_BAD_PORT);
        QVERIFY(window.isVisible());
        QCOMPARE(edit(&window, "port")->text(), QString::fromLatin1(port));
    }
    QCOMPARE(fixture.stored(ZimData::Account), STORED_ACCOUNT);

    type_into(edit(&window, "address"), "127.0.0.1");
    type_into(edit(&window, "port"), QString::number(registrar.port()));
    type_into(edit(&window, "userid"), "3003");
    type_into(edit(&window, "password"), "pw");
    type_into(edit(&window, "operatorId"), " op 8 ");
    type_into(edit(&window, "operatorPW"), "a&b=c");
    toggle(box(&window, "operatorAuto"));
    QVERIFY(!box(&window, "operatorAuto")->isChecked());

    ModalAnswerer answerer;
    click(&window, "pushButton");
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(!window.isVisible());
    const QMap<QString, QString> account = fixture.stored(ZimData::Account);
    QCOMPARE(account.value("address"), QStringLiteral("127.0.0.1"));
    QCOMPARE(account.value("port"), QString::number(registrar.port()));
    QCOMPARE(account.value("userId"), QStringLiteral("3003"));
    QCOMPARE(account.value("password"), QStringLiteral("pw"));
    QCOMPARE(account.value("operatorId"), QStringLiteral(" op 8 "));
    QCOMPARE(account.value("operatorPW"), QStringLiteral("a&b=c"));
    QCOMPARE(account.value("operatorAuto"), QStringLiteral("0"));
    QCOMPARE(account.value("operatorAddress"), QStringLiteral("ops.example.com"));
    // Only category 1 is written.
    QVERIFY(fixture.stored(ZimData::Media).isEmpty());
    QVERIFY(fixture.stored(ZimData::Other).isEmpty());

    QVERIFY2(wait_until([&] { return registrar.received_requests("REGISTER").size() >= 2; }, 15000),
             qPrintable(registrar.output()));
    QVERIFY(registrar.received_requests("REGISTER")[0].header("From").contains("sip:3003@127.0.0.1"));
}

void TestAccountSetting::save_with_everything_empty_stores_empty_strings_and_zero()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    for (const char* name : {"address", "port", "userid", "password", "operatorId", "operatorPW"})
        edit(&window, name)->clear();
    box(&window, "operatorAuto")->setChecked(false);
    ModalAnswerer answerer;
    click(&window, "pushButton");
    QVERIFY(answerer.boxes.isEmpty());
    const QMap<QString, QString> account = fixture.stored(ZimData::Account);
    for (const char* key : {"address", "port", "userId", "password", "operatorId", "operatorPW"}) {
        QVERIFY2(account.contains(key), key);
        QCOMPARE(account.value(key), QString());
    }
    QCOMPARE(account.value("operatorAuto"), QStringLiteral("0"));
}

void TestAccountSetting::save_during_call_warns_and_keeps_the_stored_account()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    SettingsFixture fixture;
    fixture.start_engine();
    QVERIFY(fixture.start_call(callee));
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));

    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    type_into(edit(&window, "address"), "other.example.com");
    type_into(edit(&window, "operatorId"), "op-9");
    ModalAnswerer answerer;
    click(&window, "pushButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("設定できません"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("通話中の場合は再設定できません。"));
    QCOMPARE(answerer.boxes[0].buttons, int(QMessageBox::Yes));
    QCOMPARE(answerer.boxes[0].default_button, int(QMessageBox::Yes));
    QVERIFY(!answerer.boxes[0].has_parent);
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Account), STORED_ACCOUNT);

    QVERIFY(fixture.phone()->is_current_streaming());
    QVERIFY(fixture.end_call());
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

void TestAccountSetting::read_only_store_warns_and_keeps_edits()
{
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "3003", "-key", "authpass", "pw"});
    QVERIFY(registrar.start());
    SettingsFixture fixture;
    const QMap<QString, QString> account = {{"address", "127.0.0.1"},
                                            {"port", QString::number(registrar.port())},
                                            {"userId", "3003"},
                                            {"password", "pw"}};
    QVERIFY(fixture.data()->save_account_settings(account));
    fixture.start_engine();
    QVERIFY2(wait_until([&] { return registrar.received_requests("REGISTER").size() >= 2; }, 15000),
             qPrintable(registrar.output()));
    settle(300);
    const int registers_before = registrar.received_requests("REGISTER").size();
    QVERIFY(fixture.make_store_read_only());

    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    type_into(edit(&window, "userid"), "3004");
    type_into(edit(&window, "operatorId"), "op-9");
    ModalAnswerer answerer;
    click(&window, "pushButton");
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("アカウント設定"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("設定を保存できませんでした"));
    QVERIFY(window.isVisible());
    QCOMPARE(edit(&window, "userid")->text(), QStringLiteral("3004"));
    QCOMPARE(edit(&window, "operatorId")->text(), QStringLiteral("op-9"));
    QCOMPARE(fixture.stored(ZimData::Account), account);
    // No re-registration: it would unregister and register again at once.
    settle(1500);
    QCOMPARE(registrar.received_requests("REGISTER").size(), registers_before);
}

void TestAccountSetting::cancel_then_reopen_shows_the_stored_values()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    type_into(edit(&window, "address"), "typed.example.com");
    type_into(edit(&window, "operatorPW"), "typed");
    click(&window, "pushButton_2");
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Account), STORED_ACCOUNT);
    window.show();
    QCOMPARE(edit(&window, "address")->text(), QStringLiteral("sip.example.com"));
    QCOMPARE(edit(&window, "operatorPW")->text(), QStringLiteral("op-secret"));
    // Closing hides and keeps the object.
    QVERIFY(!window.close());
    QVERIFY(!window.isVisible());
}

void TestAccountSetting::each_check_box_shows_only_its_own_password()
{
    SettingsFixture fixture;
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QLineEdit* sip = edit(&window, "password");
    QLineEdit* op = edit(&window, "operatorPW");
    QCOMPARE(sip->echoMode(), QLineEdit::Password);
    QCOMPARE(op->echoMode(), QLineEdit::Password);

    toggle(box(&window, "showSIPPasswrod"));
    QCOMPARE(sip->echoMode(), QLineEdit::Normal);
    QCOMPARE(op->echoMode(), QLineEdit::Password);
    toggle(box(&window, "showSIPPasswrod"));
    QCOMPARE(sip->echoMode(), QLineEdit::Password);

    child<QTabWidget>(&window, "SIP")->setCurrentIndex(1);
    toggle(box(&window, "showOperatorPassword"));
    QCOMPARE(op->echoMode(), QLineEdit::Normal);
    QCOMPARE(sip->echoMode(), QLineEdit::Password);
    toggle(box(&window, "showOperatorPassword"));
    QCOMPARE(op->echoMode(), QLineEdit::Password);

    // Left ticked, both are off again at the next opening.
    toggle(box(&window, "showSIPPasswrod"));
    toggle(box(&window, "showOperatorPassword"));
    window.hide();
    window.show();
    QCOMPARE(sip->echoMode(), QLineEdit::Password);
    QCOMPARE(op->echoMode(), QLineEdit::Password);
}

// An account stored before these keys existed shows UDP without encryption; the choice made on
// the page is stored and shown again.
void TestAccountSetting::security_fields_show_the_defaults_for_an_old_account_and_save_the_choice()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QComboBox* transport = child<QComboBox>(&window, "transport");
    QComboBox* encryption = child<QComboBox>(&window, "mediaEncryption");
    QCOMPARE(transport->currentText(), QStringLiteral("UDP"));
    QCOMPARE(encryption->currentText(), QStringLiteral("なし"));
    QVERIFY(!edit(&window, "caFile")->isEnabled()); // only TLS uses a CA file

    transport->setCurrentIndex(2);
    encryption->setCurrentIndex(2);
    QVERIFY(edit(&window, "caFile")->isEnabled());
    type_into(edit(&window, "stunServer"), "stun.example.jp:3478");
    type_into(edit(&window, "caFile"), "/etc/pbx/ca.pem");
    type_into(edit(&window, "port"), "5061");
    click(&window, "pushButton");
    const QMap<QString, QString> account = fixture.stored(ZimData::Account);
    QCOMPARE(account.value("transport"), QStringLiteral("TLS"));
    QCOMPARE(account.value("mediaEncryption"), QStringLiteral("srtpRequired"));
    QCOMPARE(account.value("stunServer"), QStringLiteral("stun.example.jp:3478"));
    QCOMPARE(account.value("caFile"), QStringLiteral("/etc/pbx/ca.pem"));
    QCOMPARE(account.value("port"), QStringLiteral("5061"));
    window.show();
    QCOMPARE(transport->currentText(), QStringLiteral("TLS"));
    QCOMPARE(encryption->currentText(), QStringLiteral("SRTP必須"));
}

// The ports a firewall expects: empty until set, a range too small for two calls refused with the
// edits kept, and a desk file's values shown greyed and kept whatever the page holds.
void TestAccountSetting::local_ports_are_checked_on_save_and_a_desk_file_locks_them()
{
    SettingsFixture fixture;
    QVERIFY(fixture.data()->save_account_settings(STORED_ACCOUNT));
    AccountSetting window(nullptr, fixture.logger(), fixture.data(), fixture.phone());
    window.show();
    QCOMPARE(child<QTabWidget>(&window, "SIP")->tabText(3), QStringLiteral("ポート"));
    for (const char* name : {"localSipPort", "audioPorts", "audioDscp"})
        QVERIFY(edit(&window, name)->text().isEmpty());
    type_into(edit(&window, "localSipPort"), "5070");
    type_into(edit(&window, "audioPorts"), "16384-16386");
    {
        ModalAnswerer refused;
        click(&window, "pushButton");
        QCOMPARE(refused.boxes.size(), 1);
        QCOMPARE(refused.boxes[0].text,
                 QStringLiteral("音声ポート範囲が狭すぎます。2通話分の4ポート以上にしてください"));
    }
    QVERIFY(window.isVisible());
    QCOMPARE(edit(&window, "audioPorts")->text(), QStringLiteral("16384-16386"));
    QVERIFY(!fixture.stored(ZimData::Account).contains("localSipPort"));
    type_into(edit(&window, "audioPorts"), "16384-16387");
    type_into(edit(&window, "audioDscp"), "46");
    click(&window, "pushButton");
    QVERIFY(!window.isVisible());
    QCOMPARE(fixture.stored(ZimData::Account).value("localSipPort"), QStringLiteral("5070"));
    QCOMPARE(fixture.stored(ZimData::Account).value("audioPorts"), QStringLiteral("16384-16387"));
    QCOMPARE(fixture.stored(ZimData::Account).value("audioDscp"), QStringLiteral("46"));

    Provisioning desk;
    QString error;
    QVERIFY2(
        Provisioning::parse("[account]\nlocalSipPort = 5080\naudioPorts = 20000-20099\naudioDscp = 0x2e\n"
                            "locked = localSipPort, audioPorts, audioDscp\n",
                            QStringLiteral("desk"), &desk, &error),
        qPrintable(error));
    Provisioning::apply(fixture.data(), {desk});
    window.show();
    QCOMPARE(edit(&window, "localSipPort")->text(), QStringLiteral("5080"));
    QCOMPARE(edit(&window, "audioPorts")->text(), QStringLiteral("20000-20099"));
    QCOMPARE(edit(&window, "audioDscp")->text(), QStringLiteral("0x2e"));
    for (const char* name : {"localSipPort", "audioPorts", "audioDscp"})
        QVERIFY2(!edit(&window, name)->isEnabled(), name);
    click(&window, "pushButton");
    QCOMPARE(fixture.stored(ZimData::Account).value("localSipPort"), QStringLiteral("5080"));
}

QTEST_MAIN(TestAccountSetting)
#include "tst_accountsetting.moc"
