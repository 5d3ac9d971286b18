#include "ui/cti/operatorreply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

#include <cmath>

OperatorReply OperatorReply::parse(const QByteArray& body)
{
    OperatorReply reply;
    // The body counts up to its first NUL byte, as text always has.
    const int end = body.indexOf('\0');
    const QJsonDocument document = QJsonDocument::fromJson(end < 0 ? body : body.left(end));
    if (!document.isObject())
        return reply;
    const QJsonObject object = document.object();
    const QJsonValue result = object.value(QStringLiteral("result"));
    if (result.isDouble()) {
        const double truncated = std::trunc(result.toDouble());
        // Out of range is as unknown a code as any other.
        if (std::isfinite(truncated) && std::fabs(truncated) < 1e9)
            reply.result = static_cast<int>(truncated);
    }
    const QJsonValue message = object.value(QStringLiteral("message"));
    if (!message.isUndefined())
        reply.message = message.toVariant().toString();
    return reply;
}

QString OperatorReply::error_text() const
{
    if (result == 1)
        return QStringLiteral("認証エラー\n") + message;
    if (result == 99)
        return QStringLiteral("システムエラー\n") + message;
    return QStringLiteral("サーバエラー\n") + message;
}
