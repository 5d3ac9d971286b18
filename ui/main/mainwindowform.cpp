#include "ui/main/mainwindowform.h"

#include "ui/main/fittedlabel.h"

#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

namespace {

QFont font_of(int points, bool bold)
{
    QFont font;
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

template <typename T> T* make(const char* name, QWidget* parent, int x, int y, int w, int h)
{
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QPushButton* key(const char* name, const QString& text, const QString& style, const QFont& font,
                 QHBoxLayout* row)
{
    auto* button = new QPushButton(text, row->parentWidget());
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(0, 35);
    button->setFont(font);
    button->setStyleSheet(style);
    row->addWidget(button);
    return button;
}

QHBoxLayout* row(const char* widget_name, const char* layout_name, QWidget* parent, int y, int h)
{
    auto* holder = make<QWidget>(widget_name, parent, 10, y, 271, h);
    auto* layout = new QHBoxLayout(holder);
    layout->setObjectName(QString::fromLatin1(layout_name));
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

void MainWindowForm::setup(QMainWindow* window)
{
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(339, 484);
    window->setWindowTitle(QStringLiteral("Velora Zarari"));
    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    window->setCentralWidget(centralWidget);

    mainFrame = make<QFrame>("mainFrame", centralWidget, 20, 40, 291, 411);
    mainFrame->setFrameShape(QFrame::StyledPanel);
    mainFrame->setFrameShadow(QFrame::Raised);
    closeButton = make<QPushButton>("closeButton", mainFrame, 220, 0, 61, 31);
    closeButton->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/close.png);"));

    screenGroupBox = make<QGroupBox>("screenGroupBox", mainFrame, 10, 82, 271, 101);
    screenGroupBox->setFocusPolicy(Qt::ClickFocus);
    screenGroupBox->setTitle(QString());
    onlineStatus = make<QLabel>("onlineStatus", screenGroupBox, 10, 5, 21, 21);
    userId = make<QLabel>("userId", screenGroupBox, 40, 4, 51, 21);
    userId->setFont(font_of(11, false));
    dialogTime = make<QLabel>("dialogTime", screenGroupBox, 38, 73, 191, 21);
    dialogTime->setFont(font_of(11, false));
    dialogTime->setAlignment(Qt::AlignCenter);
    // From the end of the user ID to the right edge: the transfer prompt needs all of it.
    dialogStatus = make<FittedLabel>("dialogStatus", screenGroupBox, 91, 2, 170, 21);
    dialogStatus->setFont(font_of(9, false));
    dialogStatus->setLayoutDirection(Qt::LeftToRight);
    dialogStatus->setAlignment(Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    dialogStatus->setText(QStringLiteral("未認証"));
    // A long number shows whole in smaller type; only beyond 9 points is its middle left out.
    auto* number = make<FittedLabel>("phoneNumberLabel", screenGroupBox, 38, 27, 191, 29);
    number->set_fitting(9, Qt::ElideMiddle);
    phoneNumberLabel = number;
    phoneNumberLabel->setFont(font_of(15, true));
    phoneNumberLabel->setAutoFillBackground(false);
    phoneNumberLabel->setAlignment(Qt::AlignCenter);
    phoneNumberLabel->setTextFormat(Qt::PlainText); // a caller's number may hold markup
    // The caller's name under the number while a call rings or is connected.
    auto* name = make<FittedLabel>("callerNameLabel", screenGroupBox, 38, 55, 191, 18);
    name->set_fitting(8, Qt::ElideRight);
    callerNameLabel = name;
    callerNameLabel->setFont(font_of(9, false));
    callerNameLabel->setAlignment(Qt::AlignCenter);
    callerNameLabel->setTextFormat(Qt::PlainText);
    deleteButton = make<QPushButton>("deleteButton", screenGroupBox, 233, 31, 31, 21);
    deleteButton->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/delete.png);"));
    // Mute, in the screen's free corner during a call: the call row keeps its four keys.
    muteButton = make<QPushButton>("muteButton", screenGroupBox, 231, 74, 34, 20);
    muteButton->setFont(font_of(9, false));
    muteButton->setText(QStringLiteral("消音"));
    muteButton->setCheckable(true);
    muteButton->setFocusPolicy(Qt::NoFocus);
    // Recording, in the other corner, as small.
    recordButton = make<QPushButton>("recordButton", screenGroupBox, 5, 74, 34, 20);
    recordButton->setFont(font_of(9, false));
    recordButton->setText(QStringLiteral("録音"));
    recordButton->setCheckable(true);
    recordButton->setFocusPolicy(Qt::NoFocus);

    // Tall enough for Japanese text in the style's button frame.
    settingButton = make<QPushButton>("settingButton", mainFrame, 170, 53, 51, 28);
    settingButton->setFont(font_of(9, false));
    settingButton->setText(QStringLiteral("設定"));
    historyButton = make<QPushButton>("historyButton", mainFrame, 230, 53, 51, 28);
    historyButton->setFont(font_of(9, false));
    historyButton->setText(QStringLiteral("履歴"));
    userName = make<QLabel>("userName", mainFrame, 170, 40, 111, 21);
    userName->setFont(font_of(13, true));
    userName->setAlignment(Qt::AlignCenter);

    const QFont digit_font = font_of(15, false);
    const QString digit_style = QStringLiteral("border-image: url(:/ZIMPhone/images/digital.png);");
    QHBoxLayout* row1 = row("horizontalLayoutWidget", "horizontalLayout1", mainFrame, 188, 43);
    QHBoxLayout* row2 = row("horizontalLayoutWidget_2", "horizontalLayout2", mainFrame, 230, 41);
    QHBoxLayout* row3 = row("horizontalLayoutWidget_3", "horizontalLayout3", mainFrame, 270, 41);
    QHBoxLayout* row4 = row("horizontalLayoutWidget_4", "horizontalLayout4", mainFrame, 310, 41);
    QHBoxLayout* row5 = row("horizontalLayoutWidget_5", "horizontalLayout5", mainFrame, 350, 51);
    QHBoxLayout* digit_rows[] = {row1, row2, row3};
    static const char* names[] = {"digitalButton0", "digitalButton1", "digitalButton2", "digitalButton3",
                                  "digitalButton4", "digitalButton5", "digitalButton6", "digitalButton7",
                                  "digitalButton8", "digitalButton9"};
    for (int digit = 1; digit <= 9; ++digit)
        digitalButton[digit] =
            key(names[digit], QString::number(digit), digit_style, digit_font, digit_rows[(digit - 1) / 3]);
    starButton = key("starButton", QStringLiteral("*"), digit_style, digit_font, row4);
    digitalButton[0] = key(names[0], QStringLiteral("0"), digit_style, digit_font, row4);
    poundButton = key("poundButton", QStringLiteral("#"), digit_style, digit_font, row4);

    const QFont call_font = font_of(12, true);
    dialogButton = key("dialogButton", QStringLiteral("通話"),
                       QStringLiteral("border-image: url(:/ZIMPhone/images/dialog.png);"), call_font, row5);
    pauseButton = key("pauseButton", QStringLiteral("保留"),
                      QStringLiteral("border-image: url(:/ZIMPhone/images/pause.png);"), call_font, row5);
    transferButton =
        key("transferButton", QStringLiteral("転送"),
            QStringLiteral("border-image: url(:/ZIMPhone/images/transfer.png);"), call_font, row5);
    terminateButton =
        key("terminateButton", QStringLiteral("切断"),
            QStringLiteral("border-image: url(:/ZIMPhone/images/terminate.png);"), call_font, row5);

    logoButton = make<QPushButton>("logoButton", mainFrame, 0, 10, 203, 50);
    logoButton->setCursor(Qt::ArrowCursor);
    logoButton->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/logo.png);"));
    versionLabel = make<QLabel>("versionLabel", mainFrame, 202, 28, 50, 12);
    QFont version_font(QStringLiteral("Arial"));
    version_font.setPointSize(7);
    versionLabel->setFont(version_font);
    versionLabel->setStyleSheet(QStringLiteral("color: rgb(85, 85, 85);"));
    versionLabel->setText(QStringLiteral("1.0 beta"));
}

void MainWindowForm::fit_height(QMainWindow* window, int height)
{
    const int KEYPAD_ROWS = 4;
    const int FLATTEST_ROW = 24;
    int excess = window->height() - height;
    if (excess <= 0)
        return;
    const int top_cut = qMin(excess, mainFrame->y());
    excess -= top_cut;
    const int bottom_margin = window->height() - mainFrame->geometry().bottom() - 1;
    excess -= qMin(excess, bottom_margin);
    QWidget* rows[] = {mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget")),
                       mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_2")),
                       mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_3")),
                       mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_4")),
                       mainFrame->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_5"))};
    const int flatter = qMin((excess + KEYPAD_ROWS - 1) / KEYPAD_ROWS, rows[1]->height() - FLATTEST_ROW);
    int shift = 0;
    for (int row = 0; row < KEYPAD_ROWS; ++row) {
        QWidget* holder = rows[row];
        holder->setGeometry(holder->x(), holder->y() - shift, holder->width(), holder->height() - flatter);
        for (QPushButton* key : holder->findChildren<QPushButton*>())
            key->setMinimumHeight(qMin(key->minimumHeight(), holder->height()));
        shift += flatter;
    }
    rows[KEYPAD_ROWS]->move(rows[KEYPAD_ROWS]->x(), rows[KEYPAD_ROWS]->y() - shift);
    mainFrame->setGeometry(mainFrame->x(), mainFrame->y() - top_cut, mainFrame->width(),
                           mainFrame->height() - shift);
    window->resize(window->width(), qMax(height, mainFrame->geometry().bottom() + 1));
}
