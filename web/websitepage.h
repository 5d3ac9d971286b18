#pragma once

#include "ui/cti/sitepage.h"

#include <QPointer>

class QWebEngineProfile;
class QWebEngineView;
class RemoteSitePage;

// The remote-site page on QtWebEngine: a view, its page and an off-the-record profile, so that
// nothing about callers is written to disk by the engine.
class WebSitePage : public SitePage
{
public:
    WebSitePage(QWidget* parent, LoadFinished on_load_finished, Log log, CheckCertificate check);
    ~WebSitePage() override;

    QWidget* view() override;
    void load(const QUrl& url) override;
    void post_form(const QUrl& url, const QByteArray& body) override;
    void clear_history() override;

private:
    void make_page();
    void forget_accepted_certificates();

    Log log;
    CheckCertificate check;
    QWebEngineProfile* profile = nullptr;
    RemoteSitePage* page = nullptr;
    QPointer<QWebEngineView> web_view; // owned by its parent widget
};

extern "C" Q_DECL_EXPORT SitePage* velora_create_site_page(QWidget* parent,
                                                           SitePage::LoadFinished on_load_finished,
                                                           SitePage::Log log,
                                                           SitePage::CheckCertificate check);
