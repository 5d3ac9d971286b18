#pragma once

#include <QAccessible>
#include <QObject>

class QWidget;

namespace zim {

// Names for a screen reader: every window the program shows has its fields named from the labels
// beside them (a form placed by coordinates has no buddies), a list on a tab page from its tab, a
// tab widget from its window. Set once per window as it first shows; names set by hand stay.
class AccessibleNames : public QObject
{
public:
    explicit AccessibleNames(QObject* parent);
    static void name_fields(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A control's name, also on the line edit inside it (a spin box's, a key field's), which a reader
// reaches on its own.
void set_accessible_name(QWidget* control, const QString& name);

// The role a reader is told for every widget of the class (Qt gives a plain widget "filler").
void set_accessible_role(const char* class_name, QAccessible::Role role);

} // namespace zim
