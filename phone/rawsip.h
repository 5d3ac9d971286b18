#pragma once

#include <QByteArray>
#include <QList>

// A SIP message as it came off the wire, read just enough to judge and answer it without the SIP
// library's parser: that parser takes time that grows with the square of a URI's user part or host (2.7 s
// for an 8000-character user part on a 2-core machine, 30 s for such a host, again for each resend), so a
// hostile datagram must be judged before it gets there. It reads the bytes the way the library's channel
// does: blanks and line ends in front of the start line are skipped, the head ends at the first empty line,
// and Content-Length bytes of body follow.
class RawSip
{
public:
    // Longer user parts are no number or name anyone dials, longer hosts no name DNS holds; the
    // library's parser would spend seconds on each.
    static constexpr int LONGEST_URI_USER = 512;

    explicit RawSip(const QByteArray& datagram);

    // True when the datagram is exactly one SIP message as the library will read it: a plain
    // request or status line, header lines ending in CRLF with no NUL in them (a tab only in a
    // header the check does not read, no line starting with one), the empty line, and
    // Content-Length bytes of body, nothing after them but line ends. Anything else the library
    // would keep waiting on, join with the sender's next datagram, or read as a second message.
    bool whole() const { return is_whole; }
    bool is_response() const;
    bool is_request(const char* method) const;
    // A request's method and Request-URI as its start line writes them; empty for a response.
    QByteArray method() const;
    QByteArray request_uri() const;
    // The value of the first header of this name (or compact form), folded lines joined.
    QByteArray header(const char* name, const char* compact) const;
    // The To header's tag parameter, empty when it has none.
    QByteArray to_tag() const;
    // The Call-ID's first word, all the library reads of it.
    QByteArray call_id() const;
    // True for an INVITE that opens a call: its To has no tag.
    bool opens_a_call() const;
    // The longest user part (with any password) or host of a URI the library parses on arrival:
    // the Request-URI, address headers (From, To, Contact, Route...) and Via's hosts.
    int longest_uri_user() const;
    // The header lines of this name (or compact form), folded lines joined.
    QList<QByteArray> lines_of(const char* name, const char* compact) const;
    bool has_headers() const { return !lines.isEmpty(); }
    // A final response to this request with the Vias, From, To (tagged), Call-ID and CSeq it needs.
    QByteArray response(int code, const char* reason) const;
    // True for the ACK a caller sends for such a response: its To carries the tag response() gave.
    bool acknowledges_own_response() const;

private:
    bool read_head(const QByteArray& head);
    bool valid_start_line() const;
    bool named_lines() const;
    bool plain_ids() const;
    int count(const char* name, const char* compact) const;
    bool body_fits(const QByteArray& datagram, int body_start) const;

    QByteArray start_line;
    QList<QByteArray> lines; // header lines, folded lines joined
    bool is_whole = false;
};
