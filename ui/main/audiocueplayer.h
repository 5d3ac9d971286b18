#pragma once

#include <QAudio>
#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QObject>
#include <QString>
#include <QStringList>

class LoopingBuffer;
class QAudioOutput;
class ZimData;
class ZimLogger;

// Local sounds of the main window, apart from the SIP library's own media: the dial pad's key
// tones and the end-of-call cues (one at a time, a new one cuts in), and the hold music, which
// loops until it is stopped. Both go to the playback device chosen in the settings.
class AudioCuePlayer : public QObject
{
    Q_OBJECT
public:
    AudioCuePlayer(QObject* parent, ZimLogger* logger, ZimData* data);
    ~AudioCuePlayer() override;

    void play_audio(const QString& file);
    void play_music(const QString& file);

    bool is_cue_playing() const;
    bool is_music_playing() const;
    QString cue_file() const { return cue_file_name; }
    QString music_file() const { return music_file_name; }
    // Format of the cue last started (the file's own).
    QAudioFormat cue_format() const { return cue_format_value; }
    // How often a cue output and a hold-music output reached the active state.
    int cue_starts() const { return cue_start_count; }
    int music_starts() const { return music_start_count; }
    // How often the hold music has passed the end of its file since it was started.
    int music_loops() const;
    // Device of the output created last.
    QString current_device_name() const { return device_name; }

    // The device rule: the text from the first "(" of the stored playback name is looked for in
    // every device name, ignoring case; the last device that contains it wins. Returns its
    // index, or -1 for the system's default output (no "(" in the name, or nothing matches).
    static int match_device(const QString& playback, const QStringList& device_names);

public slots:
    void slot_play_terminated_audio(QString file);
    void slot_play_hold_music();
    void slot_stop_hold_music();

private slots:
    // State reports of the current cue output and hold output (stale reports are ignored).
    void slot_audio_play_state_change(QAudioOutput* output, QAudio::State newState);
    void slot_hold_play_state_change(QAudioOutput* output, QAudio::State newState);

private:
    QAudioDeviceInfo select_device(bool trace);
    bool start_output(const QString& file, bool cue, QAudioOutput*& member);
    void dispose(QAudioOutput* output);
    void release_cue();
    void release_music();

    ZimLogger* logger;
    ZimData* data;
    QAudioOutput* cue_output = nullptr;
    QAudioOutput* music_output = nullptr;
    LoopingBuffer* music_source = nullptr; // owned by music_output
    QString cue_file_name;
    QString music_file_name;
    QAudioFormat cue_format_value;
    QString device_name;
    int cue_start_count = 0;
    int music_start_count = 0;
    bool closing = false;
};
