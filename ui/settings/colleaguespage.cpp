#include "ui/settings/colleaguespage.h"

#include "data/zimdata.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString cell(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}
} // namespace

ColleaguesPage::ColleaguesPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("colleaguesPage"));
    auto* layout = new QVBoxLayout(this);
    rows = new QTableWidget(0, 2, this);
    rows->setObjectName(QStringLiteral("colleagueRows"));
    rows->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("内線")});
    rows->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    rows->setColumnWidth(1, 110);
    rows->verticalHeader()->setDefaultSectionSize(rows->fontMetrics().height() + 8);
    layout->addWidget(rows);
    auto* buttons = new QHBoxLayout;
    add_button = new QPushButton(QStringLiteral("追加"), this);
    add_button->setObjectName(QStringLiteral("addColleague"));
    remove_button = new QPushButton(QStringLiteral("削除"), this);
    remove_button->setObjectName(QStringLiteral("removeColleague"));
    buttons->addStretch();
    buttons->addWidget(add_button);
    buttons->addWidget(remove_button);
    layout->addLayout(buttons);
    connect(add_button, &QPushButton::clicked, this, [this] {
        add_row({});
        rows->setCurrentCell(rows->rowCount() - 1, 0);
        rows->editItem(rows->item(rows->rowCount() - 1, 0));
    });
    connect(remove_button, &QPushButton::clicked, this, [this] {
        if (rows->currentRow() >= 0)
            rows->removeRow(rows->currentRow());
        update_buttons();
    });
    connect(rows, &QTableWidget::currentCellChanged, this, &ColleaguesPage::update_buttons);
}

void ColleaguesPage::add_row(const Colleague& colleague)
{
    const int row = rows->rowCount();
    rows->insertRow(row);
    rows->setItem(row, 0, new QTableWidgetItem(colleague.name));
    rows->setItem(row, 1, new QTableWidgetItem(colleague.extension));
    update_buttons();
}

void ColleaguesPage::update_buttons()
{
    add_button->setEnabled(rows->isEnabled() && rows->rowCount() < colleagues::MAX);
    remove_button->setEnabled(rows->isEnabled() && rows->currentRow() >= 0);
}

void ColleaguesPage::load(const QMap<QString, QString>& other)
{
    rows->setRowCount(0);
    for (const Colleague& colleague : colleagues::from_text(other.value(colleagues::KEY)))
        add_row(colleague);
    update_buttons();
}

QMap<QString, QString> ColleaguesPage::values() const
{
    QList<Colleague> list;
    for (int row = 0; row < rows->rowCount(); ++row) {
        const Colleague colleague{cell(rows, row, 0), cell(rows, row, 1)};
        if (!colleague.name.isEmpty() || !colleague.extension.isEmpty())
            list.append(colleague);
    }
    return {{colleagues::KEY, colleagues::to_text(list)}};
}

QList<LockedFields::Field> ColleaguesPage::lockable()
{
    return {{ZimData::Other, colleagues::KEY, rows},
            {ZimData::Other, colleagues::KEY, add_button},
            {ZimData::Other, colleagues::KEY, remove_button}};
}

bool ColleaguesPage::refuse(const QString& title) const
{
    QStringList seen;
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QString name = cell(rows, row, 0), extension = cell(rows, row, 1);
        if (name.isEmpty() && extension.isEmpty())
            continue;
        QString fault;
        if (!colleagues::valid_extension(extension))
            fault = QStringLiteral(
                        "%1行目の内線番号が正しくありません。数字・英字と . - _ * # + で入力してください。")
                        .arg(row + 1);
        else if (seen.contains(extension))
            fault = QStringLiteral("内線番号 %1 が重複しています。").arg(extension);
        seen.append(extension);
        if (!fault.isEmpty()) {
            QMessageBox::warning(nullptr, title, fault, QMessageBox::Yes, QMessageBox::Yes);
            return true;
        }
    }
    return false;
}
