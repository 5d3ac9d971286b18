#include "ui/settings/deskkeyspage.h"

#include "data/zimdata.h"
#include "ui/main/globalhotkeys.h"

#include "data/recordingfiles.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
const char* const KEY_LABELS[] = {"応答", "切断", "保留／保留解除", "消音"};
const int DEFAULT_DELAY_S = 2;
} // namespace

DeskKeysPage::DeskKeysPage(QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    auto* note = new QLabel(QStringLiteral("どのウィンドウで作業中でも使えるキー（空欄は使わない）"), this);
    note->setWordWrap(true);
    form->addRow(note);
    if (GlobalHotKeys::wayland_session()) {
        // XWayland hands the phone keys only while one of the X programs' windows has the focus.
        auto* limit = new QLabel(QStringLiteral("Wayland のセッションです。これらのキーは X のウィンドウ"
                                                "（この電話など）にフォーカスがある間だけ働き、"
                                                "ブラウザなど Wayland のウィンドウでは届きません。"),
                                 this);
        limit->setObjectName(QStringLiteral("waylandLimit"));
        limit->setWordWrap(true);
        form->addRow(limit);
    }
    for (int action = GlobalHotKeys::Answer; action <= GlobalHotKeys::Mute; ++action) {
        keys[action] = new QKeySequenceEdit(this);
        keys[action]->setObjectName(GlobalHotKeys::setting_key(static_cast<GlobalHotKeys::Action>(action)));
        form->addRow(QString::fromUtf8(KEY_LABELS[action]), keys[action]);
    }
    auto_answer = new QCheckBox(QStringLiteral("自動応答"), this);
    auto_answer->setObjectName(QStringLiteral("autoAnswer"));
    auto_answer_delay = new QSpinBox(this);
    auto_answer_delay->setObjectName(QStringLiteral("autoAnswerDelay"));
    auto_answer_delay->setRange(0, 10);
    auto_answer_delay->setSuffix(QStringLiteral(" 秒後"));
    form->addRow(auto_answer, auto_answer_delay);
    connect(auto_answer, &QCheckBox::toggled, auto_answer_delay, &QWidget::setEnabled);
    auto_answer_note = new QLabel(this);
    auto_answer_note->setObjectName(QStringLiteral("autoAnswerNote"));
    auto_answer_note->setWordWrap(true);
    auto_answer_note->hide();
    form->addRow(auto_answer_note);
    // A transfer the other party asks for (the PBX or the caller moving the operator's call) goes
    // to a number through the account; a desk whose PBX must never move it turns this off.
    accept_transfers = new QCheckBox(QStringLiteral("相手からの転送要求に応じる"), this);
    accept_transfers->setObjectName(QStringLiteral("acceptTransfers"));
    form->addRow(accept_transfers);
    add_recording_fields(form);
}

void DeskKeysPage::add_recording_fields(QFormLayout* form)
{
    record_calls = new QCheckBox(QStringLiteral("すべての通話を録音（オフ: 録音キーで録音）"), this);
    record_calls->setObjectName(QStringLiteral("recordCalls"));
    form->addRow(record_calls);
    recording_folder = new QLineEdit(this);
    recording_folder->setObjectName(QStringLiteral("recordingFolder"));
    recording_folder->setPlaceholderText(recordings::folder_of({}));
    auto* browse = new QPushButton(QStringLiteral("参照…"), this);
    browse->setObjectName(QStringLiteral("recordingFolderBrowse"));
    connect(browse, &QPushButton::clicked, this, [this] {
        if (!recording_folder->isEnabled()) // locked by the administrator
            return;
        const QString chosen = QFileDialog::getExistingDirectory(
            this, QStringLiteral("録音の保存先"),
            recordings::folder_of({{"recordingFolder", recording_folder->text()}}),
            QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (!chosen.isEmpty())
            recording_folder->setText(chosen);
    });
    auto* folder_row = new QHBoxLayout;
    folder_row->addWidget(recording_folder, 1);
    folder_row->addWidget(browse);
    form->addRow(QStringLiteral("録音の保存先"), folder_row);
    recording_days = new QSpinBox(this);
    recording_days->setObjectName(QStringLiteral("recordingDays"));
    recording_days->setRange(0, 3650);
    recording_days->setSuffix(QStringLiteral(" 日"));
    recording_days->setSpecialValueText(QStringLiteral("無期限"));
    form->addRow(QStringLiteral("録音の保存期間"), recording_days);
}

QList<LockedFields::Field> DeskKeysPage::lockable() const
{
    QList<LockedFields::Field> fields;
    for (QKeySequenceEdit* edit : keys)
        fields.append({ZimData::Other, edit->objectName(), edit});
    for (QWidget* widget : {static_cast<QWidget*>(auto_answer), static_cast<QWidget*>(auto_answer_delay),
                            static_cast<QWidget*>(accept_transfers), static_cast<QWidget*>(record_calls),
                            static_cast<QWidget*>(recording_folder), static_cast<QWidget*>(recording_days)})
        fields.append({ZimData::Other, widget->objectName(), widget});
    return fields;
}

void DeskKeysPage::set_auto_answer_note(const QString& note)
{
    auto_answer_note->setText(note);
    auto_answer_note->setVisible(!note.isEmpty());
}

void DeskKeysPage::load(const QMap<QString, QString>& other)
{
    for (int action = GlobalHotKeys::Answer; action <= GlobalHotKeys::Mute; ++action) {
        const QString text = other.value(keys[action]->objectName());
        keys[action]->setKeySequence(QKeySequence::fromString(text, QKeySequence::PortableText));
    }
    auto_answer->setChecked(other.value(QStringLiteral("autoAnswer")) == QLatin1String("1"));
    bool given = false;
    const int delay = other.value(QStringLiteral("autoAnswerDelay")).toInt(&given);
    auto_answer_delay->setValue(given ? qBound(0, delay, 10) : DEFAULT_DELAY_S);
    auto_answer_delay->setEnabled(auto_answer->isChecked() && !LockedFields::is_locked(auto_answer_delay));
    accept_transfers->setChecked(other.value(QStringLiteral("acceptTransfers")) != QLatin1String("0"));
    record_calls->setChecked(recordings::records_every_call(other));
    recording_folder->setText(other.value(QStringLiteral("recordingFolder")));
    recording_days->setValue(qMin(recordings::days_kept(other), 3650));
}

QMap<QString, QString> DeskKeysPage::values() const
{
    QMap<QString, QString> result;
    for (QKeySequenceEdit* edit : keys) {
        // One key with its modifiers: a sequence of several presses cannot be grabbed.
        const QKeySequence sequence = edit->keySequence();
        result.insert(edit->objectName(),
                      sequence.isEmpty() ? QString()
                                         : QKeySequence(sequence[0]).toString(QKeySequence::PortableText));
    }
    result.insert(QStringLiteral("autoAnswer"),
                  auto_answer->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    result.insert(QStringLiteral("autoAnswerDelay"), QString::number(auto_answer_delay->value()));
    result.insert(QStringLiteral("acceptTransfers"),
                  accept_transfers->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    result.insert(QStringLiteral("recordCalls"),
                  record_calls->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    result.insert(QStringLiteral("recordingFolder"), recording_folder->text().trimmed());
    result.insert(QStringLiteral("recordingDays"), QString::number(recording_days->value()));
    return result;
}
