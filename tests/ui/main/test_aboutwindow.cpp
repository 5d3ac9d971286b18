// The about window: its texts, its fixed size and that closing only hides it.

#include "data/zimconstants.h"
#include "ui/main/aboutwindow.h"

#include <QDate>
#include <QLabel>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

class TestAboutWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { init_images(); }
    void shows_version_and_notice_of_this_year();
    void closing_hides_and_keeps_the_window();
};

void TestAboutWindow::shows_version_and_notice_of_this_year()
{
    QWidget main_window;
    AboutWindow about(&main_window);
    QCOMPARE(about.windowTitle(), QStringLiteral("Velora Zarari"));
    QVERIFY(about.isWindow());
    QCOMPARE(about.size(), QSize(362, 120));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    auto* version = about.findChild<QLabel*>(QStringLiteral("versionLabel"));
    auto* notice = about.findChild<QLabel*>(QStringLiteral("copyrightLabel"));
    auto* logo = about.findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(version && notice && logo);
    QCOMPARE(version->text(), QStringLiteral("Velora Softphone Zarari 1.4.0"));
    const QString year = QString::number(QDate::currentDate().year());
    QCOMPARE(notice->text(), zim::ABOUT_NOTICE_FORMAT.arg(year));
    QVERIFY(notice->text().contains(year));
    QVERIFY(!notice->text().contains(QStringLiteral("%1")));
    QCOMPARE(logo->styleSheet(), QStringLiteral("border-image: url(:/ZIMPhone/images/logo.png);"));
    QCOMPARE(logo->toolTip(), zim::PRODUCT_SITE.toString());
}

void TestAboutWindow::closing_hides_and_keeps_the_window()
{
    QWidget main_window;
    auto* about = new AboutWindow(&main_window);
    QPointer<AboutWindow> guard(about);
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QVERIFY(!about->close());   // the close is refused...
    QVERIFY(about->isHidden()); // ...and the window is only hidden
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard);
    about->show();
    QVERIFY(about->isVisible());
}

QTEST_MAIN(TestAboutWindow)
#include "test_aboutwindow.moc"
