// What a dialog-state document says about a colleague's line, from bodies a server may send.

#include "phone/dialoginfo.h"

#include <QtTest>

namespace {
QByteArray document(const QByteArray& state, const QByteArray& dialogs)
{
    return "<?xml version=\"1.0\"?>\n<dialog-info xmlns=\"urn:ietf:params:xml:ns:dialog-info\" version=\"1\" "
           "state=\"" +
           state + "\" entity=\"sip:201@pbx.example.com\">" + dialogs + "</dialog-info>";
}
QByteArray dialog(const QByteArray& id, const QByteArray& direction, const QByteArray& state)
{
    return "<dialog id=\"" + id + "\" call-id=\"c-" + id +
           "\" local-tag=\"L\" remote-tag=\"R\" direction=\"" + direction + "\"><state>" + state +
           "</state><remote><identity>sip:301@pbx</identity></remote></dialog>";
}
} // namespace

class TestDialogInfo : public QObject
{
    Q_OBJECT
private slots:
    // Talking outranks ringing, a call out is busy too, and partial documents update by dialog.
    void lamps_follow_full_and_partial_documents()
    {
        DialogInfo line, update;
        QString error;
        QVERIFY(DialogInfo::parse(document("full", dialog("a", "recipient", "early")), &update, &error));
        line.take(update);
        QCOMPARE(line.lamp(), Lamp::Ringing);
        QVERIFY(line.ringing_dialog() && line.ringing_dialog()->call_id == QStringLiteral("c-a"));
        QVERIFY(
            DialogInfo::parse(document("partial", dialog("b", "recipient", "confirmed")), &update, &error));
        line.take(update);
        QCOMPARE(line.lamp(), Lamp::Busy); // a second call while one rings
        QVERIFY(!line.ringing_dialog());
        QVERIFY(
            DialogInfo::parse(document("partial", dialog("b", "recipient", "terminated")), &update, &error));
        line.take(update);
        QCOMPARE(line.lamp(), Lamp::Ringing);
        QVERIFY(DialogInfo::parse(document("full", dialog("c", "initiator", "trying")), &update, &error));
        line.take(update);
        QCOMPARE(line.lamp(), Lamp::Busy);
        QVERIFY(DialogInfo::parse(document("full", ""), &update, &error));
        line.take(update);
        QCOMPARE(line.lamp(), Lamp::Free);
        QVERIFY(line.names("201") && !line.names("20"));
    }

    // Bodies that say nothing sound are refused with a reason, and leave the result alone.
    void bad_bodies_are_refused()
    {
        DialogInfo kept;
        kept.entity = QStringLiteral("kept");
        QString error;
        QVERIFY(!DialogInfo::parse(document("full", dialog("a", "recipient", "early")).chopped(8), &kept,
                                   &error));
        QVERIFY(error.contains("does not parse"));
        QVERIFY(!DialogInfo::parse("<presence/>", &kept, &error));
        QByteArray huge = document("full", QByteArray(DialogInfo::MAX_BODY, ' '));
        QVERIFY(!DialogInfo::parse(huge, &kept, &error));
        QVERIFY(error.contains("over the limit"));
        QCOMPARE(kept.entity, QStringLiteral("kept"));
    }
};

QTEST_GUILESS_MAIN(TestDialogInfo)
#include "tst_dialoginfo.moc"
