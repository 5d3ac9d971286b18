// Draws the README's pictures of the main window, the incoming-call popup, the history window and
// 内線状態 from the real widgets:  shots_main <output-dir>
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/testdir.h"
#include "ui/colleagues/colleagueswindow.h"
#include "ui/history/historywindow.h"
#include "ui/main/dialogincommingwindow.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

static void save(QWidget* widget, const QString& path)
{
    QTest::qWait(300);
    widget->grab().save(path);
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    init_images();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    TestAppDir dir;
    qputenv("HOME", dir.path().toUtf8());
    dir.make_log_dir();
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        data.save_account_settings({{"userId", "201"}});
        data.save_other_settings(
            {{"colleagues", "佐藤 (主任),200\n鈴木,202\n高橋,203\n田中,204\n伊藤,205\n受付,100"}});
    }
    MainWindow window;
    window.show();
    const MainWindowForm& ui = window.form();
    save(&window, out + QStringLiteral("/main-idle.png"));

    window.slot_phone_registration_state_change(QStringLiteral("sucessful"), QStringLiteral("201"));
    window.slot_update_dialog_status(QStringLiteral("ダイヤルできます"));
    QTest::keyClicks(&window, QStringLiteral("0312345678"));
    save(&window, out + QStringLiteral("/main-typing.png"));

    window.slot_update_dialog_status(QStringLiteral("録音中"));
    window.slot_set_phone_number(QStringLiteral("0312345678"));
    ui.callerNameLabel->setText(QStringLiteral("山田 太郎"));
    ui.dialogTime->setText(QStringLiteral("00:01:23"));
    ui.muteButton->show(); // as during a connected call; the picture has no engine call
    ui.recordButton->show();
    ui.recordButton->setChecked(true); // the call records
    ui.deleteButton->hide();
    save(&window, out + QStringLiteral("/main-in-call.png"));
    ui.callerNameLabel->clear();
    ui.recordButton->hide();

    DialogIncommingWindow popup(&window, window.phone());
    popup.set_caller_name(QStringLiteral("山田 太郎"));
    popup.show();
    QTest::qWait(100);
    if (auto* number = popup.findChild<QLabel*>(QStringLiteral("phoneNumber")))
        number->setText(QStringLiteral("0312345678 から着信中・・・"));
    save(&popup, out + QStringLiteral("/incoming-popup.png"));

    HistoryWindow* history = window.history_window();
    const struct
    {
        const char* status;
        const char* number;
        const char* time;
        const char* date;
        const char* outcome;
        const char* code;
        const char* loss;
        const char* rating;
    } rows[] = {{"2", "0312345678", "00:04:12", "2026-12-07 09:12:40", "answered", "", "0.2", "4.4"},
                {"3", "0459876543", "00:00:00", "2026-12-07 09:40:02", "missed", "", "", ""},
                {"1", "0661112222", "00:11:05", "2026-12-07 10:03:51", "answered", "", "9.8", "3.3"},
                {"4", "201", "00:00:00", "2026-12-07 10:30:17", "busy", "486", "", ""},
                {"4", "0455556666", "00:00:00", "2026-12-07 10:41:30", "failed", "503", "", ""},
                {"1", "0312345678", "00:02:48", "2026-12-07 11:15:09", "transferred", "", "0.4", "4.3"}};
    // The first call was recorded: its file is there, so its row carries the mark.
    const QString recording = dir.path() + QStringLiteral("/data/20261207-090828_0312345678.wav");
    QFile(recording).open(QIODevice::WriteOnly);
    for (const auto& row : rows)
        history->add_history({{"recording", &row == rows ? recording : QString()},
                              {"status", row.status},
                              {"phoneNumber", row.number},
                              {"dialogTime", row.time},
                              {"dialogDate", row.date},
                              {"deleteFlg", "0"},
                              {"outcome", row.outcome},
                              {"sipCode", row.code},
                              {"lossReceived", row.loss},
                              {"rating", row.rating}});
    history->show();
    save(history, out + QStringLiteral("/history.png"));

    // The lamps as the server tells them; the reception's line is one the server will not watch.
    ColleaguesWindow* colleagues = window.colleagues();
    const QList<QPair<const char*, int>> lamps = {{"200", 3}, {"202", 1}, {"203", 2}, {"204", 1}, {"205", 3}};
    for (const auto& lamp : lamps)
        colleagues->slot_colleague_lamp(QString::fromLatin1(lamp.first), lamp.second, QString(), false);
    colleagues->slot_colleague_lamp(QStringLiteral("100"), 0,
                                    QStringLiteral("サーバーが拒否しました (403 Forbidden)"), false);
    colleagues->show();
    save(colleagues, out + QStringLiteral("/colleagues.png"));
    return 0;
}
