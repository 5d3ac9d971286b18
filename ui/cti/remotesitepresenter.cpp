#include "ui/cti/remotesitepresenter.h"

#include "data/zimdata.h"
#include "ui/cti/remotesite.h"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>

namespace {
const int SLIDE_MS = 1000;
}

RemoteSitePresenter::RemoteSitePresenter(QWidget* main_window, ZimPhone* phone, ZimData* data,
                                         ZimLogger* logger)
    : QObject(main_window), main_window(main_window), phone(phone), data(data), logger(logger)
{
    delay_timer.setSingleShot(true);
    connect(&delay_timer, &QTimer::timeout, this,
            &RemoteSitePresenter::slot_dalay_hidden_remote_window_timer);
}

RemoteSitePresenter::~RemoteSitePresenter()
{
    delete animation; // it has no parent; the window itself belongs to the main window
}

void RemoteSitePresenter::show_incoming_call(const QMap<QString, QString>& params)
{
    delay_timer.stop();
    // A hang-up raised before this call rang belongs to no call of this window.
    not_delay_hidden_remote_window = false;
    if (animation) {
        animation->stop();
        site->hide();
    }
    if (!site)
        create_site();
    site->set_webview_params(params);
    if (!site->isVisible()) {
        site->move(site_x, site_y_shown);
        site->show();
    }
}

void RemoteSitePresenter::create_site()
{
    site = new RemoteSite(main_window, phone, data, logger);
    // Measured from the screen's origin, like the incoming-call popup.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    site->fit_height(available.height());
    site_x = available.width() - site->width();
    // Its close button never above the free area, whatever a small screen leaves.
    site_y_shown = qMax(available.top(), available.height() - site->height());
    site_y_hidden = available.height() + 20;
    site->move(site_x, site_y_shown);
    animation = new QPropertyAnimation(site, QByteArrayLiteral("pos"));
    animation->setParent(nullptr);
    connect(animation, &QPropertyAnimation::finished, this, &RemoteSitePresenter::slot_animation_finished);
    connect(site, &RemoteSite::signal_show_main_window, this, &RemoteSitePresenter::signal_show_main_window);
    connect(site, &RemoteSite::signal_set_not_delay_hidden_reomote_window, this,
            &RemoteSitePresenter::slot_set_not_delay_hidden_remote_window);
}

void RemoteSitePresenter::hide_after_call()
{
    const bool at_once = not_delay_hidden_remote_window;
    not_delay_hidden_remote_window = false;
    if (!site || !site->isVisible())
        return;
    if (at_once)
        start_slide_out();
    else
        delay_timer.start(qMax(0, data->delay_hidden_remote_window()) * 1000);
}

void RemoteSitePresenter::start_slide_out()
{
    animation->setDuration(SLIDE_MS);
    animation->setStartValue(QPoint(site_x, site_y_shown));
    animation->setEndValue(QPoint(site_x, site_y_hidden));
    animation->start();
}

void RemoteSitePresenter::slot_animation_finished()
{
    site->hide();
}

void RemoteSitePresenter::slot_dalay_hidden_remote_window_timer()
{
    if (site)
        start_slide_out();
}

void RemoteSitePresenter::slot_set_not_delay_hidden_remote_window()
{
    not_delay_hidden_remote_window = true;
}
