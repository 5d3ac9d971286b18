#pragma once

#include <QList>
#include <QMap>
#include <QString>

// The ports a firewall and its QoS rules expect of a desk, read from the account settings
// (category 1): the local SIP port (UDP), the range audio takes its ports from and the DSCP mark
// of audio packets. An empty value keeps the program's own choice: a random SIP port, audio from
// 10000-60000, the library's mark. A value that cannot serve is a fault, and its default holds.
struct AccountPorts
{
    static const int AUDIO_FIRST = 10000;
    static const int AUDIO_LAST = 60000;
    // Each call takes an even port for RTP and the one above it for RTCP: two calls (one held
    // while a colleague is consulted) need four.
    static const int AUDIO_PORTS_FOR_TWO_CALLS = 4;

    int sip_port = 0; // 0: random
    int audio_first = AUDIO_FIRST;
    int audio_last = AUDIO_LAST;
    int audio_dscp = -1; // -1: the library's own mark

    struct Fault
    {
        QString key;
        QString log_text;  // for the log, in English, with what serves instead
        QString user_text; // for the operator or administrator
    };

    static AccountPorts from_settings(const QMap<QString, QString>& account, QList<Fault>* faults = nullptr);
    // The range as the settings hold it, "first-last".
    static QString range_text(int first, int last);
    // The log's and the operator's texts for a SIP port the system would not give the phone.
    static Fault sip_port_unavailable(int port);
};
