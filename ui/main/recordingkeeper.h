#pragma once

#include <QObject>
#include <QTimer>

class ZimData;
class ZimLogger;

// Looks after the recordings' folder while the phone runs: at start it repairs the files a killed
// program left open (their sizes), and at start and once a day it removes the recordings older
// than the days the desk keeps them ("recordingDays"; 0 keeps them all).
class RecordingKeeper : public QObject
{
    Q_OBJECT
public:
    RecordingKeeper(QObject* parent, ZimData* data, ZimLogger* logger);

public slots:
    void slot_sweep();

private:
    ZimData* data;
    ZimLogger* logger;
    QTimer daily;
};
