#include "app/calllink.h"

#include <QtTest>

// The numbers the desktop's call links dial, and which commands count as a dial.
class TestCallLink : public QObject
{
    Q_OBJECT

private slots:
    void link_number_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("number"); // "-" for no link
        QTest::newRow("sip") << "sip:201@pbx.example.com"
                             << "201";
        QTest::newRow("sips, port and parameters") << "sips:201@pbx.example.com:5061;transport=tls"
                                                   << "201";
        QTest::newRow("upper-case scheme, password") << "SIP:alice:pw@pbx.example.com"
                                                     << "alice";
        QTest::newRow("phone user part") << "sip:+81-3-1234-5678@gw.example.com;user=phone"
                                         << "+81312345678";
        QTest::newRow("escaped user") << "sip:%32%30%31@pbx.example.com?subject=x"
                                      << "201";
        QTest::newRow("no host") << "sip:201"
                                 << "201";
        QTest::newRow("tel") << "tel:+81-3-1234-5678"
                             << "+81312345678";
        QTest::newRow("tel separators") << "tel:(03).1234-5678;phone-context=example.com"
                                        << "0312345678";
        QTest::newRow("empty") << "sip:@pbx.example.com"
                               << "";
        QTest::newRow("callto") << "callto://201"
                                << "-";
        QTest::newRow("client link") << "vlclient:call:201"
                                     << "-";
        QTest::newRow("plain form with a sip target") << "blindtransfer&sip:300@127.0.0.1:9"
                                                      << "-";
    }
    void link_number()
    {
        QFETCH(QString, command);
        QFETCH(QString, number);
        const auto found = zim::link_number(command);
        QCOMPARE(found.value_or(QStringLiteral("-")), number);
    }

    void dial_commands()
    {
        for (const char* dial : {"callto:201", "sip:201@h", "tel:201", "call&201", "vlclient:call:201"})
            QVERIFY2(zim::is_dial_command(QString::fromLatin1(dial)), dial);
        for (const char* other : {"hangup", "answer", "transfer&201", "vlclient:hold", "sip:@h"})
            QVERIFY2(!zim::is_dial_command(QString::fromLatin1(other)), other);
    }
};

QTEST_APPLESS_MAIN(TestCallLink)
#include "test_calllink.moc"
