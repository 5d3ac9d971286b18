#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QSystemTrayIcon;
class QWidget;

// An incoming call while the main window is hidden shows a desktop notification with the
// caller's name and number, through the freedesktop notification service on the session bus,
// or as the tray icon's message where there is no such service.
class IncomingCallNotifier : public QObject
{
    Q_OBJECT
public:
    IncomingCallNotifier(QWidget* window, QSystemTrayIcon* tray);

public slots:
    void slot_received_dialog(QMap<QString, QString> params);

private:
    void notify(const QString& summary, const QString& body);

    QWidget* window;
    QSystemTrayIcon* tray;
    bool body_markup = false; // the service reads the body as markup: the text is escaped
};
