#include "phone/transfergate.h"

#include "phone/callsource.h"

#include <QUrl>

#include <belle-sip/belle-sip.h>

#include <mutex>

namespace {

struct Gate
{
    bool accept = true;
    QString server;
    QString transport;
};

std::mutex gate_mutex;
Gate gate;

const int LONGEST_NUMBER = 32;

bool dialable(const QByteArray& number)
{
    if (number.isEmpty() || number.size() > LONGEST_NUMBER)
        return false;
    for (int i = 0; i < number.size(); ++i) {
        const char c = number.at(i);
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#' || (c == '+' && i == 0)))
            return false;
    }
    return number != "+";
}

// The URI inside a name-addr ("name" <uri>;params), or the addr-spec up to its parameters.
QByteArray uri_of(const QByteArray& value)
{
    const QByteArray text = value.trimmed();
    const int open = text.lastIndexOf('<');
    if (open >= 0) {
        const int close = text.indexOf('>', open);
        return close > open ? text.mid(open + 1, close - open - 1).trimmed() : QByteArray();
    }
    return text;
}

} // namespace

namespace transfer_gate {

void configure(bool accept, const QString& server, const QString& transport)
{
    const std::lock_guard<std::mutex> lock(gate_mutex);
    gate.accept = accept;
    gate.server = server;
    gate.transport = transport;
}

QByteArray number_of(const QByteArray& refer_to)
{
    const QByteArray uri = uri_of(refer_to);
    const int colon = uri.indexOf(':');
    if (colon <= 0)
        return QByteArray();
    const QByteArray scheme = uri.left(colon).toLower();
    QByteArray number;
    if (scheme == "sip" || scheme == "sips") {
        const int at = uri.indexOf('@', colon);
        if (at < 0)
            return QByteArray(); // a host alone names no one the operator could dial
        number = uri.mid(colon + 1, at - colon - 1);
    } else if (scheme == "tel") {
        number = uri.mid(colon + 1);
        number.truncate(number.indexOf(';') < 0 ? number.size() : number.indexOf(';'));
        // A telephone number's visual separators are no part of what is dialled.
        for (const char separator : {'-', '.', '(', ')'})
            number.replace(separator, QByteArray());
    } else {
        return QByteArray();
    }
    number = QByteArray::fromPercentEncoding(number);
    return dialable(number) ? number : QByteArray();
}

QString refusal(const QByteArray& refer_to)
{
    const std::lock_guard<std::mutex> lock(gate_mutex);
    if (!gate.accept)
        return QStringLiteral("transfers asked by the other party are refused by the desk's setting");
    if (gate.server.isEmpty())
        return QStringLiteral("no account to follow a transfer through");
    if (number_of(refer_to).isEmpty())
        return QStringLiteral("the transfer target is no number the phone would dial");
    return QString();
}

void apply(belle_sip_message_t* message)
{
    if (!message || !belle_sip_message_is_request(message) ||
        qstrcmp(belle_sip_request_get_method(BELLE_SIP_REQUEST(message)), "REFER") != 0)
        return;
    auto* refer_to = belle_sip_message_get_header_by_type(message, belle_sip_header_refer_to_t);
    if (!refer_to)
        return;
    auto* address = BELLE_SIP_HEADER_ADDRESS(refer_to);
    belle_sip_uri_t* uri = belle_sip_header_address_get_uri(address);
    belle_generic_uri_t* absolute = belle_sip_header_address_get_absolute_uri(address); // a tel: URI
    char* text = uri        ? belle_sip_uri_to_string(uri)
                 : absolute ? belle_generic_uri_to_string(absolute)
                            : nullptr;
    const QByteArray written = text ? QByteArray(text) : QByteArray();
    belle_sip_free(text);
    const QString refused = refusal(written);
    if (!refused.isEmpty()) {
        // The library answers a REFER without a target 400 and leaves the call as it is.
        belle_sip_message_remove_header(message, "Refer-To");
        call_source::tell_once(QStringLiteral("transfer refused: %1").arg(refused));
        return;
    }
    QByteArray target;
    {
        const std::lock_guard<std::mutex> lock(gate_mutex);
        // "#" is no character of a URI's user part as written.
        target = "Refer-To: <sip:" + number_of(written).replace("#", "%23") + '@' + gate.server.toLatin1();
        if (!gate.transport.isEmpty())
            target += ";transport=" + gate.transport.toLatin1();
        target += '>';
    }
    // A header of its own, not the old one's URI changed: a tel: target has no SIP URI to change.
    belle_sip_header_refer_to_t* followed = belle_sip_header_refer_to_parse(target.constData());
    belle_sip_message_remove_header(message, "Refer-To");
    if (followed)
        belle_sip_message_add_header(message, BELLE_SIP_HEADER(followed));
    call_source::tell_once(QStringLiteral("transfer asked by the other party goes to %1 through the account")
                               .arg(QString::fromLatin1(number_of(written))));
}

} // namespace transfer_gate
