#include "phone/rawsip.h"

namespace {

// The header's name if the line is that header ("Via:", "v :"...), case-insensitively.
bool is_header(const QByteArray& line, const char* name, const char* compact)
{
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray found = line.left(colon).trimmed().toLower();
    return found == QByteArray(name).toLower() || (compact && found == compact);
}

QByteArray value_of(const QByteArray& line)
{
    return line.mid(line.indexOf(':') + 1).trimmed();
}

// A URI's user part ends at these; a scheme without "@" has no user part before them either.
bool ends_user(char c)
{
    return c == '@' || c == '>' || c == ';' || c == '?' || c == ' ' || c == ',' || c == '"' || c == '\r' ||
           c == '\n' || c == ':';
}

int longest_user_in(const QByteArray& text)
{
    const QByteArray lower = text.toLower();
    int longest = 0;
    for (const char* scheme : {"sip:", "sips:", "tel:"}) {
        for (int at = lower.indexOf(scheme); at >= 0; at = lower.indexOf(scheme, at + 1)) {
            int end = at + static_cast<int>(qstrlen(scheme));
            const int start = end;
            while (end < lower.size() && !ends_user(lower.at(end)))
                ++end;
            longest = qMax(longest, end - start);
        }
    }
    return longest;
}

} // namespace

RawSip::RawSip(const QByteArray& datagram)
{
    int head_end = datagram.indexOf("\r\n\r\n");
    if (head_end < 0)
        head_end = datagram.indexOf("\n\n");
    const QByteArray head = head_end < 0 ? datagram : datagram.left(head_end);
    const QList<QByteArray> raw = head.split('\n');
    for (int i = 0; i < raw.size(); ++i) {
        QByteArray line = raw.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (i == 0)
            start_line = line;
        else if (!line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t') && !lines.isEmpty())
            lines.last() += ' ' + line.trimmed();
        else if (!line.isEmpty())
            lines.append(line);
    }
}

bool RawSip::is_request(const char* method) const
{
    return start_line.startsWith(QByteArray(method) + ' ') && start_line.endsWith("SIP/2.0");
}

QByteArray RawSip::header(const char* name, const char* compact) const
{
    for (const QByteArray& line : lines) {
        if (is_header(line, name, compact))
            return value_of(line);
    }
    return QByteArray();
}

bool RawSip::opens_a_call() const
{
    if (!is_request("INVITE"))
        return false;
    QByteArray to = header("To", "t").toLower();
    const int close = to.lastIndexOf('>'); // parameters after the address; a display name may hold anything
    if (close >= 0)
        to = to.mid(close);
    return !to.contains(";tag=") && !to.contains("; tag=");
}

int RawSip::longest_uri_user() const
{
    int longest = longest_user_in(start_line);
    for (const QByteArray& line : lines)
        longest = qMax(longest, longest_user_in(line));
    return longest;
}

QByteArray RawSip::response(int code, const char* reason) const
{
    QByteArray text = "SIP/2.0 " + QByteArray::number(code) + ' ' + reason + "\r\n";
    for (const QByteArray& line : lines) {
        if (is_header(line, "Via", "v"))
            text += "Via: " + value_of(line) + "\r\n";
    }
    text += "From: " + header("From", "f") + "\r\n";
    QByteArray to = header("To", "t");
    const int close = to.lastIndexOf('>');
    if (!to.mid(qMax(close, 0)).toLower().contains(";tag="))
        to += ";tag=refused";
    text += "To: " + to + "\r\n";
    text += "Call-ID: " + header("Call-ID", "i") + "\r\n";
    text += "CSeq: " + header("CSeq", nullptr) + "\r\n";
    text += "Content-Length: 0\r\n\r\n";
    return text;
}
