// Account registration: the single SIP account built from the account settings.

#include "phone/zimphone.h"

#include "data/accountports.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/callsource.h"
#include "phone/contactkey.h"
#include "phone/coresecurity.h"
#include "phone/failuretext.h"
#include "phone/sipsocket.h"
#include "phone/transfergate.h"
#include "phone/zimcorelog.h"

namespace {
const int REGISTRATION_EXPIRES_S = 60;
}

void ZimPhone::setup_account()
{
    account_settings = data->account_settings();
    registration_failure.clear();
    set_log_secrets(account_settings);
    const QString address = account_settings.value(QStringLiteral("address"));
    const QString port = account_settings.value(QStringLiteral("port"));
    const QString user = account_settings.value(QStringLiteral("userId"));
    const QString password = account_settings.value(QStringLiteral("password"));
    // Encryption and NAT traversal hold for direct calls too, with or without a registration.
    const AccountSecurity security = AccountSecurity::from_settings(account_settings);
    encryption_unavailable = !apply_security_and_ports(security);
    // A connection the library keeps open was checked against the CAs of its day: another CA file
    // applies to a new connection, now, not at the next start.
    if (security.ca_file != applied_ca_file) {
        if (!applied_ca_file.isNull()) {
            linphone_core_set_network_reachable(core, FALSE);
            linphone_core_set_network_reachable(core, TRUE);
        }
        applied_ca_file = security.ca_file.isNull() ? QString(QLatin1String("")) : security.ca_file;
    }
    media_keys_over_tls.store(security.transport == AccountSecurity::TransportTls);
    account_transport = security.transport == AccountSecurity::TransportTls   ? LinphoneTransportTls
                        : security.transport == AccountSecurity::TransportTcp ? LinphoneTransportTcp
                                                                              : LinphoneTransportUdp;
    guard_call_source(address, port, security.transport == AccountSecurity::TransportUdp);
    const bool complete = !address.isEmpty() && !port.isEmpty() && !user.isEmpty() && !password.isEmpty();
    transfer_server = complete ? address + QLatin1Char(':') + port : QString();
    configure_transfer_gate();
    if (!complete)
        return;

    LinphoneFactory* factory = linphone_factory_get();
    LinphoneProxyConfig* config = linphone_core_create_proxy_config(core);
    const QString identity =
        QStringLiteral("sip:") + user + QStringLiteral("@") + address + QStringLiteral(":") + port;
    LinphoneAddress* parsed = linphone_factory_create_address(factory, identity.toUtf8().constData());
    if (!parsed) {
        linphone_proxy_config_unref(config);
        return;
    }

    LinphoneAuthInfo* auth =
        linphone_factory_create_auth_info(factory, linphone_address_get_username(parsed), nullptr,
                                          password.toUtf8().constData(), nullptr, nullptr, nullptr);
    linphone_core_clear_all_auth_info(core);
    linphone_core_add_auth_info(core, auth);
    linphone_auth_info_unref(auth);

    const QString server = CoreSecurity::server_address(address, port, security);
    linphone_proxy_config_set_identity_address(config, parsed);
    linphone_proxy_config_set_server_addr(config, server.toLatin1().constData());
    linphone_proxy_config_set_expires(config, REGISTRATION_EXPIRES_S);
    // The registered contact carries a key only the registrar learns: what it routes to the phone
    // brings it back, which a forged source address cannot.
    linphone_proxy_config_set_contact_uri_parameters(config, contact_key::parameter().toLatin1().constData());
    linphone_proxy_config_enable_register(config, TRUE);
    linphone_address_unref(parsed);

    linphone_core_add_proxy_config(core, config);
    linphone_core_set_default_proxy_config(core, config);
    linphone_proxy_config_unref(config); // the core keeps its own reference
    account = config;

    apply_media_settings_in_core();
    linphone_core_iterate(core); // the registration starts at once
}

// The account's transport and media protection, and the ports a firewall and its QoS rules expect:
// a SIP port another program holds gives way to a random one and a range or mark that cannot serve
// to the default, so the desk still registers and calls, and the log and a message say why.
bool ZimPhone::apply_security_and_ports(const AccountSecurity& security)
{
    QList<AccountPorts::Fault> faults;
    const AccountPorts ports = AccountPorts::from_settings(account_settings, &faults);
    int sip_port = security.transport == AccountSecurity::TransportUdp ? ports.sip_port : 0;
    if (sip_port > 0 && local_sip_port() != sip_port && !sip_socket::udp_port_free(sip_port)) {
        faults.append(AccountPorts::sip_port_unavailable(sip_port));
        sip_port = 0;
    }
    const bool secured = CoreSecurity::apply(core, security, sip_port, logger);
    if (sip_port > 0 && local_sip_port() != sip_port) { // taken between the check and the library's bind
        faults.append(AccountPorts::sip_port_unavailable(sip_port));
        CoreSecurity::apply_transports(core, security.transport, 0);
    }
    linphone_core_set_audio_port_range(core, ports.audio_first, ports.audio_last);
    linphone_core_set_audio_dscp(core, ports.audio_dscp >= 0 ? ports.audio_dscp : library_audio_dscp);
    QStringList messages;
    for (const AccountPorts::Fault& fault : faults) {
        logger->log(fault.log_text, 2);
        messages.append(fault.user_text);
    }
    if (!messages.isEmpty())
        emit signal_show_phone_message(messages.join(QLatin1Char('\n')));
    return secured;
}

// Once a server is set, only it may ring the phone over UDP (a lab without a PBX turns this off
// with the other setting "callsFromServerOnly" = "0"). Its name is resolved by the check itself,
// away from the engine thread. Over TCP and TLS the phone listens on no port: every call comes on
// its own connection to the server.
void ZimPhone::guard_call_source(const QString& address, const QString& port, bool over_udp)
{
    if (!address.isEmpty() && !over_udp) {
        call_source::guard_stream();
        return;
    }
    const bool off =
        data->other_settings().value(QStringLiteral("callsFromServerOnly")) == QLatin1String("0");
    if (address.isEmpty() || off) {
        call_source::stop_guarding();
        return;
    }
    bool number = false;
    const int server_port = port.isEmpty() ? 5060 : port.toInt(&number);
    if (!port.isEmpty() && (!number || server_port <= 0 || server_port > 65535))
        logger->log(
            QStringLiteral("SIP server port %1 is no port: no call is taken from the server").arg(port), 2);
    call_source::guard(address, static_cast<quint16>(qBound(0, server_port, 65535)));
    if (call_source::fails_closed())
        logger->log(QStringLiteral("calls over UDP are refused: the server check cannot be in effect on this "
                                   "SIP library (\"callsFromServerOnly\" = \"0\" takes them unchecked)"),
                    2);
}

// A transfer the other party asks for goes through the account, as the operator would dial it, or
// not at all. Read again at each call, so a changed setting holds from the next call on.
void ZimPhone::configure_transfer_gate()
{
    const bool accept = data->other_settings().value(QStringLiteral("acceptTransfers")) != QLatin1String("0");
    const QString transport = account_transport == LinphoneTransportTls   ? QStringLiteral("tls")
                              : account_transport == LinphoneTransportTcp ? QStringLiteral("tcp")
                                                                          : QString();
    transfer_gate::configure(accept, transfer_server, transport);
}

// The library's own log may quote what it was given; the passwords never reach the file.
void ZimPhone::set_log_secrets(const QMap<QString, QString>& account)
{
    ZimCoreLog::set_secrets({account.value(QStringLiteral("password")),
                             account.value(QStringLiteral("operatorPW")), contact_key::secret()});
}

// The library reports a server it could not reach (a refused TLS certificate among others) only as
// "io error"; the reason comes from its channel log, with the server it was about.
QString ZimPhone::log_connection_failure()
{
    const QString reason = ZimCoreLog::take_connection_failure();
    if (reason.isEmpty())
        return reason;
    const AccountSecurity security = AccountSecurity::from_settings(account_settings);
    logger->log(QStringLiteral("SIP server %1:%2 (%3) not reached: %4")
                    .arg(account_settings.value(QStringLiteral("address")),
                         account_settings.value(QStringLiteral("port")),
                         security.transport_parameter().toUpper(), reason),
                2);
    return reason;
}

// What the status line says with no call: ready only while the account (if any) is registered.
QString ZimPhone::idle_status() const
{
    if (!account || linphone_proxy_config_get_state(account) == LinphoneRegistrationOk)
        return call_source::fails_closed() ? zim::STATUS_CALLS_UNCHECKED : zim::STATUS_READY;
    return registration_failure.isEmpty() ? zim::STATUS_NOT_REGISTERED : registration_failure;
}

// One account at a time: a registered (or registering) account is unregistered first and the new
// one is built from the settings as they are once that has ended; any other is dropped at once.
// Re-applies that arrive meanwhile are covered by that one build.
void ZimPhone::reapply_account()
{
    if (!take_request(reapply_request) || retiring)
        return;
    const LinphoneRegistrationState state =
        account ? linphone_proxy_config_get_state(account) : LinphoneRegistrationNone;
    if (state == LinphoneRegistrationOk || state == LinphoneRegistrationProgress) {
        linphone_proxy_config_edit(account);
        linphone_proxy_config_enable_register(account, FALSE);
        linphone_proxy_config_done(account);
        retiring = account;
        account = nullptr;
        return;
    }
    remove_account(account);
    setup_account();
}

void ZimPhone::remove_account(LinphoneProxyConfig*& config)
{
    if (config)
        linphone_core_remove_proxy_config(core, config);
    config = nullptr;
}

// Served by the loop, outside the library's callbacks.
void ZimPhone::finish_retiring()
{
    if (!retiring_ended)
        return;
    retiring_ended = false;
    remove_account(retiring);
    setup_account();
}

void ZimPhone::on_registration_state_changed(LinphoneCore*, LinphoneProxyConfig* config,
                                             LinphoneRegistrationState state, const char* message)
{
    logger->log(QString::fromLatin1(message ? message : ""), 1);
    const QString user = user_id();
    if (config && config == retiring) {
        // Only the replaced account's own end lets the new one be built.
        if (state == LinphoneRegistrationCleared || state == LinphoneRegistrationFailed) {
            retiring_ended = true;
            emit signal_registration_state(
                state == LinphoneRegistrationCleared ? zim::REG_UNREGISTER : zim::REG_FAILED, user);
        }
        return;
    }
    if (config != account)
        return; // an account already removed
    switch (state) {
    case LinphoneRegistrationProgress:
        emit signal_registration_state(zim::REG_PROGRESS, user);
        break;
    case LinphoneRegistrationOk:
        registration_failure.clear();
        emit signal_registration_state(zim::REG_SUCCESSFUL, user);
        emit signal_show_operator_login();
        if (phase_value == CallPhase::Idle)
            emit signal_update_dialog_status(idle_status());
        break;
    case LinphoneRegistrationCleared:
        emit signal_registration_state(zim::REG_UNREGISTER, user);
        break;
    case LinphoneRegistrationFailed: {
        const bool timed_out = message && qstrcmp(message, "timeout") == 0;
        const LinphoneReason reason = linphone_proxy_config_get_error(config);
        emit signal_registration_state(zim::REG_FAILED, user);
        // A TLS certificate that cannot be verified is named as such, not as a refused address.
        const bool certificate = log_connection_failure().contains(QLatin1String("ertificate"));
        registration_failure =
            certificate ? zim::FAIL_REG_CERTIFICATE : zim::registration_failure_text(reason, timed_out);
        emit signal_registration_failed(registration_failure,
                                        certificate ? zim::TIP_REG_CERTIFICATE
                                                    : zim::registration_failure_tip(reason, timed_out));
        if (timed_out)
            end_calls_at_once();
        break;
    }
    default:
        emit signal_registration_state(zim::STATUS_NOT_REGISTERED, user);
        break;
    }
}

QString ZimPhone::auto_answer_limit()
{
    if (call_source::fails_closed())
        return zim::NOTE_AUTO_ANSWER_UNCHECKED;
    return call_source::server_drops_key() ? zim::NOTE_AUTO_ANSWER_NO_KEY : QString();
}
