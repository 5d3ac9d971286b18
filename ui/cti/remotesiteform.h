#pragma once

class QFrame;
class QHBoxLayout;
class QListView;
class QProgressBar;
class QPushButton;
class QWebEnginePage;
class QWebEngineView;
class QWidget;

// The widgets of the remote-site window, named and placed as the skin expects them.
class RemoteSiteForm
{
public:
    // The page (with its profile) is made by the window; the view shows it.
    void setup(QWidget* window, QWebEnginePage* page);

    QFrame* siteFrame = nullptr;
    QPushButton* siteCloseButton = nullptr;
    QPushButton* logoButton = nullptr;
    QFrame* frame = nullptr;
    QListView* listView = nullptr;
    QWebEngineView* webView = nullptr;
    QProgressBar* progressBar = nullptr;
    QWidget* horizontalLayoutWidget = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QPushButton* siteDialogButton = nullptr;
    QPushButton* siteDetailButton = nullptr;
    QPushButton* siteTerminateButton = nullptr;
};
