#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

class QWidget;

// The web page of the remote-site window, as the window sees it. The web engine behind it lives
// in a module of its own (see WebModule), so nothing here names the engine.
class SitePage
{
public:
    using LoadFinished = std::function<void(bool ok)>;
    using Log = std::function<void(const QString& line)>;

    virtual ~SitePage() = default;

    // The widget that shows the page; it belongs to the parent the page was made for.
    virtual QWidget* view() = 0;
    virtual void load(const QUrl& url) = 0;
    // POSTs the body as an HTML form would (application/x-www-form-urlencoded).
    virtual void post_form(const QUrl& url, const QByteArray& body) = 0;
    virtual void clear_history() = 0;
};

// The one function the web module exports.
using CreateSitePage = SitePage* (*)(QWidget* parent, SitePage::LoadFinished on_load_finished,
                                     SitePage::Log log);
#define VELORA_CREATE_SITE_PAGE "velora_create_site_page"
