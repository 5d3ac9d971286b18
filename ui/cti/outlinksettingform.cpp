#include "ui/cti/outlinksettingform.h"

#include "data/zimconstants.h"

#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>

namespace {

QString name(const char* prefix, const char* rest)
{
    return QLatin1String(prefix) + QLatin1String(rest);
}

QCheckBox* check_box(QWidget* parent, const QString& object_name, const QString& text, int y, int width)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(object_name);
    box->setGeometry(195, y, width, 18);
    return box;
}

} // namespace

void OutlinkSettingForm::setup(QWidget* window)
{
    window->setObjectName(QStringLiteral("OutlinkSetting"));
    window->resize(400, 465);
    // Small type, so the Japanese labels fit their places.
    QFont small = window->font();
    small.setPointSize(9);
    window->setFont(small);

    tabWidget = new QTabWidget(window);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    tabWidget->setGeometry(0, 0, 391, 321);
    const char* const simple_names[4] = {"tab", "label", "label_2", "groupBox"};
    const char* const detail_names[4] = {"tab_2", "label_5", "label_6", "groupBox_3"};
    setup_page(simple, tabWidget, "simple", simple_names);
    setup_page(detail, tabWidget, "detail", detail_names);
    tabWidget->setTabText(0, QStringLiteral("簡単情報"));
    tabWidget->setTabText(1, QStringLiteral("詳細情報"));
    tabWidget->setCurrentIndex(0);

    // The operator server serves both pages, so it sits below the tabs.
    operatorAddressLabel = new QLabel(QStringLiteral("オペレータサーバ"), window);
    operatorAddressLabel->setObjectName(QStringLiteral("operatorAddressLabel"));
    operatorAddressLabel->setGeometry(10, 329, 108, 22);
    operatorAddress = new QLineEdit(window);
    operatorAddress->setObjectName(QStringLiteral("operatorAddress"));
    operatorAddress->setGeometry(122, 329, 264, 22);
    operatorAddressLabel->setBuddy(operatorAddress);

    // How the servers of both pages and the operator server are trusted.
    ctiCaFileLabel = new QLabel(QStringLiteral("CA証明書ファイル"), window);
    ctiCaFileLabel->setObjectName(QStringLiteral("ctiCaFileLabel"));
    ctiCaFileLabel->setGeometry(10, 357, 108, 22);
    ctiCaFile = new QLineEdit(window);
    ctiCaFile->setObjectName(QStringLiteral("ctiCaFile"));
    ctiCaFile->setGeometry(122, 357, 210, 22);
    ctiCaFile->setPlaceholderText(QStringLiteral("システムの証明書のみ"));
    ctiCaFile->setToolTip(zim::TIP_CTI_CA_FILE);
    ctiCaFileLabel->setBuddy(ctiCaFile);
    ctiCaFileButton = new QPushButton(QStringLiteral("参照..."), window);
    ctiCaFileButton->setObjectName(QStringLiteral("ctiCaFileButton"));
    ctiCaFileButton->setGeometry(336, 357, 50, 22);
    ctiNoVerify = new QCheckBox(zim::TEXT_CTI_NO_VERIFY, window);
    ctiNoVerify->setObjectName(QStringLiteral("ctiNoVerify"));
    ctiNoVerify->setGeometry(10, 385, 376, 18);
    ctiNoVerifyWarning = new QLabel(zim::TEXT_CTI_NO_VERIFY_WARNING, window);
    ctiNoVerifyWarning->setObjectName(QStringLiteral("ctiNoVerifyWarning"));
    ctiNoVerifyWarning->setGeometry(28, 404, 358, 18);
    ctiNoVerifyWarning->setStyleSheet(QStringLiteral("color: #b00000;"));

    pushButton = new QPushButton(QStringLiteral("設定"), window);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(220, 432, 80, 25);
    pushButton_2 = new QPushButton(QStringLiteral("キャンセル"), window);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    pushButton_2->setGeometry(306, 432, 80, 25);
}

void OutlinkSettingForm::setup_page(OutlinkPageForm& page, QTabWidget* tabs, const char* prefix,
                                    const char* const names[4])
{
    page.tab = new QWidget();
    page.tab->setObjectName(QLatin1String(names[0]));
    tabs->addTab(page.tab, QString());

    page.methodLabel = new QLabel(QStringLiteral("送信メソッド"), page.tab);
    page.methodLabel->setObjectName(QLatin1String(names[1]));
    page.methodLabel->setGeometry(10, 10, 88, 21);
    // Same parent, so the two are exclusive; neither is checked until the page is loaded.
    page.getButton = new QRadioButton(QStringLiteral("GET"), page.tab);
    page.getButton->setObjectName(name(prefix, "RadioGetButton"));
    page.getButton->setGeometry(105, 10, 70, 18);
    page.postButton = new QRadioButton(QStringLiteral("POST"), page.tab);
    page.postButton->setObjectName(name(prefix, "RadioPostButton"));
    page.postButton->setGeometry(180, 10, 70, 18);

    page.urlLabel = new QLabel(QStringLiteral("送信先URL"), page.tab);
    page.urlLabel->setObjectName(QLatin1String(names[2]));
    page.urlLabel->setGeometry(10, 40, 88, 21);
    page.url = new QLineEdit(page.tab);
    page.url->setObjectName(name(prefix, "Url"));
    page.url->setGeometry(105, 40, 266, 22);

    page.groupBox = new QGroupBox(QStringLiteral("送信パラメータ"), page.tab);
    page.groupBox->setObjectName(QLatin1String(names[3]));
    page.groupBox->setGeometry(10, 70, 361, 176);
    page.params = new QTextEdit(page.groupBox);
    page.params->setObjectName(name(prefix, "Params"));
    page.params->setGeometry(10, 20, 171, 151);
    page.params->setAcceptRichText(false);

    page.callerName = check_box(page.groupBox, name(prefix, "CallerName"), QStringLiteral("相手名"), 30, 160);
    page.callerId = check_box(page.groupBox, name(prefix, "CallerId"), QStringLiteral("相手ID"), 50, 160);
    page.myId = check_box(page.groupBox, name(prefix, "MyId"), QStringLiteral("自分ID"), 70, 160);
    page.callId = check_box(page.groupBox, name(prefix, "CallId"), QStringLiteral("コールID"), 90, 160);
    page.operatorId =
        check_box(page.groupBox, name(prefix, "OperatorId"), QStringLiteral("オペレータID"), 110, 160);
    page.operatorPW = check_box(page.groupBox, name(prefix, "OperatorPW"),
                                QStringLiteral("オペレータパスワード"), 130, 160);

    // The request the template would send, with sample values: a mistake shows before the save.
    page.preview = new QLabel(page.tab);
    page.preview->setObjectName(name(prefix, "Preview"));
    page.preview->setGeometry(10, 250, 361, 40);
    page.preview->setWordWrap(true);
    page.preview->setTextFormat(Qt::PlainText);
    page.preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    page.preview->setStyleSheet(QStringLiteral("color: #505050;"));
}
