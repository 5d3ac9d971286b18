#pragma once

#include "data/colleagues.h"

#include <QList>
#include <QString>
#include <QWidget>

class QCloseEvent;
class QLabel;
class QTableWidget;

// 内線状態: each colleague with a lamp (空き, 呼出中, 通話中, 不明). A click asks for a call to
// them, or the transfer of the current call; the row's menu offers a consultation transfer, and
// a pickup while their phone rings with a call the server named. The main window decides what a
// click does; this window only shows and asks.
class ColleaguesWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ColleaguesWindow(QWidget* parent);

    // The list as stored; every lamp goes back to 不明 until the server speaks again.
    void load(const QList<Colleague>& list);
    int row_of(const QString& extension) const;
    QString state_text(int row) const;
    bool can_pick_up(int row) const;
    QTableWidget* table() const { return list_view; }
    QLabel* reason_label() const { return reason; }

    static QString lamp_text(int lamp);

public slots:
    void slot_colleague_lamp(QString extension, int lamp, QString reason, bool can_pick_up);

signals:
    void signal_colleague_clicked(QString extension);
    void signal_consult_colleague(QString extension);
    void signal_pick_up_colleague(QString extension);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void show_menu(const QPoint& at);
    void show_reasons();

    QTableWidget* list_view;
    QLabel* reason;
};
