#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "phone/zimphone.h"
#include "ui/history/historywindow.h"
#include "ui/main/audiocueplayer.h"
#include "ui/main/encryptionmark.h"
#include "ui/main/recordingkeeper.h"
#include "ui/main/pastednumber.h"
#include "ui/main/provisioningloader.h"
#include "ui/main/skinshape.h"
#include "ui/main/windowdragger.h"
#include "ui/main/windowplacement.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaType>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    call_duration = QStringLiteral("00:00:00");
    ui.setup(this);

    zim::make_private_log_dir();
    qRegisterMetaType<QMap<QString, QString>>("QMap<QString, QString>");

    clear_timer = new QTimer(this);
    zim_logger = new ZimLogger(this);
    zim_data = new ZimData(this, zim_logger);
    zim_logger->set_terminal_echo(zim_data->other_settings().value(QStringLiteral("debugModel")) ==
                                  QStringLiteral("1"));
    // Before the engine starts: it registers with what provisioning put in the store.
    const bool fetching = start_provisioning();
    call_timer = new QTimer(this);
    zim_phone = new ZimPhone(this, zim_data, zim_logger);

    create_cti();
    history = new HistoryWindow(this, zim_data, zim_logger);
    set_up_colleagues();
    transfer_message_timer = new QTimer(this);
    ui.userId->setText(zim_data->account_settings().value(QStringLiteral("userId")));
    audio_player = new AudioCuePlayer(this, zim_logger, zim_data);

    set_up_window();
    connect_form();
    connect_engine();
    // Only now: a registration at a server that answers at once is no longer told to nobody (the
    // lamp stayed grey until the next refresh).
    zim_phone->start(QThread::InheritPriority);

    // A provisioning server still to answer may bring the account: the settings window waits for it.
    if (fetching)
        connect(provisioning, &ProvisioningLoader::signal_fetch_done, this, [this] {
            if (has_no_account())
                slot_setting_button_clicked();
        });
    else if (has_no_account())
        QTimer::singleShot(0, this, &MainWindow::slot_setting_button_clicked);
}

// Also when the keyring did not give the SIP password back: it is asked for, not left out.
bool MainWindow::has_no_account() const
{
    if (zim_data->sip_password_missing())
        return true;
    const SettingsMap account = zim_data->account_settings();
    return account.value(QStringLiteral("address")).isEmpty() &&
           account.value(QStringLiteral("port")).isEmpty() &&
           account.value(QStringLiteral("userId")).isEmpty() &&
           account.value(QStringLiteral("password")).isEmpty();
}

MainWindow::~MainWindow()
{
    // Teardown runs in a fixed order, and nothing queued reaches an object already gone. The engine
    // stops first and what it still had to say is dropped: exit_program delivered it to this window.
    // A provisioning fetch still under way ends unheard.
    delete provisioning;
    provisioning = nullptr;
    if (zim_phone->isRunning()) {
        zim_phone->request_stop();
        zim_phone->wait();
    }
    disconnect(zim_phone, nullptr, nullptr, nullptr);
    // Closing an audio output (hold music, the hang-up cue of a call the exit ended) can run the
    // event loop: the sounds end while everything else is still whole.
    delete audio_player;
    audio_player = nullptr;
    // What reads the history goes before it: the tray's missed-call mark.
    delete tray;
    tray = nullptr;
    delete zim_phone;
    // The history's models share the store's database connection; the store closes it last.
    delete history;
    delete zim_data;
    delete right_click_menu;
    delete tray_menu;
}

void MainWindow::set_up_window()
{
    setWindowFlags(Qt::FramelessWindowHint);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        ui.fit_height(this, screen->availableGeometry().height());
    SkinShape::apply(this, ui.mainFrame);
    setWindowTitle(zim::SHORT_PRODUCT_NAME);
    setWindowIcon(QIcon(zim::APP_ICON));
    ui.mainFrame->setStyleSheet(zim::STYLE_MAIN_FRAME);
    ui.screenGroupBox->setStyleSheet(zim::STYLE_SCREEN_GROUP_BOX);
    ui.onlineStatus->setStyleSheet(zim::STYLE_OFFLINE_STATUS);
    // The keys type themselves from the keyboard: Tab passes them by, and a click keeps the focus
    // where it was.
    QList<QPushButton*> keypad(std::begin(ui.digitalButton), std::end(ui.digitalButton));
    keypad << ui.starButton << ui.poundButton;
    for (QPushButton* key : keypad) {
        key->setStyleSheet(zim::STYLE_DIGITAL_BUTTON);
        key->setCursor(Qt::PointingHandCursor);
        key->setFocusPolicy(Qt::NoFocus);
    }
    ui.dialogButton->setStyleSheet(zim::STYLE_DIALOG_BUTTON);
    ui.pauseButton->setStyleSheet(zim::STYLE_PAUSE_BUTTON);
    ui.transferButton->setStyleSheet(zim::STYLE_TRANSFER_BUTTON);
    ui.terminateButton->setStyleSheet(zim::STYLE_TERMINATE_BUTTON);
    for (QPushButton* button : {ui.dialogButton, ui.pauseButton, ui.transferButton, ui.terminateButton,
                                ui.deleteButton, ui.settingButton, ui.historyButton, ui.closeButton})
        button->setCursor(Qt::PointingHandCursor);
    ui.phoneNumberLabel->setAlignment(Qt::AlignCenter);
    // The display shows what callers send (their user part): characters, never markup.
    ui.phoneNumberLabel->setTextFormat(Qt::PlainText);
    ui.deleteButton->hide();
    ui.muteButton->setStyleSheet(zim::STYLE_MUTE_BUTTON);
    ui.muteButton->setCursor(Qt::PointingHandCursor);
    ui.muteButton->hide();
    connect(ui.muteButton, &QPushButton::clicked, this, &MainWindow::toggle_mute);
    ui.recordButton->setStyleSheet(zim::STYLE_RECORD_BUTTON);
    ui.recordButton->setCursor(Qt::PointingHandCursor);
    ui.recordButton->hide();
    connect(ui.recordButton, &QPushButton::clicked, this, &MainWindow::toggle_record);
    ui.userName->setFocusPolicy(Qt::NoFocus);
    ui.userName->hide();
    ui.versionLabel->setText(zim::VERSION);
    set_up_access();
    create_menus();
    create_tray_icon();
    set_up_dragging();
    set_up_global_keys();
    // No window or box of the program opens over the call keys.
    zim::set_call_keys(this, ui.mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_5")));
    zim::place_boxes_beside(this);
}

void MainWindow::connect_form()
{
    void (MainWindow::*digits[])() = {
        &MainWindow::slot_digit0_button_clicked, &MainWindow::slot_digit1_button_clicked,
        &MainWindow::slot_digit2_button_clicked, &MainWindow::slot_digit3_button_clicked,
        &MainWindow::slot_digit4_button_clicked, &MainWindow::slot_digit5_button_clicked,
        &MainWindow::slot_digit6_button_clicked, &MainWindow::slot_digit7_button_clicked,
        &MainWindow::slot_digit8_button_clicked, &MainWindow::slot_digit9_button_clicked};
    for (int digit = 0; digit <= 9; ++digit)
        connect(ui.digitalButton[digit], &QPushButton::clicked, this, digits[digit]);
    connect(ui.starButton, &QPushButton::clicked, this, &MainWindow::slot_star_button_clicked);
    connect(ui.poundButton, &QPushButton::clicked, this, &MainWindow::slot_pound_button_clicked);
    connect(ui.deleteButton, &QPushButton::pressed, this, &MainWindow::slot_clear_button_pressed);
    connect(ui.deleteButton, &QPushButton::released, this, &MainWindow::slot_clear_button_released);
    connect(ui.logoButton, &QPushButton::clicked, this, &MainWindow::slot_logo_clicked);
    connect(ui.closeButton, &QPushButton::clicked, this, &MainWindow::slot_close_button_clicked);
    connect(ui.dialogButton, &QPushButton::clicked, this, &MainWindow::slot_dialog_button_clicked);
    connect(ui.pauseButton, &QPushButton::clicked, this, &MainWindow::slot_pause_button_clicked);
    connect(ui.transferButton, &QPushButton::clicked, this, &MainWindow::slot_transfer_button_clicked);
    connect(ui.terminateButton, &QPushButton::clicked, this, &MainWindow::slot_terminate_button_clicked);
    connect(ui.settingButton, &QPushButton::clicked, this, &MainWindow::slot_setting_button_clicked);
    connect(ui.historyButton, &QPushButton::clicked, this, &MainWindow::slot_history_button_clicked);
}

void MainWindow::connect_engine()
{
    connect(clear_timer, &QTimer::timeout, this, &MainWindow::slot_clear_button_long_pressed);
    connect(zim_phone, &ZimPhone::signal_registration_state, this,
            &MainWindow::slot_phone_registration_state_change);
    connect(zim_phone, &ZimPhone::signal_received_dialog, this, &MainWindow::slot_received_dialog);
    connect(zim_phone, &ZimPhone::signal_update_dialog_status, this, &MainWindow::slot_update_dialog_status);
    connect(zim_phone, &ZimPhone::signal_dialog_end, this, &MainWindow::slot_dialog_end);
    connect(zim_phone, &ZimPhone::signal_call_recorded, this, &MainWindow::slot_call_recorded);
    connect(zim_phone, &ZimPhone::signal_start_count_dialog_time, this,
            &MainWindow::slot_start_count_dialog_time);
    connect(zim_phone, &ZimPhone::signal_call_continues, this, &MainWindow::slot_call_continues);
    connect(zim_phone, &ZimPhone::signal_show_operator_login, this, &MainWindow::slot_show_operator_login);
    connect(zim_phone, &ZimPhone::signal_clear_phone_number, this, &MainWindow::slot_clear_phone_number);
    connect(zim_phone, &ZimPhone::signal_show_phone_message, this, &MainWindow::slot_show_phone_message);
    connect(zim_phone, &ZimPhone::signal_set_phone_number, this, &MainWindow::slot_set_phone_number);
    connect(call_timer, &QTimer::timeout, this, &MainWindow::slot_update_count_dialog_time);
    connect(history, &HistoryWindow::signal_send_call, this, &MainWindow::slot_send_call_from_history_window);
    connect(zim_phone, &ZimPhone::signal_show_transfer_call_result, this,
            &MainWindow::slot_show_transfer_call_result);
    connect(transfer_message_timer, &QTimer::timeout, this, &MainWindow::slot_clear_transfer_result_message);
    connect(zim_phone, &ZimPhone::signal_play_hold_music, this, &MainWindow::slot_play_hold_music);
    connect(zim_phone, &ZimPhone::signal_stop_hold_music, this, &MainWindow::slot_stop_hold_music);
    connect(zim_phone, &ZimPhone::signal_play_terminated_audio, this,
            &MainWindow::slot_play_terminated_audio);
    connect(zim_phone, &ZimPhone::signal_call_failed, this, &MainWindow::slot_show_call_failure);
    connect(zim_phone, &ZimPhone::signal_registration_failed, this,
            &MainWindow::slot_show_registration_failure);
    new EncryptionMark(ui.screenGroupBox, zim_phone);
    connect(zim_phone, &ZimPhone::signal_recording, ui.recordButton, &QPushButton::setChecked);
    connect(history, &HistoryWindow::signal_play_recording, this,
            [this](QString path) { zim_phone->request_playback(path); });
    connect(zim_phone, &ZimPhone::signal_playback, history, &HistoryWindow::slot_playback);
    new RecordingKeeper(this, zim_data, zim_logger);
}

// ---- number display and dial pad ----

// The number the display holds: nothing while it shows a message, so the first key replaces the
// message and dialling never sends it.
QString MainWindow::display_text() const
{
    return display_holds_message ? QString() : ui.phoneNumberLabel->text();
}

void MainWindow::set_display_text(const QString& text)
{
    // What the operator types (or the engine sets) ends the message's time at once: its end would
    // otherwise put back a number over what was typed.
    if (display_holds_message)
        transfer_message_timer->stop();
    display_holds_message = false;
    ui.phoneNumberLabel->setText(text);
}

// Only what the pad and the keyboard type is dialled from them, and the recalled last number
// (which went out once under the rules of the link or command that dialled it).
void MainWindow::dial_display()
{
    const QString number = display_text();
    set_delete_visible(false);
    if (number.isEmpty())
        return;
    if (!zim::is_typed_number(number) && number != zim_phone->last_dialled_number()) {
        zim_logger->log(QStringLiteral("typed number refused, it holds more than digits: ") +
                            QString::fromLatin1(number.toUtf8().toPercentEncoding("+*#")),
                        1);
        slot_show_call_failure(zim::FAIL_UNSAFE_NUMBER);
        return;
    }
    zim_phone->request_dial(number);
}

void MainWindow::set_delete_visible(bool visible)
{
    ui.deleteButton->setVisible(visible);
}

void MainWindow::append_to_display(const QString& text)
{
    if (display_text().isEmpty())
        set_delete_visible(true);
    set_display_text(display_text() + text);
}

void MainWindow::remove_last_digit()
{
    QString text = display_text();
    text.chop(1);
    set_display_text(text);
    if (text.isEmpty())
        set_delete_visible(false);
}

void MainWindow::input_digit(const QString& key)
{
    static const QString cues[] = {zim::SOUND_DTMF_0, zim::SOUND_DTMF_1, zim::SOUND_DTMF_2, zim::SOUND_DTMF_3,
                                   zim::SOUND_DTMF_4, zim::SOUND_DTMF_5, zim::SOUND_DTMF_6, zim::SOUND_DTMF_7,
                                   zim::SOUND_DTMF_8, zim::SOUND_DTMF_9};
    QString cue;
    if (key == QLatin1String("#")) {
        cue = zim::SOUND_DTMF_POUND;
    } else if (key == QLatin1String("*")) {
        cue = zim::SOUND_DTMF_STAR;
    } else {
        const int digit = key.toInt();
        cue = (digit >= 1 && digit <= 9) ? cues[digit] : zim::SOUND_DTMF_0;
    }
    // The digit is in before its cue starts, so nothing the cue does can put a later key first.
    append_to_display(key);
    audio_player->play_audio(cue);
    if (zim_phone->is_current_streaming())
        zim_phone->send_dtmf(key.at(0).toLatin1());
}

void MainWindow::slot_digit0_button_clicked()
{
    input_digit(QStringLiteral("0"));
}
void MainWindow::slot_digit1_button_clicked()
{
    input_digit(QStringLiteral("1"));
}
void MainWindow::slot_digit2_button_clicked()
{
    input_digit(QStringLiteral("2"));
}
void MainWindow::slot_digit3_button_clicked()
{
    input_digit(QStringLiteral("3"));
}
void MainWindow::slot_digit4_button_clicked()
{
    input_digit(QStringLiteral("4"));
}
void MainWindow::slot_digit5_button_clicked()
{
    input_digit(QStringLiteral("5"));
}
void MainWindow::slot_digit6_button_clicked()
{
    input_digit(QStringLiteral("6"));
}
void MainWindow::slot_digit7_button_clicked()
{
    input_digit(QStringLiteral("7"));
}
void MainWindow::slot_digit8_button_clicked()
{
    input_digit(QStringLiteral("8"));
}
void MainWindow::slot_digit9_button_clicked()
{
    input_digit(QStringLiteral("9"));
}
void MainWindow::slot_star_button_clicked()
{
    input_digit(QStringLiteral("*"));
}
void MainWindow::slot_pound_button_clicked()
{
    input_digit(QStringLiteral("#"));
}

void MainWindow::slot_clear_button_pressed()
{
    ui.deleteButton->setStyleSheet(zim::STYLE_DELETE_BUTTON_PRESSED);
    if (!clear_timer->isActive())
        clear_timer->start(1000);
}

void MainWindow::slot_clear_button_released()
{
    ui.deleteButton->setStyleSheet(zim::STYLE_DELETE_BUTTON);
    if (!display_text().isEmpty())
        remove_last_digit();
    else
        set_delete_visible(false);
    clear_timer->stop();
}

void MainWindow::slot_clear_button_long_pressed()
{
    set_display_text(QString());
}

void MainWindow::slot_logo_clicked() {}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_unknown)
        return;
    if (event->modifiers() == Qt::ControlModifier && key == Qt::Key_V) {
        const QString digits =
            zim::number_from_paste(QApplication::clipboard()->text(), display_text().isEmpty());
        if (!digits.isEmpty()) {
            set_display_text(display_text() + digits);
            set_delete_visible(true);
        }
        return;
    }
    if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt)
        return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (zim_phone->is_incoming_ringing()) {
            zim_phone->request_answer();
            set_delete_visible(false);
        } else {
            dial_display();
        }
        return;
    }
    if (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        // The menu with every window, as the menu key opens it.
        QWidget* focused = focusWidget() ? focusWidget() : this;
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(),
                               focused->mapToGlobal(focused->rect().center()));
        contextMenuEvent(&menu);
        return;
    }
    if (key == Qt::Key_F2 && event->modifiers() == Qt::NoModifier) {
        slot_colleagues_menu_clicked();
        return;
    }
    if (key == Qt::Key_M && event->modifiers() == Qt::NoModifier) {
        toggle_mute();
        return;
    }
    if (key == Qt::Key_R && event->modifiers() == Qt::NoModifier) {
        toggle_record();
        return;
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        if (display_text().isEmpty())
            set_delete_visible(false);
        else if (!ui.deleteButton->isHidden())
            remove_last_digit();
        return;
    }
    // An input method in full-width mode types "３" and "＋": they count as their plain forms.
    const QString text = zim::half_width(event->text());
    if (text == QLatin1String("+")) {
        if (display_text().isEmpty()) // only an international number starts with it
            append_to_display(text);
        return;
    }
    if (text.isEmpty() && key >= Qt::Key_0 && key <= Qt::Key_9) {
        input_digit(QString(QChar(key)));
        return;
    }
    static const QRegularExpression dial_keys(QStringLiteral("^[0-9*#]+$"));
    if (dial_keys.match(text).hasMatch()) {
        for (const QChar c : text)
            input_digit(QString(c));
    }
}

void MainWindow::slot_phone_registration_state_change(QString state, QString userId)
{
    ui.onlineStatus->setStyleSheet(state == zim::REG_SUCCESSFUL ? zim::STYLE_ONLINE_STATUS
                                                                : zim::STYLE_OFFLINE_STATUS);
    if (state != zim::REG_FAILED)
        ui.onlineStatus->setToolTip(QString()); // a failure's reason stays only while it holds
    if (state == zim::REG_PROGRESS)
        set_registration_text(zim::STATUS_REGISTERING);
    else if (state == zim::REG_FAILED)
        set_registration_text(zim::STATUS_REG_FAILED);
    else if (state == zim::REG_UNREGISTER)
        set_registration_text(zim::STATUS_NOT_REGISTERED);
    ui.userId->setText(userId);
    if (tray)
        tray->setToolTip(zim::SHORT_PRODUCT_NAME + QStringLiteral(" 内線：") + userId);
}

// ---- dragging the frameless window ----

// Presses that no button takes come to the window and its frame; the number screen and the
// logo take theirs, so they are watched too. The last drop is where the next start opens.
void MainWindow::set_up_dragging()
{
    dragger = new WindowDragger(this);
    for (QWidget* surface : {static_cast<QWidget*>(this), static_cast<QWidget*>(ui.screenGroupBox),
                             static_cast<QWidget*>(ui.logoButton)})
        dragger->watch(surface);
    connect(dragger, &WindowDragger::signal_dropped, this, [this](QPoint position) {
        const QString value = QStringLiteral("%1,%2").arg(position.x()).arg(position.y());
        if (!zim_data->save_other_settings({{zim::KEY_MAIN_WINDOW_POSITION, value}}))
            zim_logger->log(QStringLiteral("window position could not be saved"), 2);
    });
    const QStringList stored =
        zim_data->other_settings().value(zim::KEY_MAIN_WINDOW_POSITION).split(QLatin1Char(','));
    bool x_ok = false, y_ok = false;
    const QPoint position(stored.value(0).toInt(&x_ok), stored.value(1).toInt(&y_ok));
    if (stored.size() == 2 && x_ok && y_ok) {
        move(WindowDragger::on_screen(this, position));
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // A place of its own from the first start: a window manager would otherwise put the phone
        // where it likes after 設定 was placed beside it, and 設定 would cover it.
        const QRect area = screen->availableGeometry();
        move(area.left() + qMax(0, (area.width() - width()) / 2),
             area.top() + qMax(0, (area.height() - height()) / 2));
    }
}
