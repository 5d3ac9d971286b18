#include "ui/colleagues/colleagueswindow.h"

#include "data/zimconstants.h"
#include "ui/closeonescape.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const int WIDTH = 448; // as 履歴: it opens beside the phone on an 800-pixel screen
const int HEIGHT = 420;
const int LAMP_SIZE = 12;
enum Column { LampColumn, NameColumn, ExtensionColumn, StateColumn };
const int LAMP_ROLE = Qt::UserRole;
const int REASON_ROLE = Qt::UserRole + 1;
const int PICKUP_ROLE = Qt::UserRole + 2;

QIcon lamp_icon(int lamp)
{
    static const QColor colours[] = {QColor(0xa0, 0xa0, 0xa0), QColor(0x2e, 0xb8, 0x4b),
                                     QColor(0xf0, 0x9a, 0x1a), QColor(0xd9, 0x30, 0x30)};
    QPixmap pixmap(LAMP_SIZE, LAMP_SIZE);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(colours[qBound(0, lamp, 3)]);
    painter.drawEllipse(1, 1, LAMP_SIZE - 2, LAMP_SIZE - 2);
    return QIcon(pixmap);
}
} // namespace

QString ColleaguesWindow::lamp_text(int lamp)
{
    switch (lamp) {
    case 1:
        return QStringLiteral("空き");
    case 2:
        return QStringLiteral("呼出中");
    case 3:
        return QStringLiteral("通話中");
    default:
        return QStringLiteral("不明");
    }
}

ColleaguesWindow::ColleaguesWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ColleaguesWindow"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(zim::TITLE_COLLEAGUES);
    zim::close_on_escape(this);
    auto* layout = new QVBoxLayout(this);
    list_view = new QTableWidget(0, 4, this);
    list_view->setObjectName(QStringLiteral("colleagueList"));
    list_view->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("名前"), QStringLiteral("内線"), QStringLiteral("状態")});
    QFont font = list_view->font();
    font.setPointSize(9);
    list_view->setFont(font);
    list_view->verticalHeader()->hide();
    list_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_view->setSelectionMode(QAbstractItemView::SingleSelection);
    list_view->setContextMenuPolicy(Qt::CustomContextMenu);
    list_view->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    list_view->setColumnWidth(LampColumn, LAMP_SIZE + 16);
    list_view->setColumnWidth(ExtensionColumn, 90);
    list_view->setColumnWidth(StateColumn, 80);
    layout->addWidget(list_view);
    reason = new QLabel(this);
    reason->setObjectName(QStringLiteral("reasonLabel"));
    reason->setWordWrap(true);
    reason->hide();
    layout->addWidget(reason);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    layout->addWidget(close, 0, Qt::AlignRight);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(list_view, &QTableWidget::cellClicked, this, [this](int row, int) {
        emit signal_colleague_clicked(list_view->item(row, ExtensionColumn)->text());
    });
    connect(list_view, &QWidget::customContextMenuRequested, this, &ColleaguesWindow::show_menu);
    // Shortened where it opens (above the phone's call keys on a small screen), as 履歴 is.
    resize(WIDTH, HEIGHT);
}

void ColleaguesWindow::load(const QList<Colleague>& list)
{
    list_view->setRowCount(0);
    for (const Colleague& colleague : list) {
        const int row = list_view->rowCount();
        list_view->insertRow(row);
        list_view->setItem(row, LampColumn, new QTableWidgetItem);
        list_view->setItem(row, NameColumn, new QTableWidgetItem(colleague.name));
        list_view->setItem(row, ExtensionColumn, new QTableWidgetItem(colleague.extension));
        list_view->setItem(row, StateColumn, new QTableWidgetItem);
        slot_colleague_lamp(colleague.extension, 0, QString(), false);
    }
}

int ColleaguesWindow::row_of(const QString& extension) const
{
    for (int row = 0; row < list_view->rowCount(); ++row) {
        if (list_view->item(row, ExtensionColumn)->text() == extension)
            return row;
    }
    return -1;
}

QString ColleaguesWindow::state_text(int row) const
{
    return list_view->item(row, StateColumn)->text();
}

bool ColleaguesWindow::can_pick_up(int row) const
{
    return list_view->item(row, LampColumn)->data(PICKUP_ROLE).toBool();
}

void ColleaguesWindow::slot_colleague_lamp(QString extension, int lamp, QString why, bool pickup)
{
    const int row = row_of(extension);
    if (row < 0)
        return;
    QTableWidgetItem* lamp_item = list_view->item(row, LampColumn);
    lamp_item->setIcon(lamp_icon(lamp));
    lamp_item->setData(LAMP_ROLE, lamp);
    lamp_item->setData(REASON_ROLE, why);
    lamp_item->setData(PICKUP_ROLE, pickup);
    QTableWidgetItem* state = list_view->item(row, StateColumn);
    state->setText(lamp_text(lamp));
    state->setToolTip(why);
    show_reasons();
}

// The server's refusals, one line per reason with the extensions it concerns.
void ColleaguesWindow::show_reasons()
{
    QMap<QString, QStringList> by_reason;
    for (int row = 0; row < list_view->rowCount(); ++row) {
        const QString why = list_view->item(row, LampColumn)->data(REASON_ROLE).toString();
        if (!why.isEmpty())
            by_reason[why].append(list_view->item(row, ExtensionColumn)->text());
    }
    QStringList lines;
    for (auto it = by_reason.cbegin(); it != by_reason.cend(); ++it)
        lines.append(it.value().join(QStringLiteral("、")) + QStringLiteral(": ") + it.key());
    reason->setText(lines.join(QLatin1Char('\n')));
    reason->setVisible(!lines.isEmpty());
}

void ColleaguesWindow::show_menu(const QPoint& at)
{
    const int row = list_view->rowAt(at.y());
    if (row < 0)
        return;
    const QString extension = list_view->item(row, ExtensionColumn)->text();
    QMenu menu(this);
    menu.addAction(QStringLiteral("発信・転送"), this,
                   [this, extension] { emit signal_colleague_clicked(extension); });
    menu.addAction(QStringLiteral("相談して転送"), this,
                   [this, extension] { emit signal_consult_colleague(extension); });
    // Only a ringing call whose dialog the server named can be taken over.
    if (can_pick_up(row))
        menu.addAction(QStringLiteral("代理応答"), this,
                       [this, extension] { emit signal_pick_up_colleague(extension); });
    menu.exec(list_view->viewport()->mapToGlobal(at));
}

void ColleaguesWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}
