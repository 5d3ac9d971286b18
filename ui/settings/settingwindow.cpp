#include "ui/settings/settingwindow.h"

#include "data/accountsecurity.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/closeonescape.h"
#include "ui/settings/colleaguespage.h"
#include "ui/settings/devicechoice.h"
#include "ui/settings/lockedfields.h"
#include "ui/settings/securityfields.h"
#include "ui/settings/settingsnotice.h"
#include "ui_settingwindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

namespace {
const int DEFAULT_CAPTURE_GAIN = 5;
const int AFTER_CALL_CHECK_MS = 500;
} // namespace

SettingWindow::SettingWindow(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone)
    : QWidget(parent), ui(new Ui::SettingWindow), logger(logger), data(data), phone(phone)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    zim::close_on_escape(this);
    setWindowTitle(zim::TITLE_SETTINGS);
    setFixedSize(size());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move((available.width() - width()) / 2, (available.height() - height()) / 2);
    }
    colleagues_page = new ColleaguesPage(ui->tabWidget);
    ui->tabWidget->addTab(colleagues_page, zim::TITLE_COLLEAGUES);
    ui->tabWidget->setCurrentIndex(0);

    port_validator = new QIntValidator(1, 65535, this);
    ui->port->setValidator(port_validator);
    security_fields =
        new SecurityFields(ui->transport, ui->mediaEncryption, ui->stunServer, ui->caFile, ui->caFileButton);

    ui->playbackLabel->setToolTip(zim::TIP_PLAYBACK_DEVICE);
    ui->ringbackLabel->setToolTip(zim::TIP_RING_DEVICE);
    ui->captureLabel->setToolTip(zim::TIP_CAPTURE_DEVICE);
    ui->captureGainLabel->setToolTip(zim::TIP_CAPTURE_GAIN);
    connect(ui->captureGainSlider, &QSlider::valueChanged, this, &SettingWindow::slot_capture_gain_changed);
}

SettingWindow::~SettingWindow()
{
    delete ui;
}

// A save writes everything first and applies only when every write went through: a store that
// refuses writes leaves the engine as it was and the user's edits on screen.
void SettingWindow::slot_save_button_clicked()
{
    // Refused before anything is written; the edits stay on screen to be put right.
    if (SettingsNotice::refuse_port(ui->port->text(), windowTitle()))
        return;
    if (colleagues_page->refuse(windowTitle())) {
        ui->tabWidget->setCurrentWidget(colleagues_page);
        return;
    }
    // One transaction: the account, media and other keys are stored together or not at all.
    const SettingsMap account = account_values();
    const QStringList changed = changed_account_fields(account, data->account_settings());
    const bool colleagues_changed =
        colleagues_page->values() !=
        SettingsMap{{colleagues::KEY, data->other_settings().value(colleagues::KEY)}};
    const QMap<int, SettingsMap> values{
        {ZimData::Account, account}, {ZimData::Other, other_values()}, {ZimData::Media, media_values()}};
    if (!data->save_settings(values)) {
        logger->log(QStringLiteral("settings could not be saved"), 2);
        SettingsNotice::save_failed(windowTitle());
        return;
    }
    // Devices, gain and the rest apply at once, also during a call; only a changed account
    // registers again, and during a call that waits for its end. The operator's own login (its
    // server and ID live on other pages) is left alone.
    if (!changed.isEmpty()) {
        if (phone->is_idle()) {
            phone->request_reregistration();
        } else {
            logger->log(QStringLiteral("account settings saved during a call apply at its end"), 1);
            reregister_after_call();
            SettingsNotice::account_waits_for_call_end(changed);
        }
    }
    phone->apply_media_settings();
    if (colleagues_changed)
        emit signal_colleagues_saved();
    hide();
}

// The fields whose value the account save changes, by their labels (a security key never stored
// reads as its default, so its first save is no change).
QStringList SettingWindow::changed_account_fields(const SettingsMap& account, const SettingsMap& stored) const
{
    const auto normal = [](const SettingsMap& values) {
        SettingsMap result = values;
        AccountSecurity::from_settings(values).write_to(result);
        return result;
    };
    const SettingsMap now = normal(account), before = normal(stored);
    const QList<QPair<QString, QLabel*>> fields = {
        {QStringLiteral("address"), ui->label},      {QStringLiteral("port"), ui->label_2},
        {QStringLiteral("userId"), ui->label_3},     {QStringLiteral("password"), ui->label_4},
        {zim::KEY_TRANSPORT, ui->transportLabel},    {zim::KEY_MEDIA_ENCRYPTION, ui->mediaEncryptionLabel},
        {zim::KEY_STUN_SERVER, ui->stunServerLabel}, {zim::KEY_CA_FILE, ui->caFileLabel}};
    QStringList changed;
    for (const auto& field : fields) {
        if (now.value(field.first) != before.value(field.first))
            changed << field.second->text();
    }
    return changed;
}

// The call goes on with the registration it has; the new account registers once it has ended.
void SettingWindow::reregister_after_call()
{
    if (!after_call) {
        after_call = new QTimer(this);
        after_call->setInterval(AFTER_CALL_CHECK_MS);
        connect(after_call, &QTimer::timeout, this, [this] {
            if (!phone->is_idle())
                return;
            after_call->stop();
            logger->log(QStringLiteral("the call has ended: the saved account registers"), 1);
            phone->request_reregistration();
        });
    }
    after_call->start();
}

void SettingWindow::slot_cancel_button_clicked()
{
    hide();
}

void SettingWindow::slot_change_password_checkbok_clicked()
{
    ui->password->setEchoMode(ui->showPassword->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void SettingWindow::slot_sip_address_changed() {}

void SettingWindow::slot_capture_gain_changed(int value)
{
    ui->gainValueLabel->setText(QString::number(value));
}

void SettingWindow::showEvent(QShowEvent* event)
{
    // Only an opening by the program reloads; the window system showing it again (after a
    // minimise) must not throw away what the user is typing.
    if (!event->spontaneous()) {
        load_settings();
        focus_first_empty_field();
    }
    QWidget::showEvent(event);
}

// Typing can start at once: the cursor waits in the first account field still to be filled.
void SettingWindow::focus_first_empty_field()
{
    for (QLineEdit* field : {ui->address, ui->port, ui->userid, ui->password}) {
        if (field->text().isEmpty()) {
            ui->tabWidget->setCurrentIndex(0);
            field->setFocus();
            return;
        }
    }
}

// Return saves, as in a dialog; on a focused button it presses that button instead.
void SettingWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
        button->click();
    else
        slot_save_button_clicked();
}

void SettingWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

void SettingWindow::load_settings()
{
    // The password shows in plain text only while the user asks for it in this opening.
    ui->showPassword->setChecked(false);
    QList<LockedFields::Field> fields =
        LockedFields::sip_account(ui->address, ui->port, ui->userid, ui->password);
    fields += {{ZimData::Media, QStringLiteral("captureGain"), ui->captureGainSlider},
               {ZimData::Other, QStringLiteral("debugModel"), ui->debugModel}};
    fields += security_fields->lockable();
    fields += colleagues_page->lockable();
    fields += DeviceChoice::lockable(ui->playbackComboBox, ui->ringbackComboBox, ui->captureComboBox);
    LockedFields::show(data, fields);
    load_account();
    load_media();
    const bool debug = data->other_settings().value(QStringLiteral("debugModel")) == QStringLiteral("1");
    ui->debugModel->setChecked(debug);
    colleagues_page->load(data->other_settings());
}

void SettingWindow::load_account()
{
    const QMap<QString, QString> account = data->account_settings();
    if (account.isEmpty())
        return;
    ui->address->setText(account.value(QStringLiteral("address")));
    ui->port->setText(account.value(QStringLiteral("port")));
    ui->userid->setText(account.value(QStringLiteral("userId")));
    ui->password->setText(account.value(QStringLiteral("password")));
    security_fields->load(account);
}

void SettingWindow::load_media()
{
    const QMap<QString, QString> media = data->media_settings();
    DeviceChoice::fill(phone, media, ui->playbackComboBox, ui->ringbackComboBox, ui->captureComboBox);
    int gain = media.value(QStringLiteral("captureGain")).toInt();
    if (gain < 1)
        gain = DEFAULT_CAPTURE_GAIN;
    ui->captureGainSlider->setValue(gain);
    // The slider keeps stored values above its range at its maximum; the label shows what it holds.
    slot_capture_gain_changed(ui->captureGainSlider->value());
}

QMap<QString, QString> SettingWindow::account_values() const
{
    QMap<QString, QString> values = {{QStringLiteral("address"), ui->address->text()},
                                     {QStringLiteral("port"), ui->port->text()},
                                     {QStringLiteral("userId"), ui->userid->text()},
                                     {QStringLiteral("password"), ui->password->text()}};
    security_fields->write_to(values);
    return values;
}

QMap<QString, QString> SettingWindow::media_values() const
{
    return {{QStringLiteral("playback"), ui->playbackComboBox->currentText()},
            {QStringLiteral("ringback"), ui->ringbackComboBox->currentText()},
            {QStringLiteral("capture"), ui->captureComboBox->currentText()},
            {QStringLiteral("captureGain"), QString::number(ui->captureGainSlider->value())}};
}

QMap<QString, QString> SettingWindow::other_values() const
{
    SettingsMap values = colleagues_page->values();
    values.insert(QStringLiteral("debugModel"),
                  ui->debugModel->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    return values;
}
