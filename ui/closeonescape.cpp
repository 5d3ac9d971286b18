#include "ui/closeonescape.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace {
// Sees the Escape keys no field of the window took for itself (an open list closes first).
class EscapeFilter : public QObject
{
public:
    explicit EscapeFilter(QWidget* window) : QObject(window), window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
            window->close();
            return true;
        }
        return false;
    }

private:
    QWidget* window;
};
} // namespace

namespace zim {

void close_on_escape(QWidget* window)
{
    window->installEventFilter(new EscapeFilter(window));
}

} // namespace zim
