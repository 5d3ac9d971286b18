#include "data/provisioning.h"

#include "data/zimconstants.h"
#include "data/zimpaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString FILE_NAME = QStringLiteral("velora-softphone/provisioning.ini");

int category_of(const QString& section)
{
    static const QMap<QString, int> sections = {{QStringLiteral("account"), ZimData::Account},
                                                {QStringLiteral("link"), ZimData::Outlink},
                                                {QStringLiteral("media"), ZimData::Media},
                                                {QStringLiteral("other"), ZimData::Other}};
    return sections.value(section, 0);
}

// The login name from the user database: a terminal server's session may lack $USER.
QString login_name()
{
    if (const passwd* entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

} // namespace

// One pass: the escapes are read in the file's text only, so a substituted login name such as
// CORP\nakamura (a Windows domain's user through winbind) stays as it is.
bool Provisioning::expand(const QString& raw, const QString& user, uint uid, QString* value)
{
    static const QRegularExpression variable(QStringLiteral("\\G\\$\\{([^}]*)\\}"));
    QString text;
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        const QChar next = i + 1 < raw.size() ? raw.at(i + 1) : QChar();
        if (c == QLatin1Char('\\') && (next == QLatin1Char('n') || next == QLatin1Char('\\'))) {
            text.append(next == QLatin1Char('n') ? QLatin1Char('\n') : QLatin1Char('\\'));
            ++i;
            continue;
        }
        const QRegularExpressionMatch match =
            c == QLatin1Char('$') ? variable.match(raw, i) : QRegularExpressionMatch();
        if (!match.hasMatch()) {
            text.append(c);
            continue;
        }
        if (match.captured(1) == QLatin1String("USER"))
            text.append(user);
        else if (match.captured(1) == QLatin1String("UID"))
            text.append(QString::number(uid));
        else
            return false;
        i = match.capturedEnd() - 1;
    }
    *value = text;
    return true;
}

bool Provisioning::parse(const QByteArray& text, const QString& origin, Provisioning* result, QString* error)
{
    static const QRegularExpression section_line(QStringLiteral("^\\[\\s*([^\\]]*?)\\s*\\]$"));
    static const QRegularExpression key_line(QStringLiteral("^([A-Za-z][A-Za-z0-9_]*)\\s*=(.*)$"));
    Provisioning read;
    struct Lock
    {
        int category;
        QString key;
        int line;
    };
    QList<Lock> locks;
    int category = -1; // before the first section
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    const auto fail = [&](int line, const QString& reason) {
        *error = QStringLiteral("%1 line %2: %3").arg(origin).arg(line).arg(reason);
        return false;
    };
    for (int number = 1; number <= lines.size(); ++number) {
        QString line = lines.at(number - 1).trimmed();
        if (number == 1 && line.startsWith(QChar(0xfeff)))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const QRegularExpressionMatch section = section_line.match(line);
        if (section.hasMatch()) {
            category = category_of(section.captured(1));
            if (category == 0)
                return fail(number, QStringLiteral("unknown section [%1]").arg(section.captured(1)));
            continue;
        }
        const QRegularExpressionMatch pair = key_line.match(line);
        if (!pair.hasMatch())
            return fail(number, QStringLiteral("not a \"key = value\" line"));
        const QString key = pair.captured(1);
        QString value;
        if (!expand(pair.captured(2).trimmed(), login_name(), getuid(), &value))
            return fail(number,
                        QStringLiteral("unknown variable in \"%1\" (only ${USER} and ${UID})").arg(key));
        if (category < 0) {
            if (key == QLatin1String("url")) {
                const QUrl url(value, QUrl::StrictMode);
                if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
                    return fail(number, QStringLiteral("url must be an https:// address"));
                read.url = value;
            } else if (key == QLatin1String("caFile")) {
                read.ca_file = value;
            } else {
                return fail(number, QStringLiteral("\"%1\" before the first section").arg(key));
            }
        } else if (key == QLatin1String("locked")) {
            for (const QString& name : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (!name.trimmed().isEmpty())
                    locks.append({category, name.trimmed(), number});
            }
        } else {
            read.values[category][key] = value;
        }
    }
    for (const Lock& lock : locks) {
        if (!read.values.value(lock.category).contains(lock.key))
            return fail(lock.line, QStringLiteral("locked \"%1\" has no value in its section").arg(lock.key));
        read.locked[lock.category].insert(lock.key);
    }
    *result = read;
    return true;
}

bool Provisioning::read_file(const QString& path, Provisioning* result, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 line 0: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), path, result, error);
}

QString Provisioning::find_file()
{
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString path = QDir(dir).filePath(FILE_NAME);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

QString Provisioning::saved_copy_path()
{
    return zim::data_path(zim::DATA_DIR + QStringLiteral("/provisioning-url.ini"));
}

QSet<QString> Provisioning::apply(ZimData* data, const QList<Provisioning>& files)
{
    QMap<int, SettingsMap> stored;
    QMap<int, SettingsMap> writes;
    QMap<int, QSet<QString>> locked;
    for (const Provisioning& file : files) {
        for (auto category = file.values.constBegin(); category != file.values.constEnd(); ++category) {
            if (!stored.contains(category.key()))
                stored[category.key()] = data->settings(category.key());
            SettingsMap& now = stored[category.key()];
            for (auto it = category.value().constBegin(); it != category.value().constEnd(); ++it) {
                const bool is_locked = file.locked.value(category.key()).contains(it.key());
                // A password the keyring did not give reads empty but is the user's: filled here it
                // would be moved into the keyring over theirs at the next start.
                const bool empty = now.value(it.key()).isEmpty() &&
                                   !(category.key() == ZimData::Account && data->password_unread(it.key()));
                if ((is_locked || empty) && now.value(it.key()) != it.value()) {
                    now[it.key()] = it.value();
                    writes[category.key()][it.key()] = it.value();
                }
            }
        }
        for (auto category = file.locked.constBegin(); category != file.locked.constEnd(); ++category)
            locked[category.key()].unite(category.value());
    }
    data->save_provisioned(writes, locked);
    const SettingsMap account = writes.value(ZimData::Account);
    return QSet<QString>(account.keyBegin(), account.keyEnd());
}
