#include "data/accountports.h"

#include "data/zimconstants.h"

#include <QRegularExpression>

namespace {

const int LOWEST_AUDIO_PORT = 1024; // below it only root may listen

bool read_number(const QString& text, int base, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok, base);
    return ok;
}

} // namespace

AccountPorts AccountPorts::from_settings(const QMap<QString, QString>& account, QList<Fault>* faults)
{
    AccountPorts ports;
    const auto fault = [faults](const QString& key, const QString& log_text, const QString& user_text) {
        if (faults)
            faults->append({key, log_text, user_text});
    };

    const QString sip = account.value(zim::KEY_LOCAL_SIP_PORT).trimmed();
    int port = 0;
    if (!sip.isEmpty() && (!read_number(sip, 10, &port) || port < 1 || port > 65535))
        fault(zim::KEY_LOCAL_SIP_PORT,
              QStringLiteral("local SIP port \"%1\" is no port (1 to 65535): a random port serves").arg(sip),
              QStringLiteral("ローカルSIPポートは1から65535の数字で入力してください"));
    else if (!sip.isEmpty())
        ports.sip_port = port;

    const QString range = account.value(zim::KEY_AUDIO_PORTS).trimmed();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d{1,5})\\s*-\\s*(\\d{1,5})$")).match(range);
    const int first = match.captured(1).toInt();
    const int last = match.captured(2).toInt();
    const QString serves = QStringLiteral(": %1 serves").arg(range_text(AUDIO_FIRST, AUDIO_LAST));
    if (!range.isEmpty() &&
        (!match.hasMatch() || first < LOWEST_AUDIO_PORT || last > 65535 || first > last)) {
        fault(zim::KEY_AUDIO_PORTS,
              QStringLiteral("audio port range \"%1\" is not \"first-last\" within %2-65535")
                      .arg(range)
                      .arg(LOWEST_AUDIO_PORT) +
                  serves,
              QStringLiteral("音声ポート範囲は「16384-16483」のように%1から65535の間で入力してください")
                  .arg(LOWEST_AUDIO_PORT));
    } else if (!range.isEmpty() && last - first + 1 < AUDIO_PORTS_FOR_TWO_CALLS) {
        fault(zim::KEY_AUDIO_PORTS,
              QStringLiteral("audio port range %1 holds %2 ports, fewer than two calls need (%3: RTP and "
                             "RTCP each)")
                      .arg(range_text(first, last))
                      .arg(last - first + 1)
                      .arg(AUDIO_PORTS_FOR_TWO_CALLS) +
                  serves,
              QStringLiteral("音声ポート範囲が狭すぎます。2通話分の%1ポート以上にしてください")
                  .arg(AUDIO_PORTS_FOR_TWO_CALLS));
    } else if (!range.isEmpty()) {
        ports.audio_first = first;
        ports.audio_last = last;
    }

    const QString dscp = account.value(zim::KEY_AUDIO_DSCP).trimmed();
    int mark = 0;
    const bool hex = dscp.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    if (!dscp.isEmpty() &&
        (!read_number(hex ? dscp.mid(2) : dscp, hex ? 16 : 10, &mark) || mark < 0 || mark > 63))
        fault(zim::KEY_AUDIO_DSCP,
              QStringLiteral("audio DSCP \"%1\" is not 0 to 63: the SIP library's mark serves").arg(dscp),
              QStringLiteral("音声DSCPは0から63（0x00から0x3f）で入力してください"));
    else if (!dscp.isEmpty())
        ports.audio_dscp = mark;
    return ports;
}

QString AccountPorts::range_text(int first, int last)
{
    return QStringLiteral("%1-%2").arg(first).arg(last);
}

AccountPorts::Fault AccountPorts::sip_port_unavailable(int port)
{
    return {zim::KEY_LOCAL_SIP_PORT,
            QStringLiteral("local SIP port %1 cannot be opened (in use, or reserved): a random port serves")
                .arg(port),
            QStringLiteral("ローカルSIPポート%1は使用中のため開けません。空いているポートで動作します")
                .arg(port)};
}
