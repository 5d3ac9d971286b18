#pragma once

#include "phone/callreport.h"
#include "ui/main/mainwindowform.h"

#include <QAudio>
#include <QDateTime>
#include <QMainWindow>
#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>

class AboutWindow;
class AccountSetting;
class Announcer;
class AudioCuePlayer;
class ColleaguesWindow;
class DialogIncommingWindow;
class FocusMark;
class HistoryWindow;
class OperatorStatusReporter;
class OtherSetting;
class OutlinkSetting;
class ProvisioningLoader;
class QAction;
class QComboBox;
class RemoteSitePresenter;
class QMenu;
class QTimer;
class SettingWindow;
class WindowDragger;
class ZimData;
class ZimLogger;
class ZimPhone;

// The softphone's only permanent window: a frameless, skinned telephone with a number screen,
// a dial pad and four call buttons. It keeps no call state of its own: it asks the engine and
// raises requests on it, and follows the engine's signals.
class GlobalHotKeys;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Shows the window again, hidden or minimised, in front of the others.
    void bring_to_front();

    // A command another program sent through a later start of the program.
    // Performs a command another program sent. Returns why a call it asks for is not placed (a
    // number that names more than a number, a busy phone), empty when it was taken.
    QString handle_client_command(const QString& command);

    // For the entry point, the command server and tests.
    ZimLogger* logger() const { return zim_logger; }
    ZimData* data() const { return zim_data; }
    ZimPhone* phone() const { return zim_phone; }
    HistoryWindow* history_window() const { return history; }
    ColleaguesWindow* colleagues() const { return colleagues_window; }
    DialogIncommingWindow* incoming_window() const { return popup; }
    AudioCuePlayer* audio() const { return audio_player; }
    QSystemTrayIcon* tray_icon() const { return tray; }
    QMenu* right_menu() const { return right_click_menu; }
    QMenu* tray_context_menu() const { return tray_menu; }
    SettingWindow* setting_window() const { return settings; }
    const MainWindowForm& form() const { return ui; }
    bool immediate_close_of_remote_site() const;
    OperatorStatusReporter* operator_reporter() const { return reporter; }
    RemoteSitePresenter* remote_site_presenter() const { return presenter; }
    QComboBox* operator_status_selector() const { return operator_status; }
    // What a screen reader was last told without a change of focus, and the mark of the focus.
    Announcer* announcements() const { return announcer; }
    FocusMark* focus_ring() const { return focus_mark; }

public slots:
    // Dial pad and number display
    void slot_digit0_button_clicked();
    void slot_digit1_button_clicked();
    void slot_digit2_button_clicked();
    void slot_digit3_button_clicked();
    void slot_digit4_button_clicked();
    void slot_digit5_button_clicked();
    void slot_digit6_button_clicked();
    void slot_digit7_button_clicked();
    void slot_digit8_button_clicked();
    void slot_digit9_button_clicked();
    void slot_star_button_clicked();
    void slot_pound_button_clicked();
    void slot_clear_button_pressed();
    void slot_clear_button_released();
    void slot_clear_button_long_pressed();
    void slot_phone_registration_state_change(QString state, QString userId);
    // A provisioning file that cannot be used: the log has it, the status line says where.
    void slot_show_provisioning_error(QString where);
    void slot_account_provisioned();
    void slot_logo_clicked();

    // Call control and status
    void slot_dialog_button_clicked();
    void slot_pause_button_clicked();
    void slot_transfer_button_clicked();
    void slot_terminate_button_clicked();
    void slot_update_dialog_status(QString status);
    void slot_start_count_dialog_time();
    void slot_call_continues(int seconds_connected);
    void slot_update_count_dialog_time();
    void slot_dialog_end(QString number, int recordStatus, CallReport report = CallReport());
    void slot_call_recorded(QString number, int recordStatus, int seconds, CallReport report = CallReport());
    void slot_clear_phone_number();
    void slot_set_phone_number(QString phoneNumber);
    void slot_show_phone_message(QString message);
    void slot_show_transfer_call_result(QString message);
    void slot_clear_transfer_result_message();
    void slot_send_call_from_history_window(QString phoneNumber);
    void slot_show_operator_login();
    void slot_show_call_failure(QString reason);
    void slot_show_registration_failure(QString reason, QString tip);

    // Audio
    void slot_play_terminated_audio(QString file);
    void slot_play_hold_music();
    void slot_stop_hold_music();

    // Incoming calls
    void slot_received_dialog(QMap<QString, QString> params);
    void slot_accept_dialog_from_incomming_window();
    void slot_show_main_window();

    // Tray, menus and secondary windows
    void slot_close_button_clicked();
    void slot_system_tray_icon_clicked(QSystemTrayIcon::ActivationReason reason);
    void slot_right_menu_exit_clicked();
    void exit_program();
    void slot_setting_button_clicked();
    void slot_history_button_clicked();
    void slot_colleagues_menu_clicked();
    void slot_colleague_clicked(QString extension);
    void slot_about_menu_clicked();
    void slot_account_menu_clicked();
    void slot_outlink_menu_clicked();
    void slot_other_menu_clicked();
    void slot_reset_operator_status(QString operatorAddress);
    void slot_reset_remote_site();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void put_away();
    bool dial_allowed(const QString& number);
    QString dial_from_command(const QString& number);
    void answer_from_command();
    void set_up_window();
    void set_up_dragging();
    void connect_form();
    void connect_engine();
    void create_menus();
    void set_up_colleagues();
    void reload_colleagues();
    void create_tray_icon();
    void set_up_global_keys();
    void apply_global_keys();
    void act_on_global_key(int action);
    void toggle_mute();
    void toggle_record();
    void fill_menu(QMenu* menu, QAction* show_or_hide);
    void input_digit(const QString& key);
    void append_to_display(const QString& text);
    void remove_last_digit();
    void set_delete_visible(bool visible);
    QString display_text() const;
    void set_display_text(const QString& text);
    void dial_display();
    QString elapsed_call_time() const;
    void add_call_row(const QString& number, int recordStatus, const QString& duration,
                      const CallReport& report);
    void create_cti();
    bool start_provisioning();
    bool has_no_account() const;
    void set_registration_text(const QString& text);
    void show_status(const QString& text, const QString& tip = QString());
    void set_status_line(const QString& text, const QString& tip = QString());
    void set_up_access();
    void announce_ringing(const QString& caller_name);
    void show_popup(const QString& caller_name);
    void restore_number_typed_before_call();
    void show_without_focus();

    MainWindowForm ui;
    QTimer* clear_timer = nullptr;
    WindowDragger* dragger = nullptr;
    ZimLogger* zim_logger = nullptr;
    ZimData* zim_data = nullptr;
    ZimPhone* zim_phone = nullptr;
    QTimer* call_timer = nullptr;
    QTimer* transfer_message_timer = nullptr;
    QDateTime call_start;
    QString call_duration;
    int transfer_message_ms = 2000;
    // The display shows a message (a transfer's result), which is never part of a number.
    bool display_holds_message = false;
    bool incoming_call_announced = false; // a ringing call shown, not yet answered or ended
    HistoryWindow* history = nullptr;
    ColleaguesWindow* colleagues_window = nullptr;
    QString colleagues_text; // the stored list the window shows
    AudioCuePlayer* audio_player = nullptr;
    DialogIncommingWindow* popup = nullptr;
    AboutWindow* about = nullptr;
    SettingWindow* settings = nullptr;
    AccountSetting* account_page = nullptr;
    OutlinkSetting* outlink_page = nullptr;
    OtherSetting* other_page = nullptr;
    OperatorStatusReporter* reporter = nullptr;
    QComboBox* operator_status = nullptr;
    RemoteSitePresenter* presenter = nullptr;
    Announcer* announcer = nullptr;
    FocusMark* focus_mark = nullptr;

    QMenu* right_click_menu = nullptr;
    QMenu* tray_menu = nullptr;
    QSystemTrayIcon* tray = nullptr;
    GlobalHotKeys* global_keys = nullptr;
    QAction* setting_action = nullptr;
    QAction* outlink_action = nullptr;
    QAction* account_action = nullptr;
    QAction* other_action = nullptr; // the devices, the desk's keys and auto-answer
    QAction* history_action = nullptr;
    QAction* colleagues_action = nullptr; // 内線状態
    QAction* about_action = nullptr;
    QAction* call_action = nullptr;
    QAction* hold_action = nullptr;
    QAction* mute_action = nullptr;
    QAction* record_action = nullptr;
    QAction* transfer_action = nullptr;
    QAction* hangup_action = nullptr;
    QAction* minimize_action = nullptr;
    QAction* exit_action = nullptr;
    QAction* open_action = nullptr;
    QAction* separator1 = nullptr;
    QAction* separator2 = nullptr;
    bool exit_requested = false;
    QString number_typed_before_call; // what the operator was typing when a call came in
    ProvisioningLoader* provisioning = nullptr;
    QString provisioning_notice;            // a file that did not parse, named while no call is on
    QString status_after_notice;            // the registration's text behind the notice
    QString provisioning_where;             // the file, line and reason: the notice's tooltip
    bool provisioned_account_waits = false; // for the end of a call
};
