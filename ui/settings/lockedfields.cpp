#include "ui/settings/lockedfields.h"

#include "data/zimdata.h"

#include <QHash>
#include <QVariant>
#include <QWidget>

namespace {
const char* const LOCKED = "lockedByAdministrator";
const char* const OWN_TIP = "toolTipWhenUnlocked";
} // namespace

const QString LockedFields::TIP_LOCKED = QStringLiteral("管理者が設定しています");

void LockedFields::show(const ZimData* data, const QList<Field>& fields)
{
    QHash<QWidget*, bool> locked;
    for (const Field& field : fields)
        locked[field.widget] = locked.value(field.widget) || data->is_locked(field.category, field.key);
    for (auto it = locked.constBegin(); it != locked.constEnd(); ++it) {
        QWidget* widget = it.key();
        if (it.value() && !is_locked(widget)) {
            widget->setProperty(OWN_TIP, widget->toolTip());
            widget->setProperty(LOCKED, true);
            widget->setEnabled(false);
            widget->setToolTip(TIP_LOCKED);
        } else if (!it.value() && is_locked(widget)) {
            widget->setProperty(LOCKED, false);
            widget->setEnabled(true);
            widget->setToolTip(widget->property(OWN_TIP).toString());
        }
    }
}

bool LockedFields::is_locked(const QWidget* widget)
{
    return widget->property(LOCKED).toBool();
}

QList<LockedFields::Field> LockedFields::sip_account(QWidget* address, QWidget* port, QWidget* user_id,
                                                     QWidget* password)
{
    return {{ZimData::Account, QStringLiteral("address"), address},
            {ZimData::Account, QStringLiteral("port"), port},
            {ZimData::Account, QStringLiteral("userId"), user_id},
            {ZimData::Account, QStringLiteral("password"), password}};
}
