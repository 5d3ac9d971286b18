#include "ui/settings/settingsnotice.h"

#include "data/zimconstants.h"

#include <QMessageBox>

const QString SettingsNotice::MSG_SAVE_FAILED = QStringLiteral("設定を保存できませんでした");

void SettingsNotice::refuse_during_call()
{
    QMessageBox::warning(nullptr, zim::TITLE_SETTINGS_REFUSED, zim::MSG_SETTINGS_DURING_CALL,
                         QMessageBox::Yes, QMessageBox::Yes);
}

void SettingsNotice::save_failed(const QString& title)
{
    QMessageBox::warning(nullptr, title, MSG_SAVE_FAILED, QMessageBox::Yes, QMessageBox::Yes);
}
