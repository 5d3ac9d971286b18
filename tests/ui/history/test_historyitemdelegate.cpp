#include "popupanswerer.h"
#include "ui/history/historyitemdelegate.h"

#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {
// A history-like list: Id, Status, number, duration, date.
QStandardItemModel* history_model(QObject* parent, const QList<QStringList>& rows)
{
    auto* model = new QStandardItemModel(0, 5, parent);
    for (const QStringList& row : rows) {
        QList<QStandardItem*> items;
        for (const QString& text : row)
            items << new QStandardItem(text);
        model->appendRow(items);
    }
    return model;
}

// What the delegate paints for one cell, on a white 50 x 35 cell.
QImage painted_cell(HistoryItemDelegate& delegate, const QModelIndex& index)
{
    QImage image(50, 35, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 50, 35);
    option.state = QStyle::State_Enabled | QStyle::State_Selected; // a selected row gets no highlight either
    option.palette.setColor(QPalette::Highlight, Qt::blue);
    delegate.paint(&painter, option, index);
    painter.end();
    return image;
}

QImage expected_icon(const QString& path)
{
    QImage image(50, 35, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QPixmap icon(path);
    painter.drawPixmap(25 - icon.width() / 2, 17 - icon.height() / 2, icon);
    painter.end();
    return image;
}

bool all_white(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}
} // namespace

class TestHistoryItemDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { init_images(); }

    void status_cell_shows_the_icon_of_its_call_kind()
    {
        QObject owner;
        HistoryItemDelegate delegate(&owner);
        QStandardItemModel* model = history_model(&owner, {{"1", "1", "101", "00:00:01", "d"},
                                                           {"2", "2", "102", "00:00:01", "d"},
                                                           {"3", "3", "103", "00:00:00", "d"},
                                                           {"4", "4", "104", "00:00:00", "d"},
                                                           {"5", "5", "105", "00:00:01", "d"},
                                                           {"6", "", "106", "00:00:01", "d"}});
        const QStringList icons = {":/ZIMPhone/images/income.png", ":/ZIMPhone/images/out.png",
                                   ":/ZIMPhone/images/declined.png", ":/ZIMPhone/images/out_failed.png"};
        for (int row = 0; row < 4; ++row) {
            QVERIFY(!QPixmap(icons.at(row)).isNull());
            QCOMPARE(painted_cell(delegate, model->index(row, 1)), expected_icon(icons.at(row)));
        }
        QVERIFY(painted_cell(delegate, model->index(0, 1)) != painted_cell(delegate, model->index(2, 1)));
        // An outgoing call nobody answered is told apart from an answered one.
        QVERIFY(painted_cell(delegate, model->index(1, 1)) != painted_cell(delegate, model->index(3, 1)));
        // A code outside 1-4, or none, leaves the cell empty.
        QVERIFY(all_white(painted_cell(delegate, model->index(4, 1))));
        QVERIFY(all_white(painted_cell(delegate, model->index(5, 1))));
        // Other cells are ordinary text cells.
        QVERIFY(!all_white(painted_cell(delegate, model->index(0, 2))));
    }

    // The row menu names the row the user right-clicked; a list that changed under the open menu
    // either follows the record or, when rebuilt, does nothing rather than act on another call.
    void row_menu_acts_on_the_clicked_record()
    {
        QWidget window;
        auto* delegate = new HistoryItemDelegate(&window);
        QStandardItemModel* model = history_model(&window, {{"3", "1", "801", "00:00:01", "d"},
                                                            {"2", "3", "802", "00:00:00", "d"},
                                                            {"1", "2", "803", "", "d"}});
        auto* view = new QTableView(&window);
        view->setModel(model);
        view->setItemDelegate(delegate);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->resize(400, 300);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy removals(delegate, &HistoryItemDelegate::signal_remove_row);
        QSignalSpy dials(delegate, &HistoryItemDelegate::signal_send_dialog);
        auto right_click = [&](int row, int column) {
            QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier,
                              view->visualRect(model->index(row, column)).center());
        };

        {
            PopupAnswerer answer(QStringLiteral("削除"));
            right_click(1, 4); // any cell of the row opens the menu
            QTRY_COMPARE_WITH_TIMEOUT(removals.count(), 1, 5000);
            QCOMPARE(removals.at(0).at(0).toInt(), 1);
            QCOMPARE(answer.popups_seen, 1);
            QCOMPARE(answer.entries, QStringList({"発信", "削除"}));
        }
        {
            PopupAnswerer answer(QStringLiteral("発信"), [&] { model->removeRow(0); });
            right_click(1, 1);
            QTRY_COMPARE_WITH_TIMEOUT(dials.count(), 1, 5000);
            QCOMPARE(dials.at(0).at(0).toString(), QStringLiteral("802")); // moved up, still the same call
        }
        {
            PopupAnswerer answer(QStringLiteral("削除"), [&] {
                model->removeRows(0, model->rowCount());
                model->appendRow({new QStandardItem("9"), new QStandardItem("1"), new QStandardItem("900")});
            });
            right_click(1, 2);
            QTRY_COMPARE_WITH_TIMEOUT(answer.popups_seen, 1, 5000);
            QTest::qWait(100);
            QCOMPARE(removals.count(), 1);
        }
    }

    void double_click_on_a_number_calls_it_back()
    {
        QWidget window;
        auto* delegate = new HistoryItemDelegate(&window);
        QStandardItemModel* model =
            history_model(&window, {{"1", "1", "0312345678", "00:00:01", "2026-12-01"}});
        auto* view = new QTableView(&window);
        view->setModel(model);
        view->setItemDelegate(delegate);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        window.resize(500, 200);
        view->resize(500, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy dials(delegate, &HistoryItemDelegate::signal_send_dialog);
        for (int column : {0, 1, 3, 4})
            double_click(view->viewport(), view->visualRect(model->index(0, column)).center());
        QCOMPARE(dials.count(), 0);
        double_click(view->viewport(), view->visualRect(model->index(0, 2)).center());
        QCOMPARE(dials.count(), 1);
        QCOMPARE(dials.at(0).at(0).toString(), QStringLiteral("0312345678"));
    }
};

QTEST_MAIN(TestHistoryItemDelegate)
#include "test_historyitemdelegate.moc"
