#include "phone/calllink.h"

#include <QtTest>

// The numbers the desktop's call links dial, and which commands count as a dial.
class TestCallLink : public QObject
{
    Q_OBJECT

private slots:
    void links_dial_their_number()
    {
        const QList<QPair<const char*, const char*>> cases = {
            {"sip:201@pbx.example.com", "201"},
            {"SIPS:alice:pw@pbx.example.com:5061;transport=tls", "alice"},
            {"sip:+81-3-1234-5678@gw.example.com;user=phone", "+81312345678"},
            {"sip:%32%30%31@pbx.example.com?subject=x", "201"},
            {"tel:+81-3-1234-5678", "+81312345678"},
            {"tel:(03).1234-5678;phone-context=example.com", "0312345678"},
            {"sip:@pbx.example.com", ""},
            // not links of these schemes: handled as before
            {"callto://201", "-"},
            {"blindtransfer&sip:300@127.0.0.1:9", "-"}};
        for (const auto& c : cases)
            QCOMPARE(zim::link_number(QString::fromUtf8(c.first)).value_or(QStringLiteral("-")),
                     QString::fromUtf8(c.second));
        for (const char* dial : {"callto:201", "sip:201@h", "tel:201", "call&201", "vlclient:call:201"})
            QVERIFY2(zim::is_dial_command(QString::fromLatin1(dial)), dial);
        for (const char* other : {"hangup", "answer", "transfer&201", "vlclient:hold", "sip:@h"})
            QVERIFY2(!zim::is_dial_command(QString::fromLatin1(other)), other);
    }

    // What may be dialled from a link, a command or the history: numbers and names, never a host.
    void only_plain_numbers_are_safe_to_dial()
    {
        for (const QString& plain :
             {QStringLiteral("201"), QStringLiteral("+81312345678"), QStringLiteral("*72#"),
              QStringLiteral("alice.smith"), QStringLiteral("山田")})
            QVERIFY2(zim::is_safe_dial_string(plain), qPrintable(plain));
        for (const QString& unsafe : {QStringLiteral("x@evil.example"), QStringLiteral("201:5060"),
                                      QStringLiteral("201;transport=tcp"), QStringLiteral("201?X-A=1"),
                                      QStringLiteral("20\n1"), QStringLiteral("20\u202e1")})
            QVERIFY2(!zim::is_safe_dial_string(unsafe), qPrintable(unsafe));
    }
};

QTEST_APPLESS_MAIN(TestCallLink)
#include "test_calllink.moc"
