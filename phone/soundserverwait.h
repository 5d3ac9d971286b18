#pragma once

#include <QString>

// A sound server that accepts the connection and then does not answer (stopped, or swamped by its
// clients) holds libpulse's handshake for its 30 s command timeout. The streaming engine detects
// its devices inside the core's creation, so the phone would neither show nor register for that
// long. Bounded here: before each detection the server must answer within the limit, or its devices
// are left out until it does.
typedef struct _MSSndCardManager MSSndCardManager;

namespace sound_server_wait {
// Puts the bounded detection in place of the drivers' own, by their exported descriptors, before
// the first core detects with them (library_hooks does, once). Empty when in effect, else why not.
QString install();
// The limit for every detection from now on.
void bound_detection(int timeout_ms);
// The sound server went away and came back: the streaming engine's driver for it keeps its dead
// connection and finds no device again. Closes it, so that the next detection connects anew. Only
// while no call has a stream open on it.
void reconnect_driver(MSSndCardManager* manager);
// Whether the last detection left the sound server out because it did not answer.
bool skipped();
} // namespace sound_server_wait
