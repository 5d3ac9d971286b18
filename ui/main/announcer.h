#pragma once

#include <QStringList>
#include <QWidget>

class QTimer;

// What changes on the phone without a change of focus (a ringing caller, 通話中, 保留中, why a
// call failed), told to a screen reader: an unseen notification that shows again with each text,
// which readers speak as it shows (Orca does, whatever has the focus).
class Announcer : public QWidget
{
    Q_OBJECT
public:
    explicit Announcer(QWidget* parent);
    void say(const QString& text);
    QString last_said() const { return accessibleName(); }

private:
    void tell_next();
    QTimer* pace = nullptr;
    QStringList waiting;
};
