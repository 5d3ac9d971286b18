// The administrator's provisioning at start, and what the operator sees of it.
#include "ui/main/mainwindow.h"

#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/main/provisioningloader.h"

#include <QLabel>
#include <QTimer>

#include <QRegularExpression>

namespace {
// Short enough for the status line; the file, the line and the reason are in the log and in the
// status line's tooltip.
const QString STATUS_PROVISIONING_ERROR = QStringLiteral("設定ファイルの誤り");
const QString STATUS_PROVISIONING_ERROR_LINE = QStringLiteral("設定ファイルの誤り (%1行目)");

QString provisioning_notice_for(const QString& where)
{
    static const QRegularExpression line(QStringLiteral(" line (\\d+)(: |$)"));
    const QRegularExpressionMatch match = line.match(where);
    return match.hasMatch() ? STATUS_PROVISIONING_ERROR_LINE.arg(match.captured(1))
                            : STATUS_PROVISIONING_ERROR;
}
} // namespace

bool MainWindow::start_provisioning()
{
    provisioning = new ProvisioningLoader(this, zim_data, zim_logger);
    connect(provisioning, &ProvisioningLoader::signal_provisioning_error, this,
            &MainWindow::slot_show_provisioning_error);
    connect(provisioning, &ProvisioningLoader::signal_account_provisioned, this,
            &MainWindow::slot_account_provisioned);
    connect(provisioning, &ProvisioningLoader::signal_provisioning_fixed, this, [this] {
        const bool shown = ui.dialogStatus->text() == provisioning_notice;
        provisioning_notice.clear();
        provisioning_where.clear();
        ui.dialogStatus->setToolTip(QString());
        if (shown)
            set_status_line(status_after_notice);
    });
    return provisioning->start();
}

// A file the administrator must put right: named on the status line whenever no call is on, until
// a good file is read (the lamp and its tooltip still tell the registration).
void MainWindow::slot_show_provisioning_error(QString where)
{
    provisioning_notice = provisioning_notice_for(where);
    if (ui.dialogStatus->text() != provisioning_notice)
        status_after_notice = ui.dialogStatus->text();
    provisioning_where = where;
    show_status(status_after_notice);
}

// The status line's text, unless a provisioning notice holds it while no call is on. A notice too
// long for the line shows in short there, and whole in the line's tooltip (`tip`).
void MainWindow::show_status(const QString& text, const QString& tip)
{
    // The engine starts after the desk's file has been read.
    if (provisioning_notice.isEmpty() || (zim_phone && zim_phone->phase() != CallPhase::Idle)) {
        set_status_line(text, tip);
        return;
    }
    status_after_notice = text;
    set_status_line(provisioning_notice, provisioning_where);
}

void MainWindow::set_registration_text(const QString& text)
{
    show_status(text);
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
