#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QIntValidator;
class QKeyEvent;
class QShowEvent;
class QTimer;
class ZimData;
class ZimLogger;
class SecurityFields;
class ColleaguesPage;
class ZimPhone;

namespace Ui {
class SettingWindow;
}

// The combined settings window: the SIP account on one tab, the sound devices, microphone
// sensitivity and debug mode on the other. Every opening shows what is stored.
class SettingWindow : public QWidget
{
    Q_OBJECT
public:
    SettingWindow(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone);
    ~SettingWindow() override;

signals:
    void signal_reset_remote_site();
    // The colleagues' list changed: 内線状態 and the subscriptions follow it.
    void signal_colleagues_saved();

public slots:
    void slot_save_button_clicked();
    void slot_cancel_button_clicked();
    void slot_change_password_checkbok_clicked();
    void slot_sip_address_changed();
    void slot_capture_gain_changed(int value);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QStringList changed_account_fields(const QMap<QString, QString>& account,
                                       const QMap<QString, QString>& stored) const;
    void reregister_after_call();
    void load_settings();
    void focus_first_empty_field();
    void load_account();
    void load_media();
    QMap<QString, QString> account_values() const;
    QMap<QString, QString> media_values() const;
    QMap<QString, QString> other_values() const;

    Ui::SettingWindow* ui;
    ZimLogger* logger;
    ZimData* data;
    ZimPhone* phone;
    SecurityFields* security_fields;
    ColleaguesPage* colleagues_page;
    QTimer* after_call = nullptr; // a saved account registers once the call has ended
    QIntValidator* port_validator;
};
