#pragma once

#include "ui/cti/sitepage.h"

#include <QWebEnginePage>

// The page of the remote-site window. CRM servers inside the company often carry certificates of
// their own making, so certificate errors are accepted; each acceptance is logged with its host.
class RemoteSitePage : public QWebEnginePage
{
    Q_OBJECT
public:
    RemoteSitePage(QWebEngineProfile* profile, QObject* parent, SitePage::Log log);

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;

private:
    SitePage::Log log;
};
