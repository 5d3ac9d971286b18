#include "phone/calllink.h"

#include "data/zimconstants.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// RFC 3966 visual separators, and white space that a pasted number brings along.
QString without_separators(QString number)
{
    static const QRegularExpression separators(QStringLiteral("[-.()\\s]"));
    return number.remove(separators);
}

QString decoded(const QString& part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

QString sip_user(QString rest)
{
    rest = rest.section(QLatin1Char('?'), 0, 0); // headers
    const int at = rest.indexOf(QLatin1Char('@'));
    // "sip:201" without a host still names whom to call.
    QString user = at >= 0 ? rest.left(at) : rest.section(QLatin1Char(';'), 0, 0);
    user = decoded(user.section(QLatin1Char(':'), 0, 0).section(QLatin1Char(';'), 0, 0));
    // A telephone number as the user part may carry separators; a name keeps its dots.
    static const QRegularExpression phone(QStringLiteral("^[-+0-9*#.()\\s]+$"));
    return phone.match(user).hasMatch() ? without_separators(user) : user;
}

} // namespace

namespace zim {

std::optional<QString> link_number(const QString& command)
{
    const int colon = command.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QString scheme = command.left(colon).trimmed().toLower();
    QString rest = command.mid(colon + 1).trimmed();
    if (rest.startsWith(QLatin1String("//")))
        rest = rest.mid(2);
    if (scheme == QLatin1String("tel"))
        return without_separators(decoded(rest.section(QLatin1Char(';'), 0, 0)));
    if (scheme == QLatin1String("sip") || scheme == QLatin1String("sips"))
        return sip_user(rest);
    return std::nullopt;
}

bool is_safe_dial_string(const QString& number)
{
    for (const QChar c : number) {
        if (c == QLatin1Char('@') || c == QLatin1Char(':') || c == QLatin1Char(';') ||
            c == QLatin1Char('?') || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

bool is_dial_command(const QString& command)
{
    if (const auto number = link_number(command))
        return !number->isEmpty();
    if (command.contains(QLatin1String("callto")))
        return true;
    if (command.contains(CLIENT_ID))
        return command.section(QLatin1Char(':'), 1, 1) == QLatin1String("call");
    return command.section(QLatin1Char('&'), 0, 0) == QLatin1String("call");
}

} // namespace zim
