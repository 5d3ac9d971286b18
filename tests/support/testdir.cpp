#include "testdir.h"

#include "data/zimpaths.h"

#include <QFile>

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
