// The desk's system-wide keys: answer, hang up, hold/unhold and mute from any window.

#include "ui/main/mainwindow.h"

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/main/globalhotkeys.h"
#include "ui/settings/othersetting.h"

#include <QLabel>

namespace {
const QString STATUS_KEYS_UNUSABLE = QStringLiteral("使えないグローバルキーあり");
const QString STATUS_KEYS_LIMITED = QStringLiteral("グローバルキーは制限付き");
} // namespace

void MainWindow::set_up_global_keys()
{
    global_keys = new GlobalHotKeys(this);
    connect(global_keys, &GlobalHotKeys::signal_pressed, this, &MainWindow::act_on_global_key);
    apply_global_keys();
}

// A key another program holds is said in the log and on the status line, not silently lost.
void MainWindow::apply_global_keys()
{
    const QStringList problems = global_keys->apply(zim_data->other_settings());
    for (const QString& problem : problems)
        zim_logger->log(problem, 2);
    if (problems.isEmpty())
        return;
    // The status line says it in short; its tooltip and the log say which keys and why.
    const bool wayland = problems.first() == GlobalHotKeys::wayland_limit();
    show_status(wayland && problems.size() == 1 ? STATUS_KEYS_LIMITED : STATUS_KEYS_UNUSABLE,
                problems.join(QLatin1Char('\n')));
}

// Each key does what its command does: answer takes only a ringing call.
void MainWindow::act_on_global_key(int action)
{
    switch (action) {
    case GlobalHotKeys::Answer:
        answer_from_command();
        break;
    case GlobalHotKeys::Hangup:
        handle_client_command(QStringLiteral("hangup"));
        break;
    case GlobalHotKeys::Hold:
        if (!zim_phone->is_idle())
            zim_phone->request_hold_toggle();
        break;
    case GlobalHotKeys::Mute:
        toggle_mute();
        break;
    default:
        break;
    }
}

// The 消音 key, M, the menu item, the global key and the commands all end here or in the engine;
// the key shows pressed while the call is muted.
void MainWindow::toggle_mute()
{
    if (!zim_phone->is_idle())
        zim_phone->request_mute(!zim_phone->is_muted());
}

// 録音, R, the menu item and the "record" command start the connected call's recording or stop it;
// the key shows pressed while the call records.
void MainWindow::toggle_record()
{
    if (!zim_phone->is_idle())
        zim_phone->request_record_toggle();
}
