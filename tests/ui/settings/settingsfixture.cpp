#include "settingsfixture.h"

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/sipprunner.h"
#include "support/soundserver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

SettingsFixture::SettingsFixture()
{
    old_home = qgetenv("HOME");
    pin_sound_server();
    qputenv("HOME", dir.path().toUtf8());
    dir.make_log_dir();
    log = std::make_unique<ZimLogger>();
    store = std::make_unique<ZimData>(nullptr, log.get());
    engine = std::make_unique<ZimPhone>(nullptr, store.get(), log.get());
}

SettingsFixture::~SettingsFixture()
{
    if (engine->isRunning()) {
        engine->request_stop();
        engine->wait(10000);
    }
    engine.reset();
    store.reset();
    log.reset();
    qputenv("HOME", old_home);
}

void SettingsFixture::start_engine()
{
    engine->start();
}

bool SettingsFixture::start_call(SippRunner& callee)
{
    engine->request_dial(callee.uri(QStringLiteral("201")));
    return wait_until([this] { return engine->is_current_streaming() && !engine->is_idle(); }, 15000);
}

bool SettingsFixture::end_call()
{
    engine->request_hangup();
    return wait_until([this] { return engine->is_idle(); }, 10000);
}

QMap<QString, QString> SettingsFixture::stored(int category) const
{
    QMap<QString, QString> rows;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(ZimData::database_path());
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT Key, Value FROM settings WHERE Category=%1").arg(category));
            while (query.next())
                rows.insert(query.value(0).toString(), query.value(1).toString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

bool SettingsFixture::make_store_read_only()
{
    QSqlQuery query(store->database_handle());
    return query.exec(QStringLiteral("CREATE TRIGGER refuse_insert BEFORE INSERT ON settings "
                                     "BEGIN SELECT RAISE(ABORT, 'read-only store'); END")) &&
           query.exec(QStringLiteral("CREATE TRIGGER refuse_update BEFORE UPDATE ON settings "
                                     "BEGIN SELECT RAISE(ABORT, 'read-only store'); END"));
}

QStringList SettingsFixture::playback_devices() const
{
    return engine->sound_devices().value(QStringLiteral("playback"));
}

QStringList SettingsFixture::capture_devices() const
{
    return engine->sound_devices().value(QStringLiteral("capture"));
}

ModalAnswerer::ModalAnswerer()
{
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start();
}

void ModalAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    Box seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.buttons = int(box->standardButtons());
    seen.default_button = int(box->standardButton(box->defaultButton()));
    seen.has_parent = box->parentWidget() != nullptr;
    boxes.append(seen);
    if (box->defaultButton())
        box->defaultButton()->click();
    else
        box->reject();
}

void settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}
