#pragma once

// How late the caller's voice reaches the operator after something paused (phone/soundclock.cpp
// defines functions of the streaming engine, which it calls through its symbol table).
//
// The engine runs a call's media on a ticker that follows the capture device's clock: it counts
// the samples read from the microphone and slows or speeds the ticker to keep pace with them. A
// microphone that delivers nothing for a while (a source suspended, a USB headset reconnecting, a
// Bluetooth profile switch) left the count short by the gap, and the engine took the gap for clock
// drift: the ticker then ran slow until it had fallen that far behind, the received packets waited
// that long in the jitter buffer, and the caller's voice stayed late by the gap for the next 20
// seconds. The program's update step counts a gap as time that passed, so only true drift moves
// the ticker. The sound queues that still fill while something pauses (the PulseAudio writer's, the
// echo canceller's) trim what waited too long every second instead of every five.
namespace sound_clock {
// Finds the engine's own functions, which the program's hand on to, before a media thread needs
// them; false when one is missing (the ticker then keeps to the wall clock).
bool prepare();
} // namespace sound_clock
