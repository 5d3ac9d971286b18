#include "ui/settings/devicechoice.h"

#include "data/zimdata.h"
#include "phone/zimphone.h"

#include <QComboBox>

void DeviceChoice::fill(ZimPhone* phone, const QMap<QString, QString>& media, QComboBox* playback,
                        QComboBox* ringback, QComboBox* capture)
{
    // The engine reloads its list under its own lock, so devices plugged in since the last
    // opening appear.
    const QMap<QString, QStringList> devices = phone->sound_devices();
    playback->clear();
    ringback->clear();
    capture->clear();
    const QStringList players = devices.value(QStringLiteral("playback"));
    playback->addItems(players);
    ringback->addItems(players);
    capture->addItems(devices.value(QStringLiteral("capture")));
    select(playback, media.value(QStringLiteral("playback")));
    select(ringback, media.value(QStringLiteral("ringback")));
    select(capture, media.value(QStringLiteral("capture")));
}

void DeviceChoice::select(QComboBox* box, const QString& stored)
{
    int chosen = 0;
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == stored)
            chosen = i;
    }
    if (box->count() > 0)
        box->setCurrentIndex(chosen);
}

QList<LockedFields::Field> DeviceChoice::lockable(QComboBox* playback, QComboBox* ringback,
                                                  QComboBox* capture)
{
    return {{ZimData::Media, QStringLiteral("playback"), playback},
            {ZimData::Media, QStringLiteral("ringback"), ringback},
            {ZimData::Media, QStringLiteral("capture"), capture}};
}
