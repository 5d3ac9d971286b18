#pragma once

class QFrame;
class QHBoxLayout;
class QListView;
class QProgressBar;
class QPushButton;
class QWidget;

// The widgets of the remote-site window, named and placed as the skin expects them.
class RemoteSiteForm
{
public:
    void setup(QWidget* window);
    // The page's view, made by the web module for `frame`, takes its place between the list
    // behind it and the loading indicator in front.
    void place_web_view(QWidget* view);

    QFrame* siteFrame = nullptr;
    QPushButton* siteCloseButton = nullptr;
    QPushButton* logoButton = nullptr;
    QFrame* frame = nullptr;
    QListView* listView = nullptr;
    QWidget* webView = nullptr; // none when the web module could not be loaded
    QProgressBar* progressBar = nullptr;
    QWidget* horizontalLayoutWidget = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QPushButton* siteDialogButton = nullptr;
    QPushButton* siteDetailButton = nullptr;
    QPushButton* siteTerminateButton = nullptr;
};
