#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class QCheckBox;
class QKeySequenceEdit;
class QSpinBox;

// The page of the other settings for a desk's hands: the system-wide keys (answer, hang up,
// hold/unhold, mute; none by default) and auto-answer for desks a queue feeds.
class DeskKeysPage : public QWidget
{
    Q_OBJECT
public:
    explicit DeskKeysPage(QWidget* parent = nullptr);

    void load(const QMap<QString, QString>& other);
    QMap<QString, QString> values() const;

private:
    QKeySequenceEdit* keys[4] = {};
    QCheckBox* auto_answer = nullptr;
    QSpinBox* auto_answer_delay = nullptr;
};
