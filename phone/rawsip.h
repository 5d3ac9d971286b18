#pragma once

#include <QByteArray>
#include <QList>

// A SIP request as it came off the wire, read just enough to answer it without the SIP library's
// parser: that parser takes time that grows with the square of a URI's user part (2.7 s for 8000
// characters on a 2-core machine, again for each resend), so a hostile datagram must be judged
// before it gets there.
class RawSip
{
public:
    explicit RawSip(const QByteArray& datagram);

    bool is_request(const char* method) const;
    // The value of the first header of this name (or compact form), folded lines joined.
    QByteArray header(const char* name, const char* compact) const;
    // True for an INVITE that opens a call: its To has no tag.
    bool opens_a_call() const;
    // The longest user part of any SIP or tel URI in the start line and headers.
    int longest_uri_user() const;
    // A final response to this request with the Vias, From, To (tagged), Call-ID and CSeq it needs.
    QByteArray response(int code, const char* reason) const;

private:
    QByteArray start_line;
    QList<QByteArray> lines; // header lines, folded lines joined
};
