#pragma once

typedef struct _LinphoneCore LinphoneCore;

// The library names a sound device by its driver and description, so two headsets of one model
// (or two devices the sound server describes alike) share a name: the lists showed two identical
// entries, and on every reload of the device list the library kept only the first of them. From
// the second on, such devices are named "<name> #2", "<name> #3" in the order the sound server
// lists them, while the first keeps its plain name: a stored name still means what it meant, and
// a name with its number chooses that device for calls and ringing like any other.
namespace sound_card_names {

// Names the core's devices apart now and at every later detection (a reload, a device plugged
// in). Engine thread.
void tell_apart(LinphoneCore* core);

} // namespace sound_card_names
