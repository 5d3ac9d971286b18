#include "ui/settings/accountsetting.h"

#include "data/accountports.h"
#include "data/accountsecurity.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/closeonescape.h"
#include "ui/settings/lockedfields.h"
#include "ui/settings/securityfields.h"
#include "ui/settings/settingsnotice.h"
#include "ui_accountsetting.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QShowEvent>

AccountSetting::AccountSetting(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone)
    : QWidget(parent), ui(new Ui::AccountSetting), logger(logger), data(data), phone(phone)
{
    ui->setupUi(this);
    zim::close_on_escape(this); // as キャンセル
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(zim::TITLE_ACCOUNT_SETTINGS);
    setFixedSize(size());
    ui->SIP->setCurrentIndex(0);
    // Four tabs in the page's width: narrower margins than the style's, no scroll arrows.
    ui->SIP->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 7px; }"));
    security_fields =
        new SecurityFields(ui->transport, ui->mediaEncryption, ui->stunServer, ui->caFile, ui->caFileButton);
    // Empty: the phone's own choice, as before these fields existed.
    ui->localSipPort->setPlaceholderText(QStringLiteral("空欄: 自動"));
    ui->audioPorts->setPlaceholderText(
        AccountPorts::range_text(AccountPorts::AUDIO_FIRST, AccountPorts::AUDIO_LAST));
    ui->audioDscp->setPlaceholderText(QStringLiteral("空欄: 46 (EF)"));
    ui->localSipPort->setToolTip(
        QStringLiteral("UDPで待ち受けるポート。ファイアウォールで開けたものを指定します"));
    ui->audioPorts->setToolTip(
        QStringLiteral("通話の音声（RTPとRTCP）に使うポートの範囲。2通話分の4ポート以上"));
    ui->audioDscp->setToolTip(QStringLiteral("音声パケットに付けるQoSの印（DSCP値 0〜63）"));
    connect(ui->transport, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &AccountSetting::show_sip_port_use);
}

// Over TCP and TLS the phone only connects out and listens on no SIP port: the field waits, as
// typed, for UDP to be chosen again.
void AccountSetting::show_sip_port_use()
{
    ui->localSipPort->setEnabled(ui->transport->currentIndex() == AccountSecurity::TransportUdp &&
                                 !LockedFields::is_locked(ui->localSipPort));
}

AccountSetting::~AccountSetting()
{
    delete ui;
}

void AccountSetting::show_operator_tab()
{
    ui->SIP->setCurrentWidget(ui->tab_2);
}

void AccountSetting::slot_save_button_clicked()
{
    if (!phone->is_idle()) {
        logger->log(QStringLiteral("account settings refused during a call"), 1);
        SettingsNotice::refuse_during_call();
        hide();
        return;
    }
    const QMap<QString, QString> values = account_values();
    // A value the administrator locked is not the operator's to put right.
    QMap<QString, QString> typed = values;
    for (const QString& key : {zim::KEY_LOCAL_SIP_PORT, zim::KEY_AUDIO_PORTS, zim::KEY_AUDIO_DSCP}) {
        if (data->is_locked(ZimData::Account, key))
            typed.remove(key);
    }
    if (SettingsNotice::refuse_port(ui->port->text(), windowTitle()) ||
        SettingsNotice::refuse_local_ports(typed, windowTitle()))
        return; // the edits stay on screen to be put right
    if (!data->save_account_settings(values)) {
        // Nothing is applied: the engine keeps its registration, the user keeps the edits.
        logger->log(QStringLiteral("account settings could not be saved"), 2);
        SettingsNotice::save_failed(windowTitle());
        return;
    }
    phone->request_reregistration();
    hide();
}

void AccountSetting::slot_cancel_button_clicked()
{
    hide();
}

void AccountSetting::slot_sip_password_checkbox_toggled()
{
    ui->password->setEchoMode(ui->showSIPPasswrod->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void AccountSetting::slot_operator_password_checkbox_toggled()
{
    ui->operatorPW->setEchoMode(ui->showOperatorPassword->isChecked() ? QLineEdit::Normal
                                                                      : QLineEdit::Password);
}

void AccountSetting::showEvent(QShowEvent* event)
{
    // The window system showing it again after a minimise keeps what is being typed.
    if (!event->spontaneous())
        load_settings();
    QWidget::showEvent(event);
}

void AccountSetting::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

void AccountSetting::load_settings()
{
    // The passwords show in plain text only while the user asks for it in this opening.
    ui->showSIPPasswrod->setChecked(false);
    ui->showOperatorPassword->setChecked(false);
    QList<LockedFields::Field> fields =
        LockedFields::sip_account(ui->address, ui->port, ui->userid, ui->password);
    fields += {{ZimData::Account, zim::KEY_LOCAL_SIP_PORT, ui->localSipPort},
               {ZimData::Account, zim::KEY_AUDIO_PORTS, ui->audioPorts},
               {ZimData::Account, zim::KEY_AUDIO_DSCP, ui->audioDscp},
               {ZimData::Account, QStringLiteral("operatorId"), ui->operatorId},
               {ZimData::Account, QStringLiteral("operatorPW"), ui->operatorPW},
               {ZimData::Account, QStringLiteral("operatorAuto"), ui->operatorAuto}};
    LockedFields::show(data, fields + security_fields->lockable());
    const QMap<QString, QString> account = data->account_settings();
    if (account.isEmpty())
        return;
    ui->address->setText(account.value(QStringLiteral("address")));
    ui->port->setText(account.value(QStringLiteral("port")));
    ui->userid->setText(account.value(QStringLiteral("userId")));
    ui->password->setText(account.value(QStringLiteral("password")));
    ui->operatorId->setText(account.value(QStringLiteral("operatorId")));
    ui->operatorPW->setText(account.value(QStringLiteral("operatorPW")));
    if (account.value(QStringLiteral("operatorAuto")).toInt() == 1)
        ui->operatorAuto->setChecked(true);
    ui->localSipPort->setText(account.value(zim::KEY_LOCAL_SIP_PORT));
    ui->audioPorts->setText(account.value(zim::KEY_AUDIO_PORTS));
    ui->audioDscp->setText(account.value(zim::KEY_AUDIO_DSCP));
    security_fields->load(account);
    show_sip_port_use();
}

QMap<QString, QString> AccountSetting::account_values() const
{
    QMap<QString, QString> values = {{QStringLiteral("address"), ui->address->text()},
                                     {QStringLiteral("port"), ui->port->text()},
                                     {QStringLiteral("userId"), ui->userid->text()},
                                     {QStringLiteral("password"), ui->password->text()},
                                     {QStringLiteral("operatorId"), ui->operatorId->text()},
                                     {QStringLiteral("operatorPW"), ui->operatorPW->text()},
                                     {QStringLiteral("operatorAuto"), ui->operatorAuto->isChecked()
                                                                          ? QStringLiteral("1")
                                                                          : QStringLiteral("0")},
                                     {zim::KEY_LOCAL_SIP_PORT, ui->localSipPort->text().trimmed()},
                                     {zim::KEY_AUDIO_PORTS, ui->audioPorts->text().trimmed()},
                                     {zim::KEY_AUDIO_DSCP, ui->audioDscp->text().trimmed()}};
    security_fields->write_to(values);
    return values;
}
