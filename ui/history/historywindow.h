#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

class HistoryItemDelegate;
class QSortFilterProxyModel;
class QSqlTableModel;
class QTableView;
class ZimData;
class ZimLogger;

namespace Ui {
class HistoryWindow;
}

// The call history in four lists (all, incoming, outgoing, missed), each over a table model on the
// store's connection. Rows are added by the main window at the end of every call.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    // Without a logger of the main window's, the window writes failures through a logger of its own.
    HistoryWindow(QWidget* parent, ZimData* data, ZimLogger* logger = nullptr);
    ~HistoryWindow() override;

    void add_history(QMap<QString, QString> row);
    // Writes the rows of a list (0 すべて … 3 不在着信) to a CSV file in the order the list shows
    // them; the number of rows written, or -1 with the reason in the log and in `error`.
    int export_csv(int tab, const QString& path, QString* error = nullptr);

    // The whole history, newest first; the lists other than "すべて" read through models of their own.
    QSqlTableModel* model() const { return table_model; }
    QSqlTableModel* model(int tab) const;
    // Rows read from the table so far by the lists' models (they read lazily, in chunks).
    int rows_read() const;
    HistoryItemDelegate* delegate() const { return item_delegate; }
    QTableView* table(int tab) const;
    QSortFilterProxyModel* proxy(int tab) const;

signals:
    void signal_send_call(QString phoneNumber);
    // Play this recording (through the phone's speaker), or stop the one playing (empty).
    void signal_play_recording(QString path);

public slots:
    void slot_remove_row(int row);
    void slot_delete_all_button_clicked();
    void slot_close_button_clicked();
    // Asks where to save the list on the current tab and writes it there.
    void slot_export_button_clicked();
    void slot_tab_changed(int tab);
    // 再生 plays the selected row's recording, 停止 stops it.
    void slot_play_button_clicked();
    // The engine's word on the player: 再生 turns into 停止 while a recording plays.
    void slot_playback(bool playing);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_models();
    QSqlTableModel* new_model(const QString& filter);
    void refresh_views();
    void place_window();
    void update_play_button();
    QString selected_recording() const;

    Ui::HistoryWindow* ui;
    ZimData* data;
    ZimLogger* logger;
    QSqlTableModel* table_model = nullptr;
    QSqlTableModel* tab_models[4] = {nullptr, nullptr, nullptr, nullptr}; // [0] is table_model
    bool stale[4] = {true, true, true, true}; // hidden lists not read since the last change
    QSortFilterProxyModel* proxies[4] = {nullptr, nullptr, nullptr, nullptr};
    HistoryItemDelegate* item_delegate = nullptr;
    bool playing = false;
};
