#pragma once

// A sound server that accepts the connection and then does not answer (stopped, or swamped by its
// clients) holds libpulse's handshake for its 30 s command timeout. The streaming engine detects
// its devices inside the core's creation, so the phone would neither show nor register for that
// long. Bounded here: before each detection the server must answer within the limit, or its devices
// are left out until it does.
namespace sound_server_wait {
// Call before the core is created; the limit holds for every later detection too.
void bound_detection(int timeout_ms);
// Whether the last detection left the sound server out because it did not answer.
bool skipped();
} // namespace sound_server_wait
