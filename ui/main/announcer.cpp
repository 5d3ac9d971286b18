#include "ui/main/announcer.h"

#include "ui/accessiblenames.h"

#include <QAccessible>

Announcer::Announcer(QWidget* parent) : QWidget(parent)
{
    zim::set_accessible_role("Announcer", QAccessible::Notification);
    setObjectName(QStringLiteral("announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(0, 0);
    hide();
}

void Announcer::say(const QString& text)
{
    if (text.trimmed().isEmpty())
        return;
    setAccessibleName(text);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}
