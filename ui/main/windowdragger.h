#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Drags a frameless window by a press on any of its own surfaces (the widgets it watches, the
// window itself included; buttons that act are not watched), and keeps the window inside the
// available area of the screen under it.
class WindowDragger : public QObject
{
    Q_OBJECT
public:
    explicit WindowDragger(QWidget* window);

    void watch(QWidget* surface);
    // The position nearest to `wanted` at which the whole window lies in a screen's available area.
    static QPoint on_screen(const QWidget* window, const QPoint& wanted);

signals:
    // A drag ended with the window at this position.
    void signal_dropped(QPoint position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window;
    QPoint offset;
    bool dragging = false;
};
