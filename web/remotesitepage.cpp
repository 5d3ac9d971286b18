#include "web/remotesitepage.h"

#include "data/zimconstants.h"

#include <QPointer>
#include <QWebEngineCertificateError>
#include <QWebEngineSettings>

RemoteSitePage::RemoteSitePage(QWebEngineProfile* profile, QObject* parent, SitePage::Log log,
                               SitePage::CheckCertificate check)
    : QWebEnginePage(profile, parent), log(std::move(log)), check(std::move(check))
{
    // A refused page shows the program's plain text, not the engine's own error page.
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
}

bool RemoteSitePage::certificateError(const QWebEngineCertificateError& error)
{
    const QUrl url = error.url();
    if (!check || !error.isOverridable()) {
        if (log)
            log(QStringLiteral("remote site: certificate refused for host %1: %2")
                    .arg(url.host(), error.errorDescription()));
        show_refusal(url, zim::MSG_SITE_CERT_FAILED.arg(url.host(), error.errorDescription()));
        return false;
    }
    // The answer comes after a connection of the program's own; the engine waits for it.
    QWebEngineCertificateError pending = error;
    pending.defer();
    QPointer<RemoteSitePage> self(this);
    check(url, error.certificateChain().value(0), error.errorDescription(),
          [self, pending, url](const QString& refusal) mutable {
              if (refusal.isEmpty()) {
                  if (self)
                      self->accepted_doubted = true;
                  pending.ignoreCertificateError();
                  return;
              }
              pending.rejectCertificate();
              if (self)
                  self->show_refusal(url, refusal);
          });
    return true;
}

void RemoteSitePage::show_refusal(const QUrl& url, const QString& refusal)
{
    // Only the page's own server replaces the page; a refused picture or script elsewhere just stays away.
    if (url.host() != requested.host() || url.port(443) != requested.port(443))
        return;
    setContent(refusal.toUtf8(), QStringLiteral("text/plain;charset=UTF-8"));
}
