#pragma once

class QFrame;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QMainWindow;
class QPushButton;
class QWidget;

// The widgets of the main window, named and placed as the skin expects them.
class MainWindowForm
{
public:
    void setup(QMainWindow* window);
    // A screen shorter than the phone (1024×768 at scale 2 leaves 384 points): the transparent
    // margins go first, then the keypad's rows get flatter, so the call keys stay on the screen.
    void fit_height(QMainWindow* window, int height);

    QWidget* centralWidget = nullptr;
    QFrame* mainFrame = nullptr;
    QPushButton* closeButton = nullptr;
    QGroupBox* screenGroupBox = nullptr;
    QLabel* onlineStatus = nullptr;
    QLabel* userId = nullptr;
    QLabel* dialogTime = nullptr;
    QLabel* dialogStatus = nullptr;
    QLabel* phoneNumberLabel = nullptr;
    QLabel* callerNameLabel = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* muteButton = nullptr;
    QPushButton* recordButton = nullptr;
    QPushButton* settingButton = nullptr;
    QPushButton* historyButton = nullptr;
    QLabel* userName = nullptr;
    QPushButton* digitalButton[10] = {};
    QPushButton* starButton = nullptr;
    QPushButton* poundButton = nullptr;
    QPushButton* dialogButton = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* transferButton = nullptr;
    QPushButton* terminateButton = nullptr;
    QPushButton* logoButton = nullptr;
    QLabel* versionLabel = nullptr;
};
