// Failures the operator must see: why a call did not get through, why the registration failed.
#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"

#include <QLabel>
#include <QTimer>

namespace {
const int CALL_FAILURE_SHOWN_MS = 3000;
}

void MainWindow::slot_show_call_failure(QString reason)
{
    const QString before = ui.dialogStatus->text();
    const QString tip = ui.dialogStatus->toolTip();
    set_status_line(reason, tip);
    // Then the usual text again, unless the status has moved on meanwhile.
    QTimer::singleShot(CALL_FAILURE_SHOWN_MS, this, [this, reason, before, tip] {
        if (ui.dialogStatus->text() == reason)
            set_status_line(before, tip);
    });
}

void MainWindow::slot_show_registration_failure(QString reason, QString tip)
{
    set_registration_text(reason);
    ui.onlineStatus->setToolTip(tip);
}
