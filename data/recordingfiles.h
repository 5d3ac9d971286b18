#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

// The files of recorded calls: one WAV per call in a folder only the user can enter, each file
// readable by its owner alone from the moment it exists. Named from the call's start and the
// number (cleaned of anything but digits, '+', '*' and '#': a caller chooses their own From
// header, so no path or odd character ever comes from it).
namespace recordings {

// Settings (category 4): "recordCalls" 1 records every answered call, 0 (or missing) only on
// demand; "recordingFolder" where the files go (empty: data/recordings); "recordingDays" removes
// recordings older than that many days (0 or missing keeps them).
QString folder_of(const QMap<QString, QString>& other);
bool records_every_call(const QMap<QString, QString>& other);
int days_kept(const QMap<QString, QString>& other);

// The number as it may appear in a file name ("unknown" when nothing is left).
QString clean_number(const QString& number);
// Makes the folder (0700 when made, or when it is the user's own) and a new empty file in it
// (0600, never replacing one): its path, or empty with the reason in `error`.
QString create_file(const QString& folder, const QDateTime& start, const QString& number, QString* error);
// Bytes of sound a recording holds beyond its header; 0 for a missing or empty file.
qint64 sound_bytes(const QString& path);
// The SIP library writes a recording's header only when it closes the file: until then the file
// is bare sound. While it records, a note beside it (the file's name and ".part") keeps the sound's
// rate and channels, so that a recording a killed program left open gets its header at the next
// start. The note goes once the file is closed.
void note_format(const QString& path, int rate, int channels);
void forget_format(const QString& path);
// Gives a recording the header its writer never wrote (from its note; 8000 Hz mono without one),
// or sets the sizes of a header written before the file grew. True when the file is now a whole
// WAV (also when it was already).
bool repair_header(const QString& path);
// Repairs every recording in the folder left open (with a note, or without a header); the number
// of files repaired.
int repair_folder(const QString& folder);
// Removes the recordings in the folder older than `days` (by their last write) at `now`;
// the number removed. Only WAV files are touched.
int remove_older_than(const QString& folder, int days, const QDateTime& now);

} // namespace recordings
