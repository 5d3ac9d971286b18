#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>

void answer_next_box(const QString& button_text)
{
    QTimer::singleShot(0, [button_text] {
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == button_text) {
                        button->click();
                        return;
                    }
                }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    });
}
