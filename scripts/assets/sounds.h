#pragma once

#include <QString>

// Writes the softphone's sound files (16-bit PCM mono WAV) into dir: DTMF keys, ring, ring-back,
// hang-up, failure and hold music. False when a file could not be written.
bool makeSounds(const QString& dir);
