// Call control, status line, call timer, history rows and the commands of other programs.
#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/calllink.h"
#include "phone/zimphone.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/history/historyrecord.h"
#include "ui/history/historywindow.h"
#include "ui/main/audiocueplayer.h"
#include "ui/main/dialogincommingwindow.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

void MainWindow::slot_dialog_button_clicked()
{
    if (zim_phone->is_incoming_ringing()) {
        zim_phone->request_answer();
        set_delete_visible(false);
        return;
    }
    if (!display_text().isEmpty()) {
        dial_display();
        return;
    }
    if (zim_phone->phase() == CallPhase::Idle) {
        // Recall: a second click dials it.
        set_display_text(zim_phone->last_dialled_number());
        set_delete_visible(true);
    }
}

void MainWindow::slot_pause_button_clicked()
{
    zim_phone->request_hold_toggle();
}

void MainWindow::slot_transfer_button_clicked()
{
    if (zim_phone->is_current_streaming()) {
        set_display_text(QString()); // the user is about to type the transfer target
        set_delete_visible(false);
    }
    zim_phone->request_transfer_step(display_text());
}

void MainWindow::slot_terminate_button_clicked()
{
    presenter->slot_set_not_delay_hidden_remote_window();
    zim_phone->request_hangup();
}

void MainWindow::slot_update_dialog_status(QString status)
{
    show_status(status);
    // 消音 is there while a call is connected, pressed while it is muted.
    const CallPhase phase = zim_phone->phase();
    const bool connected =
        phase == CallPhase::Talking || phase == CallPhase::Holding || phase == CallPhase::RemoteHolding;
    ui.muteButton->setVisible(connected);
    ui.muteButton->setChecked(zim_phone->is_muted());
    // 録音 likewise, pressed while the call records.
    ui.recordButton->setVisible(connected);
    ui.recordButton->setChecked(zim_phone->is_recording());
}

void MainWindow::slot_start_count_dialog_time()
{
    if (popup && popup->isVisible())
        popup->hide();
    // A call answered by itself (the desk's auto-answer) is seen as a clicked one is: the phone
    // comes up from the tray with the caller, and the keys stay where the operator types.
    if (incoming_call_announced && (!isVisible() || isMinimized()))
        show_without_focus();
    incoming_call_announced = false;
    if (call_timer->isActive())
        return;
    ui.dialogTime->setText(QStringLiteral("00:00:01"));
    call_timer->start(1000);
    call_start = QDateTime::currentDateTime();
}

void MainWindow::slot_call_continues(int seconds_connected)
{
    call_start = QDateTime::currentDateTime().addSecs(-seconds_connected);
    if (call_timer->isActive())
        slot_update_count_dialog_time();
}

// The display runs one second ahead of the elapsed time: the first tick shows 00:00:01.
QString MainWindow::elapsed_call_time() const
{
    const qint64 seconds = call_start.isValid() ? call_start.secsTo(QDateTime::currentDateTime()) : 0;
    return QTime(0, 0, 1).addSecs(int(seconds % 86400)).toString(QStringLiteral("hh:mm:ss"));
}

void MainWindow::slot_update_count_dialog_time()
{
    ui.dialogTime->setText(elapsed_call_time());
}

// The row is built from what the engine reported with the end, never from its current state: a
// call that arrives meanwhile must not rename it.
void MainWindow::slot_dialog_end(QString number, int recordStatus, CallReport report)
{
    // The remote-site window leaves at once after our hang-up, otherwise after the delay.
    presenter->hide_after_call();
    if (popup && popup->isVisible())
        popup->hide();
    incoming_call_announced = false;
    restore_number_typed_before_call();
    ui.callerNameLabel->setText(QString());
    ui.dialogTime->setText(QString());
    call_timer->stop();
    slot_stop_hold_music();
    call_duration = elapsed_call_time();
    add_call_row(number, recordStatus, call_duration, report);
    zim_logger->log(call_duration, 1);
}

// One leg of a consultation ended while the other goes on: its row, and nothing on the screen.
void MainWindow::slot_call_recorded(QString number, int recordStatus, int seconds, CallReport report)
{
    add_call_row(number, recordStatus,
                 QTime(0, 0, 1).addSecs(seconds % 86400).toString(QStringLiteral("hh:mm:ss")), report);
}

void MainWindow::add_call_row(const QString& number, int recordStatus, const QString& duration,
                              const CallReport& report)
{
    const bool connected =
        recordStatus == RECORD_INCOMING_ANSWERED || recordStatus == RECORD_OUTGOING_ANSWERED;
    QMap<QString, QString> row;
    row.insert(QStringLiteral("status"), QString::number(recordStatus));
    row.insert(QStringLiteral("phoneNumber"), number);
    row.insert(QStringLiteral("dialogTime"), connected ? duration : QStringLiteral("00:00:00"));
    row.insert(QStringLiteral("dialogDate"),
               QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    row.insert(QStringLiteral("deleteFlg"), QStringLiteral("0"));
    history_record::add_report(row, report);
    history->add_history(row);
}

void MainWindow::slot_clear_phone_number()
{
    set_display_text(QString());
    set_delete_visible(false);
}

void MainWindow::slot_set_phone_number(QString phoneNumber)
{
    if (transfer_message_timer->isActive())
        return; // the transfer's result stays its time; the number follows it
    set_display_text(phoneNumber);
}

void MainWindow::slot_show_phone_message(QString message)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("確認メッセージ"), message, QMessageBox::Yes);
    box.exec();
}

void MainWindow::slot_show_transfer_call_result(QString message)
{
    ui.phoneNumberLabel->setText(message);
    display_holds_message = true;
    set_delete_visible(false);
    if (!transfer_message_timer->isActive())
        transfer_message_timer->start(transfer_message_ms);
}

void MainWindow::slot_clear_transfer_result_message()
{
    // After a failed transfer the call goes on: its number comes back.
    set_display_text(zim_phone->phase() == CallPhase::Idle ? QString() : zim_phone->remote_number());
    transfer_message_timer->stop();
}

void MainWindow::slot_send_call_from_history_window(QString phoneNumber)
{
    if (phoneNumber.isEmpty() || zim_phone->phase() != CallPhase::Idle || !dial_allowed(phoneNumber))
        return;
    zim_phone->request_dial(phoneNumber);
    set_display_text(phoneNumber);
    bring_to_front();
    history->hide();
}

void MainWindow::slot_show_operator_login() {}

// ---- audio ----

void MainWindow::slot_play_terminated_audio(QString file)
{
    audio_player->slot_play_terminated_audio(file);
}

void MainWindow::slot_play_hold_music()
{
    audio_player->slot_play_hold_music();
}

void MainWindow::slot_stop_hold_music()
{
    audio_player->slot_stop_hold_music();
}

// ---- commands from other programs ----

namespace {

// A number as the log shows it: whatever it carries (control characters included) percent-encoded.
QString loggable(const QString& number)
{
    return QString::fromLatin1(number.toUtf8().toPercentEncoding("+*#@:;?"));
}

} // namespace

// A number from a link, a command or the history names no host of its own: it goes to the
// account's server like a typed one, or nowhere.
bool MainWindow::dial_allowed(const QString& number)
{
    if (zim::is_safe_dial_string(number))
        return true;
    zim_logger->log(QStringLiteral("number refused, it names more than a number: ") + loggable(number), 1);
    slot_show_call_failure(zim::FAIL_UNSAFE_NUMBER);
    return false;
}

// Another program's call goes out only from an idle phone: while a call rings or is under way it
// would otherwise answer the ringing call or start a consultation nobody asked for.
QString MainWindow::dial_from_command(const QString& number)
{
    if (zim_phone->phase() != CallPhase::Idle || !zim_phone->is_idle()) {
        const QString refusal =
            QStringLiteral("call refused, the phone is busy with a call: ") + loggable(number);
        zim_logger->log(refusal, 1);
        return refusal;
    }
    if (number.isEmpty()) {
        zim_logger->log(QStringLiteral("call without a number."), 1);
        return QStringLiteral("call without a number");
    }
    if (!dial_allowed(number))
        return QStringLiteral("number refused, it names more than a number: ") + loggable(number);
    set_display_text(number);
    set_delete_visible(false);
    zim_phone->request_dial(number);
    return QString();
}

// "answer" takes a ringing call and does nothing else: unlike the green button it never dials what
// the display shows or recalls the last number.
void MainWindow::answer_from_command()
{
    if (!zim_phone->is_incoming_ringing())
        return; // like hold or unhold with nothing to act on: the command's own log line says it
    zim_phone->request_answer();
    set_delete_visible(false);
}

QString MainWindow::handle_client_command(const QString& received)
{
    zim_logger->log(received, 1);
    // sip:, sips: and tel: links dial the way callto does.
    if (const auto number = zim::link_number(received)) {
        if (number->isEmpty()) {
            zim_logger->log(QStringLiteral("call link without a number."), 1);
            return QStringLiteral("call link without a number");
        }
        return dial_from_command(*number);
    }
    QString command = received;
    // Formatted numbers such as 2-01 or (2)01 become plain digits; callto://201 becomes callto:201.
    command.remove(QRegularExpression(QStringLiteral("[-/()]")));

    if (command.contains(QLatin1String("callto"))) {
        const QStringList parts = command.split(QLatin1Char(':'));
        if (parts.size() < 2) {
            zim_logger->log(QStringLiteral("callto paramter error."), 1);
            return QStringLiteral("callto without a number");
        }
        return dial_from_command(parts.at(1));
    }

    QString action;
    QString parameter;
    if (command.contains(zim::CLIENT_ID)) {
        const QStringList parts = command.split(QLatin1Char(':'));
        if (parts.size() >= 2)
            action = parts.at(1);
        if (parts.size() >= 3)
            parameter = parts.at(2);
        zim_logger->log(QStringLiteral("is called from client action:") + action, 1);
    } else {
        const QStringList parts = command.split(QLatin1Char('&'));
        action = parts.value(0);
        if (parts.size() >= 2)
            parameter = parts.at(1);
    }

    const bool names_a_transfer_target =
        action == QLatin1String("transfer") || action == QLatin1String("blindtransfer");
    if (names_a_transfer_target && !dial_allowed(parameter))
        return QStringLiteral("number refused, it names more than a number: ") + loggable(parameter);
    if (action == QLatin1String("call")) {
        return dial_from_command(parameter);
    } else if (action == QLatin1String("hold")) {
        if (!zim_phone->is_current_paused())
            zim_phone->request_hold_toggle();
    } else if (action == QLatin1String("unhold")) {
        if (zim_phone->is_current_paused())
            zim_phone->request_hold_toggle();
    } else if (action == QLatin1String("mute") || action == QLatin1String("unmute")) {
        zim_phone->request_mute(action == QLatin1String("mute"));
    } else if (action == QLatin1String("record")) {
        toggle_record();
    } else if (action == QLatin1String("hangup")) {
        presenter->slot_set_not_delay_hidden_remote_window();
        zim_phone->request_hangup();
    } else if (action == QLatin1String("transfer")) {
        if (!zim_phone->is_idle() && !zim_phone->is_second_streaming()) {
            zim_phone->request_attended_transfer(parameter);
            set_display_text(parameter);
        }
    } else if (action == QLatin1String("transfer_complete")) {
        if (zim_phone->is_second_streaming())
            zim_phone->request_attended_transfer(display_text());
    } else if (action == QLatin1String("blindtransfer")) {
        zim_phone->request_blind_transfer(parameter);
    } else if (action == QLatin1String("answer")) {
        answer_from_command();
    } else {
        zim_logger->log(QStringLiteral("unsuppor action"), 1);
    }
    return QString();
}
