// A new incoming call: answered at once when it comes from the own number, otherwise announced.
#include "ui/main/mainwindow.h"

#include "data/zimdata.h"
#include "phone/zimphone.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/main/dialogincommingwindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

void MainWindow::slot_received_dialog(QMap<QString, QString> params)
{
    // A number half typed comes back once this call is over; a transfer result is no number.
    number_typed_before_call = transfer_message_timer->isActive() ? QString() : display_text();
    const SettingsMap account = zim_data->account_settings();
    // An anonymous caller never matches an empty own number.
    const QString own = account.value(QStringLiteral("userId"));
    if (!own.isEmpty() && params.value(QStringLiteral("callerId")) == own) {
        slot_dialog_button_clicked();
        return;
    }
    if (!zim_data->outlink_settings().value(QStringLiteral("simpleUrl")).isEmpty()) {
        presenter->show_incoming_call(params);
    } else {
        show_popup(params.value(QStringLiteral("callerName")));
    }
    incoming_call_announced = true;
    set_display_text(zim_phone->remote_number());
    announce_ringing(params.value(QStringLiteral("callerName")));
    // The caller's own text, on one line; it stays until the call ends.
    ui.callerNameLabel->setText(params.value(QStringLiteral("callerName")).simplified());
    set_delete_visible(false);
}

void MainWindow::show_popup(const QString& caller_name)
{
    if (!popup) {
        popup = new DialogIncommingWindow(this, zim_phone);
        connect(popup, &DialogIncommingWindow::signal_dialog_accept, this,
                &MainWindow::slot_accept_dialog_from_incomming_window);
    }
    popup->set_caller_name(caller_name);
    if (!popup->isVisible()) {
        // Placed at each call: the task bar or the screens may have changed since the last one.
        popup->move_to_bottom_right();
        popup->show();
    }
}

void MainWindow::restore_number_typed_before_call()
{
    set_display_text(number_typed_before_call);
    set_delete_visible(!number_typed_before_call.isEmpty());
    number_typed_before_call.clear();
}

void MainWindow::slot_show_main_window()
{
    bring_to_front();
}

void MainWindow::slot_accept_dialog_from_incomming_window()
{
    bring_to_front();
    popup->hide();
}
