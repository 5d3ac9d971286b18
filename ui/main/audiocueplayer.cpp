#include "ui/main/audiocueplayer.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QtEndian>

#include <cstring>

namespace {

// Sounds are held in memory while they play; anything larger is not a cue or a hold loop.
const qint64 MAX_SOUND_BYTES = 64 * 1024 * 1024;

const QString NOT_SUPPORTED = QStringLiteral("Raw audio format not supported by backend, cannot play audio.");

struct PcmSound
{
    QAudioFormat format;
    QByteArray samples;
};

quint16 le16(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 le32(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Reads a RIFF/WAVE file with integer PCM samples: the format comes from its "fmt " chunk and
// only the "data" chunk is played. Returns the reason it cannot be played, empty when it can.
QString read_wav(const QString& path, PcmSound& sound)
{
    QFile file(zim::sound_file(path));
    if (!file.exists())
        return QStringLiteral("Sound file not found: ");
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Sound file could not be opened: ");
    if (file.size() > MAX_SOUND_BYTES)
        return QStringLiteral("Sound file too large: ");
    const QByteArray bytes = file.readAll();
    const QString not_pcm = QStringLiteral("Not a PCM WAV file: ");
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return not_pcm;

    bool have_format = false;
    quint16 tag = 0, channels = 0, block_align = 0, bits = 0;
    quint32 rate = 0;
    qint64 data_at = -1, data_length = 0;
    qint64 pos = 12;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const qint64 size = le32(bytes, pos + 4);
        const qint64 body = pos + 8;
        const qint64 available = bytes.size() - body;
        if (id == "fmt ") {
            if (size < 16 || available < 16)
                return not_pcm;
            tag = le16(bytes, body);
            channels = le16(bytes, body + 2);
            rate = le32(bytes, body + 4);
            block_align = le16(bytes, body + 12);
            bits = le16(bytes, body + 14);
            // WAVE_FORMAT_EXTENSIBLE names the real format in the first bytes of its sub-format.
            if (tag == 0xFFFE && size >= 40 && available >= 40)
                tag = le16(bytes, body + 24);
            have_format = true;
        } else if (id == "data" && data_at < 0) {
            // Streamed recordings may announce more than was written.
            data_at = body;
            data_length = qMin(size, available);
        }
        pos = body + size + (size & 1);
    }
    if (!have_format || data_at < 0 || tag != 1 || channels < 1 || channels > 8 || rate < 1000 ||
        rate > 384000 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        block_align != channels * (bits / 8))
        return not_pcm;
    data_length -= data_length % block_align;
    if (data_length <= 0)
        return QStringLiteral("No sound data in: ");

    sound.samples = bytes.mid(data_at, data_length);
    sound.format.setSampleRate(int(rate));
    sound.format.setChannelCount(channels);
    sound.format.setSampleSize(bits);
    sound.format.setCodec(QStringLiteral("audio/pcm"));
    sound.format.setByteOrder(QAudioFormat::LittleEndian);
    sound.format.setSampleType(bits == 8 ? QAudioFormat::UnSignedInt : QAudioFormat::SignedInt);
    return QString();
}

} // namespace

// The hold music's samples, read round and round: the output never runs dry, so the music
// loops without a gap until it is stopped.
class LoopingBuffer : public QIODevice
{
public:
    LoopingBuffer(const QByteArray& samples, QObject* parent) : QIODevice(parent), samples(samples) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return samples.size() + QIODevice::bytesAvailable(); }
    int wraps = 0;

protected:
    qint64 readData(char* data, qint64 max_size) override
    {
        qint64 done = 0;
        while (done < max_size) {
            const qint64 chunk = qMin<qint64>(max_size - done, samples.size() - position);
            memcpy(data + done, samples.constData() + position, size_t(chunk));
            done += chunk;
            position += chunk;
            if (position == samples.size()) {
                position = 0;
                ++wraps;
            }
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray samples;
    qint64 position = 0;
};

namespace {

// An output counts as started the first time it becomes active.
bool first_activation(QAudioOutput* output)
{
    if (output->property("velora_started").toBool())
        return false;
    output->setProperty("velora_started", true);
    return true;
}

} // namespace

AudioCuePlayer::AudioCuePlayer(QObject* parent, ZimLogger* logger, ZimData* data)
    : QObject(parent), logger(logger), data(data)
{
}

AudioCuePlayer::~AudioCuePlayer()
{
    // Deleting a PulseAudio output runs the event loop. Every output, the ones waiting for their
    // deferred delete too, goes here while this is still a whole player, and a state report
    // queued before it went finds the player closing and is dropped.
    closing = true;
    const auto outputs = findChildren<QAudioOutput*>(QString(), Qt::FindDirectChildrenOnly);
    for (QAudioOutput* output : outputs) {
        output->disconnect(this);
        output->stop();
        delete output;
    }
}

int AudioCuePlayer::match_device(const QString& playback, const QStringList& device_names)
{
    static const QRegularExpression parenthesised(QStringLiteral("\\(.*\\)?"));
    const QString part = parenthesised.match(playback).captured(0);
    if (part.isEmpty())
        return -1;
    int chosen = -1;
    for (int i = 0; i < device_names.size(); ++i) {
        if (device_names.at(i).contains(part, Qt::CaseInsensitive))
            chosen = i;
    }
    return chosen;
}

QAudioDeviceInfo AudioCuePlayer::select_device(bool trace)
{
    const QList<QAudioDeviceInfo> devices = QAudioDeviceInfo::availableDevices(QAudio::AudioOutput);
    QStringList names;
    for (const QAudioDeviceInfo& device : devices)
        names.append(device.deviceName());
    const int index = match_device(data->media_settings().value(QStringLiteral("playback")), names);
    if (index < 0)
        return QAudioDeviceInfo::defaultOutputDevice();
    if (trace)
        qDebug() << "lin same device name:" << names.at(index);
    return devices.at(index);
}

// Creates the output for the file on the chosen device, stores it in `member` and starts it.
// Returns false (after one log line) when the file cannot be played there.
bool AudioCuePlayer::start_output(const QString& file, bool cue, QAudioOutput*& member)
{
    PcmSound sound;
    const QString problem = read_wav(file, sound);
    if (!problem.isEmpty()) {
        logger->log(problem + file, 2);
        return false;
    }
    const QAudioDeviceInfo device = select_device(cue);
    if (device.isNull() || !device.isFormatSupported(sound.format)) {
        logger->log(NOT_SUPPORTED + file, 2);
        return false;
    }

    auto* output = new QAudioOutput(device, sound.format, this);
    // The source is deleted with its output, after the output has let go of it.
    QIODevice* source;
    if (cue) {
        auto* buffer = new QBuffer(output);
        buffer->setData(sound.samples);
        source = buffer;
    } else {
        music_source = new LoopingBuffer(sound.samples, output);
        source = music_source;
    }
    source->open(QIODevice::ReadOnly);
    device_name = device.deviceName();
    if (cue)
        cue_format_value = sound.format;
    // The state reports are queued, so that an output is never stopped or deleted from inside its
    // own notification; a report that arrives after its output went is dropped.
    const QPointer<QAudioOutput> reporter(output);
    connect(
        output, &QAudioOutput::stateChanged, this,
        [this, reporter, cue](QAudio::State state) {
            if (closing || !reporter)
                return;
            if (cue)
                slot_audio_play_state_change(reporter, state);
            else
                slot_hold_play_state_change(reporter, state);
        },
        Qt::QueuedConnection);
    member = output;
    output->start(source);
    if (output->state() == QAudio::ActiveState && first_activation(output))
        ++(cue ? cue_start_count : music_start_count);
    return true;
}

void AudioCuePlayer::play_audio(const QString& file)
{
    // A new cue cuts the one under way: every key press is heard.
    release_cue();
    cue_file_name = file;
    start_output(file, true, cue_output);
}

void AudioCuePlayer::play_music(const QString& file)
{
    if (music_output)
        return;
    music_file_name = file;
    start_output(file, false, music_output);
}

bool AudioCuePlayer::is_cue_playing() const
{
    return cue_output != nullptr;
}

int AudioCuePlayer::music_loops() const
{
    return music_source ? music_source->wraps : 0;
}

bool AudioCuePlayer::is_music_playing() const
{
    return music_output != nullptr;
}

void AudioCuePlayer::slot_play_terminated_audio(QString file)
{
    qDebug() << "slot_play_terminated_audio run";
    play_audio(file);
}

void AudioCuePlayer::slot_play_hold_music()
{
    play_music(zim::SOUND_HOLD);
}

void AudioCuePlayer::slot_stop_hold_music()
{
    release_music();
}

void AudioCuePlayer::slot_audio_play_state_change(QAudioOutput* output, QAudio::State newState)
{
    if (output != cue_output)
        return;
    switch (newState) {
    case QAudio::ActiveState:
        if (first_activation(output))
            ++cue_start_count;
        break;
    case QAudio::IdleState: // played to its end
        release_cue();
        break;
    case QAudio::StoppedState:
        if (output->error() != QAudio::NoError) {
            logger->log(QStringLiteral("Audio output stopped with error %1: ").arg(int(output->error())) +
                            cue_file_name,
                        2);
            release_cue();
        }
        break;
    default:
        break;
    }
}

void AudioCuePlayer::slot_hold_play_state_change(QAudioOutput* output, QAudio::State newState)
{
    if (output != music_output)
        return;
    switch (newState) {
    case QAudio::ActiveState:
        if (first_activation(output))
            ++music_start_count;
        break;
    case QAudio::StoppedState:
        if (output->error() != QAudio::NoError) {
            logger->log(QStringLiteral("Audio output stopped with error %1: ").arg(int(output->error())) +
                            music_file_name,
                        2);
            release_music();
        }
        break;
    default:
        qDebug() << "other:" << newState;
        break;
    }
}

// The output is let go before it stops, so its stopped report never reaches the handlers. It is
// deleted from the event loop: the PulseAudio output's destructor runs the event loop itself, and
// inside a key's handling that would handle the next keys before this one is done.
void AudioCuePlayer::dispose(QAudioOutput* output)
{
    if (!output)
        return;
    output->disconnect(this);
    output->stop();
    output->deleteLater();
}

void AudioCuePlayer::release_cue()
{
    QAudioOutput* output = cue_output;
    cue_output = nullptr;
    dispose(output);
}

void AudioCuePlayer::release_music()
{
    QAudioOutput* output = music_output;
    music_output = nullptr;
    music_source = nullptr;
    dispose(output);
}
