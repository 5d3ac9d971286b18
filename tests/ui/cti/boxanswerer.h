#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every modal message box that opens while it lives with one button, and remembers the
// title and text of each, so that tests can drive code that asks or warns.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Yes) : answer(answer)
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("velora_answered").toBool())
                return;
            box->setProperty("velora_answered", true);
            titles << box->windowTitle();
            texts << box->text();
            formats << box->textFormat();
            QAbstractButton* button = box->button(this->answer);
            if (button)
                button->click();
            else
                box->reject();
        });
        poll.start(20);
    }
    void set_answer(QMessageBox::StandardButton button) { answer = button; }

    QStringList titles;
    QStringList texts;
    QList<Qt::TextFormat> formats;

private:
    QMessageBox::StandardButton answer;
    QTimer poll;
};
