#include "ui/accessiblenames.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHash>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextEdit>

namespace {

const char* NAMED = "zimFieldsNamed";

QHash<QString, QAccessible::Role>& roles()
{
    static QHash<QString, QAccessible::Role> by_class;
    return by_class;
}

QAccessibleInterface* widget_with_role(const QString& class_name, QObject* object)
{
    const auto role = roles().constFind(class_name);
    if (role == roles().constEnd() || !object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), role.value());
}

QString label_words(const QLabel* label)
{
    QString text = label->text();
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    while (text.endsWith(QChar(0xFF1A)) || text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

bool is_field(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QKeySequenceEdit*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QAbstractItemView*>(widget);
}

bool has_name(QWidget* widget)
{
    if (!widget->accessibleName().isEmpty())
        return true;
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face && !face->text(QAccessible::Name).trimmed().isEmpty();
}

// The label on the field's row, to its left and nearest: forms placed by coordinates.
QString label_beside(QWidget* field)
{
    QWidget* parent = field->parentWidget();
    if (!parent)
        return QString();
    const QRect place = field->geometry();
    const QLabel* best = nullptr;
    for (QLabel* label : parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect rect = label->geometry();
        const int middle = rect.center().y();
        if (label_words(label).isEmpty() || middle < place.top() || middle > place.bottom() ||
            rect.left() >= place.left())
            continue;
        if (!best || rect.right() > best->geometry().right())
            best = label;
    }
    return best ? label_words(best) : QString();
}

void name_inner_edits(QWidget* control, const QString& name)
{
    for (QLineEdit* inner : control->findChildren<QLineEdit*>())
        if (inner->accessibleName().isEmpty())
            inner->setAccessibleName(name);
}

// The text of the tab whose page holds the widget, or the name of the box whose list it is.
QString tab_of(QWidget* widget)
{
    for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (auto* box = qobject_cast<QComboBox*>(up))
            return box->accessibleName();
    for (QWidget* page = widget; page && page->parentWidget(); page = page->parentWidget()) {
        for (QWidget* up = page->parentWidget(); up; up = up->parentWidget()) {
            if (auto* tabs = qobject_cast<QTabWidget*>(up)) {
                const int index = tabs->indexOf(page);
                if (index >= 0)
                    return tabs->tabText(index).remove(QLatin1Char('&'));
                break;
            }
        }
    }
    return QString();
}

} // namespace

namespace zim {

void set_accessible_name(QWidget* control, const QString& name)
{
    control->setAccessibleName(name);
    name_inner_edits(control, name);
}

void set_accessible_role(const char* class_name, QAccessible::Role role)
{
    if (roles().isEmpty())
        QAccessible::installFactory(widget_with_role);
    roles().insert(QString::fromLatin1(class_name), role);
}

AccessibleNames::AccessibleNames(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool AccessibleNames::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && !widget->property(NAMED).toBool()) {
            widget->setProperty(NAMED, true);
            name_fields(widget);
        }
    }
    return QObject::eventFilter(watched, event);
}

void AccessibleNames::name_fields(QWidget* window)
{
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->focusPolicy() == Qt::NoFocus && !is_field(widget))
            continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
            if (tabs->accessibleName().isEmpty())
                tabs->setAccessibleName(window->windowTitle());
            continue;
        }
        if (!is_field(widget))
            continue;
        // The line edit inside a spin box or key field is named with its owner.
        if (qobject_cast<QLineEdit*>(widget) && widget->parentWidget() && is_field(widget->parentWidget()))
            continue;
        if (has_name(widget)) {
            // Named by its label already: only the line edit inside it takes the name too (the
            // widget's own name stays Qt's, which follows the label).
            name_inner_edits(widget, QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name));
            continue;
        }
        QString name = label_beside(widget);
        if (name.isEmpty())
            name = tab_of(widget);
        if (!name.isEmpty())
            set_accessible_name(widget, name);
    }
}

} // namespace zim
