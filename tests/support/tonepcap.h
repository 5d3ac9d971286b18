#pragma once

#include <QString>

// A packet capture of one RTP stream, as sipp's play_pcap_audio plays it: a 400 Hz tone in PCMU
// (payload type 0), 20 ms a packet, for the given number of seconds, over Ethernet/IPv4/UDP.
// With drop_every, every drop_every-th packet is left out (its sequence number too), as a line
// that loses 1 in drop_every would.
bool write_tone_pcap(const QString& path, int seconds, int drop_every = 0);
