#include "phone/zimphone.h"

#include "data/accountports.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "phone/callsource.h"
#include "phone/colleaguewatch.h"
#include "phone/librarycallback.h"
#include "phone/libraryhooks.h"
#include "phone/sipsocket.h"
#include "phone/soundcardnames.h"
#include "phone/soundclock.h"
#include "phone/soundserverwait.h"
#include "phone/soundwatch.h"
#include "phone/zimcorelog.h"

#include <QElapsedTimer>
#include <QMetaType>

#include <mediastreamer2/msfactory.h>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

const std::chrono::milliseconds LOOP_SLEEP{50};
// With no call, no registration under way and nothing asked for 2 s, the loop sleeps up to a
// second: the library's socket and the requests wake it, and its timers (a registration's
// refresh, a resend) can wait that long.
const std::chrono::milliseconds QUIET_AFTER{2000};
const int QUIET_PASS_MS = 1000;
const int INCOMING_TIMEOUT_S = 600;
const int SOUND_SERVER_WAIT_MS = 2000;
const int LIBRARY_NO_RTP_S = 24 * 3600;
const float MAX_MIC_GAIN_DB = 10; // the settings slider's top
// After terminating the remaining calls and the registration at stop, the core is iterated until
// they are over (each BYE and the unregistration answered), but never longer than this, so that
// the program is gone within 3 s of being asked to exit.
const int STOP_GRACE_MS = 2500;

// The library's callbacks carry no user data here; they reach the single engine through this.
std::atomic<ZimPhone*> engine{nullptr};

LIBRARY_CALLBACK void forward_registration(LinphoneCore* core, LinphoneProxyConfig* config,
                                           LinphoneRegistrationState state, const char* message)
{
    if (ZimPhone* phone = engine.load())
        phone->on_registration_state_changed(core, config, state, message);
}

LIBRARY_CALLBACK void forward_call_state(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state,
                                         const char* message)
{
    if (ZimPhone* phone = engine.load())
        phone->zimphone_call_state_changed(core, call, state, message);
}

LIBRARY_CALLBACK void forward_transfer_state(LinphoneCore*, LinphoneCall* call, LinphoneCallState state)
{
    if (ZimPhone* phone = engine.load())
        phone->on_transfer_state_changed(call, state);
}

} // namespace

ZimPhone::ZimPhone(QObject* parent, ZimData* data, ZimLogger* logger)
    : QThread(parent), logger(logger), data(data), wake_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    qRegisterMetaType<QMap<QString, QString>>("QMap<QString, QString>");
    qRegisterMetaType<CallReport>("CallReport");
    callbacks = linphone_factory_create_core_cbs(linphone_factory_get());
    linphone_core_cbs_set_registration_state_changed(callbacks, forward_registration);
    linphone_core_cbs_set_call_state_changed(callbacks, forward_call_state);
    linphone_core_cbs_set_transfer_state_changed(callbacks, forward_transfer_state);
    engine.store(this);

    logger->log(QString::fromLatin1(linphone_core_get_version()), 1);
    ZimCoreLog::watch();
    library_hooks::check_at_start(linphone_core_get_version());
    set_log_secrets(data->account_settings());
    if (data->other_settings().value(QStringLiteral("debugModel")) == QStringLiteral("1"))
        ZimCoreLog::start(zim::data_path(zim::CORE_LOG_FILE));
    colleagues = std::make_unique<ColleagueWatch>(data, logger, [this] { wake_loop(); });
    create_core();
}

ZimPhone::~ZimPhone()
{
    if (isRunning()) {
        request_stop();
        wait();
    }
    destroy_core(); // only left when the thread never ran
    linphone_core_cbs_unref(callbacks);
    if (wake_fd >= 0)
        ::close(wake_fd);
    ZimPhone* self = this;
    engine.compare_exchange_strong(self, nullptr);
}

void ZimPhone::create_core()
{
    LinphoneFactory* factory = linphone_factory_get();
    // The library keeps a database of its own (call logs); without a place it can open it
    // answers every incoming call with 503. It lives in the program's private data directory; the
    // library appends its file names to this path as they are, so it ends with a separator.
    zim::make_private_log_dir();
    const QByteArray store = (zim::data_path(zim::DATA_DIR) + QLatin1Char('/')).toUtf8();
    linphone_factory_set_data_dir(factory, store.constData());
    linphone_factory_set_config_dir(factory, store.constData());
    // Voice only: the streaming engine's plugins are video ones, and its video display alone
    // would load Qt Quick. It looks for them in the data folder, which holds none.
    linphone_factory_set_msplugins_dir(factory, store.constData());
    // A stalled sound server must not hold the start: the account registers without its devices.
    sound_server_wait::bound_detection(SOUND_SERVER_WAIT_MS);
    // A microphone that stalls for a moment must not leave the caller's voice late for the call.
    if (!sound_clock::prepare())
        logger->log(QStringLiteral("the media library's capture clock step was not found"), 1);

    core = linphone_factory_create_core_3(factory, nullptr, nullptr, nullptr);
    if (!core) {
        logger->log(QStringLiteral("the SIP library could not create its core"), 2);
        return;
    }
    linphone_core_add_callbacks(core, callbacks);
    colleagues->attach(core);
    call_source::set_refusal_log([this](const QString& line) { logger->log(line, 1); });
    linphone_core_set_ringback(core, zim::sound_file(zim::SOUND_RINGBACK).toUtf8().constData());
    linphone_core_set_ring(core, zim::sound_file(zim::SOUND_RING).toUtf8().constData());
    linphone_core_set_inc_timeout(core, INCOMING_TIMEOUT_S);
    // The engine tells a vanished peer from a silent one itself (phone/zimphone_liveness.cpp).
    linphone_core_set_nortp_timeout(core, LIBRARY_NO_RTP_S);

    // A random local UDP port for SIP until the account's own is applied; the other transports
    // stay closed.
    LinphoneTransports* transports = linphone_factory_create_transports(factory);
    linphone_transports_set_udp_port(transports, LC_SIP_TRANSPORT_RANDOM);
    linphone_transports_set_tcp_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_transports_set_tls_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_transports_set_dtls_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_core_set_transports(core, transports);
    linphone_transports_unref(transports);
    // Media ports are random too, so that two programs on one machine never collide. Audio comes
    // from a range, so that RTCP sits on the port above RTP: a port of its own, which the library
    // takes for a fully random choice, reaches only peers that read the offer's "a=rtcp" line,
    // and a silent caller whose reports went elsewhere was hung up as vanished.
    // The account may narrow the range for its firewall (phone/zimphone_registration.cpp).
    linphone_core_set_audio_port_range(core, AccountPorts::AUDIO_FIRST, AccountPorts::AUDIO_LAST);
    library_audio_dscp = linphone_core_get_audio_dscp(core);
    linphone_core_set_video_port(core, -1);
    // Voice only: no camera is opened and no video stream is offered or accepted.
    linphone_core_enable_video_capture(core, FALSE);
    linphone_core_enable_video_display(core, FALSE);

    linphone_core_set_user_agent(core, zim::PRODUCT_TITLE.toLatin1().constData(),
                                 zim::VERSION.toLatin1().constData());
    linphone_core_start(core);
    sound_card_names::tell_apart(core);
    for (const QString& line : library_hooks::take_log_lines())
        logger->log(line, 1);
    sound_watch = std::make_unique<SoundWatch>([this] { raise_request(devices_request); });
    // The stored devices and gain hold from the start, with or without an account.
    apply_media_settings_in_core();
}

void ZimPhone::destroy_core()
{
    if (!core)
        return;
    stop_playback();
    current_call.reset();
    second_call.reset();
    unwanted_call.reset();
    sound_watch.reset();
    colleagues->detach();
    // The library may release a call only as it stops (after its end was reported): the call's
    // record stays until then, so its end still finds what it needs (its recording to close).
    linphone_core_stop(core);
    linphone_core_unref(core);
    calls.clear();
    core = nullptr;
    call_source::stop_guarding();
    call_source::set_sip_port(0);
    call_source::set_refusal_log(nullptr);
    account = nullptr;
    retiring = nullptr;
}

void ZimPhone::run()
{
    if (!has_core())
        return;
    {
        std::lock_guard lock(core_lock);
        setup_account();
    }
    quiet_since = std::chrono::steady_clock::now();
    while (running.load()) {
        {
            std::lock_guard lock(core_lock);
            linphone_core_iterate(core);
            colleagues->serve(account);
            serve_requests();
            serve_held_request();
            serve_auto_answer();
            sample_quality();
            check_recordings();
            watch_playback();
            watch_liveness();
            end_unwanted_call();
            publish();
            plan_next_pass();
        }
        wait_for_next_pass();
    }
    std::lock_guard lock(core_lock);
    end_remaining_calls();
    destroy_core();
    publish();
}

void ZimPhone::request_stop()
{
    running.store(false);
    wake_loop();
}

// Called under the core lock after a pass: finds the library's UDP socket again when its port
// changed, and chooses the sleep.
void ZimPhone::plan_next_pass()
{
    const int port = local_sip_port();
    if (port != sip_fd_port || (sip_fd >= 0 && !sip_socket::is_udp_on(sip_fd, port))) {
        sip_fd = sip_socket::find_udp(port);
        sip_fd_port = port;
        call_source::set_sip_port(port);
    }
    const auto now = std::chrono::steady_clock::now();
    const bool busy = linphone_core_get_calls_nb(core) > 0 || retiring || player ||
                      (account && linphone_proxy_config_get_state(account) == LinphoneRegistrationProgress);
    if (busy)
        quiet_since = now;
    pass_ms = sip_fd >= 0 && now - quiet_since >= QUIET_AFTER ? QUIET_PASS_MS : int(LOOP_SLEEP.count());
}

// The library is iterated every loop period; a request cuts the sleep short so that the window
// never waits for the next period to see its dial or hang-up go out, and so does a SIP message on
// the library's socket. A socket the last pass left readable is not watched this time, so that a
// message the library does not take can never keep the loop spinning; nor is it after the loop
// raised a request for itself, which waits the whole period.
void ZimPhone::wait_for_next_pass()
{
    pollfd fds[2] = {{wake_fd, POLLIN, 0}, {sip_fd, POLLIN, 0}};
    nfds_t watched = 1;
    if (sip_fd >= 0 && !settle_first && ::poll(&fds[1], 1, 0) == 0)
        watched = 2;
    settle_first = false;
    if (::poll(fds, watched, watched == 2 ? pass_ms : int(LOOP_SLEEP.count())) <= 0)
        return;
    if (fds[0].revents & POLLIN) {
        std::uint64_t count;
        while (::read(wake_fd, &count, sizeof(count)) < 0 && errno == EINTR) {
        }
    }
    quiet_since = std::chrono::steady_clock::now(); // woken by a request or a message
}

void ZimPhone::wake_loop()
{
    const std::uint64_t one = 1;
    while (::write(wake_fd, &one, sizeof(one)) < 0 && errno == EINTR) {
    }
}

// Called with request_lock held. A request the loop raises for itself keeps waiting for the next
// period, as the step it follows needs that time to settle (a pause before the consultation call).
void ZimPhone::wake_locked()
{
    requests_raised.store(true);
    if (QThread::currentThread() != this)
        wake_loop();
    else
        settle_first = true;
}

// At stop the calls still alive are ended and the account unregistered properly: each peer gets
// its BYE and the registrar a REGISTER with expiry 0 before the core goes.
void ZimPhone::end_remaining_calls()
{
    bool waiting = false;
    for (CallHandle* handle : {&current_call, &second_call}) {
        if (!handle->is_set())
            continue;
        const LinphoneCallState state = handle->state();
        if (state != LinphoneCallStateEnd && state != LinphoneCallStateReleased) {
            linphone_call_terminate(handle->get());
            waiting = true;
        }
    }
    const auto registered = [this] {
        const LinphoneRegistrationState state =
            account ? linphone_proxy_config_get_state(account) : LinphoneRegistrationNone;
        return state == LinphoneRegistrationOk || state == LinphoneRegistrationProgress;
    };
    // The colleagues' subscriptions end too (SUBSCRIBE with Expires 0), before the unregistration.
    colleagues->end_all();
    if (registered()) {
        linphone_proxy_config_edit(account);
        linphone_proxy_config_enable_register(account, FALSE);
        linphone_proxy_config_done(account);
        waiting = true;
    }
    QElapsedTimer timer;
    timer.start();
    waiting = waiting || colleagues->ending();
    while (waiting && (linphone_core_get_calls_nb(core) > 0 || registered() || colleagues->ending()) &&
           timer.elapsed() < STOP_GRACE_MS) {
        linphone_core_iterate(core);
        QThread::usleep(20000);
    }
}

// Requests are served in a fixed order, each only when raised; a flag is cleared as it is taken,
// so a request raised again meanwhile is served in the next pass.
void ZimPhone::serve_requests()
{
    if (requests_raised.exchange(false)) {
        serve_raised_requests();
        reapply_account();
    }
    finish_retiring();
    drop_call_logs();
}

// The history is the program's own; the library's copy of every call (in memory and in its
// database) would only grow through the day. It goes once no call is left.
void ZimPhone::drop_call_logs()
{
    if (!call_logs_to_drop || linphone_core_get_calls_nb(core) > 0)
        return;
    call_logs_to_drop = false;
    linphone_core_clear_call_logs(core);
}

void ZimPhone::serve_raised_requests()
{
    if (take_request(dial_request))
        perform_dial();
    if (take_request(hold_request))
        perform_hold_toggle();
    if (take_request(mute_request))
        perform_mute();
    if (take_request(devices_request))
        perform_devices_changed();
    if (take_request(transfer_step_request))
        perform_transfer_step();
    if (take_request(blind_transfer_request))
        perform_blind_transfer();
    if (take_request(attended_transfer_request))
        perform_attended_transfer();
    if (take_request(hangup_request))
        perform_hangup();
    if (take_request(answer_request))
        perform_answer();
    if (take_request(pickup_request))
        perform_pickup();
    if (take_request(record_request))
        perform_record_toggle();
    if (take_request(playback_request))
        perform_playback();
}

bool ZimPhone::take_request(bool& flag)
{
    std::lock_guard lock(request_lock);
    const bool raised = flag;
    flag = false;
    return raised;
}

void ZimPhone::raise_request(bool& flag)
{
    std::lock_guard lock(request_lock);
    flag = true;
    wake_locked();
}

void ZimPhone::apply_media_settings()
{
    std::lock_guard lock(core_lock);
    apply_media_settings_in_core();
}

void ZimPhone::apply_media_settings_in_core()
{
    // Also with nothing stored: the library's defaults (its echo canceller on) are not the desk's.
    const QMap<QString, QString> media = data->media_settings();
    if (!core)
        return;
    bctbx_list_t* devices = linphone_core_get_extended_audio_devices(core);
    for (bctbx_list_t* item = devices; item; item = bctbx_list_next(item)) {
        auto* device = static_cast<LinphoneAudioDevice*>(bctbx_list_get_data(item));
        const char* id = linphone_audio_device_get_id(device);
        const QString name = QString::fromUtf8(id);
        if (name == media.value(QStringLiteral("playback")))
            linphone_core_set_playback_device(core, id);
        if (name == media.value(QStringLiteral("ringback")))
            linphone_core_set_ringer_device(core, id);
        if (name == media.value(QStringLiteral("capture")))
            linphone_core_set_capture_device(core, id);
    }
    bctbx_list_free_with_data(devices, reinterpret_cast<bctbx_list_free_func>(linphone_audio_device_unref));
    set_mic_gain(media);
    // The library's software echo canceller hands the caller's audio to the speaker only as
    // microphone frames arrive: a microphone that stalls for a moment (a headset's hiccup, a source
    // resuming) holds the caller's voice back until its queue is trimmed (about 2 s), and against a
    // reference that far out of step the canceller sends the caller's own voice back. Operators
    // wear headsets; a desk on loudspeakers turns it on with "echoCancellation" = "1".
    linphone_core_enable_echo_cancellation(core, media.value(QStringLiteral("echoCancellation")) ==
                                                     QLatin1String("1"));
}

void ZimPhone::set_mic_gain(const QMap<QString, QString>& media)
{
    // The stored gain is decibels, 0 to 10 whatever the database holds; text that is no number
    // reads as 0 dB. The media library takes its "decibels" as 10^(dB/10) in amplitude, twice the
    // real figure, so it is handed half.
    const float gain =
        std::clamp(media.value(QStringLiteral("captureGain")).toFloat(), 0.0f, MAX_MIC_GAIN_DB);
    linphone_core_set_mic_gain_db(core, gain / 2);
}

QMap<QString, QStringList> ZimPhone::sound_devices()
{
    std::lock_guard lock(core_lock);
    QStringList playback;
    QStringList capture;
    if (core) {
        linphone_core_reload_sound_devices(core);
        bctbx_list_t* devices = linphone_core_get_extended_audio_devices(core);
        for (bctbx_list_t* item = devices; item; item = bctbx_list_next(item)) {
            auto* device = static_cast<LinphoneAudioDevice*>(bctbx_list_get_data(item));
            const QString id = QString::fromUtf8(linphone_audio_device_get_id(device));
            if (linphone_audio_device_has_capability(device, LinphoneAudioDeviceCapabilityRecord))
                capture.append(id);
            if (linphone_audio_device_has_capability(device, LinphoneAudioDeviceCapabilityPlay))
                playback.append(id);
        }
        bctbx_list_free_with_data(devices,
                                  reinterpret_cast<bctbx_list_free_func>(linphone_audio_device_unref));
    }
    QMap<QString, QStringList> result;
    result.insert(QStringLiteral("playback"), playback);
    result.insert(QStringLiteral("capture"), capture);
    return result;
}

// A headset plugged in or pulled out. The library reads its devices again and the stored ones are
// chosen again by name, so a chosen headset that returns is used from the next call on; a call
// whose device vanished goes on, moved by the sound server to its default device.
void ZimPhone::perform_devices_changed()
{
    // A sound server that came back is connected to anew once no call holds a stream on the old
    // connection (the call's end asks again).
    if (sound_watch && sound_watch->server_returned() && linphone_core_get_calls_nb(core) == 0) {
        sound_watch->take_returned();
        sound_server_wait::reconnect_driver(
            ms_factory_get_snd_card_manager(linphone_core_get_ms_factory(core)));
    }
    linphone_core_reload_sound_devices(core);
    apply_media_settings_in_core();
    logger->log(QStringLiteral("sound devices changed"), 1);
    emit signal_sound_devices_changed();
}

void ZimPhone::send_dtmf(char digit)
{
    std::lock_guard lock(core_lock);
    // Only a call with its media running can carry DTMF; on a held or ringing call the library
    // has no audio stream and would crash.
    if (current_call.is_set() && current_call.state() == LinphoneCallStateStreamsRunning)
        linphone_call_send_dtmf(current_call.get(), digit);
}

bool ZimPhone::has_core()
{
    std::lock_guard lock(core_lock);
    return core != nullptr;
}

int ZimPhone::local_sip_port()
{
    std::lock_guard lock(core_lock);
    if (!core)
        return 0;
    LinphoneTransports* used = linphone_core_get_transports_used(core);
    const int port = linphone_transports_get_udp_port(used);
    linphone_transports_unref(used);
    return port;
}

QString ZimPhone::user_id() const
{
    return account_settings.value(QStringLiteral("userId"));
}
