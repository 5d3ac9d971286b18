#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QString>
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
    // Asked when the engine doubts a server's certificate (it knows neither the program's CA file nor
    // its settings). done gets an empty text to accept, or the text to show instead of the page.
    using CertificateDone = std::function<void(const QString& refusal)>;
    using CheckCertificate = std::function<void(const QUrl& url, const QSslCertificate& presented,
                                                const QString& engine_reason, CertificateDone done)>;

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
                                     SitePage::Log log, SitePage::CheckCertificate check);
#define VELORA_CREATE_SITE_PAGE "velora_create_site_page"
