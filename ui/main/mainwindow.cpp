#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"

#include <QIcon>
#include <QLabel>
#include <QMap>
#include <QMetaType>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent) : QWidget(parent)
{
    zim::make_private_log_dir();
    qRegisterMetaType<QMap<QString, QString>>("QMap<QString, QString>");
    zim_logger = new ZimLogger(this);
    zim_data = new ZimData(this, zim_logger);

    setWindowTitle(zim::WINDOW_TITLE_FORMAT.arg(zim::VERSION));
    setWindowIcon(QIcon(zim::APP_ICON));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(zim::PRODUCT_TITLE, this));
    resize(320, 120);
}

void MainWindow::handle_client_command(const QString& command)
{
    zim_logger->log(command, 1);
}
