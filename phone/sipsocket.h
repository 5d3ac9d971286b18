#pragma once

// The engine sleeps between passes of the SIP library; the library's UDP socket is where an
// INVITE or a registrar's answer arrives, so the engine waits on it as well as on its own requests
// and serves a message the moment it comes rather than at the next pass.
namespace sip_socket {
// The descriptor of the process's UDP socket bound to this local port, or -1. It scans the
// process's descriptors: call it when the port changes, not every pass.
int find_udp(int port);
// True while fd is still a UDP socket bound to this port (the library may have replaced it).
bool is_udp_on(int fd, int port);
// True when no socket of any program holds this UDP port, on IPv4 or IPv6: a socket of ours binds
// it without sharing it, and lets it go at once.
bool udp_port_free(int port);
} // namespace sip_socket
