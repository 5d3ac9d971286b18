#pragma once

#include <QString>
#include <QTemporaryDir>

// A private application directory for one test: the store, the logs and data/ live there
// instead of beside the test executable, so tests never share files.
class TestAppDir
{
public:
    TestAppDir();
    ~TestAppDir();
    bool is_valid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }
    // Creates data/logs below the directory, as the main window does at start-up.
    void make_log_dir() const;

private:
    QTemporaryDir dir;
};

// Reads a whole text file (empty when missing).
QString read_text_file(const QString& path);

// What the settings table itself holds for an account key (category 1), read through a
// connection of the test's own, past the store's cache.
QString stored_account_value(const QString& key);
