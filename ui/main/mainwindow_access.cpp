// For an operator who cannot see the screen: names for a reader, the keys' route through the
// skin, and what changes told without a change of focus.
#include "ui/main/mainwindow.h"

#include "data/zimconstants.h"
#include "phone/zimphone.h"
#include "ui/accessiblenames.h"
#include "ui/main/announcer.h"
#include "ui/main/focusmark.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

void MainWindow::set_up_access()
{
    new zim::AccessibleNames(this);
    // The pictures of the skin say nothing by themselves.
    ui.closeButton->setAccessibleName(zim::TEXT_MINIMIZE);
    ui.deleteButton->setAccessibleName(QStringLiteral("1文字消去"));
    ui.deleteButton->setAccessibleDescription(QStringLiteral("Backspace キーでも消せます"));
    ui.logoButton->setAccessibleName(zim::SHORT_PRODUCT_NAME);
    ui.screenGroupBox->setAccessibleName(QStringLiteral("表示"));
    ui.dialogStatus->setAccessibleDescription(QStringLiteral("状態"));
    ui.onlineStatus->setAccessibleName(QStringLiteral("登録の状態"));
    ui.muteButton->setAccessibleDescription(QStringLiteral("M キー"));
    ui.recordButton->setAccessibleDescription(QStringLiteral("R キー"));
    ui.dialogButton->setAccessibleDescription(QStringLiteral("Return キーで発信・応答"));
    // The logo does nothing, and the delete key is Backspace: Tab passes both by.
    ui.logoButton->setFocusPolicy(Qt::NoFocus);
    ui.deleteButton->setFocusPolicy(Qt::NoFocus);
    // Tab follows the eye: top right, the two window keys, then the call keys left to right.
    const QList<QWidget*> route = {ui.closeButton, ui.settingButton,  ui.historyButton,  ui.dialogButton,
                                   ui.pauseButton, ui.transferButton, ui.terminateButton};
    for (int i = 1; i < route.size(); ++i)
        setTabOrder(route[i - 1], route[i]);
    for (QWidget* key : route)
        key->setFocusPolicy(Qt::StrongFocus);
    // The phone's first key under the keyboard is the one it is for.
    ui.dialogButton->setFocus();
    focus_mark = new FocusMark(this);
    announcer = new Announcer(this);
}

// The status line, told when its words change (a ringing call is told with its caller instead).
void MainWindow::set_status_line(const QString& text, const QString& tip)
{
    const bool changed = ui.dialogStatus->text() != text;
    ui.dialogStatus->setText(text);
    ui.dialogStatus->setToolTip(tip);
    if (changed && announcer && text != zim::STATUS_INCOMING)
        announcer->say(text);
}

void MainWindow::announce_ringing(const QString& caller_name)
{
    QStringList words = {QStringLiteral("着信")};
    if (!caller_name.simplified().isEmpty())
        words << caller_name.simplified();
    words << zim_phone->remote_number();
    announcer->say(words.join(QLatin1Char(' ')));
}
