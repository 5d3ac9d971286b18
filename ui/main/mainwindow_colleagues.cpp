// 内線状態: the colleagues' lamps, and the calls and transfers a click on one of them asks for.
#include "ui/main/mainwindow.h"

#include "data/colleagues.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/colleaguewatch.h"
#include "phone/zimphone.h"
#include "ui/colleagues/colleagueswindow.h"
#include "ui/main/provisioningloader.h"
#include "ui/main/windowplacement.h"

void MainWindow::set_up_colleagues()
{
    colleagues_window = new ColleaguesWindow(this);
    colleagues_text = zim_data->other_settings().value(colleagues::KEY);
    colleagues_window->load(colleagues::from_text(colleagues_text));
    connect(provisioning, &ProvisioningLoader::signal_fetch_done, this, &MainWindow::reload_colleagues);
    connect(zim_phone->colleague_watch(), &ColleagueWatch::signal_colleague_lamp, colleagues_window,
            &ColleaguesWindow::slot_colleague_lamp);
    connect(colleagues_window, &ColleaguesWindow::signal_colleague_clicked, this,
            &MainWindow::slot_colleague_clicked);
    connect(colleagues_window, &ColleaguesWindow::signal_pick_up_colleague, this, [this](QString extension) {
        if (zim_phone->phase() == CallPhase::Idle) {
            zim_phone->request_pickup(extension);
            set_display_text(extension);
        }
    });
    connect(colleagues_window, &ColleaguesWindow::signal_consult_colleague, this, [this](QString extension) {
        if (zim_phone->is_current_streaming() && !zim_phone->is_second_streaming()) {
            zim_phone->request_attended_transfer(extension);
            set_display_text(extension);
        }
    });
}

// The list changed (a save in 設定, or the administrator's provisioning): the window shows it at
// once with every lamp unknown, and the engine subscribes anew.
void MainWindow::reload_colleagues()
{
    const QString text = zim_data->other_settings().value(colleagues::KEY);
    if (text == colleagues_text)
        return;
    colleagues_text = text;
    colleagues_window->load(colleagues::from_text(text));
    zim_phone->colleague_watch()->request_reload();
}

void MainWindow::slot_colleagues_menu_clicked()
{
    zim::bring_up(colleagues_window, this);
}

// Idle, a click calls the colleague; with a call connected it hands that call to them (blind).
void MainWindow::slot_colleague_clicked(QString extension)
{
    if (zim_phone->phase() == CallPhase::Idle) {
        if (!dial_allowed(extension))
            return;
        zim_phone->request_dial(extension);
        set_display_text(extension);
        return;
    }
    if (zim_phone->is_current_streaming() && !zim_phone->is_second_streaming()) {
        zim_logger->log(QStringLiteral("blind transfer to colleague %1").arg(extension), 1);
        zim_phone->request_blind_transfer(extension);
    }
}
