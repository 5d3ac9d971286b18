// Colleagues' lamps from a real dialog-state server: Kamailio with its presence modules follows the
// colleagues' calls it forwards and tells the phone's subscriptions; a colleague's own phone that
// serves its dialog state sends what a faulty server might.

#include "data/colleagues.h"
#include "data/zimlogger.h"
#include "enginefixture.h"
#include "phone/colleaguewatch.h"
#include "support/kamailiorunner.h"
#include "support/peercore.h"
#include "support/sipprunner.h"
#include "support/testdir.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Every lamp the watch showed, per extension, as "空き"-style words without repeats.
struct LampLog
{
    QMap<QString, QStringList> lamps;
    QMap<QString, QString> reasons;
    QMap<QString, bool> pickup;
    void take(const QString& extension, int lamp, const QString& reason, bool can_pick_up)
    {
        static const char* words[] = {"unknown", "free", "ringing", "busy"};
        if (last(extension) != QLatin1String(words[lamp]))
            lamps[extension].append(QString::fromLatin1(words[lamp]));
        reasons[extension] = reason;
        pickup[extension] = can_pick_up;
    }
    QString last(const QString& extension) const
    {
        return lamps.value(extension).value(lamps.value(extension).size() - 1);
    }
};

bool start_desk(EngineFixture& fixture, KamailioRunner& server, const QList<Colleague>& list, LampLog& log)
{
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    fixture.set_other({{colleagues::KEY, colleagues::to_text(list)}});
    ZimPhone* phone = fixture.start();
    QObject::connect(phone->colleague_watch(), &ColleagueWatch::signal_colleague_lamp, &fixture,
                     [&log](QString extension, int lamp, QString reason, bool pickup) {
                         log.take(extension, lamp, reason, pickup);
                     });
    return fixture.wait_for("registration:sucessful/1001", 15000);
}

} // namespace

class TestColleagues : public QObject
{
    Q_OBJECT
private slots:
    // Two colleagues' calls through the server turn their lamps ringing, busy and free again; a
    // colleague the server refuses to watch stays unknown with the server's reason.
    void lamps_follow_colleagues_calls_through_the_server()
    {
        KamailioRunner server;
        server.define(QStringLiteral("WITH_PRESENCE"));
        QVERIFY(server.start());
        SippRunner ringing_desk(QStringLiteral("uas_ring_until_cancel.xml"));
        SippRunner talking_desk(QStringLiteral("uas_behind_proxy.xml"));
        QVERIFY(ringing_desk.start() && talking_desk.start());
        const QString a = ringing_desk.number(), b = talking_desk.number();
        EngineFixture fixture;
        LampLog log;
        QVERIFY2(start_desk(fixture, server, {{"佐藤", a}, {"鈴木", b}, {"拒否", "489001"}}, log),
                 qPrintable(fixture.dump()));
        QTRY_COMPARE_WITH_TIMEOUT(log.last(a), QStringLiteral("free"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(log.last(b), QStringLiteral("free"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(log.reasons.value("489001").contains("489"), 10000);
        QCOMPARE(log.last("489001"), QStringLiteral("unknown"));

        const QString server_address = QStringLiteral("127.0.0.1:%1").arg(server.port());
        SippRunner caller_a(QStringLiteral("uac_cancel_after_ring.xml"), server_address);
        caller_a.add_arguments({"-s", a, "-d", "3000"});
        QVERIFY(caller_a.start());
        QTRY_COMPARE_WITH_TIMEOUT(log.last(a), QStringLiteral("ringing"), 10000);
        QVERIFY(log.pickup.value(a)); // the server named the ringing call
        QTRY_COMPARE_WITH_TIMEOUT(log.last(a), QStringLiteral("free"), 15000);

        SippRunner caller_b(QStringLiteral("uac_call_through_proxy.xml"), server_address);
        caller_b.add_arguments({"-s", b, "-d", "2000"});
        QVERIFY(caller_b.start());
        QTRY_COMPARE_WITH_TIMEOUT(log.last(b), QStringLiteral("busy"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(log.last(b), QStringLiteral("free"), 15000);
        QVERIFY2(caller_b.wait_finished(10000) && caller_b.exit_code() == 0, qPrintable(caller_b.output()));
        QCOMPARE(log.lamps.value(b).filter("busy").size(), 1);
    }

    // A NOTIFY whose body is cut short, or that names another line, changes nothing and is logged;
    // one for a dialog the phone never subscribed gets 481; at stop the subscription ends with
    // Expires 0 (the colleague's scenario checks the last two).
    void bad_notifies_change_nothing_and_the_subscription_ends_at_stop()
    {
        KamailioRunner server;
        server.define(QStringLiteral("WITH_PRESENCE"));
        QVERIFY(server.start());
        SippRunner desk(QStringLiteral("uas_serves_dialog_state.xml"));
        QVERIFY(desk.start());
        const QString extension = QStringLiteral("8%1").arg(desk.port(), 5, 10, QLatin1Char('0'));
        EngineFixture fixture;
        LampLog log;
        QVERIFY2(start_desk(fixture, server, {{"田中", extension}}, log), qPrintable(fixture.dump()));
        const auto trace = [&desk] {
            QStringList lines;
            for (const SippRunner::Message& message : desk.messages())
                lines << (message.received ? "<- " : "-> ") + message.first_line().left(30) + " " +
                             message.header("CSeq") + " " + message.header("Call-ID").left(12) + " " +
                             message.header("Subscription-State");
            return lines.join('\n');
        };
        QTRY_VERIFY2_WITH_TIMEOUT(log.last(extension) == QStringLiteral("busy"), qPrintable(trace()), 15000);
        QCOMPARE(log.lamps.value(extension), QStringList({"unknown", "ringing", "busy"}));
        QVERIFY(fixture.stop());
        QVERIFY2(desk.wait_finished(10000) && desk.exit_code() == 0, qPrintable(trace()));
        QCOMPARE(desk.received_requests("SUBSCRIBE").last().header("Expires"), QStringLiteral("0"));
        const QString text = read_text_file(ZimLogger::log_path());
        QVERIFY2(text.contains("does not parse") && text.contains("names another line"),
                 qPrintable(text.right(3000)));
    }

    // A call ringing at a colleague's is taken over: the phone's INVITE names the ringing dialog
    // (Replaces), the caller's call goes on with the phone and the colleague's ringing stops.
    void a_colleagues_ringing_call_is_picked_up()
    {
        KamailioRunner server;
        server.define(QStringLiteral("WITH_PRESENCE"));
        QVERIFY(server.start());
        SippRunner desk(QStringLiteral("uas_ring_until_cancel.xml"));
        QVERIFY(desk.start());
        EngineFixture fixture;
        LampLog log;
        QVERIFY2(start_desk(fixture, server, {{"佐藤", desk.number()}}, log), qPrintable(fixture.dump()));
        QTRY_COMPARE_WITH_TIMEOUT(log.last(desk.number()), QStringLiteral("free"), 10000);
        PeerCore caller;
        caller.dial(QStringLiteral("sip:%1@127.0.0.1:%2").arg(desk.number()).arg(server.port()));
        QTRY_VERIFY_WITH_TIMEOUT(log.pickup.value(desk.number()), 10000);
        fixture.phone()->request_pickup(desk.number());
        QTRY_VERIFY2_WITH_TIMEOUT(fixture.phone()->is_current_streaming(), qPrintable(fixture.dump()), 15000);
        QVERIFY2(desk.wait_finished(10000) && desk.exit_code() == 0, qPrintable(desk.output()));
        QTRY_COMPARE_WITH_TIMEOUT(caller.active_calls(), 1, 5000);
        QCOMPARE(caller.calls_received, 1);
        // The caller's SIP library ends an unanswered call of its own for any call it answers, so
        // only the INVITE tells a pickup from a plain call.
        const QRegularExpression replaces(
            QStringLiteral("INVITE to \\S+ replaces [^;]+;to-tag=[^;]+;from-tag=[^;]+;early-only"));
        QVERIFY2(replaces.match(server.log()).hasMatch(), qPrintable(server.log().right(2000)));
    }
};

QTEST_GUILESS_MAIN(TestColleagues)
#include "tst_colleagues.moc"
