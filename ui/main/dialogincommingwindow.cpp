#include "ui/main/dialogincommingwindow.h"

#include "data/zimconstants.h"
#include "phone/zimphone.h"
#include "ui/accessiblenames.h"
#include "ui/main/fittedlabel.h"
#include "ui/main/skinshape.h"

#include "ui_dialogincommingwindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>

DialogIncommingWindow::DialogIncommingWindow(QWidget* parent, ZimPhone* phone)
    : QWidget(parent), ui(new Ui::DialogIncommingWindow), phone(phone)
{
    // A window to a screen reader, named after the caller as it shows.
    zim::set_accessible_role("DialogIncommingWindow", QAccessible::Window);
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // A call must not take the keys from whatever the operator is typing elsewhere; a click on
    // the popup gives it the focus, and Return then answers.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::ClickFocus);
    SkinShape::apply(this, ui->siteFrame);
    ui->siteFrame->setStyleSheet(zim::STYLE_SITE_FRAME_SIMPLE);
    ui->phoneNumber->setTextFormat(Qt::PlainText); // the caller's own text, never markup
    // A long number shows whole, leading zeros included, in smaller type.
    ui->phoneNumber->set_fitting(8, Qt::ElideMiddle);
    ui->siteDialogButton->setStyleSheet(zim::STYLE_SITE_DIALOG_BUTTON);
    ui->siteTerminateButton->setStyleSheet(zim::STYLE_SITE_TERMINATE_BUTTON);
    ui->siteDialogButton->setCursor(Qt::PointingHandCursor);
    ui->siteTerminateButton->setCursor(Qt::PointingHandCursor);
    ui->closeButton->setCursor(Qt::PointingHandCursor);
    ui->callerName->hide();
    // The pictures say nothing to a screen reader; the logo does nothing and takes no focus.
    ui->closeButton->setAccessibleName(QStringLiteral("閉じる"));
    ui->closeButton->setAccessibleDescription(QStringLiteral("着信は続きます"));
    ui->logoButton->setAccessibleName(zim::SHORT_PRODUCT_NAME);
    ui->logoButton->setFocusPolicy(Qt::NoFocus);

    connect(ui->closeButton, &QPushButton::clicked, this,
            &DialogIncommingWindow::slot_close_site_button_clicked);
    connect(ui->siteDialogButton, &QPushButton::clicked, this,
            &DialogIncommingWindow::slot_dialog_button_clicked);
    connect(ui->siteTerminateButton, &QPushButton::clicked, this,
            &DialogIncommingWindow::slot_dialog_end_button_clicked);
}

DialogIncommingWindow::~DialogIncommingWindow()
{
    delete ui;
}

// Measured from the available area itself, so a task bar on the left or top, or a primary
// screen that does not start at the desktop's origin, still gets the popup in its corner.
void DialogIncommingWindow::move_to_bottom_right()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.x() + area.width() - width(), area.y() + area.height() - height());
}

void DialogIncommingWindow::set_caller_name(const QString& name)
{
    // Plain text from the caller: shown as written, shortened to the line, never read as markup.
    const QString line = name.simplified();
    ui->callerName->setText(
        ui->callerName->fontMetrics().elidedText(line, Qt::ElideRight, ui->callerLayoutWidget->width()));
    ui->callerName->setVisible(!line.isEmpty());
}

void DialogIncommingWindow::slot_close_site_button_clicked()
{
    hide();
}

void DialogIncommingWindow::slot_dialog_button_clicked()
{
    if (phone)
        phone->request_answer();
    emit signal_dialog_accept();
}

void DialogIncommingWindow::slot_dialog_end_button_clicked()
{
    // Rejects the ringing call; the popup goes when the call has ended.
    if (phone)
        phone->request_hangup();
}

void DialogIncommingWindow::showEvent(QShowEvent* event)
{
    const QString number = phone ? phone->remote_number() : QString();
    ui->phoneNumber->setText(number + QStringLiteral(" から着信中・・・"));
    // The caller for a screen reader, as the phone announces it.
    const QString caller =
        ui->callerName->isHidden() ? number : ui->callerName->text() + QLatin1Char(' ') + number;
    setAccessibleName(QStringLiteral("着信 ") + caller);
    setAccessibleDescription(caller + QStringLiteral(" から着信中"));
    event->accept();
}

void DialogIncommingWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        slot_dialog_button_clicked();
    else
        QWidget::keyPressEvent(event);
}

void DialogIncommingWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}
