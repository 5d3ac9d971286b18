// Operator status reporting and the remote-site window, as the main window drives them.
#include "ui/main/mainwindow.h"

#include "phone/zimphone.h"
#include "ui/cti/operatorstatuscombobox.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/cti/remotesitepresenter.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

void MainWindow::create_cti()
{
    reporter = new OperatorStatusReporter(this, zim_data, zim_logger);
    // The selector sits in the free band between the logo and the number screen.
    operator_status = zim::make_operator_status_combo_box(ui.mainFrame);
    // In the buttons' type and height, so its text is not cut off at the bottom.
    operator_status->setFont(ui.settingButton->font());
    operator_status->setGeometry(10, 53, 150, 28);
    connect(operator_status, QOverload<int>::of(&QComboBox::currentIndexChanged), reporter,
            &OperatorStatusReporter::slot_operator_status_change);
    connect(reporter, &OperatorStatusReporter::signal_select_status_index, operator_status,
            &QComboBox::setCurrentIndex);
    connect(reporter, &OperatorStatusReporter::signal_show_user_name, ui.userName, &QLabel::setText);
    // The reply's re-apply step only serves the re-apply the settings save raised, and the
    // engine's loop serves that by itself: raising another would replace the account twice.

    presenter = new RemoteSitePresenter(this, zim_phone, zim_data, zim_logger);
    connect(presenter, &RemoteSitePresenter::signal_show_main_window, this,
            &MainWindow::slot_show_main_window);
}

void MainWindow::slot_reset_operator_status(QString operatorAddress)
{
    reporter->slot_reset_operator_status(operatorAddress);
}

bool MainWindow::immediate_close_of_remote_site() const
{
    return presenter->not_delay_hidden();
}
