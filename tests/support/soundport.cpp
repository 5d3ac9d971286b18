#include "soundport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>

#include <cmath>

namespace {

// The format of the test's players and recorders. A recorder takes the left channel alone: a
// stereo device mixed down to one channel reads 3 dB louder on PipeWire than on PulseAudio (it
// sums where PulseAudio averages), and the test measures the phone, not the mixing.
QStringList raw_format(const QString& device, bool recording)
{
    return {QStringLiteral("-d"),
            device,
            QStringLiteral("--raw"),
            QStringLiteral("--format=s16le"),
            QStringLiteral("--rate=%1").arg(tone::RATE),
            QStringLiteral("--channels=1"),
            QStringLiteral("--latency-msec=20"),
            recording ? QStringLiteral("--channel-map=front-left") : QStringLiteral("--channel-map=mono")};
}

void end(QProcess* process)
{
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(2000);
    }
}

} // namespace

QString run_pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QByteArray tone::burst(double hz, double dbfs, int ms)
{
    const int count = RATE * ms / 1000;
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    QByteArray pcm(count * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<qint16*>(pcm.data());
    for (int i = 0; i < count; ++i)
        out[i] = qint16(std::lround(amplitude * std::sin(2 * M_PI * hz * i / RATE)));
    return pcm;
}

QByteArray tone::silence(int ms)
{
    return QByteArray(RATE * ms / 1000 * 2, '\0');
}

double tone::level_db(const QVector<qint16>& samples, int from, int count, double hz, int rate)
{
    const double coefficient = 2 * std::cos(2 * M_PI * hz / rate);
    double previous = 0;
    double before = 0;
    for (int i = from; i < from + count && i < samples.size(); ++i) {
        const double next = samples[i] + coefficient * previous - before;
        before = previous;
        previous = next;
    }
    const double power = previous * previous + before * before - coefficient * previous * before;
    const double amplitude = 2 * std::sqrt(std::max(power, 0.0)) / count;
    return 20 * std::log10(std::max(amplitude, 1e-3) / 32767.0);
}

double tone::loudest_db(const QVector<qint16>& samples, int from, int to, double hz)
{
    double loudest = -200;
    for (int i = std::max(from, 0); i + WINDOW <= std::min(to, int(samples.size())); i += WINDOW / 2)
        loudest = std::max(loudest, level_db(samples, i, WINDOW, hz));
    return loudest;
}

int tone::peak(const QVector<qint16>& samples, int from, int to)
{
    int largest = 0;
    for (int i = std::max(from, 0); i < std::min(to, int(samples.size())); ++i)
        largest = std::max(largest, std::abs(int(samples[i])));
    return largest;
}

SoundPort::SoundPort(const QString& name, Kind kind) : name(name)
{
    const auto load = [this](const QStringList& arguments) {
        bool ok = false;
        const int index = run_pactl(QStringList{QStringLiteral("load-module")} + arguments).toInt(&ok);
        modules.append(ok ? index : -1);
    };
    sink = kind == Speaker ? name : name + QStringLiteral("_in");
    // A microphone is mono throughout, as a headset's is: the library takes it without a mix.
    const QString channels = QStringLiteral("channels=%1").arg(kind == Speaker ? 2 : 1);
    load({QStringLiteral("module-null-sink"), QStringLiteral("sink_name=") + sink, channels,
          QStringLiteral("sink_properties=device.description=") + sink});
    source = sink + QStringLiteral(".monitor");
    if (kind == Microphone) {
        load({QStringLiteral("module-remap-source"), QStringLiteral("master=") + source,
              QStringLiteral("source_name=") + name, channels, // pipewire-pulse would make it stereo
              QStringLiteral("source_properties=device.description=") + name});
        source = name;
    }
}

SoundPort::~SoundPort()
{
    for (QProcess* player : qAsConst(players)) {
        end(player);
        delete player;
    }
    if (recorder)
        end(recorder.get());
    for (int i = modules.size() - 1; i >= 0; --i) {
        if (modules[i] >= 0)
            run_pactl({QStringLiteral("unload-module"), QString::number(modules[i])});
    }
}

void SoundPort::play(const QByteArray& pcm)
{
    auto* player = new QProcess;
    players.append(player);
    player->start(QStringLiteral("pacat"), raw_format(sink, false));
    player->write(pcm);
    player->closeWriteChannel();
}

bool SoundPort::start_recording()
{
    if (recorder)
        end(recorder.get());
    recorded.clear();
    odd_byte.clear();
    recorder = std::make_unique<QProcess>();
    recorder->start(QStringLiteral("parec"), raw_format(source, true));
    QDeadlineTimer deadline(10000);
    while (recorded.isEmpty() && !deadline.hasExpired()) {
        recorder->waitForReadyRead(100);
        read();
    }
    return !recorded.isEmpty();
}

bool SoundPort::suspend(bool suspended)
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("suspend-source"), source,
                                          suspended ? QStringLiteral("1") : QStringLiteral("0")});
    return pactl.waitForFinished(10000) && pactl.exitCode() == 0;
}

const QVector<qint16>& SoundPort::samples()
{
    read();
    return recorded;
}

void SoundPort::read()
{
    if (!recorder)
        return;
    const QByteArray bytes = odd_byte + recorder->readAllStandardOutput();
    const int count = bytes.size() / 2;
    odd_byte = bytes.right(bytes.size() % 2);
    if (count == 0)
        return;
    // The first samples were taken just before they arrived: the clock of sample 0 follows.
    if (recorded.isEmpty())
        start_ms = QDateTime::currentMSecsSinceEpoch() - qint64(count) * 1000 / tone::RATE;
    const int old = recorded.size();
    recorded.resize(old + count);
    memcpy(recorded.data() + old, bytes.constData(), size_t(count) * 2);
}

int SoundPort::find(double hz, double threshold_db, int from)
{
    const QVector<qint16>& all = samples();
    for (int i = std::max(from, 0); i + tone::WINDOW <= all.size(); i += tone::WINDOW / 4) {
        if (tone::level_db(all, i, tone::WINDOW, hz) >= threshold_db)
            return i;
    }
    return -1;
}

namespace {

void wait_events(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

} // namespace

SoundPort::Heard SoundPort::burst_to(SoundPort& speaker, double hz, double dbfs, int within_ms)
{
    Heard heard;
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    const int mic_from = index_at(start);
    const int speaker_from = speaker.index_at(start);
    play(tone::burst(hz, dbfs, tone::BURST_MS));
    int played = -1;
    int arrived = -1;
    QDeadlineTimer deadline(within_ms);
    while (arrived < 0 && !deadline.hasExpired()) {
        wait_events(10);
        if (played < 0)
            played = find(hz, dbfs - 10, mic_from);
        if (played >= 0)
            arrived = speaker.find(hz, tone::HEARD, speaker_from);
    }
    if (arrived < 0)
        return heard;
    heard.delay_ms = speaker.time_of(arrived) - time_of(played);
    wait_events(tone::BURST_MS + 100);
    heard.level =
        tone::loudest_db(speaker.samples(), arrived, arrived + tone::RATE * tone::BURST_MS / 1000, hz);
    return heard;
}
