#include "ui/cti/operatorstatuscombobox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScreen>
#include <QWheelEvent>

namespace {
const int CODES[] = {0, 1, 11, 12, 13};

// A wheel turn while the pointer merely passes over the selector would report a new status;
// only the open list scrolls.
class StatusSelector : public QComboBox
{
public:
    using QComboBox::QComboBox;

    // Some styles open the list with the current item under the pointer, so the click that opened
    // it could land on a neighbour: the list always drops below the selector (above it only where
    // the screen ends).
    void showPopup() override
    {
        QComboBox::showPopup();
        QWidget* list = view()->window();
        const QRect area = screen()->availableGeometry();
        QPoint place = mapToGlobal(QPoint(0, height()));
        if (place.y() + list->height() > area.bottom() + 1)
            place.setY(mapToGlobal(QPoint()).y() - list->height());
        list->move(list->x(), place.y());
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        if (view()->isVisible())
            QComboBox::wheelEvent(event);
        else
            event->ignore();
    }
};
} // namespace

namespace zim {

QComboBox* make_operator_status_combo_box(QWidget* parent)
{
    auto* box = new StatusSelector(parent);
    box->setObjectName(QStringLiteral("operatorStatusComboBox"));
    box->addItems({QStringLiteral("ログアウト"), QStringLiteral("受付可"), QStringLiteral("休憩"),
                   QStringLiteral("後処理"), QStringLiteral("離席")});
    box->setCurrentIndex(0);
    box->setCursor(Qt::PointingHandCursor);
    // The keyboard belongs to the dial pad: typed digits must reach the number display.
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

int operator_status_index(int status)
{
    for (int index = 0; index < 5; ++index)
        if (CODES[index] == status)
            return index;
    return 0;
}

int operator_status_code(int index)
{
    return index >= 0 && index < 5 ? CODES[index] : 0;
}

} // namespace zim
