#pragma once

#include "phone/callreport.h"

#include <linphone/core.h>

#include <cstdint>

// The sound of one call, read from the library's statistics of its audio stream once a second:
// what arrived and what was lost, the peer's reports on what we sent, and the library's rating.
// The rating counts only seconds in which the call was talking (not held) and the peer's audio
// arrived, so a hold or a peer that sends nothing while silent does not make a call look poor.
class CallQuality
{
public:
    // Below this rating (0 to 5) a call is poor: the library rates 5 % of packets lost at about 4.1
    // and 10 % at 3.4, and counts late packets as lost.
    static constexpr double POOR_RATING = 4.0;
    // A call that lost this share of its packets either way is poor whatever its rating.
    static constexpr double POOR_LOSS_PERCENT = 5.0;

    // talking: the call is connected and neither side holds it.
    void sample(LinphoneCall* call, bool talking);
    // The last second counted was poor (packets arrived and the rating was below POOR_RATING).
    bool poor_now() const { return last_poor; }
    // How many seconds in a row were poor, up to the last sample.
    int poor_seconds() const { return poor_run; }
    double last_rating() const { return rating_now; }
    // At the call's end, while the library still has its statistics: the last figures and the
    // library's own average rating, which serves when no second was counted.
    void finish(LinphoneCall* call);
    // Writes the figures of the whole call into the report.
    void fill(CallReport& report) const;

    // True when a report's figures describe a call an operator would call poor.
    static bool is_poor(const CallReport& report);

private:
    uint64_t received = 0;
    double loss_received_sum = 0;    // % lost in each second, times the packets that arrived in it
    double loss_received_weight = 0; // the packets that arrived in the seconds counted
    uint64_t peer_reports = 0;       // RTCP reports from the peer seen so far
    uint64_t our_reports = 0;        // RTCP reports we sent so far
    double loss_sent_sum = 0;
    int loss_sent_count = 0;
    double round_trip_sum = 0;
    int round_trip_count = 0;
    double jitter_sum = 0;
    int jitter_count = 0;
    double rating_sum = 0;
    int rating_count = 0;
    double rating_now = -1;
    double library_average = -1;
    bool last_poor = false;
    int poor_run = 0;
};
