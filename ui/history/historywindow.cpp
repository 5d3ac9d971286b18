#include "ui/history/historywindow.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "ui/closeonescape.h"
#include "ui/history/historyexport.h"
#include "ui/history/historyitemdelegate.h"
#include "ui/history/historyrecord.h"
#include "ui_historywindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPair>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>

namespace {
const int TAB_COUNT = 4;

// A whole text in the list's own type, with the cell's margins on both sides. The date, the
// duration and the longest outcome keep their room; the number takes what is left.
int text_column_width(const QTableView* view, const QString& text, int minimum)
{
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return qMax(minimum, view->fontMetrics().horizontalAdvance(text) + 2 * margin + 2);
}
} // namespace

HistoryWindow::HistoryWindow(QWidget* parent, ZimData* data, ZimLogger* logger)
    : QWidget(parent), ui(new Ui::HistoryWindow), data(data), logger(logger)
{
    if (!this->logger)
        this->logger = new ZimLogger(this);
    ui->setupUi(this);
    // Dates and numbers must fit their fixed columns whatever the desktop's default font.
    for (int tab = 0; tab < ui->tabWidget->count(); ++tab) {
        QFont font = table(tab)->font();
        font.setPointSize(9);
        table(tab)->setFont(font);
    }
    item_delegate = new HistoryItemDelegate(this);
    connect(item_delegate, &HistoryItemDelegate::signal_remove_row, this, &HistoryWindow::slot_remove_row);
    connect(item_delegate, &HistoryItemDelegate::signal_send_dialog, this, &HistoryWindow::signal_send_call);
    connect(ui->deleteAllButton, &QPushButton::clicked, this, &HistoryWindow::slot_delete_all_button_clicked);
    connect(ui->closeButton, &QPushButton::clicked, this, &HistoryWindow::slot_close_button_clicked);
    connect(ui->exportButton, &QPushButton::clicked, this, &HistoryWindow::slot_export_button_clicked);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &HistoryWindow::slot_tab_changed);
    connect(ui->playButton, &QPushButton::clicked, this, &HistoryWindow::slot_play_button_clicked);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &HistoryWindow::update_play_button);
    for (int tab = 0; tab < TAB_COUNT; ++tab)
        table(tab)->installEventFilter(this);
    build_models();
    refresh_views();
    place_window();
}

// Return on a row calls its number back, as a double click on the number does.
bool HistoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* view = qobject_cast<QTableView*>(watched);
        if (view && (key == Qt::Key_Return || key == Qt::Key_Enter) && view->currentIndex().isValid()) {
            emit signal_send_call(view->currentIndex().siblingAtColumn(2).data().toString());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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

QSqlTableModel* HistoryWindow::model(int tab) const
{
    return tab >= 0 && tab < TAB_COUNT ? tab_models[tab] : nullptr;
}

int HistoryWindow::rows_read() const
{
    int rows = 0;
    for (const QSqlTableModel* each : tab_models)
        rows += each->rowCount();
    return rows;
}

QSqlTableModel* HistoryWindow::new_model(const QString& filter)
{
    auto* each = new QSqlTableModel(this, data->database_handle());
    each->setTable(QStringLiteral("history"));
    each->setFilter(filter);
    const QStringList headers = {QStringLiteral("ID"),       QStringLiteral("種類"),
                                 QStringLiteral("電話番号"), QStringLiteral("通話時間"),
                                 QStringLiteral("日付"),     QStringLiteral("選択")};
    for (int column = 0; column < headers.size(); ++column)
        each->setHeaderData(column, Qt::Horizontal, headers.at(column), Qt::DisplayRole);
    each->setHeaderData(zim::HISTORY_OUTCOME, Qt::Horizontal, QStringLiteral("結果"), Qt::DisplayRole);
    return each;
}

// The models read the table lazily, a chunk at a time, as a list needs rows to show. A list that
// filtered one shared model would have to read the whole table to find an old missed call behind
// thousands of other calls, so each list lets SQLite pick its rows through the store's partial
// index of the same filter: the SQL filter selects exactly the rows its proxy filter passes (a
// status containing 1 or 3, 2 or 4, or 3).
void HistoryWindow::build_models()
{
    table_model = new_model(QString());
    tab_models[0] = table_model;
    tab_models[1] = new_model(zim::HISTORY_INCOMING_FILTER);
    tab_models[2] = new_model(zim::HISTORY_OUTGOING_FILTER);
    tab_models[3] = new_model(zim::HISTORY_MISSED_FILTER);
}

void HistoryWindow::slot_tab_changed(int tab)
{
    if (tab < 0 || tab >= TAB_COUNT || !stale[tab])
        return;
    stale[tab] = false;
    tab_models[tab]->select();
}

// Re-reads the lists newest first and gives every list a fresh filter over its model. Only the
// rows a list shows are read, so this costs the same however long the history is.
void HistoryWindow::refresh_views()
{
    const int current = ui->tabWidget->currentIndex();
    for (int tab = 0; tab < TAB_COUNT; ++tab) {
        QSqlTableModel* source = tab_models[tab];
        source->setSort(0, Qt::DescendingOrder);
        // A hidden list is read when its tab is turned to; until then it shows nobody anything.
        stale[tab] = tab != current;
        if (!stale[tab])
            source->select();

        auto* filter = new QSortFilterProxyModel(this);
        filter->setSourceModel(source);
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
        // The view does not free the selection model of a replaced model. Both go once control is
        // back in the event loop: a call may end while a view's mouse handler is still running.
        if (old_selection)
            old_selection->deleteLater();
        if (proxies[tab])
            proxies[tab]->deleteLater();
        proxies[tab] = filter;

        view->hideColumn(0);
        view->hideColumn(5);
        for (int column = zim::HISTORY_SIP_CODE; column <= zim::HISTORY_RECORDING; ++column)
            view->hideColumn(column);
        // The outcome in words (with the mark of a poor call) beside the duration, then the date.
        QHeaderView* header = view->horizontalHeader();
        if (header->visualIndex(zim::HISTORY_OUTCOME) != 4)
            header->moveSection(header->visualIndex(zim::HISTORY_OUTCOME), 4);
        view->setSortingEnabled(true);
        // The date keeps the room it needs; the number column gives way to the scroll bar.
        view->horizontalHeader()->setStretchLastSection(false);
        view->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
        view->setWordWrap(false);
        view->verticalHeader()->hide();
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // The icon is 24 pixels wide: its column gives the rest to the number.
        view->setColumnWidth(1, 36);
        view->setColumnWidth(3, text_column_width(view, QStringLiteral("00:00:00"), 0));
        view->setColumnWidth(4, text_column_width(view, QStringLiteral("0000-00-00 00:00:00"), 140));
        view->setColumnWidth(zim::HISTORY_OUTCOME, text_column_width(view, QStringLiteral("失敗 (503)"), 0));
        view->setItemDelegate(item_delegate);
        view->verticalHeader()->setDefaultSectionSize(35);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                &HistoryWindow::update_play_button);
    }
    update_play_button();
}

QString HistoryWindow::selected_recording() const
{
    const QTableView* view = table(ui->tabWidget->currentIndex());
    return view && view->currentIndex().isValid() ? history_record::recording_of(view->currentIndex())
                                                  : QString();
}

void HistoryWindow::update_play_button()
{
    ui->playButton->setText(playing ? QStringLiteral("停止") : QStringLiteral("再生"));
    ui->playButton->setEnabled(playing || !selected_recording().isEmpty());
}

void HistoryWindow::slot_play_button_clicked()
{
    if (playing) {
        emit signal_play_recording(QString());
        return;
    }
    const QString path = selected_recording();
    if (!path.isEmpty())
        emit signal_play_recording(path);
}

void HistoryWindow::slot_playback(bool now)
{
    playing = now;
    update_play_button();
}

void HistoryWindow::place_window()
{
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    zim::close_on_escape(this);
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
    // How the call ended and sounded; what the row does not know stays NULL.
    const QPair<const char*, const char*> reported[] = {
        {"Outcome", "outcome"},   {"SipCode", "sipCode"},
        {"LossSent", "lossSent"}, {"LossReceived", "lossReceived"},
        {"JitterMs", "jitter"},   {"RoundTripMs", "roundTrip"},
        {"Rating", "rating"},     {"Recording", "recording"}};
    for (const auto& field : reported) {
        const QString value = row.value(QLatin1String(field.second));
        if (!value.isEmpty() && record.contains(QLatin1String(field.first)))
            record.setValue(QLatin1String(field.first), value);
    }
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
    } else {
        logger->log(QStringLiteral("history row stored: status=%1 phoneNumber=%2 dialogDate=%3 outcome=%4%5")
                        .arg(row.value(QStringLiteral("status")), row.value(QStringLiteral("phoneNumber")),
                             row.value(QStringLiteral("dialogDate")), row.value(QStringLiteral("outcome")),
                             row.contains(QStringLiteral("recording"))
                                 ? QStringLiteral(" recording=") + row.value(QStringLiteral("recording"))
                                 : QString()),
                    1);
    }
    refresh_views();
}

void HistoryWindow::slot_remove_row(int row)
{
    const int tab = ui->tabWidget->currentIndex();
    const QSortFilterProxyModel* filter = proxy(tab);
    if (!filter)
        return;
    const QModelIndex source = filter->mapToSource(filter->index(row, 0));
    if (!source.isValid())
        return;
    // The list's own model deletes the record by its Id.
    QSqlTableModel* source_model = tab_models[tab];
    const QString id = source_model->index(source.row(), 0).data().toString();
    if (!source_model->removeRow(source.row()))
        logger->log(
            QStringLiteral("history row %1 not removed: %2").arg(id, source_model->lastError().text()), 2);
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

int HistoryWindow::export_csv(int tab, const QString& path, QString* error)
{
    static const QString filters[] = {QString(), zim::HISTORY_INCOMING_FILTER, zim::HISTORY_OUTGOING_FILTER,
                                      zim::HISTORY_MISSED_FILTER};
    if (tab < 0 || tab >= TAB_COUNT)
        return -1;
    // The list's own order: the column its header sorts by (the newest first until the user
    // clicks another), the newest first among equals.
    const QHeaderView* header = table(tab)->horizontalHeader();
    const QString field = tab_models[tab]->record().fieldName(header->sortIndicatorSection());
    const QString direction =
        header->sortIndicatorOrder() == Qt::AscendingOrder ? QStringLiteral("ASC") : QStringLiteral("DESC");
    const QString order = field.isEmpty() || field == QLatin1String("Id")
                              ? QStringLiteral("Id ") + direction
                              : QStringLiteral("%1 %2, Id DESC").arg(field, direction);
    QString reason;
    const int rows = history_export::write_csv(data->database_handle(), filters[tab], order, path, &reason);
    if (rows < 0)
        logger->log(QStringLiteral("history not exported to %1: %2").arg(path, reason), 2);
    else
        logger->log(QStringLiteral("history exported: %1 rows to %2").arg(rows).arg(path), 1);
    if (error)
        *error = reason;
    return rows;
}

void HistoryWindow::slot_export_button_clicked()
{
    const int tab = ui->tabWidget->currentIndex();
    const QString suggested = QDir::home().filePath(
        QStringLiteral("履歴_%1_%2.csv")
            .arg(ui->tabWidget->tabText(tab), QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("CSV出力"), suggested,
                                                      QStringLiteral("CSV (*.csv)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    QString error;
    const int rows = export_csv(tab, path, &error);
    if (rows < 0) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("CSV出力"),
                        QStringLiteral("保存できませんでした: %1").arg(error), QMessageBox::Ok, this);
        box.exec();
    }
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
