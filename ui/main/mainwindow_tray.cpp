// Tray icon, the two menus, the exit confirmation, closing to the tray and the secondary windows.
#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"
#include "phone/zimphone.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/cti/outlinksetting.h"
#include "ui/history/historywindow.h"
#include "ui/main/aboutwindow.h"
#include "ui/main/incomingcallnotifier.h"
#include "ui/main/missedcallmark.h"
#include "ui/main/windowplacement.h"
#include "ui/settings/accountsetting.h"
#include "ui/settings/othersetting.h"
#include "ui/settings/settingwindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

void MainWindow::create_menus()
{
    auto action = [this](const QString& text, void (MainWindow::*slot)()) {
        auto* item = new QAction(text, this);
        connect(item, &QAction::triggered, this, slot);
        return item;
    };
    setting_action = action(zim::TEXT_SETTINGS, &MainWindow::slot_setting_button_clicked);
    outlink_action = action(zim::TEXT_OUTLINK_SETTINGS_MENU, &MainWindow::slot_outlink_menu_clicked);
    account_action = action(zim::TEXT_ACCOUNT_SETTINGS_MENU, &MainWindow::slot_account_menu_clicked);
    other_action = action(zim::TEXT_OTHER_SETTINGS_MENU, &MainWindow::slot_other_menu_clicked);
    history_action = action(zim::TEXT_HISTORY, &MainWindow::slot_history_button_clicked);
    colleagues_action = action(zim::TITLE_COLLEAGUES, &MainWindow::slot_colleagues_menu_clicked);
    about_action = action(zim::TEXT_ABOUT, &MainWindow::slot_about_menu_clicked);
    call_action = action(zim::TEXT_CALL, &MainWindow::slot_dialog_button_clicked);
    hold_action = action(zim::TEXT_HOLD, &MainWindow::slot_pause_button_clicked);
    mute_action = action(zim::TEXT_MUTE, &MainWindow::toggle_mute);
    record_action = action(zim::TEXT_RECORD, &MainWindow::toggle_record);
    transfer_action = action(zim::TEXT_TRANSFER, &MainWindow::slot_transfer_button_clicked);
    hangup_action = action(zim::TEXT_HANGUP, &MainWindow::slot_terminate_button_clicked);
    minimize_action = action(zim::TEXT_MINIMIZE, &MainWindow::slot_close_button_clicked);
    exit_action = action(zim::TEXT_EXIT, &MainWindow::slot_right_menu_exit_clicked);
    separator1 = new QAction(this);
    separator1->setSeparator(true);
    separator2 = new QAction(this);
    separator2->setSeparator(true);
    open_action = new QAction(zim::TEXT_OPEN, this);
    connect(open_action, &QAction::triggered, this, &QWidget::showNormal);
    right_click_menu = new QMenu;
}

// Both menus share the same actions; only the show/hide item differs.
void MainWindow::fill_menu(QMenu* menu, QAction* show_or_hide)
{
    menu->clear();
    menu->addActions({setting_action, outlink_action, account_action, other_action, history_action,
                      colleagues_action, about_action, separator1, call_action, hold_action, mute_action,
                      record_action, transfer_action, hangup_action, separator2, show_or_hide, exit_action});
}

void MainWindow::create_tray_icon()
{
    tray = new QSystemTrayIcon(QIcon(zim::APP_ICON), this);
    tray_menu = new QMenu;
    fill_menu(tray_menu, open_action);
    tray->setContextMenu(tray_menu);
    connect(tray, &QSystemTrayIcon::activated, this, &MainWindow::slot_system_tray_icon_clicked);
    tray->setToolTip(zim::SHORT_PRODUCT_NAME);
    tray->show();
    auto* missed = new MissedCallMark(tray, history);
    connect(zim_phone, &ZimPhone::signal_dialog_end, missed, &MissedCallMark::slot_update_later);
    connect(zim_phone, &ZimPhone::signal_registration_state, missed, &MissedCallMark::slot_update_later);
    auto* notifier = new IncomingCallNotifier(this, tray);
    connect(zim_phone, &ZimPhone::signal_received_dialog, notifier,
            &IncomingCallNotifier::slot_received_dialog);
    connect(zim_phone, &ZimPhone::signal_start_count_dialog_time, notifier,
            &IncomingCallNotifier::slot_call_answered);
    connect(zim_phone, &ZimPhone::signal_dialog_end, notifier, &IncomingCallNotifier::slot_dialog_end);
    connect(notifier, &IncomingCallNotifier::signal_answer_requested, this, [this] {
        answer_from_command();
        bring_to_front();
    });
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event)
{
    fill_menu(right_click_menu, minimize_action);
    // From the keyboard (the menu key, Shift+F10) beside the focused control, not at the pointer.
    right_click_menu->exec(event->reason() == QContextMenuEvent::Mouse ? QCursor::pos() : event->globalPos());
    event->accept();
}

// Without a system tray (GNOME's default) a hidden phone could be found again only by starting
// it once more: there the window goes to the task bar instead.
void MainWindow::put_away()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

void MainWindow::bring_to_front()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

// Up from the tray or the task bar, in front, without the keyboard focus.
// The widget attribute reaches the platform only when the native window is made; this window has
// one already, so its handle is told (the X platform then maps it with a user time of 0, which
// window managers take as "do not focus").
void MainWindow::show_without_focus()
{
    QWindow* handle = windowHandle();
    if (handle)
        handle->setProperty("_q_showWithoutActivating", true);
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    if (handle)
        handle->setProperty("_q_showWithoutActivating", QVariant());
}

void MainWindow::slot_close_button_clicked()
{
    put_away();
}

void MainWindow::slot_system_tray_icon_clicked(QSystemTrayIcon::ActivationReason reason)
{
    // A single click brings the phone up as a double click does: one click is what people try.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        bring_to_front();
}

void MainWindow::slot_right_menu_exit_clicked()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("終了確認"), QStringLiteral("終了しますか？"),
                    QMessageBox::Ok | QMessageBox::No);
    box.setButtonText(QMessageBox::Ok, QStringLiteral("はい"));
    box.setButtonText(QMessageBox::No, QStringLiteral("いいえ"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Ok)
        return;
    exit_program();
}

// The confirmed exit, also taken on a termination signal and at the end of the session: the
// engine hangs up and unregisters before it stops, and the end of the call it reported reaches
// the history before the window goes.
// How long the exit waits for the operator server to hear of the logout.
static const int EXIT_LOGOUT_MS = 2000;

void MainWindow::exit_program()
{
    if (exit_requested)
        return;
    exit_requested = true;
    // The operator's logout and the unregistration go out together, within one budget.
    const QDeadlineTimer budget(EXIT_LOGOUT_MS);
    const bool logging_out = reporter->start_exit_logout();
    zim_phone->request_stop();
    zim_phone->wait();
    if (logging_out)
        reporter->finish_exit_logout(budget);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (exit_requested) {
        event->accept();
        // The only way out: no closed window or box ends the program by itself.
        QApplication::quit();
        return;
    }
    event->ignore();
    put_away();
}

void MainWindow::slot_setting_button_clicked()
{
    if (!settings) {
        settings = new SettingWindow(this, zim_logger, zim_data, zim_phone);
        connect(settings, &SettingWindow::signal_reset_remote_site, this,
                &MainWindow::slot_reset_remote_site);
        connect(settings, &SettingWindow::signal_colleagues_saved, this, &MainWindow::reload_colleagues);
    }
    zim::bring_up(settings, this);
}

void MainWindow::slot_history_button_clicked()
{
    zim::bring_up(history, this);
}

void MainWindow::slot_about_menu_clicked()
{
    if (!about)
        about = new AboutWindow(this);
    zim::bring_up(about, this);
}

// The menu item is where an operator sets the login ID the status reports and CRM pages carry.
void MainWindow::slot_account_menu_clicked()
{
    if (!account_page)
        account_page = new AccountSetting(this, zim_logger, zim_data, zim_phone);
    account_page->show_operator_tab();
    zim::bring_up(account_page, this);
}

void MainWindow::slot_outlink_menu_clicked()
{
    if (!outlink_page) {
        outlink_page = new OutlinkSetting(this, zim_data);
        connect(outlink_page, &OutlinkSetting::signal_reset_operator_status, this,
                &MainWindow::slot_reset_operator_status);
    }
    zim::bring_up(outlink_page, this);
}

void MainWindow::slot_other_menu_clicked()
{
    if (!other_page) {
        other_page = new OtherSetting(this, zim_logger, zim_data, zim_phone);
        connect(other_page, &OtherSetting::signal_desk_keys_saved, this, &MainWindow::apply_global_keys);
    }
    zim::bring_up(other_page, this);
}

void MainWindow::slot_reset_remote_site() {}
