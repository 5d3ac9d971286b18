// The whole program as an operator meets it: the real executable under X, registered at a sipp
// registrar on 127.0.0.1, driven by later starts of the program and by real clicks on its
// windows, calling and called by sipp peers. The history rows land in its own database.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "support/kamailiorunner.h"
#include "support/programrunner.h"
#include "support/sipprunner.h"
#include "support/tonepcap.h"
#include "support/wavfile.h"
#include "support/xdotool.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

struct HistoryRow
{
    QString status, number, duration, outcome; // outcome as "word/SIP code"
};

QList<HistoryRow> history_rows(const QString& app_dir)
{
    QList<HistoryRow> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("history"));
        db.setDatabaseName(app_dir + QStringLiteral("/data/zimpdata"));
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral(
                "SELECT Status, PhoneNumber, DialogTime, Outcome, SipCode FROM history ORDER BY Id"));
            while (query.next())
                rows.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                             query.value(3).toString() + QLatin1Char('/') + query.value(4).toString()});
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("history"));
    return rows;
}

// Clicks at a point of the screen, as a person with a mouse would.
bool click_screen(int x, int y)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                    QStringLiteral("click"), QStringLiteral("1")});
}

// The desktop as a window manager with a top and a left panel would announce it; set while the
// program is connected, so the X server keeps it, and removed at the end.
QRect panel_free_area()
{
    QString geometry;
    xdotool({QStringLiteral("getdisplaygeometry")}, &geometry);
    const QStringList size = geometry.split(QLatin1Char(' '));
    return QRect(50, 30, size.value(0).toInt() - 50, size.value(1).toInt() - 70);
}

bool announce_work_area(const QRect& area)
{
    QStringList arguments = {QStringLiteral("-root")};
    if (area.isNull())
        arguments << QStringLiteral("-remove") << QStringLiteral("_NET_WORKAREA");
    else
        arguments << QStringLiteral("-f") << QStringLiteral("_NET_WORKAREA") << QStringLiteral("32cccc")
                  << QStringLiteral("-set") << QStringLiteral("_NET_WORKAREA")
                  << QStringLiteral("%1, %2, %3, %4")
                         .arg(area.x())
                         .arg(area.y())
                         .arg(area.width())
                         .arg(area.height());
    return QProcess::execute(QStringLiteral("xprop"), arguments) == 0;
}

// The incoming-call popup sits at the bottom right of the work area (448 x 204); its call and
// hang-up keys share a row 60..361 wide at height 102..153 of a frame placed at (10, 30).
QPoint popup_key(bool answer)
{
    const QRect area = panel_free_area();
    const int x = area.right() + 1 - 448 + 10 + 60 + (answer ? 75 : 226);
    const int y = area.bottom() + 1 - 204 + 30 + 102 + 25;
    return QPoint(x, y);
}

} // namespace

class TestProgramCalls : public QObject
{
    Q_OBJECT

    ProgramRunner* runner = nullptr;
    KamailioRunner* registrar = nullptr;
    int program_port = 0;

    bool wait_rows(int count, int timeout_ms = 20000)
    {
        QDeadlineTimer deadline(timeout_ms);
        while (!deadline.hasExpired()) {
            if (history_rows(runner->dir()).size() >= count)
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    QString recording_of_last_row() const
    {
        QString path;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("recording"));
            db.setDatabaseName(runner->dir() + QStringLiteral("/data/zimpdata"));
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("SELECT Recording FROM history ORDER BY Id DESC LIMIT 1")) &&
                    query.next())
                    path = query.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("recording"));
        return path;
    }
    // Callers reach the program through its server, as on a real desk.
    QString server_address() const { return QStringLiteral("127.0.0.1:%1").arg(registrar->port()); }
    QString program_address() const { return QStringLiteral("127.0.0.1:%1").arg(program_port); }
    void command(const QStringList& args) { QCOMPARE(runner->run_messenger(args), 0); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        registrar = new KamailioRunner;
        QVERIFY(registrar->start());

        runner = new ProgramRunner;
        zim::set_app_dir_for_tests(runner->dir());
        zim::make_private_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"address", "127.0.0.1"},
                                                {"port", QString::number(registrar->port())},
                                                {"userId", "100"},
                                                {"password", "secret"}}));
        }
        zim::set_app_dir_for_tests(QString());
        QVERIFY(runner->start_first());

        // The program's own SIP port, from the contact it registered.
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && program_port == 0) {
            program_port = registrar->registered_port(QStringLiteral("100"));
            QTest::qWait(100);
        }
        QVERIFY2(program_port > 0, qPrintable(registrar->log()));
        // Panels on the desktop: the popup has to keep clear of them.
        QVERIFY(announce_work_area(panel_free_area()));
    }

    void cleanupTestCase()
    {
        announce_work_area(QRect());
        delete runner;
        delete registrar;
    }

    void outgoing_call_answered_lands_as_status_2_with_a_duration()
    {
        SippRunner callee(QStringLiteral("uas_answer_then_bye.xml"));
        callee.add_arguments({"-d", "2500"});
        QVERIFY(callee.start());
        const int before = history_rows(runner->dir()).size();
        command({QStringLiteral("call&") + callee.number()});
        QVERIFY2(callee.wait_finished(20000), qPrintable(callee.output()));
        QCOMPARE(callee.exit_code(), 0);
        QVERIFY(wait_rows(before + 1));
        const HistoryRow row = history_rows(runner->dir()).last();
        QCOMPARE(row.status, QStringLiteral("2"));
        QCOMPARE(row.outcome, QStringLiteral("answered/"));
        QCOMPARE(row.number, callee.number());
        QVERIFY2(row.duration >= QStringLiteral("00:00:02") && row.duration <= QStringLiteral("00:00:05"),
                 qPrintable(row.duration));
        const auto invite = callee.received_requests(QStringLiteral("INVITE")).first();
        QVERIFY(invite.header(QStringLiteral("From")).contains(QStringLiteral("sip:100@127.0.0.1")));
    }

    void outgoing_call_refused_lands_as_status_4()
    {
        SippRunner callee(QStringLiteral("uas_busy.xml"));
        QVERIFY(callee.start());
        const int before = history_rows(runner->dir()).size();
        command({QStringLiteral("call&") + callee.number()});
        QVERIFY(callee.wait_finished(20000));
        QVERIFY(wait_rows(before + 1));
        const HistoryRow row = history_rows(runner->dir()).last();
        QCOMPARE(row.status, QStringLiteral("4"));
        QCOMPARE(row.duration, QStringLiteral("00:00:00"));
        QCOMPARE(row.outcome, QStringLiteral("busy/486"));
    }

    // Only the server rings the phone: an INVITE sent straight to its port, even one from the
    // operator's own extension (answered at once when the server brings it), gets 403 and leaves
    // no trace; the ACK for that 403 gets no answer (the library, which never saw the INVITE,
    // answered it with 405).
    void invite_past_the_server_is_refused()
    {
        SippRunner caller(QStringLiteral("uac_hostile_invite.xml"), program_address());
        caller.add_arguments({"-s", "100", "-key", "from_name", "Forged", "-key", "from_user", "100", "-key",
                              "extra_header", "X-A: 1", "-key", "content_type", "application/sdp", "-key",
                              "sdp", "", "-d", "1000"});
        const int before = history_rows(runner->dir()).size();
        QVERIFY(caller.start());
        QVERIFY2(caller.wait_finished(20000), qPrintable(caller.output()));
        QStringList answers;
        for (const SippRunner::Message& message : caller.messages()) {
            if (message.received)
                answers << message.first_line();
        }
        // Over UDP a busy machine may let sipp send the INVITE again before the answer arrives;
        // each copy gets the same 403, never anything else.
        QVERIFY2(!answers.isEmpty(), qPrintable(caller.output()));
        answers.removeDuplicates();
        QVERIFY2(answers == QStringList({"SIP/2.0 403 Forbidden"}), qPrintable(answers.join(" | ")));
        QTest::qWait(500);
        QCOMPARE(history_rows(runner->dir()).size(), before);
        QVERIFY(runner->log_text().contains(
            QStringLiteral("call refused: the INVITE came from 127.0.0.1:%1,").arg(caller.port())));
    }

    void incoming_call_answered_from_the_popup()
    {
        SippRunner caller(QStringLiteral("uac_call_answered.xml"), server_address());
        caller.add_arguments({"-s", "100"});
        const int before = history_rows(runner->dir()).size();
        QVERIFY(caller.start());
        QTest::qWait(1500); // the popup slides in while the call rings
        const QPoint key = popup_key(true);
        QVERIFY(click_screen(key.x(), key.y()));
        QVERIFY2(caller.wait_finished(30000), qPrintable(caller.output() + runner->log_text()));
        QCOMPARE(caller.exit_code(), 0);
        QVERIFY(wait_rows(before + 1));
        const HistoryRow row = history_rows(runner->dir()).last();
        QCOMPARE(row.status, QStringLiteral("1"));
        QVERIFY(row.number.contains(QStringLiteral("201")));
        QVERIFY(row.duration != QStringLiteral("00:00:00"));
    }

    void incoming_call_rejected_from_the_popup_lands_as_status_3()
    {
        SippRunner caller(QStringLiteral("uac_call_refused.xml"), server_address());
        caller.add_arguments({"-s", "100"});
        const int before = history_rows(runner->dir()).size();
        QVERIFY(caller.start());
        QTest::qWait(1500);
        const QPoint key = popup_key(false);
        QVERIFY(click_screen(key.x(), key.y()));
        QVERIFY2(caller.wait_finished(30000), qPrintable(caller.output()));
        QCOMPARE(caller.exit_code(), 0); // it was refused with 486
        QVERIFY(wait_rows(before + 1));
        const HistoryRow row = history_rows(runner->dir()).last();
        QCOMPARE(row.status, QStringLiteral("3"));
        QCOMPARE(row.duration, QStringLiteral("00:00:00"));
        QCOMPARE(row.outcome, QStringLiteral("rejected/"));
    }

    // A caller reaches the phone directly; the operator holds, resumes and hands the call on.
    void hold_unhold_and_blind_transfer_by_commands()
    {
        SippRunner caller(QStringLiteral("caller_served.xml"), server_address());
        caller.add_arguments({"-s", "100"});
        const int before = history_rows(runner->dir()).size();
        QVERIFY(caller.start());
        QTest::qWait(1000);
        command({QStringLiteral("answer")});
        QTest::qWait(1500);
        command({QStringLiteral("hold")});
        QTest::qWait(1500);
        command({QStringLiteral("hold")}); // already on hold: nothing
        command({QStringLiteral("unhold")});
        QTest::qWait(1500);
        command({QStringLiteral("blindtransfer"), QStringLiteral("300")});
        QVERIFY2(caller.wait_finished(20000), qPrintable(caller.output() + runner->log_text()));
        QCOMPARE(caller.exit_code(), 0);

        const auto invites = caller.received_requests(QStringLiteral("INVITE"));
        QCOMPARE(invites.size(), 2); // hold, resume: the second "hold" sent nothing
        QVERIFY(invites.at(0).body().contains(QRegularExpression(QStringLiteral("a=(sendonly|inactive)"))));
        // Resumed: both directions again (sendrecv is also what no direction attribute means).
        QVERIFY(!invites.at(1).body().contains(
            QRegularExpression(QStringLiteral("a=(sendonly|inactive|recvonly)"))));
        const auto refers = caller.received_requests(QStringLiteral("REFER"));
        QCOMPARE(refers.size(), 1);
        QVERIFY(refers.first()
                    .header(QStringLiteral("Refer-To"))
                    .contains(QStringLiteral("sip:300@127.0.0.1:%1").arg(registrar->port())));
        // The transferred call keeps one row, answered, and it lands before the next case reads.
        QVERIFY(wait_rows(before + 1));
        QTest::qWait(500);
        const QList<HistoryRow> rows = history_rows(runner->dir()).mid(before);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().status, QStringLiteral("1"));
    }

    // A CRM's link the phone refuses: nothing is dialled, and the later start says so by its exit
    // code and one line, so the CRM can tell.
    void refused_link_exits_non_zero_with_one_line()
    {
        QString errors;
        QCOMPARE(runner->run_messenger({QStringLiteral("sip:20%3B1@pbx")}, 30000, &errors), 3);
        QCOMPARE(errors.trimmed().count(QLatin1Char('\n')), 0);
        QVERIFY2(errors.contains(QStringLiteral("refused")), qPrintable(errors));
    }

    // Last: it ends the program. SIGTERM during a call does what the confirmed exit does; with the
    // call on hold its music and the hang-up cue end in the teardown, which once read the history
    // window after it was gone (the sanitizer build reports that as a failed exit).
    void termination_signal_hangs_up_records_unregisters_and_exits_0()
    {
        SippRunner caller(QStringLiteral("caller_served.xml"), server_address());
        caller.add_arguments({"-s", "100"});
        const int before = history_rows(runner->dir()).size();
        QVERIFY(caller.start());
        QTest::qWait(1000);
        command({QStringLiteral("answer")});
        QTest::qWait(1500);
        command({QStringLiteral("record")});
        QTest::qWait(1000);
        command({QStringLiteral("hold")});
        QTest::qWait(1000);

        runner->first()->terminate();
        QVERIFY(runner->first()->waitForFinished(10000));
        QCOMPARE(runner->first()->exitStatus(), QProcess::NormalExit);
        QCOMPARE(runner->first()->exitCode(), 0);
        QVERIFY(caller.wait_finished(5000));
        QCOMPARE(caller.received_requests(QStringLiteral("BYE")).size(), 1);
        const QList<HistoryRow> rows = history_rows(runner->dir()).mid(before);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().status, QStringLiteral("1"));
        const auto registrations = registrar->registrations();
        QVERIFY(!registrations.isEmpty() && registrations.last().removal);
        QCOMPARE(registrar->contacts(QStringLiteral("100")), QStringList());
        // The call's recording was closed whole on the way out, and its row knows it. (A call on
        // hold adds nothing to its recording: the library mixes no sound while it is held.)
        const WavFile wav = read_wav(recording_of_last_row());
        QVERIFY2(wav.sizes_right && wav.seconds() >= 0.8, qPrintable(QString::number(wav.seconds())));
    }

    // A program killed while it records leaves the recording readable: its next start sets the
    // sizes the writer never wrote.
    void recording_of_a_killed_program_is_readable_after_the_next_start()
    {
        QVERIFY(runner->start_first());
        QDeadlineTimer registered(20000);
        while (registrar->contacts(QStringLiteral("100")).isEmpty() && !registered.hasExpired())
            QTest::qWait(100);
        const int recordings_before = runner->log_text().count(QStringLiteral("recording: "));
        SippRunner caller(QStringLiteral("uac_call_plays_tone.xml"), server_address());
        QVERIFY(write_tone_pcap(caller.work_dir() + QStringLiteral("/tone.pcap"), 20));
        caller.add_arguments({"-s", "100", "-d", "15000"});
        QVERIFY(caller.start());
        QTest::qWait(1500);
        command({QStringLiteral("answer")});
        QTest::qWait(1000);
        command({QStringLiteral("record")});
        QTRY_VERIFY_WITH_TIMEOUT(runner->log_text().count(QStringLiteral("recording: ")) > recordings_before,
                                 5000);
        QTest::qWait(3000);
        runner->kill_first();
        const QString log = runner->log_text();
        const int at = log.lastIndexOf(QStringLiteral("recording: ")) + 11;
        const QString path = log.mid(at, log.indexOf(QLatin1Char('\n'), at) - at).trimmed();
        QVERIFY2(!read_wav(path).sizes_right, qPrintable(path)); // what the kill left
        caller.stop();

        QVERIFY(runner->start_first());
        QVERIFY(runner->wait_for_log(QStringLiteral("recordings left open by an earlier run repaired: 1")));
        const WavFile wav = read_wav(path);
        QVERIFY(wav.sizes_right);
        QVERIFY2(wav.seconds() >= 2, qPrintable(QString::number(wav.seconds())));
        QVERIFY2(wav.loudest_in_second_half(400) > -20,
                 qPrintable(QString::number(wav.loudest_in_second_half(400))));
        runner->stop_first();
    }
};

QTEST_GUILESS_MAIN(TestProgramCalls)
#include "test_program_calls.moc"
