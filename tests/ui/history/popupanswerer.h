#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <functional>

// Answers the modal row menu or message box the code under test opens, the way a user would:
// it waits for the popup, remembers what it showed, then picks the entry with the given text.
// Popups after the first are closed and counted, so a test never hangs on an unexpected one.
class PopupAnswerer : public QObject
{
    Q_OBJECT
public:
    // before_answer runs while the popup is open (to change the world under it).
    explicit PopupAnswerer(const QString& choice, std::function<void()> before_answer = {});

    int popups_seen = 0;
    QStringList entries;    // menu action texts or message box button texts
    QString title;          // message box only
    QString text;           // message box only
    QString default_button; // message box only
    int icon = -1;          // message box only

private:
    void poll();

    QString choice;
    std::function<void()> before_answer;
    QTimer timer;
    int ticks = 0;
};

// A real double click, through the window system's event path (press, release, press, release).
inline void double_click(QWidget* viewport, const QPoint& pos)
{
    QWidget* top = viewport->window();
    const QPoint at = viewport->mapTo(top, pos);
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}
