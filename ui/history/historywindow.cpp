#include "ui/history/historywindow.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "ui/history/historyitemdelegate.h"
#include "ui_historywindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>

namespace {
const int TAB_COUNT = 4;
} // namespace

HistoryWindow::HistoryWindow(QWidget* parent, ZimData* data, ZimLogger* logger)
    : QWidget(parent), ui(new Ui::HistoryWindow), data(data), logger(logger)
{
    if (!this->logger)
        this->logger = new ZimLogger(this);
    ui->setupUi(this);
    item_delegate = new HistoryItemDelegate(this);
    connect(item_delegate, &HistoryItemDelegate::signal_remove_row, this, &HistoryWindow::slot_remove_row);
    connect(item_delegate, &HistoryItemDelegate::signal_send_dialog, this, &HistoryWindow::signal_send_call);
    connect(ui->deleteAllButton, &QPushButton::clicked, this, &HistoryWindow::slot_delete_all_button_clicked);
    connect(ui->closeButton, &QPushButton::clicked, this, &HistoryWindow::slot_close_button_clicked);
    build_model();
    refresh_views();
    place_window();
}

HistoryWindow::~HistoryWindow()
{
    delete ui;
}

QTableView* HistoryWindow::table(int tab) const
{
    switch (tab) {
    case 0:
        return ui->allDialogTable;
    case 1:
        return ui->incomeDialogTable;
    case 2:
        return ui->outgoingDialogTable;
    case 3:
        return ui->declinedDialogTable;
    default:
        return nullptr;
    }
}

QSortFilterProxyModel* HistoryWindow::proxy(int tab) const
{
    return tab >= 0 && tab < TAB_COUNT ? proxies[tab] : nullptr;
}

void HistoryWindow::build_model()
{
    table_model = new QSqlTableModel(this, data->database_handle());
    table_model->setTable(QStringLiteral("history"));
    const QStringList headers = {QStringLiteral("ID"),       QStringLiteral("種類"),
                                 QStringLiteral("電話番号"), QStringLiteral("通話時間"),
                                 QStringLiteral("日付"),     QStringLiteral("選択")};
    for (int column = 0; column < headers.size(); ++column)
        table_model->setHeaderData(column, Qt::Horizontal, headers.at(column), Qt::DisplayRole);
}

// Re-reads the table newest first and gives every list a fresh filter over it. The model fetches
// lazily, so this costs the same however long the history is.
void HistoryWindow::refresh_views()
{
    table_model->setSort(0, Qt::DescendingOrder);
    table_model->select();
    for (int tab = 0; tab < TAB_COUNT; ++tab) {
        auto* filter = new QSortFilterProxyModel(this);
        filter->setSourceModel(table_model);
        filter->setDynamicSortFilter(true);
        filter->setFilterKeyColumn(1);
        filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
        if (tab == 1)
            filter->setFilterRegExp(QRegExp(QStringLiteral("[13]"), Qt::CaseInsensitive));
        else if (tab == 2)
            filter->setFilterRegExp(QRegExp(QStringLiteral("[24]"), Qt::CaseInsensitive));
        else if (tab == 3)
            filter->setFilterFixedString(QStringLiteral("3"));

        QTableView* view = table(tab);
        QItemSelectionModel* old_selection = view->selectionModel();
        view->setModel(filter);
        delete old_selection; // the view does not free the selection model of a replaced model
        delete proxies[tab];
        proxies[tab] = filter;

        view->hideColumn(0);
        view->hideColumn(5);
        view->setSortingEnabled(true);
        view->horizontalHeader()->setStretchLastSection(true);
        view->verticalHeader()->hide();
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setColumnWidth(1, 50);
        view->setColumnWidth(3, 75);
        view->setColumnWidth(4, 140);
        view->setItemDelegate(item_delegate);
        view->verticalHeader()->setDefaultSectionSize(35);
    }
}

void HistoryWindow::place_window()
{
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(zim::HISTORY_WINDOW_TITLE);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move((available.width() - width()) / 2, (available.height() - height()) / 2);
    }
}

void HistoryWindow::add_history(QMap<QString, QString> row)
{
    if (row.value(QStringLiteral("phoneNumber")).isEmpty())
        return;
    QSqlRecord record = table_model->record();
    record.setValue(QStringLiteral("Status"), row.value(QStringLiteral("status")));
    record.setValue(QStringLiteral("PhoneNumber"), row.value(QStringLiteral("phoneNumber")));
    record.setValue(QStringLiteral("DialogTime"), row.value(QStringLiteral("dialogTime")));
    record.setValue(QStringLiteral("DialogDate"), row.value(QStringLiteral("dialogDate")));
    record.setValue(QStringLiteral("DeleteFlg"), row.value(QStringLiteral("deleteFlg")));
    // Id is left to SQLite, which numbers the row itself.
    record.setGenerated(QStringLiteral("Id"), false);
    if (!table_model->insertRecord(0, record)) {
        // The call stays in the log when the store refuses it.
        logger->log(QStringLiteral("history row not stored: %1 (status=%2 phoneNumber=%3 dialogTime=%4 "
                                   "dialogDate=%5)")
                        .arg(table_model->lastError().text(), row.value(QStringLiteral("status")),
                             row.value(QStringLiteral("phoneNumber")),
                             row.value(QStringLiteral("dialogTime")),
                             row.value(QStringLiteral("dialogDate"))),
                    2);
    }
    refresh_views();
}

void HistoryWindow::slot_remove_row(int row)
{
    const QSortFilterProxyModel* filter = proxy(ui->tabWidget->currentIndex());
    if (!filter)
        return;
    const QModelIndex source = filter->mapToSource(filter->index(row, 0));
    if (!source.isValid())
        return;
    const QString id = table_model->data(table_model->index(source.row(), 0)).toString();
    if (!table_model->removeRow(source.row()))
        logger->log(QStringLiteral("history row %1 not removed: %2").arg(id, table_model->lastError().text()),
                    2);
    refresh_views();
}

void HistoryWindow::slot_delete_all_button_clicked()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QMessageBox box(QMessageBox::Question, QStringLiteral("削除確認"),
                    QStringLiteral("すべて削除してよろしいでしょうか？"), QMessageBox::Ok | QMessageBox::No);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("はい"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Ok)
        return;
    data->delete_all_history();
    refresh_views();
}

void HistoryWindow::slot_close_button_clicked()
{
    hide();
}

void HistoryWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}
