#include "ui/cti/ctiparams.h"

#include "data/zimconstants.h"

#include <QStringList>
#include <QUrl>
#include <utility>

namespace {

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QString CtiParams::expand(const QString& text, const QMap<QString, QString>& call_info,
                          const QMap<QString, QString>& account)
{
    const std::pair<QString, QString> values[] = {
        {zim::PH_CALLER_NAME, call_info.value(QStringLiteral("callerName"))},
        {zim::PH_CALLER_ID, call_info.value(QStringLiteral("callerId"))},
        {zim::PH_MY_ID, account.value(QStringLiteral("userId"))},
        {zim::PH_CALL_ID, call_info.value(QStringLiteral("callId"))},
        {zim::PH_OPE_ID, account.value(QStringLiteral("operatorId"))},
        {zim::PH_OPE_PW, account.value(QStringLiteral("operatorPW"))},
    };
    QString result = text.trimmed();
    // An encoded value holds no "%" of its own, so no later placeholder can be smuggled in.
    for (const auto& value : values)
        result.replace(value.first, encoded(value.second), Qt::CaseSensitive);
    return result.split(QLatin1Char('\n'), Qt::KeepEmptyParts).join(QLatin1Char('&'));
}

QString CtiParams::join(const QString& url, const QString& params)
{
    const QChar separator = url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
    return url + separator + params;
}
