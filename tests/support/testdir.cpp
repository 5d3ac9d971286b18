#include "testdir.h"

#include "data/zimdata.h"
#include "data/zimpaths.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

TestAppDir::TestAppDir()
{
    zim::set_app_dir_for_tests(dir.path());
}

TestAppDir::~TestAppDir()
{
    zim::set_app_dir_for_tests(QString());
}

void TestAppDir::make_log_dir() const
{
    zim::make_private_log_dir();
}

QString read_text_file(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString stored_account_value(const QString& key)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
        db.setDatabaseName(ZimData::database_path());
        QSqlQuery query(db);
        if (db.open() &&
            query.prepare(QStringLiteral("SELECT Value FROM settings WHERE Category=1 AND Key=?"))) {
            query.addBindValue(key);
            if (query.exec() && query.next())
                value = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    return value;
}
