#pragma once

#include "ui/settings/lockedfields.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QKeySequenceEdit;
class QSpinBox;

// The page of the other settings for a desk's hands: the system-wide keys (answer, hang up,
// hold/unhold, mute; none by default), auto-answer for desks a queue feeds, whether a transfer
// the other party asks for is followed, and how calls are recorded (every call or on demand,
// where, and for how many days).
class DeskKeysPage : public QWidget
{
    Q_OBJECT
public:
    explicit DeskKeysPage(QWidget* parent = nullptr);

    void load(const QMap<QString, QString>& other);
    QMap<QString, QString> values() const;
    // The fields the administrator may lock.
    QList<LockedFields::Field> lockable() const;
    // Why auto-answer does not act on some calls, shown under it; empty hides it.
    void set_auto_answer_note(const QString& note);

private:
    QKeySequenceEdit* keys[4] = {};
    QCheckBox* auto_answer = nullptr;
    QSpinBox* auto_answer_delay = nullptr;
    QLabel* auto_answer_note = nullptr;
    QCheckBox* accept_transfers = nullptr;
    QCheckBox* record_calls = nullptr;
    QLineEdit* recording_folder = nullptr;
    QSpinBox* recording_days = nullptr;
    void add_recording_fields(class QFormLayout* form);
};
