#pragma once

// The streaming engine runs a call's media on a ticker that follows the capture device's clock: it
// counts the samples read from the microphone and slows or speeds the ticker to keep pace with
// them. A microphone that delivers nothing for a while (a source suspended, a USB headset
// reconnecting, a Bluetooth profile switch) leaves the count short by the gap, and the engine took
// the gap for clock drift: the ticker then ran slow until it had fallen that far behind, the
// received packets waited that long in the jitter buffer, and the caller's voice stayed late by
// the gap for the next 20 seconds. The program's definition of the engine's update step counts a
// gap as time that passed, so only true drift moves the ticker.
namespace sound_clock {
// Finds the library's own step, which the program's hands on to, before a media thread needs it;
// false when the library has none (the ticker then keeps to the wall clock).
bool prepare();
} // namespace sound_clock
