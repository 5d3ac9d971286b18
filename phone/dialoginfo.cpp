#include "phone/dialoginfo.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace {

bool is_early(const QString& state)
{
    return state == QLatin1String("trying") || state == QLatin1String("proceeding") ||
           state == QLatin1String("early");
}

// "sip:201@pbx.example.com;user=phone" or "<sip:201@...>" gives 201.
QString user_part(QString uri)
{
    uri = uri.trimmed();
    if (uri.startsWith(QLatin1Char('<')))
        uri = uri.mid(1);
    const int colon = uri.indexOf(QLatin1Char(':'));
    const int at = uri.indexOf(QLatin1Char('@'));
    if (colon < 0 || at < colon)
        return QString();
    return uri.mid(colon + 1, at - colon - 1);
}

} // namespace

bool DialogInfo::parse(const QByteArray& body, DialogInfo* result, QString* error)
{
    if (body.size() > MAX_BODY) {
        *error = QStringLiteral("dialog-info body of %1 bytes is over the limit").arg(body.size());
        return false;
    }
    DialogInfo read;
    QXmlStreamReader xml(body);
    bool root = false;
    Dialog* dialog = nullptr;
    bool in_remote = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("dialog"))
                dialog = nullptr;
            else if (xml.name() == QLatin1String("remote"))
                in_remote = false;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QStringRef name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        if (!root) {
            if (name != QLatin1String("dialog-info")) {
                *error = QStringLiteral("not a dialog-info document");
                return false;
            }
            root = true;
            read.entity = attributes.value(QLatin1String("entity")).toString();
            bool number = false;
            read.version = attributes.value(QLatin1String("version")).toLongLong(&number);
            if (!number)
                read.version = -1;
            read.full = attributes.value(QLatin1String("state")) != QLatin1String("partial");
        } else if (name == QLatin1String("dialog")) {
            read.dialogs.append(Dialog());
            dialog = &read.dialogs.last();
            dialog->id = attributes.value(QLatin1String("id")).toString();
            dialog->call_id = attributes.value(QLatin1String("call-id")).toString();
            dialog->local_tag = attributes.value(QLatin1String("local-tag")).toString();
            dialog->remote_tag = attributes.value(QLatin1String("remote-tag")).toString();
            dialog->recipient = attributes.value(QLatin1String("direction")) == QLatin1String("recipient");
            dialog->initiator = attributes.value(QLatin1String("direction")) == QLatin1String("initiator");
        } else if (dialog && name == QLatin1String("state")) {
            dialog->state = xml.readElementText().trimmed();
        } else if (dialog && name == QLatin1String("remote")) {
            in_remote = true;
        } else if (dialog && in_remote && name == QLatin1String("identity")) {
            dialog->remote_identity = xml.readElementText().trimmed();
        } else if (dialog && in_remote && name == QLatin1String("target")) {
            dialog->remote_target = attributes.value(QLatin1String("uri")).toString();
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("dialog-info body does not parse: %1 (line %2)")
                     .arg(xml.errorString())
                     .arg(xml.lineNumber());
        return false;
    }
    if (!root || read.entity.isEmpty()) {
        *error =
            root ? QStringLiteral("dialog-info names no entity") : QStringLiteral("empty dialog-info body");
        return false;
    }
    *result = read;
    return true;
}

bool DialogInfo::names(const QString& extension) const
{
    return !extension.isEmpty() && user_part(entity) == extension;
}

void DialogInfo::take(const DialogInfo& later)
{
    entity = later.entity;
    version = later.version;
    if (later.full)
        dialogs.clear();
    for (const Dialog& update : later.dialogs) {
        auto known = std::find_if(dialogs.begin(), dialogs.end(),
                                  [&](const Dialog& dialog) { return dialog.id == update.id; });
        if (known != dialogs.end())
            dialogs.erase(known);
        if (update.state != QLatin1String("terminated"))
            dialogs.append(update);
    }
}

// Talking wins over ringing: a colleague in a call with a second one ringing is busy. One who is
// dialling out is busy too.
Lamp DialogInfo::lamp() const
{
    bool ringing = false;
    for (const Dialog& dialog : dialogs) {
        if (dialog.state == QLatin1String("confirmed") || (is_early(dialog.state) && dialog.initiator))
            return Lamp::Busy;
        ringing = ringing || is_early(dialog.state);
    }
    return ringing ? Lamp::Ringing : Lamp::Free;
}

const DialogInfo::Dialog* DialogInfo::ringing_dialog() const
{
    if (lamp() != Lamp::Ringing)
        return nullptr;
    for (const Dialog& dialog : dialogs) {
        if (is_early(dialog.state) && dialog.recipient && !dialog.call_id.isEmpty() &&
            !dialog.local_tag.isEmpty() && !dialog.remote_tag.isEmpty() &&
            !(dialog.remote_target.isEmpty() && dialog.remote_identity.isEmpty()))
            return &dialog;
    }
    return nullptr;
}
