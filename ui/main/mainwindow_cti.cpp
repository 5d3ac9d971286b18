// Operator status reporting and the remote-site window, as the main window drives them.
#include "ui/main/mainwindow.h"

void MainWindow::slot_reset_operator_status(QString operatorAddress)
{
    Q_UNUSED(operatorAddress)
}
