#pragma once

#include <QWebEnginePage>

class ZimLogger;

// The page of the remote-site window. CRM servers inside the company often carry certificates of
// their own making, so certificate errors are accepted; each acceptance is logged with its host.
class RemoteSitePage : public QWebEnginePage
{
    Q_OBJECT
public:
    RemoteSitePage(QWebEngineProfile* profile, QObject* parent, ZimLogger* logger);

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;

private:
    ZimLogger* logger;
};
