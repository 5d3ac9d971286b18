#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QSystemTrayIcon;
class QWidget;

// An incoming call while the main window is hidden shows a desktop notification with the
// caller's name and number, through the freedesktop notification service on the session bus,
// or as the tray icon's message where there is no such service. The notification follows the
// call: it closes when the call is answered or ends, a missed call turns it into the one
// "不在着信" notification on screen, and where the service offers actions it has "応答".
class IncomingCallNotifier : public QObject
{
    Q_OBJECT
public:
    IncomingCallNotifier(QWidget* window, QSystemTrayIcon* tray);

signals:
    // The operator chose 応答 on the notification.
    void signal_answer_requested();

public slots:
    void slot_received_dialog(QMap<QString, QString> params);
    void slot_call_answered();
    void slot_dialog_end(QString number, int record_status);

private slots:
    void on_action_invoked(uint id, const QString& key);

private:
    void notify(const QString& summary, const QString& body, uint replaces, bool incoming);
    void close(uint id);
    void follow_end(uint shown, int record_status);

    QWidget* window;
    QSystemTrayIcon* tray;
    bool body_markup = false; // the service reads the body as markup: the text is escaped
    bool actions = false;     // the service shows buttons
    uint incoming_id = 0;     // the ringing call's notification, while it is on screen
    uint missed_id = 0;       // the one missed-call notification
    QString caller_text;      // what the incoming notification said, for the missed one
    bool ringing = false;     // the notified call has been neither answered nor ended
    int end_status = -1;      // how it ended, for a notification whose id came after the end
};
