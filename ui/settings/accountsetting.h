#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QShowEvent;
class ZimData;
class ZimLogger;
class SecurityFields;
class ZimPhone;

namespace Ui {
class AccountSetting;
}

// The account page: the SIP account and the operator's login for status reports. A save
// re-registers with the new account; it is refused while a call is in progress.
class AccountSetting : public QWidget
{
    Q_OBJECT
public:
    AccountSetting(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone);
    ~AccountSetting() override;
    void show_operator_tab();

public slots:
    void slot_save_button_clicked();
    void slot_cancel_button_clicked();
    void slot_sip_password_checkbox_toggled();
    void slot_operator_password_checkbox_toggled();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load_settings();
    void show_sip_port_use();
    QMap<QString, QString> account_values() const;

    Ui::AccountSetting* ui;
    ZimLogger* logger;
    ZimData* data;
    ZimPhone* phone;
    SecurityFields* security_fields;
};
