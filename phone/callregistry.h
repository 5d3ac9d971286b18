#pragma once

#include "phone/callquality.h"

#include <linphone/core.h>

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <map>

// Whether a connected call's peer is still there (phone/zimphone_liveness.cpp).
struct Liveness
{
    bool watched = false; // counted since the call first ran its streams
    quint64 packets = 0;  // RTP and RTCP received so far
    std::chrono::steady_clock::time_point last_sign;
    bool asked = false; // a re-INVITE asks the dialog
    std::chrono::steady_clock::time_point asked_at;
    bool requesting = false; // a request of ours in the dialog waits for its answer
    bool over = false;       // that answer was 408 or 481: the dialog is gone
};

// How a call came about.
enum class CallOrigin {
    Incoming, // the server (or a peer the check let through) called the desk
    Dialled,  // the operator placed it, or a consultation
    Referred  // the library followed the other party's REFER on another call
};

// What the engine knows of one call, kept from the moment it first hears of the call until the
// library releases it. Each call has its own record, so one call's end or transfer never decides
// another's.
struct CallRecord
{
    CallOrigin origin = CallOrigin::Dialled;
    CallQuality quality; // how it sounded, second by second
    Liveness liveness;   // whether its peer is still there
    // Connected once, whatever its log says later: the library rewrites a call's log status at its
    // end from the last failure in its dialog (a transfer that timed out made an answered call
    // "missed").
    bool answered = false;
    bool hung_up_by_operator = false; // the operator ended (or refused) this call
    bool transferred = false;         // the transferee reported a transfer of this call going on or done
    // Its recording: the file made for it when it was placed or answered (empty when the folder
    // could not take one), whether the library writes to it now, whether it ever did, and whether
    // it was given up (the file stopped growing).
    QString recording_path;
    bool recording = false;
    bool recorded = false;
    bool recording_failed = false;
    qint64 recording_bytes = 0;
    std::chrono::steady_clock::time_point recording_checked_at;
};

// The records of the calls the library knows, keyed by its call.
class CallRegistry
{
public:
    // The call's record, made on first use.
    CallRecord& of(const LinphoneCall* call) { return records[call]; }
    CallRecord* find(const LinphoneCall* call)
    {
        const auto found = records.find(call);
        return found == records.end() ? nullptr : &found->second;
    }
    const CallRecord* find(const LinphoneCall* call) const
    {
        const auto found = records.find(call);
        return found == records.end() ? nullptr : &found->second;
    }
    void forget(const LinphoneCall* call) { records.erase(call); }
    void clear() { records.clear(); }

private:
    std::map<const LinphoneCall*, CallRecord> records;
};
