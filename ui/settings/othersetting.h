#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QShowEvent;
class ZimData;
class ZimLogger;
class ZimPhone;
class DeskKeysPage;

namespace Ui {
class OtherSetting;
}

// The device page (speaker, ringer and microphone) and the desk's keys and auto-answer. A save
// applies the devices at once, also during a call, and the keys.
class OtherSetting : public QWidget
{
    Q_OBJECT
public:
    OtherSetting(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone);
    ~OtherSetting() override;

signals:
    void signal_desk_keys_saved();

public slots:
    void slot_save_button_clicked();
    void slot_cancel_button_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QMap<QString, QString> media_values() const;

    Ui::OtherSetting* ui;
    DeskKeysPage* desk_keys;
    ZimLogger* logger;
    ZimData* data;
    ZimPhone* phone;
};
