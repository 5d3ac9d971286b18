#include "ui/main/aboutwindow.h"

#include "data/zimconstants.h"
#include "ui/closeonescape.h"

#include "ui_aboutwindow.h"

#include <QCloseEvent>
#include <QDate>
#include <QFont>

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent), ui(new Ui::AboutWindow)
{
    ui->setupUi(this);
    // The labels have fixed widths: small type keeps the version and notice lines whole.
    QFont small = font();
    small.setPointSize(9);
    setFont(small);
    small.setPointSize(8);
    ui->versionLabel->setFont(small);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    // The hint above only works on Windows; elsewhere the size is held by the widget itself.
    setFixedSize(362, 120);
    setWindowTitle(zim::SHORT_TITLE);
    ui->versionLabel->setText(zim::WINDOW_TITLE_FORMAT.arg(zim::VERSION));
    ui->copyrightLabel->setText(zim::ABOUT_NOTICE_FORMAT.arg(QDate::currentDate().year()));
    ui->label->setToolTip(zim::PRODUCT_SITE.toString());
    zim::close_on_escape(this);
}

AboutWindow::~AboutWindow()
{
    delete ui;
}

void AboutWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}
