// The softphone's sounds, synthesised: standard DTMF dual tones, the Japanese ring and ring-back
// patterns, a busy tone for failures, short hang-up beeps and a soft hold-music loop.
#include "sounds.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Sounds
// ---------------------------------------------------------------------------

using Samples = std::vector<double>;

void putLE(QByteArray& out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

// 16-bit PCM, mono, canonical 44-byte header.
bool writeWav(const QString& path, const Samples& s, int rate)
{
    const quint32 dataBytes = quint32(s.size() * 2);
    QByteArray out;
    out.reserve(int(44 + dataBytes));
    out.append("RIFF", 4);
    putLE(out, 36 + dataBytes, 4);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    putLE(out, 16, 4); // fmt chunk size
    putLE(out, 1, 2);  // PCM
    putLE(out, 1, 2);  // channels
    putLE(out, quint32(rate), 4);
    putLE(out, quint32(rate * 2), 4); // byte rate
    putLE(out, 2, 2);                 // block align
    putLE(out, 16, 2);                // bits per sample
    out.append("data", 4);
    putLE(out, dataBytes, 4);
    for (double v : s) {
        const long q = std::lround(std::max(-1.0, std::min(1.0, v)) * 32767.0);
        putLE(out, quint32(quint16(qint16(q))), 2);
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Raised-cosine fade in and out over `fade` seconds, applied to [from, from + n).
void fadeEdges(Samples& s, size_t from, size_t n, int rate, double fade)
{
    const size_t f = std::min(n / 2, size_t(fade * rate));
    for (size_t i = 0; i < f; ++i) {
        const double g = 0.5 - 0.5 * std::cos(kPi * double(i) / double(f));
        s[from + i] *= g;
        s[from + n - 1 - i] *= g;
    }
}

// Appends a tone burst: the sum of the given frequencies, each at `amp`, optionally
// amplitude-modulated, with faded edges; then `silence` seconds of nothing.
void appendTone(Samples& s, int rate, std::initializer_list<double> freqs, double amp, double seconds,
                double silence, double modulation = 0)
{
    const size_t start = s.size(), n = size_t(std::lround(seconds * rate));
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        double v = 0;
        for (double f : freqs)
            v += std::sin(2 * kPi * f * t);
        if (modulation > 0)
            v *= 0.5 - 0.5 * std::cos(2 * kPi * modulation * t); // starts and ends at zero
        s.push_back(v * amp);
    }
    fadeEdges(s, start, n, rate, 0.005);
    s.insert(s.end(), size_t(std::lround(silence * rate)), 0.0);
}

} // namespace

bool makeSounds(const QString& dir)
{
    bool ok = true;
    const int tel = 8000;

    // DTMF: row frequency + column frequency.
    const double rows[] = {697, 770, 852, 941};
    const double cols[] = {1209, 1336, 1477};
    const struct
    {
        const char* name;
        int row, col;
    } keys[] = {{"1", 0, 0}, {"2", 0, 1}, {"3", 0, 2}, {"4", 1, 0},    {"5", 1, 1}, {"6", 1, 2},
                {"7", 2, 0}, {"8", 2, 1}, {"9", 2, 2}, {"star", 3, 0}, {"0", 3, 1}, {"pound", 3, 2}};
    for (const auto& k : keys) {
        Samples s;
        appendTone(s, tel, {rows[k.row], cols[k.col]}, 0.35, 0.150, 0);
        ok &= writeWav(dir + "/dtmf-" + k.name + ".wav", s, tel);
    }

    // Incoming ring: 400 Hz modulated at 16 Hz, 1 s on, 2 s off.
    {
        Samples s;
        appendTone(s, tel, {400}, 0.55, 1.0, 2.0, 16);
        ok &= writeWav(dir + "/ring.wav", s, tel);
    }
    // Ring-back: 400 Hz, 1 s on, 2 s off.
    {
        Samples s;
        appendTone(s, tel, {400}, 0.4, 1.0, 2.0);
        ok &= writeWav(dir + "/ringback.wav", s, tel);
    }
    // Hang-up: three short beeps.
    {
        Samples s;
        for (int i = 0; i < 3; ++i)
            appendTone(s, tel, {480}, 0.4, 0.1, 0.1);
        ok &= writeWav(dir + "/hangup.wav", s, tel);
    }
    // Busy: 400 Hz, 0.5 s on, 0.5 s off, three times.
    {
        Samples s;
        for (int i = 0; i < 3; ++i)
            appendTone(s, tel, {400}, 0.4, 0.5, 0.5);
        ok &= writeWav(dir + "/failed.wav", s, tel);
    }

    // Hold music: a soft arpeggio over C - Am - F - G, 2 s per chord, 8 s in all.
    // Every note's tail that runs past the end is wrapped to the start, so the file
    // loops without a seam.
    {
        const int rate = 16000;
        const size_t total = size_t(8 * rate);
        Samples s(total, 0.0);
        auto midiHz = [](int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); };
        auto addNote = [&](double at, int note, double amp, double decay, double attack, double length) {
            const double f = midiHz(note);
            const size_t n = size_t(length * rate);
            const size_t first = size_t(at * rate);
            for (size_t i = 0; i < n; ++i) {
                const double t = double(i) / rate;
                double env = std::exp(-t / decay) * std::min(1.0, t / attack);
                const double tail = length - t; // short release so nothing is cut off
                if (tail < 0.05)
                    env *= tail / 0.05;
                // Sine with a touch of second and third harmonic: a soft, bell-like tone.
                const double v = std::sin(2 * kPi * f * t) +
                                 0.18 * std::sin(4 * kPi * f * t) * std::exp(-t / 0.2) +
                                 0.05 * std::sin(6 * kPi * f * t) * std::exp(-t / 0.1);
                s[(first + i) % total] += amp * env * v;
            }
        };
        // Chord roots (MIDI) and their arpeggio notes.
        const struct
        {
            int bass;
            int notes[4];
        } chords[] = {
            {48, {60, 64, 67, 72}}, // C
            {45, {57, 60, 64, 69}}, // Am
            {41, {53, 57, 60, 65}}, // F
            {43, {55, 59, 62, 67}}, // G
        };
        const int pattern[8] = {0, 1, 2, 3, 2, 1, 2, 1};
        for (int c = 0; c < 4; ++c) {
            const double at = c * 2.0;
            addNote(at, chords[c].bass, 0.22, 1.6, 0.04, 2.6);
            for (int i = 0; i < 8; ++i)
                addNote(at + i * 0.25, chords[c].notes[pattern[i]] + 12, i == 0 ? 0.2 : 0.15, 0.45, 0.006,
                        1.4);
        }
        double peak = 0;
        for (double v : s)
            peak = std::max(peak, std::fabs(v));
        for (double& v : s)
            v *= 0.5 / peak;
        ok &= writeWav(dir + "/hold.wav", s, rate);
    }
    return ok;
}
