#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QVector>

#include <memory>

// pactl's answer on the test's sound server, trimmed; empty when it failed or took over 10 s.
QString run_pactl(const QStringList& arguments);

// Tone bursts and their measure, for tests that check the sound of a call. Samples are signed
// 16-bit mono at RATE; levels are in dB against full scale (a full-scale sine reads 0 dBFS).
namespace tone {
const int RATE = 16000;
const int WINDOW = RATE / 50; // 20 ms, the step of every search
const int BURST_MS = 200;     // the library's noise suppression lowers a steady tone after 1.5 s
const double HEARD = -35;     // a burst counts as heard from this level on (dBFS)

QByteArray burst(double hz, double dbfs, int ms);
QByteArray silence(int ms);
// Level of the sine at hz in samples [from, from + count), by a Goertzel filter (samples at rate).
double level_db(const QVector<qint16>& samples, int from, int count, double hz, int rate = RATE);
// Loudest level at hz over 20 ms windows in [from, to).
double loudest_db(const QVector<qint16>& samples, int from, int to, double hz);
int peak(const QVector<qint16>& samples, int from, int to); // largest magnitude
} // namespace tone

// A device of the test's PulseAudio, named `name`, standing for a speaker or a microphone.
// A speaker is a null sink: the test records its monitor, what was played to it. A microphone is
// a source remapped from a null sink's monitor (the library lists no monitor as a microphone):
// the test plays into that sink and records the source, what the microphone's user takes.
// The modules are unloaded, and the players and recorder ended, when the port goes away.
class SoundPort
{
public:
    enum Kind { Speaker, Microphone };
    SoundPort(const QString& name, Kind kind);
    ~SoundPort();
    bool loaded() const { return !modules.isEmpty() && !modules.contains(-1); }
    // The library's name for the device.
    QString device() const { return QStringLiteral("PulseAudio Unknown: ") + name; }

    void play(const QByteArray& pcm);
    // true once the first samples arrived; again after a suspension, the recording starts afresh
    // (its sample clock would be short by the suspension).
    bool start_recording();
    // Suspends the recorded device (a microphone's source) as a reconnecting headset would, or
    // resumes it.
    bool suspend(bool suspended);
    const QVector<qint16>& samples(); // everything recorded so far
    // Sample index at a wall-clock time (QDateTime::currentMSecsSinceEpoch) and back.
    int index_at(qint64 ms) const { return int((ms - start_ms) * tone::RATE / 1000); }
    qint64 time_of(int index) const { return start_ms + qint64(index) * 1000 / tone::RATE; }
    // First 20 ms window from `from` on whose level at hz reaches threshold; -1 when none.
    int find(double hz, double threshold_db, int from);

    // Plays a 200 ms burst into this microphone and waits (processing events) until it is heard in
    // `speaker`: its delay in ms, -1 when it never came within `within_ms`, and the level it
    // arrived at.
    struct Heard
    {
        qint64 delay_ms = -1;
        double level = -200;
    };
    Heard burst_to(SoundPort& speaker, double hz, double dbfs, int within_ms = 3000);

private:
    void read();

    QString name;
    QString sink;   // where the test plays
    QString source; // what the test records
    QList<int> modules;
    std::unique_ptr<QProcess> recorder;
    QList<QProcess*> players;
    QVector<qint16> recorded;
    QByteArray odd_byte;
    qint64 start_ms = 0;
};
