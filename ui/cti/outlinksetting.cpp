#include "ui/cti/outlinksetting.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "ui/closeonescape.h"
#include "ui/cti/ctiparams.h"
#include "ui/cti/outlinksettingform.h"
#include "ui/settings/lockedfields.h"
#include "ui/settings/settingsnotice.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QUrl>

namespace {

void set_checked_from(QCheckBox* box, const QString& value)
{
    bool ok = false;
    box->setChecked(value.toInt(&ok, 10) == 1 && ok);
}

QString flag(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

OutlinkSetting::OutlinkSetting(QWidget* parent, ZimData* data)
    : QWidget(parent), form(new OutlinkSettingForm), data(data)
{
    form->setup(this);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    zim::close_on_escape(this);
    setWindowTitle(zim::TITLE_OUTLINK_SETTINGS);

    connect(form->pushButton, &QPushButton::clicked, this, &OutlinkSetting::slot_save_button_clicked);
    connect(form->pushButton_2, &QPushButton::clicked, this, &OutlinkSetting::slot_cancel_button_clicked);
    const OutlinkPageForm& s = form->simple;
    connect(s.callerName, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_caller_name_toggle);
    connect(s.callerId, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_caller_id_toggle);
    connect(s.myId, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_my_id_toggle);
    connect(s.callId, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_call_id_toggle);
    connect(s.operatorId, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_operator_id_toggle);
    connect(s.operatorPW, &QCheckBox::toggled, this, &OutlinkSetting::slot_simple_operator_pw_toggle);
    const OutlinkPageForm& d = form->detail;
    connect(d.callerName, &QCheckBox::toggled, this, &OutlinkSetting::slot_detail_caller_name_toggle);
    connect(d.callerId, &QCheckBox::toggled, this, &OutlinkSetting::slot_detail_caller_id_toggle);
    connect(d.myId, &QCheckBox::toggled, this, &OutlinkSetting::slot_detail_my_id_toggle);
    connect(d.callId, &QCheckBox::toggled, this, &OutlinkSetting::slot_detail_call_id_toggle);
    connect(d.operatorId, &QCheckBox::toggled, this, &OutlinkSetting::slot_detail_operator_id_toggle);
    // Clicked, not toggled: setting this box from code (load, a refused confirmation) must not ask.
    connect(d.operatorPW, &QCheckBox::clicked, this, &OutlinkSetting::slot_detail_operator_pw_toggle);
    connect(form->ctiCaFileButton, &QPushButton::clicked, this, &OutlinkSetting::slot_choose_cti_ca_file);
    for (OutlinkPageForm* page : {&form->simple, &form->detail}) {
        connect(page->params, &QTextEdit::textChanged, this, [this, page] { show_preview(*page); });
        connect(page->url, &QLineEdit::textChanged, this, [this, page] { show_preview(*page); });
    }
    // The detail page opens in the browser, which asks for it with GET whatever is chosen here.
    form->detail.postButton->setEnabled(false);
    form->detail.postButton->setToolTip(
        QStringLiteral("詳細情報はブラウザで開くため、常にGETで送信されます"));
}

// What the template sends for a sample call, decoded so that it reads as the CRM will see it.
void OutlinkSetting::show_preview(OutlinkPageForm& page)
{
    const QMap<QString, QString> call{{QStringLiteral("callerName"), QStringLiteral("山田 太郎")},
                                      {QStringLiteral("callerId"), QStringLiteral("0312345678")},
                                      {QStringLiteral("callId"), QStringLiteral("a84b4c76e66710")}};
    // This desk's own IDs where set; never its password.
    const SettingsMap stored = data->account_settings();
    const auto own = [&stored](const char* key, const char* sample) {
        const QString value = stored.value(QLatin1String(key));
        return value.isEmpty() ? QString::fromLatin1(sample) : value;
    };
    const QMap<QString, QString> account{{QStringLiteral("userId"), own("userId", "100")},
                                         {QStringLiteral("operatorId"), own("operatorId", "op01")},
                                         {QStringLiteral("operatorPW"), QStringLiteral("********")}};
    const QString params = CtiParams::expand(page.params->toPlainText(), call, account);
    const QString url = page.url->text().trimmed().isEmpty() ? QStringLiteral("https://crm.example/")
                                                             : page.url->text().trimmed();
    // Only the sample values are shown decoded; the rest stays as written, a mistyped placeholder too.
    QString shown = CtiParams::join(url, params);
    for (const QString& value : call.values() + account.values()) {
        if (!value.isEmpty())
            shown.replace(QString::fromLatin1(QUrl::toPercentEncoding(value)), value);
    }
    page.preview->setText(QStringLiteral("送信例: ") + shown);
}

OutlinkSetting::~OutlinkSetting()
{
    delete form;
}

void OutlinkSetting::showEvent(QShowEvent* event)
{
    // Only an opening by the program reloads; the window system showing it again after a
    // minimise keeps what is being typed.
    if (!event->spontaneous())
        load();
    event->accept();
}

void OutlinkSetting::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

// Every field under its key; a page's boxes only edit its template, so they are greyed with it too.
void OutlinkSetting::show_locked_fields()
{
    QList<LockedFields::Field> fields = {
        {ZimData::Account, QStringLiteral("operatorAddress"), form->operatorAddress},
        {ZimData::Outlink, zim::KEY_CTI_CA_FILE, form->ctiCaFile},
        {ZimData::Outlink, zim::KEY_CTI_CA_FILE, form->ctiCaFileButton},
        {ZimData::Outlink, zim::KEY_CTI_VERIFY_CERTIFICATE, form->ctiNoVerify}};
    const auto add_page = [&fields](const OutlinkPageForm& page, const QString& prefix) {
        const auto add = [&](const char* key, QWidget* widget) {
            fields.append({ZimData::Outlink, prefix + QLatin1String(key), widget});
        };
        add("Url", page.url);
        add("Method", page.getButton);
        add("Method", page.postButton);
        add("Params", page.params);
        const std::pair<const char*, QCheckBox*> boxes[] = {{"CallerName", page.callerName},
                                                            {"CallerId", page.callerId},
                                                            {"MyId", page.myId},
                                                            {"CallId", page.callId},
                                                            {"OperatorId", page.operatorId},
                                                            {"OperatorPW", page.operatorPW}};
        for (const auto& [key, box] : boxes) {
            add(key, box);
            add("Params", box);
        }
    };
    add_page(form->simple, QStringLiteral("simple"));
    add_page(form->detail, QStringLiteral("detail"));
    LockedFields::show(data, fields);
}

void OutlinkSetting::load()
{
    show_locked_fields();
    const SettingsMap values = data->outlink_settings();
    const auto load_page = [&values](OutlinkPageForm& page, const QString& prefix) {
        const auto value = [&](const char* key) { return values.value(prefix + QLatin1String(key)); };
        page.url->setText(value("Url"));
        if (value("Method") == QStringLiteral("get") || !page.postButton->isEnabled())
            page.getButton->setChecked(true);
        else
            page.postButton->setChecked(true);
        set_checked_from(page.callerName, value("CallerName"));
        set_checked_from(page.callerId, value("CallerId"));
        set_checked_from(page.myId, value("MyId"));
        set_checked_from(page.callId, value("CallId"));
        set_checked_from(page.operatorId, value("OperatorId"));
        set_checked_from(page.operatorPW, value("OperatorPW"));
        // Last, so that whatever the boxes inserted or removed above is replaced by the stored text.
        page.params->setPlainText(value("Params"));
    };
    load_page(form->simple, QStringLiteral("simple"));
    load_page(form->detail, QStringLiteral("detail"));
    form->operatorAddress->setText(data->account_settings().value(QStringLiteral("operatorAddress")));
    form->ctiCaFile->setText(values.value(zim::KEY_CTI_CA_FILE));
    // Ticked only when the store says "0" in so many words: a missing key keeps the check.
    form->ctiNoVerify->setChecked(values.value(zim::KEY_CTI_VERIFY_CERTIFICATE).trimmed() ==
                                  QStringLiteral("0"));
}

void OutlinkSetting::slot_save_button_clicked()
{
    SettingsMap values;
    const auto save_page = [&values](const OutlinkPageForm& page, const QString& prefix) {
        const auto put = [&](const char* key, const QString& value) {
            values.insert(prefix + QLatin1String(key), value);
        };
        put("Url", page.url->text());
        put("Method", page.getButton->isChecked() ? QStringLiteral("get") : QStringLiteral("post"));
        put("CallerName", flag(page.callerName));
        put("CallerId", flag(page.callerId));
        put("MyId", flag(page.myId));
        put("CallId", flag(page.callId));
        put("OperatorId", flag(page.operatorId));
        put("OperatorPW", flag(page.operatorPW));
        put("Params", page.params->toPlainText());
    };
    save_page(form->simple, QStringLiteral("simple"));
    save_page(form->detail, QStringLiteral("detail"));
    values.insert(zim::KEY_CTI_CA_FILE, form->ctiCaFile->text().trimmed());
    values.insert(zim::KEY_CTI_VERIFY_CERTIFICATE,
                  form->ctiNoVerify->isChecked() ? QStringLiteral("0") : QStringLiteral("1"));
    const QString old_address = data->account_settings().value(QStringLiteral("operatorAddress"));
    const QString address = form->operatorAddress->text().trimmed();
    const bool saved = data->save_settings(
        {{ZimData::Outlink, values}, {ZimData::Account, {{QStringLiteral("operatorAddress"), address}}}});
    if (!saved) {
        // The edits stay in the window so that nothing the user typed is lost.
        SettingsNotice::save_failed(zim::TITLE_OUTLINK_SETTINGS);
        return;
    }
    if (address != old_address)
        emit signal_reset_operator_status(old_address);
    hide();
}

void OutlinkSetting::slot_cancel_button_clicked()
{
    hide();
}

void OutlinkSetting::slot_choose_cti_ca_file()
{
    const QString current = form->ctiCaFile->text().trimmed();
    const QString start = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString chosen =
        QFileDialog::getOpenFileName(this, QStringLiteral("CA証明書ファイルを選択"), start,
                                     QStringLiteral("証明書 (*.pem *.crt *.cer);;すべてのファイル (*)"),
                                     nullptr, QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty())
        form->ctiCaFile->setText(chosen);
}

void OutlinkSetting::toggle_placeholder(QCheckBox* box, QTextEdit* params, const QString& placeholder)
{
    if (box->isChecked()) {
        params->insertPlainText(placeholder);
        return;
    }
    QString text = params->toPlainText();
    text.remove(placeholder, Qt::CaseSensitive);
    params->setPlainText(text);
}

void OutlinkSetting::slot_simple_caller_name_toggle()
{
    toggle_placeholder(form->simple.callerName, form->simple.params, zim::PH_CALLER_NAME);
}

void OutlinkSetting::slot_simple_caller_id_toggle()
{
    toggle_placeholder(form->simple.callerId, form->simple.params, zim::PH_CALLER_ID);
}

void OutlinkSetting::slot_simple_my_id_toggle()
{
    toggle_placeholder(form->simple.myId, form->simple.params, zim::PH_MY_ID);
}

void OutlinkSetting::slot_simple_call_id_toggle()
{
    toggle_placeholder(form->simple.callId, form->simple.params, zim::PH_CALL_ID);
}

void OutlinkSetting::slot_simple_operator_id_toggle()
{
    toggle_placeholder(form->simple.operatorId, form->simple.params, zim::PH_OPE_ID);
}

void OutlinkSetting::slot_simple_operator_pw_toggle()
{
    toggle_placeholder(form->simple.operatorPW, form->simple.params, zim::PH_OPE_PW);
}

void OutlinkSetting::slot_detail_caller_name_toggle()
{
    toggle_placeholder(form->detail.callerName, form->detail.params, zim::PH_CALLER_NAME);
}

void OutlinkSetting::slot_detail_caller_id_toggle()
{
    toggle_placeholder(form->detail.callerId, form->detail.params, zim::PH_CALLER_ID);
}

void OutlinkSetting::slot_detail_my_id_toggle()
{
    toggle_placeholder(form->detail.myId, form->detail.params, zim::PH_MY_ID);
}

void OutlinkSetting::slot_detail_call_id_toggle()
{
    toggle_placeholder(form->detail.callId, form->detail.params, zim::PH_CALL_ID);
}

void OutlinkSetting::slot_detail_operator_id_toggle()
{
    toggle_placeholder(form->detail.operatorId, form->detail.params, zim::PH_OPE_ID);
}

void OutlinkSetting::slot_detail_operator_pw_toggle()
{
    QCheckBox* box = form->detail.operatorPW;
    if (box->isChecked()) {
        // The detail page is opened by GET, so the password would stand in the browser's address.
        const auto answer = QMessageBox::question(
            nullptr, QStringLiteral("オペレータパスワード"),
            QStringLiteral("パスワードはURLに表示される形になりますが、よろしいでしょうか？"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            box->setChecked(false);
            return;
        }
    }
    toggle_placeholder(box, form->detail.params, zim::PH_OPE_PW);
}
