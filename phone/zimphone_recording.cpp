// Recording of calls: each call gets a file of its own when it is placed or answered, written by
// the SIP library (both voices, mixed) once recording starts, on demand or from the answer; and
// the player that plays a recording back through the chosen speaker.

#include "phone/zimphone.h"

#include "data/recordingfiles.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"

#include <QFile>

namespace {

// A recording whose file has not grown for this long while the call talked is given up: the
// folder cannot take it (a full disk).
const std::chrono::seconds GROWTH_CHECK{2};

} // namespace

// The rate the library mixes a call's recording at: its codec's (G.722 says 8000 in its offer for
// history's sake and runs at 16000).
int ZimPhone::recording_rate(LinphoneCall* call)
{
    const LinphoneCallParams* params = linphone_call_get_current_params(call);
    const LinphonePayloadType* codec =
        params ? linphone_call_params_get_used_audio_payload_type(params) : nullptr;
    if (!codec)
        return 8000;
    if (qstrcmp(linphone_payload_type_get_mime_type(codec), "G722") == 0)
        return 16000;
    return linphone_payload_type_get_clock_rate(codec);
}

void ZimPhone::request_record_toggle()
{
    raise_request(record_request);
}

void ZimPhone::request_playback(const QString& path)
{
    std::lock_guard lock(request_lock);
    playback_path = path;
    playback_request = true;
    wake_locked();
}

QString ZimPhone::prepare_recording(LinphoneCallParams* params, const QString& number)
{
    const QString folder = recordings::folder_of(data->other_settings());
    QString error;
    const QString path = recordings::create_file(folder, QDateTime::currentDateTime(), number, &error);
    if (path.isEmpty()) {
        recording_failure = QStringLiteral("%1: %2").arg(folder, error);
        return path;
    }
    linphone_call_params_set_record_file(params, QFile::encodeName(path).constData());
    return path;
}

void ZimPhone::attach_recording(LinphoneCall* call, const QString& path)
{
    if (path.isEmpty())
        return;
    if (!call) {
        QFile::remove(path);
        return;
    }
    calls.of(call).recording_path = path;
}

LinphoneCall* ZimPhone::invite(const QString& number)
{
    LinphoneAddress* address = address_of(number);
    if (!address)
        return nullptr;
    LinphoneCallParams* params = linphone_core_create_call_params(core, nullptr);
    add_pickup_headers(params);
    const QString path = prepare_recording(params, number);
    LinphoneCall* call = linphone_core_invite_address_with_params(core, address, params);
    linphone_call_params_unref(params);
    linphone_address_unref(address);
    attach_recording(call, path);
    return call;
}

void ZimPhone::accept(LinphoneCall* call)
{
    LinphoneCallParams* params = linphone_core_create_call_params(core, call);
    const LinphoneAddress* from = linphone_call_get_remote_address(call);
    const char* user = from ? linphone_address_get_username(from) : nullptr;
    const QString path = prepare_recording(params, QString::fromUtf8(user ? user : ""));
    attach_recording(call, path);
    linphone_call_accept_with_params(call, params);
    linphone_call_params_unref(params);
}

CallHandle* ZimPhone::call_in_conversation()
{
    switch (phase_value) {
    case CallPhase::Talking:
    case CallPhase::Holding:
    case CallPhase::RemoteHolding:
        return current_call.is_set() ? &current_call : nullptr;
    case CallPhase::TransferTalking:
    case CallPhase::TransferHolding:
    case CallPhase::TransferRemoteHolding:
        return second_call.is_set() ? &second_call : nullptr;
    default:
        return nullptr;
    }
}

void ZimPhone::perform_record_toggle()
{
    CallHandle* handle = call_in_conversation();
    if (!handle || handle->ended())
        return;
    LinphoneCall* call = handle->get();
    CallRecord& record = calls.of(call);
    if (record.recording) {
        linphone_call_stop_recording(call);
        record.recording = false;
        logger->log(QStringLiteral("recording stopped: %1").arg(record.recording_path), 1);
    } else {
        start_recording(call);
    }
    show_recording_state();
}

void ZimPhone::start_recording(LinphoneCall* call)
{
    CallRecord& record = calls.of(call);
    if (record.recording)
        return;
    if (record.recording_path.isEmpty() || record.recording_failed) {
        logger->log(QStringLiteral("recording not possible in %1")
                        .arg(record.recording_failed ? record.recording_path : recording_failure),
                    2);
        emit signal_call_failed(zim::FAIL_RECORDING);
        return;
    }
    linphone_call_start_recording(call);
    if (!record.recorded)
        recordings::note_format(record.recording_path, recording_rate(call), 1);
    record.recording = record.recorded = true;
    record.recording_checked_at = std::chrono::steady_clock::now() + GROWTH_CHECK;
    record.recording_bytes = recordings::sound_bytes(record.recording_path);
    logger->log(QStringLiteral("recording: %1").arg(record.recording_path), 1);
}

// Every answered call records from its answer when the desk records all calls.
void ZimPhone::record_if_wanted(LinphoneCall* call)
{
    const CallRecord* record = calls.find(call);
    if (record && !record->recorded && !record->recording_failed &&
        recordings::records_every_call(data->other_settings())) {
        start_recording(call);
        show_recording_state();
    }
}

void ZimPhone::show_recording_state()
{
    CallHandle* handle = call_in_conversation();
    const CallRecord* record = handle ? calls.find(handle->get()) : nullptr;
    const bool now = record && record->recording;
    if (recording_now.exchange(now) == now)
        return;
    if (phase_value == CallPhase::Talking)
        emit_talking_status();
    emit signal_recording(now);
}

// A recording whose file stops growing while its call talks has lost its folder (a full disk):
// it stops, and the call goes on as it was.
void ZimPhone::check_recordings()
{
    const auto now = std::chrono::steady_clock::now();
    for (CallHandle* handle : {&current_call, &second_call}) {
        if (!handle->is_set() || handle->state() != LinphoneCallStateStreamsRunning)
            continue;
        CallRecord* record = calls.find(handle->get());
        if (!record || !record->recording || now < record->recording_checked_at)
            continue;
        const qint64 bytes = recordings::sound_bytes(record->recording_path);
        record->recording_checked_at = now + GROWTH_CHECK;
        if (bytes > record->recording_bytes) {
            record->recording_bytes = bytes;
            continue;
        }
        linphone_call_stop_recording(handle->get());
        record->recording = false;
        record->recording_failed = true;
        logger->log(QStringLiteral("recording failed: %1 does not grow (the folder takes no more)")
                        .arg(record->recording_path),
                    2);
        emit signal_call_failed(zim::FAIL_RECORDING);
        show_recording_state();
    }
}

// What the call's row keeps of its recording: the file, when it holds any sound.
QString ZimPhone::recording_of(LinphoneCall* call) const
{
    const CallRecord* record = calls.find(call);
    if (!record || !record->recorded)
        return QString();
    if (record->recording_failed && recordings::sound_bytes(record->recording_path) == 0)
        return QString();
    return record->recording_path;
}

// Once the library is done with the call, its file is closed: one that holds no sound goes.
void ZimPhone::finish_recording(LinphoneCall* call)
{
    const CallRecord* record = calls.find(call);
    if (!record || record->recording_path.isEmpty())
        return;
    const qint64 bytes = recordings::sound_bytes(record->recording_path);
    if (bytes == 0 || !record->recorded) {
        QFile::remove(record->recording_path);
        recordings::forget_format(record->recording_path);
        return;
    }
    recordings::repair_header(record->recording_path);
    recordings::forget_format(record->recording_path);
    logger->log(
        QStringLiteral("recording closed: %1 (%2 bytes of sound)").arg(record->recording_path).arg(bytes), 1);
}

// Playback of a recording, only while no call is in progress: the speaker belongs to the call.
void ZimPhone::perform_playback()
{
    QString path;
    {
        std::lock_guard lock(request_lock);
        path = playback_path;
    }
    stop_playback();
    if (path.isEmpty())
        return;
    if (!engine_idle() || phase_value != CallPhase::Idle) {
        logger->log(QStringLiteral("recording not played during a call: %1").arg(path), 1);
        emit signal_playback(false);
        return;
    }
    const char* device = linphone_core_get_playback_device(core);
    player = linphone_core_create_local_player(core, device, nullptr, nullptr);
    if (!player || linphone_player_open(player, QFile::encodeName(path).constData()) != 0 ||
        linphone_player_start(player) != 0) {
        logger->log(QStringLiteral("recording cannot be played: %1").arg(path), 2);
        stop_playback();
        emit signal_playback(false);
        return;
    }
    playback_ms = linphone_player_get_duration(player);
    logger->log(QStringLiteral("playing %1 (%2 ms)").arg(path).arg(playback_ms), 1);
    emit signal_playback(true);
}

void ZimPhone::stop_playback()
{
    if (!player)
        return;
    linphone_player_close(player);
    linphone_player_unref(player);
    player = nullptr;
    emit signal_playback(false);
}

// The player is asked where it is, as the loop passes: at the end (or once a call comes) it goes.
void ZimPhone::watch_playback()
{
    if (!player)
        return;
    const int position = linphone_player_get_current_position(player);
    const bool ended = linphone_player_get_state(player) != LinphonePlayerPlaying ||
                       (playback_ms > 0 && position >= playback_ms - 40);
    if (ended || phase_value != CallPhase::Idle)
        stop_playback();
}
