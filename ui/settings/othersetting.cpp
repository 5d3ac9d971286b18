#include "ui/settings/othersetting.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "ui/closeonescape.h"
#include "ui/settings/deskkeyspage.h"
#include "ui/settings/devicechoice.h"
#include "ui/settings/lockedfields.h"
#include "ui/settings/settingsnotice.h"
#include "ui_othersetting.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTabBar>

namespace {
const int KEYS_PAGE_MARGIN = 12;
}

OtherSetting::OtherSetting(QWidget* parent, ZimLogger* logger, ZimData* data, ZimPhone* phone)
    : QWidget(parent), ui(new Ui::OtherSetting), logger(logger), data(data), phone(phone)
{
    ui->setupUi(this);
    zim::close_on_escape(this); // as キャンセル
    desk_keys = new DeskKeysPage(ui->tabWidget);
    ui->tabWidget->addTab(desk_keys, QStringLiteral("キー・自動応答"));
    // Room for the longest note under auto-answer, which shows only where it applies.
    desk_keys->set_auto_answer_note(zim::NOTE_AUTO_ANSWER_UNCHECKED);
    // Tall enough for the keys page: its six rows and note do not fit the device page's height.
    const int page_width = ui->tabWidget->width() - KEYS_PAGE_MARGIN;
    const int page_height = desk_keys->hasHeightForWidth() ? desk_keys->heightForWidth(page_width)
                                                           : desk_keys->sizeHint().height();
    const int keys_height = page_height + KEYS_PAGE_MARGIN + ui->tabWidget->tabBar()->sizeHint().height();
    const int extra = qMax(0, keys_height - ui->tabWidget->height());
    ui->tabWidget->resize(ui->tabWidget->width(), ui->tabWidget->height() + extra);
    desk_keys->set_auto_answer_note(QString());
    for (QPushButton* button : {ui->pushButton, ui->pushButton_2})
        button->move(button->x(), button->y() + extra);
    resize(width(), height() + extra);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(zim::TITLE_OTHER_SETTINGS);
    setFixedSize(size());
    ui->tabWidget->setCurrentIndex(0);
    // A headset plugged in or pulled out shows in the lists at once; what is chosen stays chosen.
    connect(phone, &ZimPhone::signal_sound_devices_changed, this, [this] {
        if (isVisible())
            DeviceChoice::fill(this->phone, media_values(), ui->playbackComboBox, ui->ringbackComboBox,
                               ui->captureComboBox);
    });
}

OtherSetting::~OtherSetting()
{
    delete ui;
}

void OtherSetting::slot_save_button_clicked()
{
    // Only the three devices: the microphone gain stays as the settings window stored it.
    if (!data->save_media_settings(media_values())) {
        logger->log(QStringLiteral("device settings could not be saved"), 2);
        SettingsNotice::save_failed(windowTitle());
        return;
    }
    phone->apply_media_settings();
    if (!data->save_other_settings(desk_keys->values())) {
        logger->log(QStringLiteral("key settings could not be saved"), 2);
        SettingsNotice::save_failed(windowTitle());
        return;
    }
    emit signal_desk_keys_saved();
    hide();
}

void OtherSetting::slot_cancel_button_clicked()
{
    hide();
}

void OtherSetting::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        LockedFields::show(
            data, DeviceChoice::lockable(ui->playbackComboBox, ui->ringbackComboBox, ui->captureComboBox) +
                      desk_keys->lockable());
        desk_keys->set_auto_answer_note(phone->auto_answer_limit());
        DeviceChoice::fill(phone, data->media_settings(), ui->playbackComboBox, ui->ringbackComboBox,
                           ui->captureComboBox);
        desk_keys->load(data->other_settings());
    }
    QWidget::showEvent(event);
}

void OtherSetting::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

QMap<QString, QString> OtherSetting::media_values() const
{
    return {{QStringLiteral("playback"), ui->playbackComboBox->currentText()},
            {QStringLiteral("ringback"), ui->ringbackComboBox->currentText()},
            {QStringLiteral("capture"), ui->captureComboBox->currentText()}};
}
