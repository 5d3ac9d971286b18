#pragma once

#include "phone/callquality.h"

#include <linphone/core.h>

#include <map>

// What the engine knows of one call, kept from the moment it first hears of the call until the
// library releases it. Each call has its own record, so one call's end or transfer never decides
// another's.
struct CallRecord
{
    CallQuality quality; // how it sounded, second by second
    // Connected once, whatever its log says later: the library rewrites a call's log status at its
    // end from the last failure in its dialog (a transfer that timed out made an answered call
    // "missed").
    bool answered = false;
    bool hung_up_by_operator = false; // the operator ended (or refused) this call
    bool transferred = false;         // the transferee reported a transfer of this call going on or done
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
