#include "ui/settings/settingsnotice.h"

#include "data/accountports.h"
#include "data/zimconstants.h"

#include <QMessageBox>

const QString SettingsNotice::MSG_SAVE_FAILED = QStringLiteral("設定を保存できませんでした");
const QString SettingsNotice::TITLE_ACCOUNT_AFTER_CALL = QStringLiteral("設定の反映");
const QString SettingsNotice::MSG_ACCOUNT_AFTER_CALL =
    QStringLiteral("設定を保存しました。\n次のアカウント設定は通話の終了後に反映されます：\n%1\n"
                   "スピーカー・マイクなどのメディア設定はすでに反映されています。");
const QString SettingsNotice::MSG_BAD_PORT = QStringLiteral("ポート番号は1から65535の数字で入力してください");

void SettingsNotice::refuse_during_call()
{
    QMessageBox::warning(nullptr, zim::TITLE_SETTINGS_REFUSED, zim::MSG_SETTINGS_DURING_CALL,
                         QMessageBox::Yes, QMessageBox::Yes);
}

void SettingsNotice::account_waits_for_call_end(const QStringList& fields)
{
    QMessageBox box(QMessageBox::Information, TITLE_ACCOUNT_AFTER_CALL,
                    MSG_ACCOUNT_AFTER_CALL.arg(fields.join(QStringLiteral("、"))), QMessageBox::Yes);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.exec();
}

void SettingsNotice::save_failed(const QString& title)
{
    QMessageBox::warning(nullptr, title, MSG_SAVE_FAILED, QMessageBox::Yes, QMessageBox::Yes);
}

bool SettingsNotice::refuse_port(const QString& port, const QString& title)
{
    if (port.isEmpty())
        return false;
    bool number = false;
    const int value = port.toInt(&number, 10);
    if (number && value >= 1 && value <= 65535)
        return false;
    QMessageBox::warning(nullptr, title, MSG_BAD_PORT, QMessageBox::Yes, QMessageBox::Yes);
    return true;
}

bool SettingsNotice::refuse_local_ports(const QMap<QString, QString>& account, const QString& title)
{
    QList<AccountPorts::Fault> faults;
    AccountPorts::from_settings(account, &faults);
    if (faults.isEmpty())
        return false;
    QMessageBox::warning(nullptr, title, faults.first().user_text, QMessageBox::Yes, QMessageBox::Yes);
    return true;
}
