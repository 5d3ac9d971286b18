#pragma once

#include <QIcon>
#include <QObject>

class HistoryWindow;
class QSystemTrayIcon;
class QTabWidget;

// While missed calls have come in that the history's 不在着信 list has not shown since, the tray
// icon carries a red mark and its tooltip gives their number. Counted from the history table, so
// a missed call is the same thing here as in the list.
class MissedCallMark : public QObject
{
    Q_OBJECT
public:
    MissedCallMark(QSystemTrayIcon* tray, HistoryWindow* history);

    int unseen() const { return count; }

public slots:
    // After the main window's own handling of the same signal: a call ended (and its row may be
    // stored), or the registration rewrote the tooltip.
    void slot_update_later();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool missed_list_shown() const;
    void update();
    void apply();

    QSystemTrayIcon* tray;
    HistoryWindow* history;
    QTabWidget* tabs;
    QIcon plain_icon;
    QIcon marked_icon;
    qint64 seen_id = 0;
    int count = 0;
};
