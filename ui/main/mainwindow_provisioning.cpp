// The administrator's provisioning at start, and what the operator sees of it.
#include "ui/main/mainwindow.h"

#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/main/provisioningloader.h"

#include <QLabel>
#include <QTimer>

namespace {
// Long enough to be read: the registration's own texts would replace it at once.
const int PROVISIONING_NOTICE_MS = 10000;
const QString STATUS_PROVISIONING_ERROR = QStringLiteral("設定ファイルの誤り: %1");
} // namespace

bool MainWindow::start_provisioning()
{
    provisioning = new ProvisioningLoader(this, zim_data, zim_logger);
    connect(provisioning, &ProvisioningLoader::signal_provisioning_error, this,
            &MainWindow::slot_show_provisioning_error);
    connect(provisioning, &ProvisioningLoader::signal_account_provisioned, this,
            &MainWindow::slot_account_provisioned);
    return provisioning->start();
}

void MainWindow::slot_show_provisioning_error(QString where)
{
    // "<path> line <n>" on the line, the reason as well in its tooltip.
    if (!notice_timer || !notice_timer->isActive())
        status_after_notice = ui.dialogStatus->text();
    ui.dialogStatus->setText(STATUS_PROVISIONING_ERROR.arg(where.left(where.indexOf(QStringLiteral(": ")))));
    ui.dialogStatus->setToolTip(where);
    if (!notice_timer) {
        notice_timer = new QTimer(this);
        notice_timer->setSingleShot(true);
        connect(notice_timer, &QTimer::timeout, this, [this] {
            ui.dialogStatus->setToolTip(QString());
            ui.dialogStatus->setText(status_after_notice);
        });
    }
    notice_timer->start(PROVISIONING_NOTICE_MS);
}

void MainWindow::set_registration_text(const QString& text)
{
    if (notice_timer && notice_timer->isActive())
        status_after_notice = text;
    else
        ui.dialogStatus->setText(text);
}

// The fetched file changed the account the engine registered with at start.
void MainWindow::slot_account_provisioned()
{
    if (!zim_phone->is_idle()) {
        if (!provisioned_account_waits)
            zim_logger->log(QStringLiteral("provisioned account applies at the end of the call"), 1);
        provisioned_account_waits = true;
        QTimer::singleShot(1000, this, &MainWindow::slot_account_provisioned);
        return;
    }
    provisioned_account_waits = false;
    ui.userId->setText(zim_data->account_settings().value(QStringLiteral("userId")));
    zim_phone->request_reregistration();
}
