#pragma once

#include <QWidget>

class ZimPhone;

namespace Ui {
class DialogIncommingWindow;
}

// The small popup that announces an incoming call at the bottom right of the desktop, with the
// caller's name and number and buttons to answer or reject it. Closing it leaves the call ringing.
class DialogIncommingWindow : public QWidget
{
    Q_OBJECT
public:
    DialogIncommingWindow(QWidget* parent, ZimPhone* phone);
    ~DialogIncommingWindow() override;

    // Puts the popup in the bottom-right corner of the primary screen's available area.
    void move_to_bottom_right();
    // The caller's display name, shown above the number; empty when the call carries none.
    void set_caller_name(const QString& name);

signals:
    void signal_dialog_accept();

public slots:
    void slot_close_site_button_clicked();
    void slot_dialog_button_clicked();
    void slot_dialog_end_button_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Ui::DialogIncommingWindow* ui;
    ZimPhone* phone; // not owned
};
