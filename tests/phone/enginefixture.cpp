#include "enginefixture.h"

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/soundserver.h"

EngineFixture::EngineFixture()
{
    old_home = qgetenv("HOME");
    pin_sound_server();
    qputenv("HOME", dir.path().toUtf8());
    dir.make_log_dir();
    logger = std::make_unique<ZimLogger>();
    data = std::make_unique<ZimData>(nullptr, logger.get());
}

EngineFixture::~EngineFixture()
{
    stop();
    engine.reset();
    data.reset();
    logger.reset();
    qputenv("HOME", old_home);
}

void EngineFixture::set_account(const QString& address, int port, const QString& user,
                                const QString& password)
{
    data->save_account_settings({{QStringLiteral("address"), address},
                                 {QStringLiteral("port"), port > 0 ? QString::number(port) : QString()},
                                 {QStringLiteral("userId"), user},
                                 {QStringLiteral("password"), password}});
}

void EngineFixture::set_account_keys(const QMap<QString, QString>& values)
{
    data->save_account_settings(values);
}

void EngineFixture::set_media(const QMap<QString, QString>& values)
{
    data->save_media_settings(values);
}

void EngineFixture::set_other(const QMap<QString, QString>& values)
{
    data->save_other_settings(values);
}

ZimPhone* EngineFixture::start()
{
    engine = std::make_unique<ZimPhone>(nullptr, data.get(), logger.get());
    connect_signals();
    engine->start();
    return engine.get();
}

bool EngineFixture::stop(int timeout_ms)
{
    if (!engine || !engine->isRunning())
        return true;
    engine->request_stop();
    return engine->wait(static_cast<unsigned long>(timeout_ms));
}

void EngineFixture::connect_signals()
{
    ZimPhone* p = engine.get();
    connect(p, &ZimPhone::signal_registration_state, this,
            [this](QString status, QString user) { record("registration:" + status + "/" + user); });
    connect(p, &ZimPhone::signal_received_dialog, this, [this](QMap<QString, QString> params) {
        received_params.append(params);
        record(QStringLiteral("received"));
    });
    connect(p, &ZimPhone::signal_update_dialog_status, this,
            [this](QString status) { record("status:" + status); });
    connect(p, &ZimPhone::signal_dialog_end, this, [this](QString number, int status, CallReport report) {
        ended_calls.append(number + QLatin1Char('/') + QString::number(status));
        reports.append(report);
        record(QStringLiteral("dialog_end"));
    });
    connect(p, &ZimPhone::signal_call_recorded, this,
            [this](QString number, int status, int, CallReport report) {
                ended_calls.append(number + QLatin1Char('/') + QString::number(status));
                reports.append(report);
                record(QStringLiteral("call_recorded"));
            });
    connect(p, &ZimPhone::signal_call_failed, this,
            [this](QString reason) { failures.append("call:" + reason); });
    connect(p, &ZimPhone::signal_registration_failed, this,
            [this](QString reason, QString tip) { failures.append("registration:" + reason + "/" + tip); });
    connect(p, &ZimPhone::signal_start_count_dialog_time, this, [this] { record(QStringLiteral("timer")); });
    connect(p, &ZimPhone::signal_recording, this, [this](bool on) { record(on ? "recording:1" : "recording:0"); });
    connect(p, &ZimPhone::signal_playback, this, [this](bool on) { record(on ? "playback:1" : "playback:0"); });
    connect(p, &ZimPhone::signal_sound_devices_changed, this, [this] {
        if (record_device_changes)
            record(QStringLiteral("devices_changed"));
    });
    connect(p, &ZimPhone::signal_call_continues, this,
            [this](int seconds) { record("continues:" + QString::number(seconds)); });
    connect(p, &ZimPhone::signal_show_operator_login, this,
            [this] { record(QStringLiteral("operator_login")); });
    connect(p, &ZimPhone::signal_clear_phone_number, this,
            [this] { record(QStringLiteral("clear_number")); });
    connect(p, &ZimPhone::signal_show_phone_message, this,
            [this](QString message) { record("message:" + message); });
    connect(p, &ZimPhone::signal_set_phone_number, this,
            [this](QString number) { record("set_number:" + number); });
    connect(p, &ZimPhone::signal_show_transfer_call_result, this,
            [this](QString message) { record("transfer_result:" + message); });
    connect(p, &ZimPhone::signal_play_hold_music, this, [this] { record(QStringLiteral("hold_music")); });
    connect(p, &ZimPhone::signal_stop_hold_music, this,
            [this] { record(QStringLiteral("stop_hold_music")); });
    connect(p, &ZimPhone::signal_play_terminated_audio, this,
            [this](QString file) { record("audio:" + file); });
    connect(p, &ZimPhone::signal_media_encryption, this,
            [this](bool encrypted) { record(encrypted ? "encrypted" : "plain"); });
}

QStringList EngineFixture::events_named(const QString& name) const
{
    QStringList result;
    for (const QString& event : events) {
        if (event == name || event.startsWith(name + QLatin1Char(':')))
            result.append(event);
    }
    return result;
}

bool EngineFixture::wait_for(const QString& event, int timeout_ms, int times)
{
    return wait_until([&] { return events.count(event) >= times; }, timeout_ms);
}

void EngineFixture::settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}
