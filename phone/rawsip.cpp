#include "phone/rawsip.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The To tag of every answer the program gives without the library: the library has no
// transaction for it, so the ACK that comes back must not reach it.
const QByteArray OWN_TAG = QByteArrayLiteral("refused");

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

// A URI ends at these. Its user part runs to the last "@" (a user part may hold ";", "?" and ","), its
// host from there to a parameter; a URI without "@" is all host. Longer, never shorter, than what
// the library reads, whatever the scheme.
bool ends_uri(char c)
{
    return c == '>' || c == '<' || c == ' ' || c == '"';
}

int longest_part_in(const QByteArray& text)
{
    int longest = 0;
    int colon = -1; // the first ":" of the current word
    int at = -1;    // its last "@" after that
    int host_end = -1;
    for (int i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text.at(i) : ' ';
        if (ends_uri(c)) {
            if (colon >= 0) {
                const int host = at > colon ? at : colon;
                const int end = host_end > host ? host_end : i;
                longest = qMax(longest, qMax(at > colon ? at - colon - 1 : 0, end - host - 1));
            }
            colon = at = host_end = -1;
        } else if (c == ':' && colon < 0) {
            colon = i;
        } else if (c == '@') {
            at = i;
            host_end = -1;
        } else if ((c == ';' || c == '?') && colon >= 0 && host_end < 0) {
            host_end = i;
        }
    }
    return longest;
}

// The headers the library parses into addresses as a message arrives: its parser takes time that
// grows with the square of a URI's user part, and more steeply with its host's. It keeps the text
// of others (P-Asserted-Identity, Call-Info, Subject...) as it came, which costs nothing.
const char* const ADDRESS_HEADERS[][2] = {{"From", "f"},
                                          {"To", "t"},
                                          {"Contact", "m"},
                                          {"Diversion", "d"},
                                          {"Route", nullptr},
                                          {"Record-Route", nullptr},
                                          {"Service-Route", nullptr},
                                          {"Refer-To", nullptr},
                                          {"Referred-By", nullptr},
                                          {"P-Preferred-Identity", nullptr}};

// A Via's sent-by host (with its protocol and port): each value up to its parameters.
int longest_via_host(const QByteArray& value)
{
    int longest = 0;
    for (const QByteArray& item : value.split(',')) {
        const int semicolon = item.indexOf(';');
        longest = qMax(longest, int((semicolon < 0 ? item : item.left(semicolon)).trimmed().size()));
    }
    return longest;
}

// Headers whose reading the check relies on, or that decide where the message ends. The library
// drops a To, Call-ID or Content-Length with a tab after the colon, so such a head is not judged.
const char* const READ_HEADERS[][2] = {{"To", "t"},       {"From", "f"}, {"Call-ID", "i"},
                                       {"CSeq", nullptr}, {"Via", "v"},  {"Content-Length", "l"}};

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool all_digits(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The library takes a method of at most 16 token characters; methods are letters.
bool is_method(const QByteArray& word)
{
    if (word.isEmpty() || word.size() > 16)
        return false;
    for (const char c : word) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

bool all_of(const QByteArray& text, const char* others)
{
    for (const char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr(others, c))
            return false;
    }
    return !text.isEmpty();
}

const char* const TOKEN = "-.!%*_+`'~";
const char* const WORD = "-.!%*_+`'~()<>:\\\"/[]?{}";

bool is_quoted(const QByteArray& text)
{
    if (text.size() < 2 || !text.startsWith('"') || !text.endsWith('"'))
        return false;
    for (int i = 1; i < text.size() - 1; ++i) {
        if (text.at(i) == '\\')
            ++i;
        else if (text.at(i) == '"')
            return false;
    }
    return true;
}

// ";name" or ";name=value" parameters after an address, each a token (a value may be quoted).
bool plain_parameters(const QByteArray& text)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return true;
    if (!trimmed.startsWith(';'))
        return false;
    const QList<QByteArray> parameters = trimmed.mid(1).split(';');
    for (const QByteArray& parameter : parameters) {
        const int equals = parameter.indexOf('=');
        const QByteArray name = (equals < 0 ? parameter : parameter.left(equals)).trimmed();
        const QByteArray value = parameter.mid(equals + 1).trimmed();
        const char* value_chars = name == "tag" ? TOKEN : "-.!%*_+`'~:[]";
        if (!all_of(name, TOKEN) || (equals >= 0 && !all_of(value, value_chars) && !is_quoted(value)))
            return false;
    }
    return true;
}

// "name" <uri>;params or uri;params, as the library reads a To header whole: it passes over what
// follows an address it could read, so anything else may give it another tag than this reader.
bool plain_address(const QByteArray& value)
{
    const int open = value.lastIndexOf('<');
    if (open < 0) {
        const int semicolon = value.indexOf(';');
        const QByteArray uri = semicolon < 0 ? value : value.left(semicolon);
        return uri.contains(':') && all_of(uri, "-.!%*_+`'~:@&=$/[]") &&
               (semicolon < 0 || plain_parameters(value.mid(semicolon)));
    }
    const int close = value.indexOf('>', open);
    const QByteArray name = value.left(open).trimmed();
    const QByteArray uri = value.mid(open + 1, close - open - 1);
    return close > open &&
           (name.isEmpty() || is_quoted(name) || all_of(QByteArray(name).replace(' ', ""), TOKEN)) &&
           uri.contains(':') && all_of(uri, "-.!%*_+`'~:@&=$/[];?,") &&
           plain_parameters(value.mid(close + 1));
}

} // namespace

RawSip::RawSip(const QByteArray& datagram)
{
    int start = 0;
    while (start < datagram.size() && is_blank(datagram.at(start)))
        ++start; // the library skips these in front of a start line
    const int head_end = datagram.indexOf("\r\n\r\n", start);
    const QByteArray head = datagram.mid(start, head_end < 0 ? -1 : head_end - start);
    const bool head_read = read_head(head);
    // One To, From and Call-ID at most: of two, the library may take another than this reader.
    is_whole = head_end >= 0 && head_read && valid_start_line() && named_lines() && plain_ids() &&
               count("To", "t") <= 1 && count("From", "f") <= 1 && count("Call-ID", "i") <= 1 &&
               body_fits(datagram, head_end + 4);
}

// Every header line starts with a name and a colon: the library may read a line without them as
// part of another header.
bool RawSip::named_lines() const
{
    for (const QByteArray& line : lines) {
        const QByteArray name = line.left(line.indexOf(':')).trimmed();
        if (name.isEmpty() || !line.contains(':'))
            return false;
        if (!all_of(name, TOKEN))
            return false;
    }
    return true;
}

// A Call-ID of one word (or two joined by "@") and a To tag of one token: the library reads less of
// anything else, so its reading could differ from this one.
bool RawSip::plain_ids() const
{
    const QByteArray id = header("Call-ID", "i");
    const int at = id.indexOf('@');
    const bool id_plain =
        count("Call-ID", "i") == 0 ||
        (at < 0 ? all_of(id, WORD) : all_of(id.left(at), WORD) && all_of(id.mid(at + 1), WORD));
    return id_plain && (count("To", "t") == 0 || plain_address(header("To", "t")));
}

int RawSip::count(const char* name, const char* compact) const
{
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QByteArray& line) { return is_header(line, name, compact); }));
}

// Splits the head into the start line and header lines. False when a line ends otherwise than in
// CRLF or holds a NUL: the library's reading of such a head may differ from this one.
bool RawSip::read_head(const QByteArray& head)
{
    // No NUL or other control character but tabs in header lines: the library's search for the
    // head's end stops at a NUL, and it takes no form feed for a blank.
    bool clean = std::none_of(head.begin(), head.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n' && c != '\t';
    });
    const QList<QByteArray> raw = head.split('\n');
    for (int i = 0; i < raw.size(); ++i) {
        QByteArray line = raw.at(i);
        if (i + 1 < raw.size()) {
            if (!line.endsWith('\r'))
                clean = false;
            line.chop(line.endsWith('\r') ? 1 : 0);
        }
        if (line.contains('\r'))
            clean = false;
        // The library folds a line that starts with a space into the one before; at a tab it stops
        // reading the head, and the channel then reads the body as the next message.
        if (i > 0 && line.startsWith('\t'))
            clean = false;
        if (i == 0)
            start_line = line;
        else if (!line.isEmpty() && line.at(0) == ' ' && !lines.isEmpty())
            lines.last() += ' ' + line.trimmed();
        else if (!line.isEmpty())
            lines.append(line);
    }
    if (start_line.contains('\t'))
        clean = false;
    for (const auto& name : READ_HEADERS) {
        for (const QByteArray& line : lines_of(name[0], name[1]))
            clean = clean && !line.contains('\t');
    }
    return clean;
}

// "METHOD uri SIP/2.0" or "SIP/2.0 200 reason", single spaces, as the library finds a start line.
bool RawSip::valid_start_line() const
{
    if (start_line.startsWith("SIP/2.0 "))
        return start_line.size() >= 12 && all_digits(start_line.mid(8, 3)) && start_line.at(11) == ' ';
    const QList<QByteArray> words = start_line.split(' ');
    return words.size() == 3 && is_method(words.at(0)) && !words.at(1).isEmpty() &&
           !words.at(1).contains('\t') && words.at(2) == "SIP/2.0";
}

// Exactly Content-Length bytes of body (none without the header), then nothing but line ends.
bool RawSip::body_fits(const QByteArray& datagram, int body_start) const
{
    int declared = 0;
    int found = 0;
    for (const QByteArray& line : lines) {
        if (!is_header(line, "Content-Length", "l"))
            continue;
        const QByteArray value = value_of(line);
        if (++found > 1 || !all_digits(value))
            return false;
        declared = value.toInt();
    }
    const int after = body_start + declared;
    if (after > datagram.size())
        return false; // the library would wait for the rest, and take the sender's next datagram
    for (int i = after; i < datagram.size(); ++i) {
        if (datagram.at(i) != '\r' && datagram.at(i) != '\n')
            return false; // a second message in the same datagram
    }
    return true;
}

bool RawSip::is_response() const
{
    return start_line.startsWith("SIP/2.0 ");
}

bool RawSip::is_request(const char* method) const
{
    return start_line.startsWith(QByteArray(method) + ' ') && start_line.endsWith(" SIP/2.0");
}

QByteArray RawSip::method() const
{
    return is_response() ? QByteArray() : start_line.left(start_line.indexOf(' '));
}

QByteArray RawSip::request_uri() const
{
    if (is_response())
        return QByteArray();
    const int first = start_line.indexOf(' ');
    const int last = start_line.lastIndexOf(' ');
    return first < 0 || last <= first ? QByteArray() : start_line.mid(first + 1, last - first - 1);
}

QByteArray RawSip::header(const char* name, const char* compact) const
{
    for (const QByteArray& line : lines) {
        if (is_header(line, name, compact))
            return value_of(line);
    }
    return QByteArray();
}

QByteArray RawSip::to_tag() const
{
    QByteArray to = header("To", "t");
    const int close = to.lastIndexOf('>'); // parameters after the address; a display name may hold anything
    if (close >= 0)
        to = to.mid(close + 1);
    const QList<QByteArray> parameters = to.split(';');
    for (int i = 1; i < parameters.size(); ++i) {
        const QByteArray& parameter = parameters.at(i);
        const int equals = parameter.indexOf('=');
        if (parameter.left(equals).trimmed() == "tag") // as the library reads it: ";TAG=" is no tag
            return equals < 0 ? QByteArray() : parameter.mid(equals + 1).trimmed();
    }
    return QByteArray();
}

QByteArray RawSip::call_id() const
{
    const QByteArray value = header("Call-ID", "i");
    int end = 0;
    while (end < value.size() && value.at(end) != ' ' && value.at(end) != '\t')
        ++end;
    return value.left(end);
}

bool RawSip::acknowledges_own_response() const
{
    return is_request("ACK") && to_tag() == OWN_TAG;
}

bool RawSip::opens_a_call() const
{
    return is_request("INVITE") && to_tag().isEmpty();
}

int RawSip::longest_uri_user() const
{
    int longest = is_response() ? 0 : longest_part_in(request_uri());
    for (const QByteArray& line : lines) {
        if (is_header(line, "Via", "v"))
            longest = qMax(longest, longest_via_host(value_of(line)));
        for (const auto& name : ADDRESS_HEADERS) {
            if (is_header(line, name[0], name[1]))
                longest = qMax(longest, longest_part_in(value_of(line)));
        }
    }
    return longest;
}

QList<QByteArray> RawSip::lines_of(const char* name, const char* compact) const
{
    QList<QByteArray> found;
    for (const QByteArray& line : lines) {
        if (is_header(line, name, compact))
            found.append(line);
    }
    return found;
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
    if (to_tag().isEmpty())
        to += ";tag=" + OWN_TAG;
    text += "To: " + to + "\r\n";
    text += "Call-ID: " + header("Call-ID", "i") + "\r\n";
    text += "CSeq: " + header("CSeq", nullptr) + "\r\n";
    text += "Content-Length: 0\r\n\r\n";
    return text;
}
