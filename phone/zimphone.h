#pragma once

#include "phone/callhandle.h"
#include "phone/callphase.h"
#include "phone/callquality.h"
#include "phone/callregistry.h"
#include "phone/callreport.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QThread>

#include <linphone/core.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>

struct AccountSecurity;
class ColleagueWatch;
class SoundWatch;
class ZimData;
class ZimLogger;

// The telephony engine: a thread that owns the SIP core, registers the account, runs every call
// operation in its own loop and reports to the user interface through queued signals.
// The interface raises requests (served at once: each wakes the loop) and reads queries.
class ZimPhone : public QThread
{
    Q_OBJECT
public:
    ZimPhone(QObject* parent, ZimData* data, ZimLogger* logger);
    ~ZimPhone() override;

    void request_stop();
    void apply_media_settings();
    // True when the account's signalling is TLS, so the SRTP keys in its messages are protected.
    bool media_keys_protected() const { return media_keys_over_tls.load(); }
    QMap<QString, QStringList> sound_devices();

    // Registration
    void request_reregistration();
    // The colleagues' lamps (phone/colleaguewatch.h): its signal and the reload of a saved list.
    ColleagueWatch* colleague_watch() const { return colleagues.get(); }
    // Takes over the call ringing at the colleague's (phone/zimphone_colleagues.cpp).
    void request_pickup(const QString& extension);

    // Requests: each stores its argument and raises a flag that the loop serves.
    void request_dial(const QString& number);
    void request_answer();
    void request_hangup();
    void request_hold_toggle();
    // The microphone of the call in progress goes silent (the peer hears nothing, the call and its
    // time go on) or comes back. Off again at every call end and for a transfer.
    void request_mute(bool on);
    bool is_muted() const { return muted.load(); }
    void request_transfer_step(const QString& number);
    void request_blind_transfer(const QString& number);
    void request_attended_transfer(const QString& number);
    // Starts or stops the recording of the call in conversation (phone/zimphone_recording.cpp).
    void request_record_toggle();
    bool is_recording() const { return recording_now.load(); }
    // Plays a recording through the chosen speaker while no call is in progress; empty stops it.
    void request_playback(const QString& path);

    // Sent at once, serialised with the loop.
    void send_dtmf(char digit);

    // Queries
    bool is_idle();
    bool is_incoming_ringing();
    bool is_current_streaming();
    bool is_current_paused();
    bool is_second_streaming();
    bool is_registered();
    CallPhase phase();
    QString remote_number();
    QString last_dialled_number();
    int record_status();
    // False when the library could not create its core: the engine then does nothing.
    bool has_core();
    // The local UDP port the library picked (0 while the core does not exist).
    int local_sip_port();
    // Why a call over UDP is not answered by itself although auto-answer is on, empty when it is.
    QString auto_answer_limit();

    // Library callbacks, forwarded by the plain functions registered with the core.
    void on_registration_state_changed(LinphoneCore* core, LinphoneProxyConfig* config,
                                       LinphoneRegistrationState state, const char* message);
    void zimphone_call_state_changed(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state,
                                     const char* message);
    void on_transfer_state_changed(LinphoneCall* call, LinphoneCallState state);

signals:
    void signal_registration_state(QString status, QString userId);
    void signal_received_dialog(QMap<QString, QString> params);
    void signal_update_dialog_status(QString status);
    // The ended call's own number and record status, so its history row describes that call,
    // with how it ended and sounded.
    void signal_dialog_end(QString number, int recordStatus, CallReport report = CallReport());
    // A call that ended while another goes on (either leg of a consultation): its own row, with
    // the seconds it was connected, how it ended and how it sounded.
    void signal_call_recorded(QString number, int recordStatus, int seconds,
                              CallReport report = CallReport());
    void signal_start_count_dialog_time();
    // The call goes on with another party (the consulted one, once the first hung up), connected
    // for this many seconds: the call's time and its row are theirs from now on.
    void signal_call_continues(int seconds_connected);
    // A sound device appeared or vanished; the lists are read again.
    void signal_sound_devices_changed();
    void signal_show_operator_login();
    void signal_clear_phone_number();
    void signal_show_phone_message(QString message);
    void signal_set_phone_number(QString phoneNumber);
    void signal_show_transfer_call_result(QString message);
    void signal_play_hold_music();
    void signal_stop_hold_music();
    void signal_play_terminated_audio(QString file);
    // Why an outgoing call failed ("話中です", …) or could not be placed.
    void signal_call_failed(QString reason);
    // Why the registration failed: a short text for the status line and one for the lamp's tooltip.
    void signal_registration_failed(QString reason, QString tip);
    // True while the media of the call shown in the status line is encrypted.
    void signal_media_encryption(bool encrypted);
    // The call in conversation records, or no longer does.
    void signal_recording(bool recording);
    // A recording plays back, or has ended (also when it could not start).
    void signal_playback(bool playing);

protected:
    void run() override;

private:
    void create_core();
    void destroy_core();
    void end_remaining_calls();
    void serve_requests();
    void serve_raised_requests();
    void drop_call_logs();
    bool take_request(bool& flag);
    void raise_request(bool& flag);
    void wake_loop();
    void wake_locked();
    void wait_for_next_pass();
    void apply_media_settings_in_core();
    void set_mic_gain(const QMap<QString, QString>& media);

    // Registration steps (engine thread)
    void setup_account();
    void continue_with_consulted_party();
    void guard_call_source(const QString& address, const QString& port, bool over_udp);
    bool apply_security_and_ports(const AccountSecurity& security);
    void configure_transfer_gate();
    void reapply_account();
    void remove_account(LinphoneProxyConfig*& config);
    void finish_retiring();
    static void set_log_secrets(const QMap<QString, QString>& account);
    QString log_connection_failure();
    QString idle_status() const;

    // Call operations (engine thread)
    bool engine_idle() const;
    void perform_dial();
    void perform_answer();
    void perform_hangup();
    void perform_hold_toggle();
    void perform_mute();
    void perform_devices_changed();
    void schedule_auto_answer(const QString& call_id);
    void serve_auto_answer();
    void end_mute();
    bool pause_or_say_why(LinphoneCall* call);
    void perform_transfer_step();
    void perform_blind_transfer();
    void perform_attended_transfer();
    bool hold_back(const CallHandle& target, bool& flag);
    void serve_held_request();
    int transfer_call(LinphoneCall* call, const QString& number);
    LinphoneAddress* address_of(const QString& number);
    void emit_talking_status();
    void handle_released(LinphoneCall* call);
    void record_consultation(LinphoneCall* call);
    void return_to_held_call(LinphoneCall* consultation);
    void take_referred_call(LinphoneCall* call);
    void continue_with_referred_call();
    void end_unwanted_call();
    void end_calls_at_once();
    void handle_incoming(LinphoneCall* call);
    QString user_id() const;
    void log_phase();
    void set_phase(CallPhase value);
    void publish();
    void report_media_encryption();
    void report_encryption_refusal(LinphoneCall* call);

    // Call records (engine thread): the sound of each call once a second, and at its end the
    // report that goes with it to the history.
    void sample_quality();
    void note_call_end(LinphoneCall* call);
    QString outcome_of(LinphoneCall* call, int& sip_code) const;
    // True once the call was connected, also after it ended: its log says so, whatever its state.
    bool was_answered(LinphoneCall* call) const;
    // The record's flags of a call the engine may no longer hold (false when it has none).
    bool hung_up_by_operator(const LinphoneCall* call) const;
    bool transferred(const LinphoneCall* call) const;
    bool referred(const LinphoneCall* call) const; // started by the library for the peer's REFER

    ZimLogger* logger;
    ZimData* data;
    QMap<QString, QString> account_settings;
    LinphoneCoreCbs* callbacks = nullptr;
    LinphoneCore* core = nullptr;
    std::unique_ptr<SoundWatch> sound_watch;
    std::unique_ptr<ColleagueWatch> colleagues;
    bool pickup_request = false;
    QString pickup_extension;
    QString pickup_replaces; // the Replaces header of the INVITE being placed, empty for a plain call
    void perform_pickup();
    void add_pickup_headers(LinphoneCallParams* params);
    CallHandle current_call;
    CallHandle second_call;
    CallHandle unwanted_call; // a call the library started that the engine does not take up
    std::atomic<bool> running{true};
    QString remote_number_value;
    QString last_dialled_number_value;
    QString pending_dial_number;
    QString transfer_number;
    int record_status_value = RECORD_NONE;
    bool dial_request = false;
    bool hold_request = false;
    bool mute_request = false;
    bool devices_request = false;
    bool mute_wanted = false;
    bool transfer_step_request = false;
    bool blind_transfer_request = false;
    bool attended_transfer_request = false;
    bool hangup_request = false;
    bool answer_request = false;
    // An operator's request held while the call waits for the answer to a request in its dialog
    // (engine thread only), and until when it may wait.
    bool* held_request = nullptr;
    QDeadlineTimer held_until{QDeadlineTimer::Forever};
    CallPhase phase_value = CallPhase::Idle;
    bool reapply_request = false;
    // The one account in the core, and the replaced one while its unregistration is under way
    // (then no account is built until that one has ended: cleared or failed).
    LinphoneProxyConfig* account = nullptr;
    LinphoneProxyConfig* retiring = nullptr;
    bool retiring_ended = false;
    bool call_logs_to_drop = false; // a call was released since the library's call logs went

    // What the queries of the window thread read: a copy the engine thread refreshes under a lock
    // of its own, so that a query never waits for a library iteration.
    struct View
    {
        CallPhase phase = CallPhase::Idle;
        QString remote_number;
        QString last_dialled_number;
        int record_status = RECORD_NONE;
        bool current_set = false;
        bool current_incoming = false;
        LinphoneCallState current_state = LinphoneCallStateIdle;
        LinphoneCallState second_state = LinphoneCallStateIdle;
    };
    View view;
    std::mutex view_lock;
    bool media_encrypted = false;        // last value sent with signal_media_encryption
    bool encryption_unavailable = false; // SRTP required, and the library could not set it up
    int library_audio_dscp = -1;         // the library's own mark, for an account that sets none
    LinphoneTransportType account_transport = LinphoneTransportUdp; // what a transfer target is reached by
    std::atomic<bool> media_keys_over_tls{false};
    std::atomic<bool> muted{false};
    CallRegistry calls;    // each call's own record
    CallReport end_report; // of the call whose end is being reported
    std::chrono::steady_clock::time_point next_quality_sample;
    bool line_poor = false;       // the status line says the call in conversation sounds poor
    QString consulted_number;     // what the consultation call dialled
    QString registration_failure; // the last registration failure's text, until a success
    QString transfer_server;      // "host:port" a transfer the other party asks for goes to
    QString applied_ca_file;      // null until the first account set-up
    // Auto-answer of a call from the server: a beep at the first time, the answer at the second.
    QDeadlineTimer auto_answer_beep{QDeadlineTimer::Forever};
    QDeadlineTimer auto_answer_at{
        QDeadlineTimer::Forever}; // the account's signalling (and so SRTP keys) is TLS

    // Held by the loop around each iteration and the requests it serves; taken by every use of
    // the core from another thread.
    // The locks shared with the window thread are the standard library's: the thread checker
    // sees them, while Qt's own are hidden inside a library it does not instrument.
    std::recursive_mutex core_lock;
    // Guards the request flags and the numbers that come with them.
    std::mutex request_lock;
    // Set with every request, so that a pass without one skips the flags altogether.
    std::atomic<bool> requests_raised{false};
    // Written with every request from another thread: the loop sleeps in poll() on it, so a
    // request is served now instead of after the sleep (one system call per idle pass).
    int wake_fd = -1;
    // The library's UDP socket, which the loop sleeps on too (phone/sipsocket.h), and how long to
    // sleep: the loop period while anything goes on, longer once the phone has been quiet a while.
    int sip_fd = -1;
    int sip_fd_port = 0;
    int pass_ms = 0;
    bool settle_first = false; // the loop raised a request for itself (engine thread only)
    std::chrono::steady_clock::time_point quiet_since;
    void plan_next_pass();

    // Whether each connected call's peer is still there (phone/zimphone_liveness.cpp).
    void watch_liveness();
    void note_liveness(LinphoneCall* call, LinphoneCallState state);
    void end_vanished_call(CallHandle* handle);

    // Recording and playback (phone/zimphone_recording.cpp).
    LinphoneCall* invite(const QString& number);
    void accept(LinphoneCall* call);
    QString prepare_recording(LinphoneCallParams* params, const QString& number);
    void attach_recording(LinphoneCall* call, const QString& path);
    CallHandle* call_in_conversation();
    void perform_record_toggle();
    void start_recording(LinphoneCall* call);
    static int recording_rate(LinphoneCall* call);
    void record_if_wanted(LinphoneCall* call);
    void show_recording_state();
    void check_recordings();
    QString recording_of(LinphoneCall* call) const;
    void finish_recording(LinphoneCall* call);
    void perform_playback();
    void stop_playback();
    void watch_playback();
    bool record_request = false;
    bool playback_request = false;
    QString playback_path;
    QString recording_failure; // the folder and why the last call's file could not be made
    std::atomic<bool> recording_now{false};
    LinphonePlayer* player = nullptr;
    int playback_ms = 0;
};
