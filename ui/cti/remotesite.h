#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class RemoteSiteForm;
class SitePage;
class ZimData;
class ZimLogger;
class ZimPhone;

// The skinned window that shows a web page about the caller of an incoming call, with buttons to
// answer, open the detail page in the browser, and hang up. The page addresses and their parameter
// templates come from the external-link settings, read afresh for every call.
class RemoteSite : public QWidget
{
    Q_OBJECT
public:
    RemoteSite(QWidget* parent, ZimPhone* phone, ZimData* data, ZimLogger* logger = nullptr);
    ~RemoteSite() override;

    // Loads the simple page for this call and prepares the detail address.
    // A screen shorter than the window (1024×768 at scale 2, with a task bar) takes the transparent
    // margin below the skin first; the skin itself keeps its size.
    void fit_height(int available_height);
    void set_webview_params(QMap<QString, QString> call_info);

    QString detail_address() const { return detail_address_value; }

signals:
    void signal_show_main_window();
    void signal_set_not_delay_hidden_reomote_window();

public slots:
    void slot_close_site_button_clicked();
    void slot_logo_clicked();
    void slot_dialog_button_clicked();
    void slot_dialog_end_button_clicked();
    void slot_dialog_detail_button_clicked();
    void slot_load_finished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    RemoteSiteForm* form;
    ZimPhone* phone;
    ZimData* data;
    SitePage* page; // none when the web module could not be loaded
    QString detail_address_value;
};
