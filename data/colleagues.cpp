#include "data/colleagues.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace colleagues {

bool valid_extension(const QString& extension)
{
    static const QRegularExpression allowed(QStringLiteral("^[0-9A-Za-z.\\-_*#+]{1,64}$"));
    return allowed.match(extension).hasMatch();
}

QList<Colleague> from_text(const QString& text)
{
    QList<Colleague> list;
    QSet<QString> seen;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        // The extension has no comma; a name may.
        const int comma = line.lastIndexOf(QLatin1Char(','));
        Colleague colleague{line.left(qMax(comma, 0)).trimmed(), line.mid(comma + 1).trimmed()};
        if (!valid_extension(colleague.extension) || seen.contains(colleague.extension))
            continue;
        if (colleague.name.isEmpty())
            colleague.name = colleague.extension;
        seen.insert(colleague.extension);
        list.append(colleague);
        if (list.size() == MAX)
            break;
    }
    return list;
}

QString to_text(const QList<Colleague>& list)
{
    QStringList lines;
    for (const Colleague& colleague : list) {
        QString name = colleague.name;
        name.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines.append(name + QLatin1Char(',') + colleague.extension);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace colleagues
