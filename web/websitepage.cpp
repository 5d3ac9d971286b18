#include "web/websitepage.h"

#include "web/remotesitepage.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

// The windows are raster windows (no OpenGL driver is loaded for them), so the view's scene is
// drawn in software too. Runs before the first view exists, as the scene graph asks.
QWidget* software_drawn(QWidget* parent)
{
    if (QCoreApplication::testAttribute(Qt::AA_ForceRasterWidgets))
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    return parent;
}

} // namespace

WebSitePage::WebSitePage(QWidget* parent, LoadFinished on_load_finished, Log log, CheckCertificate check)
    : log(std::move(log)), check(std::move(check)), web_view(new QWebEngineView(software_drawn(parent)))
{
    make_page();
    QObject::connect(web_view, &QWebEngineView::loadFinished, web_view, std::move(on_load_finished));
}

WebSitePage::~WebSitePage()
{
    // The engine wants the page gone before its profile.
    delete web_view;
    delete page;
    delete profile;
}

void WebSitePage::make_page()
{
    profile = new QWebEngineProfile();
    page = new RemoteSitePage(profile, nullptr, log, check);
    web_view->setPage(page);
}

// The engine keeps a certificate it was told to accept for as long as its profile lives, whatever the
// settings say later; a fresh profile makes the next page ask again.
void WebSitePage::forget_accepted_certificates()
{
    if (!page->accepted_doubted_certificate())
        return;
    RemoteSitePage* old_page = page;
    QWebEngineProfile* old_profile = profile;
    make_page();
    delete old_page;
    delete old_profile;
}

QWidget* WebSitePage::view()
{
    return web_view;
}

void WebSitePage::load(const QUrl& url)
{
    if (!web_view)
        return;
    forget_accepted_certificates();
    page->set_requested(url);
    web_view->load(QWebEngineHttpRequest(url));
}

void WebSitePage::post_form(const QUrl& url, const QByteArray& body)
{
    if (!web_view)
        return;
    forget_accepted_certificates();
    page->set_requested(url);
    QWebEngineHttpRequest request(url, QWebEngineHttpRequest::Post);
    request.setPostData(body);
    // The engine sends no content type of its own, and a form handler needs one to read the body.
    request.setHeader(QByteArrayLiteral("Content-Type"),
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    web_view->load(request);
}

void WebSitePage::clear_history()
{
    page->history()->clear();
}

SitePage* velora_create_site_page(QWidget* parent, SitePage::LoadFinished on_load_finished, SitePage::Log log,
                                  SitePage::CheckCertificate check)
{
    return new WebSitePage(parent, std::move(on_load_finished), std::move(log), std::move(check));
}
