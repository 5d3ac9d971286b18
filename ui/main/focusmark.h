#pragma once

#include <QPointer>
#include <QWidget>

// The keyboard focus made visible on a skin whose buttons are pictures (their style draws no focus
// frame): a ring around the control that has the keys in the window, following it.
class FocusMark : public QWidget
{
public:
    explicit FocusMark(QWidget* window);
    QWidget* marked() const { return target; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(QWidget* focused);
    QWidget* window_of_mark;
    QPointer<QWidget> target;
};
