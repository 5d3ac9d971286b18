#pragma once

#include "ui/cti/sitepage.h"

#include <QUrl>
#include <QWebEnginePage>

// The page of the remote-site window. The engine checks certificates against its own store only, so
// each certificate it doubts goes to the program's check (system CAs plus the CTI CA file, or the
// site's explicit acceptance); a refused one on the page's own server puts a plain text in its place.
class RemoteSitePage : public QWebEnginePage
{
    Q_OBJECT
public:
    RemoteSitePage(QWebEngineProfile* profile, QObject* parent, SitePage::Log log,
                   SitePage::CheckCertificate check);

    // The address of the page being loaded, whose refusal replaces the page.
    void set_requested(const QUrl& url) { requested = url; }
    // Whether a certificate the engine doubted was let through; the engine then remembers it.
    bool accepted_doubted_certificate() const { return accepted_doubted; }

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;

private:
    void show_refusal(const QUrl& url, const QString& refusal);

    SitePage::Log log;
    SitePage::CheckCertificate check;
    QUrl requested;
    bool accepted_doubted = false;
};
