#pragma once

#include "data/colleagues.h"
#include "ui/settings/lockedfields.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QPushButton;
class QTableWidget;

// The settings page of the colleagues whose lines 内線状態 shows: a name and an extension each,
// up to 32 rows.
class ColleaguesPage : public QWidget
{
    Q_OBJECT
public:
    explicit ColleaguesPage(QWidget* parent = nullptr);

    void load(const QMap<QString, QString>& other);
    QMap<QString, QString> values() const;
    QList<LockedFields::Field> lockable();
    // The first row whose extension cannot name a line (a name without one included), said in a
    // box with this title; true when the save must wait for it to be put right.
    bool refuse(const QString& title) const;
    QTableWidget* table() const { return rows; }

private:
    void add_row(const Colleague& colleague);
    void update_buttons();

    QTableWidget* rows;
    QPushButton* add_button;
    QPushButton* remove_button;
};
