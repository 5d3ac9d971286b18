#pragma once

#include <QWidget>

class OutlinkSettingForm;
struct OutlinkPageForm;
class QCheckBox;
class QTextEdit;
class ZimData;

// The external-link settings window: address, method and parameter template of the simple page
// (loaded into the remote-site window) and of the detail page (opened in the browser), and the
// operator server that status reports go to.
// The form is the working copy; it is reloaded from the store on every opening.
class OutlinkSetting : public QWidget
{
    Q_OBJECT
public:
    OutlinkSetting(QWidget* parent, ZimData* data);
    ~OutlinkSetting() override;

signals:
    // The operator server changed: the operator is logged out of the old one.
    void signal_reset_operator_status(QString operaterAddress);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void slot_save_button_clicked();
    void slot_cancel_button_clicked();
    void slot_simple_caller_name_toggle();
    void slot_simple_caller_id_toggle();
    void slot_simple_my_id_toggle();
    void slot_simple_call_id_toggle();
    void slot_simple_operator_id_toggle();
    void slot_simple_operator_pw_toggle();
    void slot_detail_caller_name_toggle();
    void slot_detail_caller_id_toggle();
    void slot_detail_my_id_toggle();
    void slot_detail_call_id_toggle();
    void slot_detail_operator_id_toggle();
    void slot_detail_operator_pw_toggle();
    void slot_choose_cti_ca_file();

private:
    void load();
    void show_preview(OutlinkPageForm& page);
    void show_locked_fields();
    static void toggle_placeholder(QCheckBox* box, QTextEdit* params, const QString& placeholder);

    OutlinkSettingForm* form;
    ZimData* data;
};
