#pragma once

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTextEdit;
class QWidget;

// The widgets of one page of the external-link window: simple page or detail page.
struct OutlinkPageForm
{
    QWidget* tab = nullptr;
    QLabel* methodLabel = nullptr;
    QRadioButton* getButton = nullptr;
    QRadioButton* postButton = nullptr;
    QLabel* urlLabel = nullptr;
    QLabel* preview = nullptr;
    QLineEdit* url = nullptr;
    QGroupBox* groupBox = nullptr;
    QTextEdit* params = nullptr;
    QCheckBox* callerName = nullptr;
    QCheckBox* callerId = nullptr;
    QCheckBox* myId = nullptr;
    QCheckBox* callId = nullptr;
    QCheckBox* operatorId = nullptr;
    QCheckBox* operatorPW = nullptr;
};

// The widgets of the external-link settings window, named and placed as the window expects them.
class OutlinkSettingForm
{
public:
    void setup(QWidget* window);

    QTabWidget* tabWidget = nullptr;
    OutlinkPageForm simple;
    OutlinkPageForm detail;
    QLabel* operatorAddressLabel = nullptr;
    QLineEdit* operatorAddress = nullptr;
    QLabel* ctiCaFileLabel = nullptr;
    QLineEdit* ctiCaFile = nullptr;
    QPushButton* ctiCaFileButton = nullptr;
    QCheckBox* ctiNoVerify = nullptr;
    QLabel* ctiNoVerifyWarning = nullptr;
    QPushButton* pushButton = nullptr;
    QPushButton* pushButton_2 = nullptr;

private:
    static void setup_page(OutlinkPageForm& page, QTabWidget* tabs, const char* prefix,
                           const char* const names[4]);
};
