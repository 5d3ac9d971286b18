#pragma once

#include <QList>
#include <QString>

class QWidget;
class ZimData;

// Fields of settings the administrator's provisioning locked: greyed, with a tooltip that says
// who set them. The store refuses changes to those keys anyway; the greying tells the user why.
class LockedFields
{
public:
    struct Field
    {
        int category;
        QString key;
        QWidget* widget;
    };
    // Greys the widgets of locked keys and gives back the others as they were; a widget listed
    // under several keys (a template and the boxes that edit it) is greyed when any is locked.
    static void show(const ZimData* data, const QList<Field>& fields);
    static bool is_locked(const QWidget* widget);
    // The SIP account's four fields, which the settings window and the account page both show.
    static QList<Field> sip_account(QWidget* address, QWidget* port, QWidget* user_id, QWidget* password);

    static const QString TIP_LOCKED;
};
