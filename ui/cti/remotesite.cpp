#include "ui/cti/remotesite.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/cti/certificatecheck.h"
#include "ui/cti/ctiparams.h"
#include "ui/cti/ctitrust.h"
#include "ui/cti/remotesiteform.h"
#include "ui/cti/sitepage.h"
#include "ui/cti/webmodule.h"
#include "ui/main/skinshape.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

RemoteSite::RemoteSite(QWidget* parent, ZimPhone* phone, ZimData* data, ZimLogger* logger)
    : QWidget(parent), form(new RemoteSiteForm), phone(phone), data(data)
{
    form->setup(this);
    const auto log = [logger](const QString& line) {
        if (logger)
            logger->log(line, 2);
    };
    // Settings are read at each doubt, so a changed CA file or tick holds from the next page on.
    const auto check = [data, log](const QUrl& url, const QSslCertificate& presented,
                                   const QString& engine_reason, SitePage::CertificateDone done) {
        const CtiTrust trust = CtiTrust::from_settings(data->outlink_settings());
        const QString host = url.host();
        if (!trust.verify) {
            log(QStringLiteral("remote site: certificate error accepted for host %1: %2")
                    .arg(host, engine_reason));
            done(QString());
            return;
        }
        QString problem;
        const QSslConfiguration configuration = trust.configuration(&problem);
        if (!problem.isEmpty())
            log(QStringLiteral("remote site: ") + problem);
        CertificateCheck::start(
            url, presented, configuration, [log, host, done, problem](const QString& reason) {
                if (reason.isEmpty()) {
                    log(QStringLiteral(
                            "remote site: certificate of host %1 verified against the system CAs and "
                            "the CTI CA file")
                            .arg(host));
                    done(QString());
                    return;
                }
                log(QStringLiteral("remote site: certificate check failed for host %1, page not shown: %2")
                        .arg(host, reason));
                done(zim::MSG_SITE_CERT_FAILED.arg(host, CtiTrust::with_problem(reason, problem)));
            });
    };
    QString error;
    page = WebModule::create_page(
        form->frame, [this](bool) { slot_load_finished(); }, log, check, &error);
    if (!page && logger)
        logger->log(QStringLiteral("remote site: no web engine: %1").arg(error), 2);
    form->place_web_view(page ? page->view() : nullptr);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // Shown without the focus, which stays where the operator is typing; a click gives it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    SkinShape::apply(this, form->siteFrame);
    form->siteDialogButton->setStyleSheet(zim::STYLE_SITE_DIALOG_BUTTON);
    form->siteDetailButton->setStyleSheet(zim::STYLE_SITE_DETAIL_BUTTON);
    form->siteTerminateButton->setStyleSheet(zim::STYLE_SITE_TERMINATE_BUTTON);
    for (QPushButton* button : {form->logoButton, form->siteCloseButton, form->siteDetailButton,
                                form->siteDialogButton, form->siteTerminateButton})
        button->setCursor(Qt::PointingHandCursor);
    form->progressBar->hide(); // nothing is loading yet

    connect(form->siteCloseButton, &QPushButton::clicked, this, &RemoteSite::slot_close_site_button_clicked);
    connect(form->logoButton, &QPushButton::clicked, this, &RemoteSite::slot_logo_clicked);
    connect(form->siteDialogButton, &QPushButton::clicked, this, &RemoteSite::slot_dialog_button_clicked);
    connect(form->siteTerminateButton, &QPushButton::clicked, this,
            &RemoteSite::slot_dialog_end_button_clicked);
    connect(form->siteDetailButton, &QPushButton::clicked, this,
            &RemoteSite::slot_dialog_detail_button_clicked);
}

RemoteSite::~RemoteSite()
{
    delete page; // before the frame that holds its view
    delete form;
}

void RemoteSite::set_webview_params(QMap<QString, QString> call_info)
{
    qDebug() << "set_webview_params: ";
    const SettingsMap outlink = data->outlink_settings();
    const SettingsMap account = data->account_settings();

    const QString simple_template = outlink.value(QStringLiteral("simpleParams")).trimmed();
    QString params;
    if (!simple_template.isEmpty())
        params = CtiParams::expand(simple_template, call_info, account);

    const QString simple_url = outlink.value(QStringLiteral("simpleUrl"));
    if (page) {
        page->clear_history();
        if (outlink.value(QStringLiteral("simpleMethod")) == QStringLiteral("post"))
            page->post_form(QUrl(simple_url, QUrl::TolerantMode), params.toUtf8());
        else
            page->load(QUrl(CtiParams::join(simple_url, params), QUrl::TolerantMode));
        form->webView->hide();
        form->progressBar->show();
    }

    const QString detail_url = outlink.value(QStringLiteral("detailUrl"));
    if (!detail_url.isEmpty()) {
        detail_address_value = detail_url;
        const QString detail_template = outlink.value(QStringLiteral("detailParams"));
        if (!detail_template.isEmpty())
            detail_address_value =
                CtiParams::join(detail_url, CtiParams::expand(detail_template, call_info, account));
    }
}

void RemoteSite::showEvent(QShowEvent* event)
{
    form->siteDetailButton->setVisible(
        !data->outlink_settings().value(QStringLiteral("detailUrl")).isEmpty());
    event->accept();
}

void RemoteSite::closeEvent(QCloseEvent* event)
{
    // Closed through the window system it only hides, as its close button does.
    hide();
    event->ignore();
}

void RemoteSite::slot_close_site_button_clicked()
{
    hide();
}

void RemoteSite::slot_logo_clicked()
{
    QDesktopServices::openUrl(zim::PRODUCT_SITE);
}

void RemoteSite::slot_dialog_button_clicked()
{
    emit signal_show_main_window();
    if (phone)
        phone->request_answer();
}

void RemoteSite::slot_dialog_end_button_clicked()
{
    emit signal_set_not_delay_hidden_reomote_window();
    if (phone)
        phone->request_hangup();
}

void RemoteSite::slot_dialog_detail_button_clicked()
{
    QDesktopServices::openUrl(QUrl(detail_address_value, QUrl::TolerantMode));
}

void RemoteSite::slot_load_finished()
{
    form->progressBar->hide();
    if (form->webView)
        form->webView->show();
}

void RemoteSite::fit_height(int available_height)
{
    const int skin_bottom = form->siteFrame->geometry().bottom() + 1;
    if (height() > available_height)
        resize(width(), qMax(available_height, skin_bottom));
}
