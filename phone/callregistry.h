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
    void forget(const LinphoneCall* call) { records.erase(call); }
    void clear() { records.clear(); }

private:
    std::map<const LinphoneCall*, CallRecord> records;
};
