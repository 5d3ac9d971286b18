#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QShowEvent;
class ZimData;
class ZimLogger;
class ZimPhone;

namespace Ui {
class OtherSetting;
}

// The device page: speaker, ringer and microphone. A save applies the devices at once, also
// during a call.
class OtherSetting : public QWidget
{
    Q_OBJECT
public:
    OtherSetting(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone);
    ~OtherSetting() override;

public slots:
    void slot_save_button_clicked();
    void slot_cancel_button_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QMap<QString, QString> media_values() const;

    Ui::OtherSetting* ui;
    ZimLogger* logger;
    ZimData* data;
    ZimPhone* phone;
};
