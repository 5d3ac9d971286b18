#include "phone/callquality.h"

#include <algorithm>

void CallQuality::sample(LinphoneCall* call, bool talking)
{
    LinphoneCallStats* stats = linphone_call_get_audio_stats(call);
    if (!stats)
        return;
    const rtp_stats_t* rtp = linphone_call_stats_get_rtp_stats(stats);
    const bool arrived = rtp->packet_recv > received;
    // The library counts the packets lost on the way in over each second it rates (its cumulative
    // count moves only with each RTCP report, seconds behind); each second weighs by what arrived
    // in it. The first second is left out: its loss is not known yet.
    if (arrived && received > 0) {
        const double arrived_now = double(rtp->packet_recv - received);
        loss_received_sum += linphone_call_stats_get_local_loss_rate(stats) * arrived_now;
        loss_received_weight += arrived_now;
    }
    received = rtp->packet_recv;
    // Each report the peer sends tells what it lost of ours since its last one, and gives the
    // round trip; each report we send carries the jitter we measured.
    if (rtp->recv_rtcp_packets > peer_reports) {
        peer_reports = rtp->recv_rtcp_packets;
        loss_sent_sum += linphone_call_stats_get_receiver_loss_rate(stats);
        ++loss_sent_count;
        const float round_trip = linphone_call_stats_get_round_trip_delay(stats);
        if (round_trip > 0) {
            round_trip_sum += round_trip * 1000.0;
            ++round_trip_count;
        }
    }
    if (rtp->sent_rtcp_packets > our_reports && received > 0) {
        our_reports = rtp->sent_rtcp_packets;
        jitter_sum += linphone_call_stats_get_sender_interarrival_jitter(stats) * 1000.0;
        ++jitter_count;
    }
    linphone_call_stats_unref(stats);

    if (!talking || !arrived)
        return; // a held or silent second says nothing about the line
    rating_now = linphone_call_get_current_quality(call);
    if (rating_now < 0)
        return;
    rating_sum += rating_now;
    ++rating_count;
    last_poor = rating_now < POOR_RATING;
    poor_run = last_poor ? poor_run + 1 : 0;
}

void CallQuality::finish(LinphoneCall* call)
{
    sample(call, false);
    const float average = linphone_call_get_average_quality(call);
    if (average >= 0)
        library_average = average;
}

void CallQuality::fill(CallReport& report) const
{
    if (loss_received_weight > 0)
        report.loss_received_percent = loss_received_sum / loss_received_weight;
    else if (received > 0)
        report.loss_received_percent = 0;
    if (loss_sent_count > 0)
        report.loss_sent_percent = loss_sent_sum / loss_sent_count;
    if (jitter_count > 0)
        report.jitter_ms = jitter_sum / jitter_count;
    if (round_trip_count > 0)
        report.round_trip_ms = round_trip_sum / round_trip_count;
    // The library's own average is 0 when it measured nothing (a peer that sent no RTP): that is no
    // rating, and a call it would mark as poor.
    if (rating_count > 0)
        report.rating = rating_sum / rating_count;
    else if (received > 0 && library_average > 0)
        report.rating = library_average;
}

bool CallQuality::is_poor(const CallReport& report)
{
    return (report.rating >= 0 && report.rating < POOR_RATING) ||
           report.loss_received_percent >= POOR_LOSS_PERCENT || report.loss_sent_percent >= POOR_LOSS_PERCENT;
}
