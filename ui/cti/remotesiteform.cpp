#include "ui/cti/remotesiteform.h"

#include "data/zimconstants.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>

namespace {

QPushButton* row_button(QWidget* parent, const char* object_name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(object_name));
    button->setMinimumHeight(41);
    QFont font = button->font();
    font.setPointSize(15);
    font.setWeight(75);
    button->setFont(font);
    button->setStyleSheet(QStringLiteral("margin-left:10px;\nmargin-right:10px;"));
    return button;
}

} // namespace

void RemoteSiteForm::setup(QWidget* window)
{
    window->setObjectName(QStringLiteral("RemoteSite"));
    window->setWindowTitle(QStringLiteral("Form"));
    window->resize(440, 370);

    siteFrame = new QFrame(window);
    siteFrame->setObjectName(QStringLiteral("siteFrame"));
    siteFrame->setGeometry(10, 20, 421, 341);
    siteFrame->setFrameShape(QFrame::StyledPanel);
    siteFrame->setFrameShadow(QFrame::Raised);
    siteFrame->setStyleSheet(zim::STYLE_SITE_FRAME_DETAIL);

    siteCloseButton = new QPushButton(siteFrame);
    siteCloseButton->setObjectName(QStringLiteral("siteCloseButton"));
    siteCloseButton->setGeometry(350, 0, 61, 31);
    siteCloseButton->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/close.png);"));

    logoButton = new QPushButton(siteFrame);
    logoButton->setObjectName(QStringLiteral("logoButton"));
    logoButton->setGeometry(14, 10, 151, 51);
    logoButton->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/logo.png);"));

    frame = new QFrame(siteFrame);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setGeometry(10, 70, 401, 201);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setStyleSheet(QStringLiteral("border-image: url(:/ZIMPhone/images/site-screen.png);"));

    listView = new QListView(frame);
    listView->setObjectName(QStringLiteral("listView"));
    listView->setGeometry(0, 0, 401, 201);

    progressBar = new QProgressBar(frame);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setGeometry(150, 50, 100, 100);
    progressBar->setValue(0);
    progressBar->setAlignment(Qt::AlignCenter);
    progressBar->setFormat(QStringLiteral("loading..."));

    horizontalLayoutWidget = new QWidget(siteFrame);
    horizontalLayoutWidget->setObjectName(QStringLiteral("horizontalLayoutWidget"));
    horizontalLayoutWidget->setGeometry(10, 270, 401, 61);
    horizontalLayout = new QHBoxLayout(horizontalLayoutWidget);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    siteDialogButton = row_button(horizontalLayoutWidget, "siteDialogButton", QStringLiteral("通話"));
    siteDetailButton = row_button(horizontalLayoutWidget, "siteDetailButton", QStringLiteral("詳細情報"));
    siteTerminateButton = row_button(horizontalLayoutWidget, "siteTerminateButton", QStringLiteral("切断"));
    horizontalLayout->addWidget(siteDialogButton);
    horizontalLayout->addWidget(siteDetailButton);
    horizontalLayout->addWidget(siteTerminateButton);
}

void RemoteSiteForm::place_web_view(QWidget* view)
{
    webView = view;
    if (!webView)
        return;
    webView->setObjectName(QStringLiteral("webView"));
    webView->setGeometry(10, 10, 381, 181);
    webView->stackUnder(progressBar);
}
