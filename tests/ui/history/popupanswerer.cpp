#include "popupanswerer.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

PopupAnswerer::PopupAnswerer(const QString& choice, std::function<void()> before_answer)
    : choice(choice), before_answer(std::move(before_answer))
{
    connect(&timer, &QTimer::timeout, this, &PopupAnswerer::poll);
    timer.start(20);
}

void PopupAnswerer::poll()
{
    if (++ticks > 500) { // 10 s: nothing more will come
        timer.stop();
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        if (!menu->isVisible())
            return;
        if (++popups_seen > 1) {
            menu->close();
            return;
        }
        QAction* picked = nullptr;
        for (QAction* action : menu->actions()) {
            entries << action->text();
            if (action->text() == choice)
                picked = action;
        }
        if (before_answer)
            before_answer();
        if (picked) {
            menu->setActiveAction(picked);
            QTest::keyClick(menu, Qt::Key_Return);
        }
        if (menu->isVisible())
            menu->close();
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (!box->isVisible())
            return;
        if (++popups_seen > 1) {
            box->reject();
            return;
        }
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        if (box->defaultButton())
            default_button = box->defaultButton()->text();
        QAbstractButton* picked = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            entries << button->text();
            if (button->text() == choice)
                picked = button;
        }
        if (picked)
            QTest::mouseClick(picked, Qt::LeftButton);
        else
            box->reject();
    }
}
