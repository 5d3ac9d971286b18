#include "peercore.h"

PeerCore::PeerCore()
{
    LinphoneFactory* factory = linphone_factory_get();
    // The peer keeps its own library database, apart from the engine's.
    const QByteArray path = dir.path().toUtf8();
    linphone_factory_set_data_dir(factory, path.constData());
    linphone_factory_set_config_dir(factory, path.constData());
    callbacks = linphone_factory_create_core_cbs(factory);
    linphone_core_cbs_set_user_data(callbacks, this);
    linphone_core_cbs_set_call_state_changed(callbacks, on_call_state);
    linphone_core_cbs_set_dtmf_received(callbacks, on_dtmf);
    core = linphone_factory_create_core_3(factory, nullptr, nullptr, nullptr);
    linphone_core_add_callbacks(core, callbacks);

    LinphoneTransports* transports = linphone_factory_create_transports(factory);
    linphone_transports_set_udp_port(transports, LC_SIP_TRANSPORT_RANDOM);
    linphone_transports_set_tcp_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_transports_set_tls_port(transports, LC_SIP_TRANSPORT_DISABLED);
    linphone_core_set_transports(core, transports);
    linphone_transports_unref(transports);
    linphone_core_set_audio_port(core, -1);
    linphone_core_set_video_port(core, -1);
    // No sound card needed: the peer plays silence and records nothing.
    linphone_core_set_use_files(core, TRUE);
    linphone_core_start(core);

    LinphoneTransports* used = linphone_core_get_transports_used(core);
    port = linphone_transports_get_udp_port(used);
    linphone_transports_unref(used);

    connect(&iterate_timer, &QTimer::timeout, this, [this] { linphone_core_iterate(core); });
    iterate_timer.start(20);
}

PeerCore::~PeerCore()
{
    iterate_timer.stop();
    linphone_core_stop(core);
    linphone_core_unref(core);
    linphone_core_cbs_unref(callbacks);
}

QString PeerCore::uri(const QString& user) const
{
    return QStringLiteral("sip:%1@127.0.0.1:%2").arg(user).arg(port);
}

int PeerCore::active_calls() const
{
    return linphone_core_get_calls_nb(core);
}

void PeerCore::terminate_all()
{
    linphone_core_terminate_all_calls(core);
}

void PeerCore::use_srtp(bool required)
{
    linphone_core_set_media_encryption(core, LinphoneMediaEncryptionSRTP);
    linphone_core_set_media_encryption_mandatory(core, required);
}

bool PeerCore::media_encrypted() const
{
    LinphoneCall* call = linphone_core_get_current_call(core);
    const LinphoneCallParams* params = call ? linphone_call_get_current_params(call) : nullptr;
    return params && linphone_call_params_get_media_encryption(params) == LinphoneMediaEncryptionSRTP;
}

PeerCore* PeerCore::self(LinphoneCore* core)
{
    return static_cast<PeerCore*>(linphone_core_cbs_get_user_data(linphone_core_get_current_callbacks(core)));
}

void PeerCore::on_call_state(LinphoneCore* core, LinphoneCall* call, LinphoneCallState state, const char*)
{
    if (state != LinphoneCallStateIncomingReceived)
        return;
    PeerCore* peer = self(core);
    ++peer->calls_received;
    linphone_call_accept(call);
}

void PeerCore::on_dtmf(LinphoneCore* core, LinphoneCall*, int dtmf)
{
    self(core)->dtmf.append(QChar(dtmf));
}
