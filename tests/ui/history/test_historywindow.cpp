#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "popupanswerer.h"
#include "support/testdir.h"
#include "ui/history/historyitemdelegate.h"
#include "ui/history/historyrecord.h"
#include "ui/history/historywindow.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QToolTip>
#include <QtTest>

#include <memory>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

// The store, its logger and the history window over a fresh database.
struct HistoryFixture
{
    TestAppDir dir;
    std::unique_ptr<ZimLogger> logger;
    std::unique_ptr<ZimData> data;
    std::unique_ptr<HistoryWindow> window;

    HistoryFixture()
    {
        dir.make_log_dir();
        logger = std::make_unique<ZimLogger>();
        data = std::make_unique<ZimData>(nullptr, logger.get());
    }
    ~HistoryFixture()
    {
        window.reset(); // the model lets go of the connection before the store closes it
        data.reset();
    }
    HistoryWindow* open()
    {
        window = std::make_unique<HistoryWindow>(nullptr, data.get(), logger.get());
        return window.get();
    }
    QTabWidget* tabs() const { return window->findChild<QTabWidget*>(QStringLiteral("tabWidget")); }
    QTableView* view(const char* name) const { return window->findChild<QTableView*>(QLatin1String(name)); }
};

namespace {
QMap<QString, QString> call(const QString& status, const QString& number, const QString& date,
                            const QString& duration = QStringLiteral("00:01:05"))
{
    return {{QStringLiteral("status"), status},
            {QStringLiteral("phoneNumber"), number},
            {QStringLiteral("dialogTime"), duration},
            {QStringLiteral("dialogDate"), date},
            {QStringLiteral("deleteFlg"), QStringLiteral("0")}};
}

// The numbers a list shows, top to bottom, after turning to its tab as the user would.
QStringList numbers(QTableView* view)
{
    QWidget* page = view->parentWidget();
    if (auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget()))
        tabs->setCurrentWidget(page);
    QStringList result;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, 2).data().toString();
    return result;
}

// Runs statements on the database through a connection of its own, as another tool would.
bool execute_outside(const QStringList& statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(ZimData::database_path());
        ok = db.open();
        QSqlQuery query(db);
        for (const QString& statement : statements)
            ok = query.exec(statement) && ok;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return ok;
}

QStringList stored_rows()
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
        db.setDatabaseName(ZimData::database_path());
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(
                QStringLiteral("SELECT Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg FROM history "
                               "ORDER BY Id"));
            while (query.next())
                rows << QStringList{query.value(0).toString(), query.value(1).toString(),
                                    query.value(2).toString(), query.value(3).toString(),
                                    query.value(4).toString()}
                            .join(QLatin1Char('|'));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    return rows;
}

qint64 max_id()
{
    qint64 id = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
        db.setDatabaseName(ZimData::database_path());
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name='history'")) &&
                query.next())
                id = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    return id;
}

// Right-clicks the number cell of a row, as the user does to open the row menu.
void right_click(QTableView* view, int row)
{
    const QRect cell = view->visualRect(view->model()->index(row, 2));
    QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, cell.center());
}
} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { init_images(); }

    // A database of an earlier version (the six columns only) opens with its rows as they were;
    // they show no outcome, and a new call's row keeps its own beside them.
    void older_database_is_upgraded_with_its_rows()
    {
        TestAppDir dir;
        dir.make_log_dir();
        QVERIFY(execute_outside(
            {zim::HISTORY_SCHEMA,
             "INSERT INTO history VALUES(7,'1','0312345678','00:02:10','2026-11-30 09:00:00','0')",
             "INSERT INTO history VALUES(8,'3','201','00:00:00','2026-11-30 09:05:00','0')"}));
        const QStringList old_rows = stored_rows();
        ZimLogger logger;
        auto data = std::make_unique<ZimData>(nullptr, &logger);
        QCOMPARE(stored_rows(), old_rows);
        auto window = std::make_unique<HistoryWindow>(nullptr, data.get(), &logger);
        window->add_history({{"status", "2"},
                             {"phoneNumber", "202"},
                             {"dialogTime", "00:00:41"},
                             {"dialogDate", "2026-12-01 10:00:00"},
                             {"deleteFlg", "0"},
                             {"outcome", "transferred"}});
        QCOMPARE(stored_rows(), old_rows + QStringList{"2|202|00:00:41|2026-12-01 10:00:00|0"});
        const QAbstractItemModel* list = window->table(0)->model();
        QCOMPARE(history_record::outcome_text(list->index(0, 0)), QStringLiteral("転送"));
        QCOMPARE(list->index(0, 0).siblingAtColumn(0).data().toInt(), 9); // numbering goes on
        QCOMPARE(history_record::outcome_text(list->index(1, 0)), QString());
        QVERIFY(list->index(1, 0).siblingAtColumn(zim::HISTORY_RATING).data().isNull());
        window.reset();
        data.reset();
        ZimData again(nullptr, &logger); // a second start changes nothing
        QCOMPARE(stored_rows().size(), 3);
    }

    // A supervisor opens the export in a spreadsheet (LibreOffice Calc, saved as .xlsx): every
    // number reads as the history shows it, its leading 0 and "+" kept, a formula-looking caller
    // as plain characters. Read back as Calc shows the cells.
    void exported_numbers_stay_text_in_a_spreadsheet()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
            QSKIP("LibreOffice is installed by scripts/setup-deps test");
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        const QStringList numbers = {"0312345678", "+81312345678", "0120123456", "=HYPERLINK(\"x\")", "201"};
        for (const QString& number : numbers)
            window->add_history({{"status", "1"},
                                 {"phoneNumber", number},
                                 {"dialogTime", "00:00:05"},
                                 {"dialogDate", "2026-12-07 10:00:00"},
                                 {"deleteFlg", "0"}});
        const QString dir = fixture.dir.path();
        QCOMPARE(window->export_csv(0, dir + QStringLiteral("/calls.csv")), numbers.size());
        const auto convert = [&dir](const QString& filter, const QString& to, const QString& file) {
            QProcess soffice;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), dir); // a profile of its own
            soffice.setProcessEnvironment(env);
            // UTF-8, as Calc's import dialog picks for a file with a byte order mark.
            soffice.start(QStringLiteral("soffice"), {"--headless", "--infilter=" + filter, "--convert-to",
                                                      to, "--outdir", dir, dir + QLatin1Char('/') + file});
            return soffice.waitForFinished(120000) && soffice.exitCode() == 0;
        };
        QVERIFY(
            convert(QStringLiteral("CSV:44,34,76,1"), QStringLiteral("xlsx"), QStringLiteral("calls.csv")));
        QVERIFY(QFile::rename(dir + QStringLiteral("/calls.xlsx"), dir + QStringLiteral("/saved.xlsx")));
        QVERIFY(convert(QStringLiteral("Calc MS Excel 2007 XML"),
                        QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                        QStringLiteral("saved.xlsx")));
        QFile shown(dir + QStringLiteral("/saved.csv"));
        QVERIFY(shown.open(QIODevice::ReadOnly));
        QStringList cells;
        for (const QByteArray& line : shown.readAll().split('\n').mid(1)) {
            if (!line.trimmed().isEmpty())
                cells << QString::fromUtf8(line).section(QLatin1Char(','), 1, 1);
        }
        QStringList expected;
        for (auto it = numbers.crbegin(); it != numbers.crend(); ++it) // newest first, as listed
            expected << (it->contains(QLatin1Char('"')) ? QStringLiteral("\"=HYPERLINK(\"\"x\"\")\"") : *it);
        QCOMPARE(cells, expected);
    }

    // 履歴's CSV: the list on its tab, in words, with outcome and quality, UTF-8 with a BOM; a
    // caller's "number" that a spreadsheet would compute stays text.
    void export_writes_the_list_as_shown()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        auto row = [](const char* status, const char* number, const char* outcome) {
            return QMap<QString, QString>{{"status", status},         {"phoneNumber", number},
                                          {"dialogTime", "00:00:00"}, {"dialogDate", "2026-12-07 10:00:00"},
                                          {"deleteFlg", "0"},         {"outcome", outcome}};
        };
        window->add_history(row("3", "=HYPERLINK(\"http://x\",\"a,b\")", "missed"));
        QMap<QString, QString> answered = row("1", "+81312345678", "answered");
        answered.insert({{"dialogTime", "00:03:05"},
                         {"lossReceived", "10.20"},
                         {"jitter", "4.00"},
                         {"rating", "3.40"},
                         {"recording", "/var/rec/20261207-100000_+81312345678.wav"}});
        window->add_history(answered);
        window->add_history(row("4", "0459876543", "failed"));
        window->add_history(row("4", "0451111111", "busy"));

        const QString path = fixture.dir.path() + QStringLiteral("/incoming.csv");
        QCOMPARE(window->export_csv(1, path), 2); // 着信: the two incoming calls
        // Personal data: the user's alone, like the history itself.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther;
        QCOMPARE(QFileInfo(path).permissions() & others, QFileDevice::Permissions());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
        QCOMPARE(
            lines,
            QStringList({"種類,電話番号,通話時間,結果,日付,品質評価,損失 受信 (%),損失 送信 "
                         "(%),ジッタ (ms),往復遅延 (ms),録音ファイル",
                         "着信,\"=\"\"+81312345678\"\"\",00:03:05,応答,2026-12-07 10:00:00,3.4,10.2,,4.0,,"
                         "20261207-100000_+81312345678.wav",
                         "着信（未応答）,\"=\"\"=HYPERLINK(\"\"\"\"http://x\"\"\"\",\"\"\"\"a,b\"\"\"\")"
                         "\"\"\",00:00:00,不在,2026-12-07 10:00:00,,,,,,",
                         ""}));
        // Hovering the poor call's outcome shows its figures.
        window->show();
        QTableView* all = fixture.view("allDialogTable");
        fixture.tabs()->setCurrentIndex(0);
        const QModelIndex poor = all->model()->index(2, zim::HISTORY_OUTCOME);
        QVERIFY(history_record::is_poor(poor));
        const QPoint at = all->visualRect(poor).center();
        QHelpEvent hover(QEvent::ToolTip, at, all->viewport()->mapToGlobal(at));
        QApplication::sendEvent(all->viewport(), &hover);
        QTRY_VERIFY(QToolTip::text().contains(QStringLiteral("損失 (受信): 10.2 %")));
        QVERIFY(window->export_csv(0, fixture.dir.path() + QStringLiteral("/no/such/folder.csv")) < 0);

        // CSV出力 asks where, on the tab in view (不在着信), and saves there.
        fixture.tabs()->setCurrentIndex(3);
        const QString chosen = fixture.dir.path() + QStringLiteral("/missed.csv");
        QString suggested;
        QTimer::singleShot(200, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            suggested = dialog->selectedFiles().value(0);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(chosen); // typed as a user would
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
        QVERIFY2(suggested.endsWith(QStringLiteral("履歴_不在着信_") +
                                    QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + ".csv"),
                 qPrintable(suggested));
        QFile saved(chosen);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().count("\r\n"), 2); // the header and the missed call
    }

    void form_title_and_columns()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        QCOMPARE(window->windowTitle(), QStringLiteral("履歴一覧"));
        QCOMPARE(window->size(), QSize(448, 457));
        QCOMPARE(fixture.tabs()->geometry(), QRect(10, 10, 439, 401));
        QCOMPARE(fixture.tabs()->currentIndex(), 0);
        const QStringList tab_texts = {QStringLiteral("すべて"), QStringLiteral("着信"),
                                       QStringLiteral("発信"), QStringLiteral("不在着信")};
        for (int tab = 0; tab < 4; ++tab)
            QCOMPARE(fixture.tabs()->tabText(tab), tab_texts.at(tab));
        auto* delete_all = window->findChild<QPushButton*>(QStringLiteral("deleteAllButton"));
        auto* close = window->findChild<QPushButton*>(QStringLiteral("closeButton"));
        QCOMPARE(delete_all->text(), QStringLiteral("すべて削除"));
        QCOMPARE(delete_all->geometry(), QRect(20, 420, 91, 23));
        QCOMPARE(close->text(), QStringLiteral("閉じる"));
        QCOMPARE(close->geometry(), QRect(342, 420, 91, 23));

        const QStringList headers = {QStringLiteral("ID"),       QStringLiteral("種類"),
                                     QStringLiteral("電話番号"), QStringLiteral("通話時間"),
                                     QStringLiteral("日付"),     QStringLiteral("選択")};
        for (const char* name :
             {"allDialogTable", "incomeDialogTable", "outgoingDialogTable", "declinedDialogTable"}) {
            QTableView* view = fixture.view(name);
            QVERIFY2(view, name);
            for (int column = 0; column < 6; ++column)
                QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(), headers.at(column));
            QVERIFY(view->isColumnHidden(0));
            QVERIFY(view->isColumnHidden(5));
            QVERIFY(!view->isColumnHidden(2));
            QCOMPARE(view->columnWidth(1), 36);
            QVERIFY(view->verticalHeader()->isHidden());
            QCOMPARE(view->verticalHeader()->defaultSectionSize(), 35);
            QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
            QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
            QCOMPARE(view->itemDelegate(), static_cast<QAbstractItemDelegate*>(window->delegate()));
        }
    }

    // A long list gets its scroll bar; with a wide desktop font every date still fits its column.
    void dates_stay_on_one_line_beside_the_scroll_bar()
    {
        const QFont desktop = QApplication::font();
        QFont wide = desktop;
        wide.setLetterSpacing(QFont::PercentageSpacing, 115);
        QApplication::setFont(wide);
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        for (int minute = 10; minute < 40; ++minute)
            window->add_history(call("1", "0312345678", QStringLiteral("2026-12-01 09:%1:59").arg(minute)));
        window->show();
        QTableView* view = fixture.view("allDialogTable");
        QTRY_VERIFY(view->verticalScrollBar()->isVisible());
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QFontMetrics type = view->fontMetrics();
        const int needed = type.horizontalAdvance(QStringLiteral("2026-12-01 09:39:59")) + 2 * margin;
        const int duration = type.horizontalAdvance(QStringLiteral("00:00:00")) + 2 * margin;
        const int outcome = type.horizontalAdvance(QStringLiteral("失敗 (503)")) + 2 * margin;
        QApplication::setFont(desktop);
        QVERIFY2(needed <= view->columnWidth(4),
                 qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(view->columnWidth(4))));
        QVERIFY(duration <= view->columnWidth(3));
        QVERIFY(outcome <= view->columnWidth(zim::HISTORY_OUTCOME));
        // In the desktop's own type a ten-digit number stays whole beside them and the scroll bar.
        HistoryFixture plain;
        HistoryWindow* plain_window = plain.open();
        for (int minute = 10; minute < 40; ++minute)
            plain_window->add_history(
                call("1", "0312345678", QStringLiteral("2026-12-01 09:%1:59").arg(minute)));
        plain_window->show();
        QTableView* plain_view = plain.view("allDialogTable");
        QTRY_VERIFY(plain_view->verticalScrollBar()->isVisible());
        const int number =
            plain_view->fontMetrics().horizontalAdvance(QStringLiteral("0312345678")) + 2 * margin;
        QVERIFY2(number <= plain_view->columnWidth(2),
                 qPrintable(QStringLiteral("%1 > %2").arg(number).arg(plain_view->columnWidth(2))));
        QVERIFY(!view->wordWrap());
    }

    // Every call kind lands in the lists it belongs to, newest first, and in the table.
    void lists_filter_by_call_kind_newest_first()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->show();
        window->add_history(call("1", "101", "2026-12-01 09:00:00"));
        window->add_history(call("2", "102", "2026-12-01 09:10:00"));
        window->add_history(call("3", "103", "2026-12-01 09:20:00", "00:00:00"));
        window->add_history(call("4", "104", "2026-12-01 09:30:00", "00:00:00"));
        window->add_history(call("5", "105", "2026-12-01 09:40:00")); // not a kind the program writes

        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"105", "104", "103", "102", "101"}));
        QCOMPARE(numbers(fixture.view("incomeDialogTable")), QStringList({"103", "101"}));
        QCOMPARE(numbers(fixture.view("outgoingDialogTable")), QStringList({"104", "102"}));
        QCOMPARE(numbers(fixture.view("declinedDialogTable")), QStringList({"103"}));
        const QAbstractItemModel* all = fixture.view("allDialogTable")->model();
        QCOMPARE(all->index(1, 3).data().toString(), QStringLiteral("00:00:00"));
        QCOMPARE(all->index(1, 4).data().toString(), QStringLiteral("2026-12-01 09:30:00"));
        QCOMPARE(stored_rows(),
                 QStringList({"1|101|00:01:05|2026-12-01 09:00:00|0", "2|102|00:01:05|2026-12-01 09:10:00|0",
                              "3|103|00:00:00|2026-12-01 09:20:00|0", "4|104|00:00:00|2026-12-01 09:30:00|0",
                              "5|105|00:01:05|2026-12-01 09:40:00|0"}));
    }

    // Calls stored by an earlier run are listed newest first when the window opens.
    void stored_history_opens_newest_first()
    {
        HistoryFixture fixture;
        QVERIFY(execute_outside({
            "INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
            "VALUES('1','301','00:00:10','2026-11-01 10:00:00','0')",
            "INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
            "VALUES('3','302','00:00:00','2026-11-01 11:00:00','0')",
            "INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
            "VALUES('2','303','00:00:20','2026-11-01 12:00:00','0')",
        }));
        HistoryWindow* window = fixture.open();
        window->show();
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"303", "302", "301"}));
        window->add_history(call("4", "304", "2026-11-01 13:00:00", "00:00:00"));
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"304", "303", "302", "301"}));
        QCOMPARE(numbers(fixture.view("outgoingDialogTable")), QStringList({"304", "303"}));
    }

    // A missed call behind many outgoing ones is still in the missed and incoming lists: the
    // lists do not stop at the part of the history that happens to be read so far.
    void old_missed_call_behind_many_others_is_listed()
    {
        HistoryFixture fixture;
        QStringList statements = {
            "INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
            "VALUES('3','999','00:00:00','2026-01-01 08:00:00','0')"};
        statements << "BEGIN";
        for (int i = 0; i < 1500; ++i)
            statements << QStringLiteral(
                              "INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
                              "VALUES('2','%1','00:00:09','2026-02-01 08:00:00','0')")
                              .arg(5000 + i);
        statements << "COMMIT";
        QVERIFY(execute_outside(statements));
        HistoryWindow* window = fixture.open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Listed as soon as the tab is turned to, without reading the calls in between.
        QCOMPARE(numbers(fixture.view("declinedDialogTable")), QStringList({"999"}));
        QCOMPARE(numbers(fixture.view("incomeDialogTable")), QStringList({"999"}));
        QCOMPARE(numbers(fixture.view("outgoingDialogTable")).value(0), QStringLiteral("6499"));
        QVERIFY(window->rows_read() < 1500);
    }

    void call_without_number_is_not_stored()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("3", QString(), "2026-12-01 09:20:00", "00:00:00"));
        QCOMPARE(fixture.view("allDialogTable")->model()->rowCount(), 0);
        QCOMPARE(stored_rows(), QStringList());
    }

    // "削除" on the second row of the 着信 list removes that call, not the second call of all.
    void delete_from_row_menu_removes_the_clicked_call()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "201", "2026-12-01 09:00:00"));
        window->add_history(call("3", "202", "2026-12-01 09:10:00", "00:00:00"));
        window->add_history(call("2", "203", "2026-12-01 09:20:00"));
        window->add_history(call("1", "204", "2026-12-01 09:30:00"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        fixture.tabs()->setCurrentIndex(1);
        QTableView* income = fixture.view("incomeDialogTable");
        QCOMPARE(numbers(income), QStringList({"204", "202", "201"}));

        PopupAnswerer answer(QStringLiteral("削除"));
        right_click(income, 1);
        QTRY_COMPARE_WITH_TIMEOUT(stored_rows().size(), 3, 5000);
        QCOMPARE(answer.popups_seen, 1);
        QCOMPARE(answer.entries, QStringList({"発信", "削除"}));
        QCOMPARE(stored_rows(),
                 QStringList({"1|201|00:01:05|2026-12-01 09:00:00|0", "2|203|00:01:05|2026-12-01 09:20:00|0",
                              "1|204|00:01:05|2026-12-01 09:30:00|0"}));
        QCOMPARE(fixture.tabs()->currentIndex(), 1); // the user stays on the list they were in
        QTRY_COMPARE(numbers(fixture.view("incomeDialogTable")), QStringList({"204", "201"}));
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"204", "203", "201"}));
        QCOMPARE(numbers(fixture.view("declinedDialogTable")), QStringList());
    }

    // A call that ends while the row menu is open shifts the rows under it: "削除" then removes
    // nothing rather than the call that moved into the clicked row.
    void call_ending_under_the_open_menu_deletes_nothing()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "901", "2026-12-01 09:00:00"));
        window->add_history(call("2", "902", "2026-12-01 09:10:00"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTableView* all = fixture.view("allDialogTable");
        PopupAnswerer answer(QStringLiteral("削除"), [&] {
            window->add_history(call("3", "903", "2026-12-01 09:20:00", "00:00:00"));
        });
        right_click(all, 1); // 901
        QTRY_COMPARE_WITH_TIMEOUT(answer.popups_seen, 1, 5000);
        QTest::qWait(100);
        QCOMPARE(stored_rows().size(), 3);
        QCOMPARE(numbers(all), QStringList({"903", "902", "901"}));
    }

    // The row menu's "発信" and a double click on a number ask the main window to call it back;
    // a double click on the duration or the date does nothing.
    void call_back_from_menu_double_click_and_return()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "401", "2026-12-01 09:00:00"));
        window->add_history(call("4", "402", "2026-12-01 09:10:00", "00:00:00"));
        window->add_history(call("3", "0312345678", "2026-12-01 09:20:00", "00:00:00"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QSignalSpy calls(window, &HistoryWindow::signal_send_call);

        QTableView* all = fixture.view("allDialogTable");
        const QAbstractItemModel* model = all->model();
        double_click(all->viewport(), all->visualRect(model->index(1, 2)).center());
        QCOMPARE(calls.count(), 1);
        QCOMPARE(calls.at(0).at(0).toString(), QStringLiteral("402"));

        double_click(all->viewport(), all->visualRect(model->index(1, 4)).center());
        double_click(all->viewport(), all->visualRect(model->index(1, 3)).center());
        QCOMPARE(calls.count(), 1);

        fixture.tabs()->setCurrentIndex(3);
        QTableView* missed = fixture.view("declinedDialogTable");
        PopupAnswerer answer(QStringLiteral("発信"));
        right_click(missed, 0);
        QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 2, 5000);
        QCOMPARE(calls.at(1).at(0).toString(), QStringLiteral("0312345678"));
        QCOMPARE(answer.popups_seen, 1);
        QCOMPARE(stored_rows().size(), 3); // calling back keeps the row

        // From the keyboard: Return calls the current row back, Escape closes the window.
        missed->setCurrentIndex(missed->model()->index(0, 4));
        QTest::keyClick(missed, Qt::Key_Return);
        QCOMPARE(calls.count(), 3);
        QCOMPARE(calls.at(2).at(0).toString(), QStringLiteral("0312345678"));
        QTest::keyClick(missed, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }

    void delete_all_asks_first()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "501", "2026-12-01 09:00:00"));
        window->add_history(call("3", "502", "2026-12-01 09:10:00", "00:00:00"));
        window->add_history(call("2", "503", "2026-12-01 09:20:00"));
        window->show();
        auto* delete_all = window->findChild<QPushButton*>(QStringLiteral("deleteAllButton"));
        const qint64 last_id = max_id();

        {
            PopupAnswerer answer(QStringLiteral("いいえ"));
            QTest::mouseClick(delete_all, Qt::LeftButton);
            QCOMPARE(answer.popups_seen, 1);
            QCOMPARE(answer.title, QStringLiteral("削除確認"));
            QCOMPARE(answer.text, QStringLiteral("すべて削除してよろしいでしょうか？"));
            QCOMPARE(answer.icon, int(QMessageBox::Question));
            QCOMPARE(answer.default_button, QStringLiteral("いいえ"));
            QVERIFY(answer.entries.contains(QStringLiteral("はい")));
            QCOMPARE(answer.entries.size(), 2);
        }
        QCOMPARE(stored_rows().size(), 3);
        QCOMPARE(numbers(fixture.view("allDialogTable")).size(), 3);
        QVERIFY(!QApplication::quitOnLastWindowClosed());

        {
            PopupAnswerer answer(QStringLiteral("はい"));
            QTest::mouseClick(delete_all, Qt::LeftButton);
            QCOMPARE(answer.popups_seen, 1);
        }
        QCOMPARE(stored_rows(), QStringList());
        for (const char* name :
             {"allDialogTable", "incomeDialogTable", "outgoingDialogTable", "declinedDialogTable"})
            QCOMPARE(numbers(fixture.view(name)), QStringList());

        // The next call is stored normally, with a new Id.
        window->add_history(call("4", "504", "2026-12-01 10:00:00", "00:00:00"));
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"504"}));
        QCOMPARE(max_id(), last_id + 1);
    }

    // A store that refuses the row: the call is written to the log with the driver's reason
    // (and its details), and the lists show what the table holds.
    void refused_insert_is_logged()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "601", "2026-12-01 09:00:00"));
        QVERIFY(execute_outside({"CREATE TRIGGER refuse_insert BEFORE INSERT ON history "
                                 "BEGIN SELECT RAISE(ABORT, 'history store refuses rows'); END"}));
        window->add_history(call("3", "602", "2026-12-01 09:10:00", "00:00:00"));

        const QString log = read_text_file(ZimLogger::log_path());
        QVERIFY2(log.contains(QStringLiteral("history store refuses rows")), qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("602")));
        QVERIFY(log.contains(QStringLiteral("2026-12-01 09:10:00")));
        QCOMPARE(stored_rows().size(), 1);
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"601"}));
        QCOMPARE(numbers(fixture.view("declinedDialogTable")), QStringList());
    }

    void refused_removal_is_logged()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->add_history(call("1", "701", "2026-12-01 09:00:00"));
        window->add_history(call("2", "702", "2026-12-01 09:10:00"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(execute_outside({"CREATE TRIGGER refuse_delete BEFORE DELETE ON history "
                                 "BEGIN SELECT RAISE(ABORT, 'history rows are kept'); END"}));
        PopupAnswerer answer(QStringLiteral("削除"));
        right_click(fixture.view("allDialogTable"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            read_text_file(ZimLogger::log_path()).contains(QStringLiteral("history rows are kept")), 5000);
        QCOMPARE(stored_rows().size(), 2);
        QCOMPARE(numbers(fixture.view("allDialogTable")), QStringList({"702", "701"}));
    }

    void closing_hides()
    {
        HistoryFixture fixture;
        HistoryWindow* window = fixture.open();
        window->show();
        QVERIFY(window->isVisible());
        QVERIFY(!window->close()); // the close is ignored: the window lives on
        QVERIFY(window->isHidden());
        window->show();
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
        QVERIFY(window->isHidden());
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "test_historywindow.moc"
