#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

class QPropertyAnimation;
class QWidget;
class RemoteSite;
class ZimData;
class ZimLogger;
class ZimPhone;

// Brings the remote-site window in at the bottom right of the screen for an incoming call and
// takes it away after the call: at once after our own hang-up, otherwise after the configured
// delay, each time by a one-second slide downwards. The window is created on the first call that
// needs it, so a day without CTI costs no web engine.
class RemoteSitePresenter : public QObject
{
    Q_OBJECT
public:
    RemoteSitePresenter(QWidget* main_window, ZimPhone* phone, ZimData* data, ZimLogger* logger);
    ~RemoteSitePresenter() override;

    // An incoming call whose page address is configured: stops any pending hiding, loads the page
    // and shows the window at its place.
    void show_incoming_call(const QMap<QString, QString>& params);
    // The call ended: hides the window at once when our hang-up asked for it, else after the delay.
    // The immediate-close request is used up here, so the next call waits for the delay again.
    void hide_after_call();

    RemoteSite* remote_site() const { return site; }
    QPropertyAnimation* slide_animation() const { return animation; }
    bool is_delay_pending() const { return delay_timer.isActive(); }
    bool not_delay_hidden() const { return not_delay_hidden_remote_window; }

signals:
    void signal_show_main_window();

public slots:
    void slot_animation_finished();
    void slot_dalay_hidden_remote_window_timer();
    void slot_set_not_delay_hidden_remote_window();

private:
    void create_site();
    void start_slide_out();

    QWidget* main_window;
    ZimPhone* phone;
    ZimData* data;
    ZimLogger* logger;
    RemoteSite* site = nullptr;
    QPropertyAnimation* animation = nullptr;
    QTimer delay_timer;
    int site_x = 0;
    int site_y_shown = 0;
    int site_y_hidden = 0;
    bool not_delay_hidden_remote_window = false;
};
