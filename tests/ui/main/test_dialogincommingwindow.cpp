// The incoming-call popup on a real engine: sipp callers ring it on 127.0.0.1, and the popup's
// buttons answer, reject or only hide.

#include "enginefixture.h"
#include "support/sipprunner.h"
#include "ui/main/dialogincommingwindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

QString engine_address(ZimPhone* phone)
{
    return QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port());
}

QPushButton* button(QWidget* window, const char* name)
{
    return window->findChild<QPushButton*>(QLatin1String(name));
}

QString number_text(QWidget* window)
{
    auto* label = window->findChild<QLabel*>(QStringLiteral("phoneNumber"));
    return label ? label->text() : QStringLiteral("<no phoneNumber label>");
}

} // namespace

class TestDialogIncommingWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { init_images(); }
    void popup_sits_in_the_bottom_right_corner();
    void answer_button_answers_the_ringing_call();
    void close_leaves_the_call_ringing_and_reject_refuses_it();
    void markup_in_the_number_is_shown_as_written();
};

void TestDialogIncommingWindow::popup_sits_in_the_bottom_right_corner()
{
    QWidget main_window;
    DialogIncommingWindow popup(&main_window, nullptr);
    QVERIFY(popup.isWindow());
    QVERIFY(popup.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(popup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(popup.windowType(), Qt::Tool);
    QCOMPARE(popup.size(), QSize(448, 204));
    QCOMPARE(button(&popup, "siteDialogButton")->text(), QStringLiteral("通話"));
    QCOMPARE(button(&popup, "siteTerminateButton")->text(), QStringLiteral("切断"));
    QCOMPARE(button(&popup, "closeButton")->cursor().shape(), Qt::PointingHandCursor);

    popup.move_to_bottom_right();
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(popup.frameGeometry().bottomRight(), area.bottomRight());
    QCOMPARE(popup.geometry().bottomRight(), area.bottomRight());
    // Without an engine there is no number, only the text.
    QCOMPARE(number_text(&popup), QStringLiteral(" から着信中・・・"));

    // The window's own close (Alt+F4) only hides it.
    QVERIFY(!popup.close());
    QVERIFY(popup.isHidden());
}

void TestDialogIncommingWindow::answer_button_answers_the_ringing_call()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY(phone->local_sip_port() > 0);
    SippRunner caller(QStringLiteral("uac_call_answered.xml"), engine_address(phone));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));

    QWidget main_window;
    DialogIncommingWindow popup(&main_window, phone);
    QSignalSpy accepted(&popup, &DialogIncommingWindow::signal_dialog_accept);
    popup.move_to_bottom_right();
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QCOMPARE(number_text(&popup), QStringLiteral("201 から着信中・・・"));

    // Clicked, the popup takes Return as its answer button.
    QTest::mouseClick(&popup, Qt::LeftButton, Qt::NoModifier, QPoint(220, 90));
    QTest::keyClick(&popup, Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
    QVERIFY2(fixture.wait_for("timer"), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    // The caller hangs up after a while; its scenario passes only if it was answered.
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

void TestDialogIncommingWindow::close_leaves_the_call_ringing_and_reject_refuses_it()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("uac_call_refused.xml"), engine_address(phone));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));

    QWidget main_window;
    DialogIncommingWindow popup(&main_window, phone);
    QSignalSpy accepted(&popup, &DialogIncommingWindow::signal_dialog_accept);
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QCOMPARE(number_text(&popup), QStringLiteral("301 から着信中・・・"));

    QTest::mouseClick(button(&popup, "closeButton"), Qt::LeftButton);
    QVERIFY(popup.isHidden());
    fixture.settle(300);
    QVERIFY(phone->is_incoming_ringing());
    QCOMPARE(fixture.count("dialog_end"), 0);

    // Shown again for the same call, the reject button refuses it (the caller sees 486).
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QTest::mouseClick(button(&popup, "siteTerminateButton"), Qt::LeftButton);
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(fixture.count("timer"), 0);
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

void TestDialogIncommingWindow::markup_in_the_number_is_shown_as_written()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("uac_hostile_invite.xml"), engine_address(phone));
    const QString sdp =
        QStringLiteral("v=0\r\no=x 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                       "m=audio 9 RTP/AVP 0\r\n");
    caller.add_arguments({"-s", "1001", "-key", "from_name", "x", "-key", "from_user", "%3Cb%3E7%3C/b%3E",
                          "-key", "extra_header", "X-A: 1", "-key", "content_type", "application/sdp", "-key",
                          "sdp", sdp});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));

    QWidget main_window;
    DialogIncommingWindow popup(&main_window, phone);
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QCOMPARE(number_text(&popup), QStringLiteral("<b>7</b> から着信中・・・"));
    QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("phoneNumber"))->textFormat(), Qt::PlainText);
    QTest::mouseClick(button(&popup, "siteTerminateButton"), Qt::LeftButton);
    QVERIFY(caller.wait_finished(10000));
}

QTEST_MAIN(TestDialogIncommingWindow)
#include "test_dialogincommingwindow.moc"
