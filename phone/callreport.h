#pragma once

#include <QMetaType>
#include <QString>

// How one call ended and, for a call that was answered, how it sounded: what the engine hands
// over with the call's end, so that its history row keeps it.
struct CallReport
{
    // Why the call ended, as the history stores it (one of the words below); empty when the
    // engine could not tell (the row then keeps no outcome).
    QString outcome;
    // The SIP status that ended the call (486, 503…); 0 when no final response said anything.
    int sip_code = 0;

    // Sound quality of an answered call; a negative figure is unknown (never measured: a peer
    // that sends no RTCP leaves the sending side and the round trip unknown).
    double loss_sent_percent = -1;     // our packets the peer reported lost
    double loss_received_percent = -1; // the peer's packets that never arrived
    double jitter_ms = -1;             // mean interarrival jitter of what arrived
    double round_trip_ms = -1;         // mean round trip from the peer's reports
    double rating = -1;                // the library's rating, 0 (worst) to 5, while talking

    QString recording; // the call's recording, empty when it has none

    bool has_quality() const { return rating >= 0 || loss_received_percent >= 0; }
};

Q_DECLARE_METATYPE(CallReport)

namespace outcome {
inline const QString ANSWERED = QStringLiteral("answered");
inline const QString BUSY = QStringLiteral("busy");               // 486, 600
inline const QString NO_ANSWER = QStringLiteral("no-answer");     // 408, 480, or nobody answered in time
inline const QString CANCELLED = QStringLiteral("cancelled");     // the operator hung up while it rang out
inline const QString MISSED = QStringLiteral("missed");           // the caller gave up
inline const QString REJECTED = QStringLiteral("rejected");       // the operator refused a ringing call
inline const QString TRANSFERRED = QStringLiteral("transferred"); // blind or after a consultation
inline const QString FAILED = QStringLiteral("failed");           // any other end before an answer
} // namespace outcome
