#include "ui/main/announcer.h"

#include "ui/accessiblenames.h"

#include <QAccessible>
#include <QTimer>

namespace {
const int PACE_MS = 300;
}

Announcer::Announcer(QWidget* parent) : QWidget(parent)
{
    zim::set_accessible_role("Announcer", QAccessible::Notification);
    setObjectName(QStringLiteral("announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(0, 0);
    hide();
    pace = new QTimer(this);
    pace->setSingleShot(true);
    connect(pace, &QTimer::timeout, this, &Announcer::tell_next);
}

// Told one after the other, a moment apart: a reader fetches the name as it takes the event in, so
// of two texts told at once the first would be read as the second.
void Announcer::say(const QString& text)
{
    if (text.trimmed().isEmpty())
        return;
    waiting << text;
    if (!pace->isActive())
        pace->start(PACE_MS);
}

void Announcer::tell_next()
{
    if (waiting.isEmpty())
        return;
    setAccessibleName(waiting.takeFirst());
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    if (!waiting.isEmpty())
        pace->start(PACE_MS);
}
