#pragma once

#include "ui/settings/lockedfields.h"

#include <QMap>
#include <QString>

class QComboBox;
class ZimPhone;

// Fills the three device lists from the engine's current device list and selects the stored
// devices. Shared by the settings window and the device page so that both show the same thing.
class DeviceChoice
{
public:
    static void fill(ZimPhone* phone, const QMap<QString, QString>& media, QComboBox* playback,
                     QComboBox* ringback, QComboBox* capture);
    // Selects the last item whose text equals `stored` exactly; the first item when none does.
    static void select(QComboBox* box, const QString& stored);
    // The three lists under their keys, for greying those the administrator locked.
    static QList<LockedFields::Field> lockable(QComboBox* playback, QComboBox* ringback, QComboBox* capture);
};
