#pragma once

#include <QString>
#include <QVector>

// A recording as the phone writes it (16-bit PCM WAV), read back for the tests' measures.
struct WavFile
{
    int rate = 0;
    int channels = 0;
    QVector<qint16> samples;  // the first channel
    bool sizes_right = false; // the header's sizes match the file's length
    double seconds() const { return rate > 0 ? double(samples.size()) / rate : 0; }
    // The loudest 20 ms window at hz over the recording's second half (a microphone's first
    // moments may come out louder while its source settles).
    double loudest_in_second_half(double hz) const;
};

WavFile read_wav(const QString& path);
