// The skinned windows on a real X display (Xvfb) without a compositing manager: what lies around
// their rounded frames must be the desktop below them, not black.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/soundserver.h"
#include "support/testdir.h"
#include "ui/main/dialogincommingwindow.h"
#include "ui/main/mainwindow.h"
#include "ui/main/skinshape.h"

#include <QApplication>
#include <QFrame>
#include <QScreen>
#include <QtTest>

#include <X11/Xlib.h>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {
const QColor BACKDROP(60, 179, 113);

// The screen's own pixel, whatever window shows there.
QColor on_screen(const QPoint& global)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, global.x(), global.y(), 1, 1)
        .toImage()
        .pixelColor(0, 0);
}

// Claims the compositing manager's selection as a starting compositor does, until released.
class CompositorSelection
{
public:
    CompositorSelection() : display(XOpenDisplay(nullptr))
    {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
        owner = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display, XInternAtom(display, name.constData(), False), owner, CurrentTime);
        XSync(display, False);
    }
    ~CompositorSelection() { release(); }
    void release()
    {
        if (!display)
            return;
        XDestroyWindow(display, owner);
        XCloseDisplay(display);
        display = nullptr;
    }

private:
    Display* display;
    Window owner = 0;
};
} // namespace

class TestSkinShape : public QObject
{
    Q_OBJECT

    Display* display = nullptr; // paints the desktop (the root window) in one colour

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        init_images();
        QVERIFY(!SkinShape::compositor_running());
        display = XOpenDisplay(nullptr);
        QVERIFY(display);
        const Window root = DefaultRootWindow(display);
        XSetWindowBackground(display, root, BACKDROP.rgb() & 0xFFFFFF);
        XClearWindow(display, root);
        XSync(display, False);
    }

    void cleanupTestCase()
    {
        if (!display)
            return;
        XSetWindowBackgroundPixmap(display, DefaultRootWindow(display), 0); // the server's default again
        XClearWindow(display, DefaultRootWindow(display));
        XCloseDisplay(display);
    }

    void windows_show_the_desktop_around_their_rounded_frames()
    {
        pin_sound_server();
        TestAppDir dir;
        const QByteArray old_home = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            data.save_account_settings({{"userId", "100"}});
        }
        auto* main = new MainWindow;
        main->move(40, 40);
        main->show();
        auto* popup = new DialogIncommingWindow(main, main->phone());
        popup->move(40, 560);
        popup->show();
        QVERIFY(QTest::qWaitForWindowExposed(main) && QTest::qWaitForWindowExposed(popup));
        QTest::qWait(300);
        const QWidget* frame = main->form().mainFrame;
        const QWidget* site = popup->findChild<QWidget*>(QStringLiteral("siteFrame"));
        for (const QPoint& around : {main->mapToGlobal(QPoint(4, 4)), frame->mapToGlobal(QPoint(1, 1)),
                                     popup->mapToGlobal(QPoint(4, 4)), site->mapToGlobal(QPoint(1, 1))})
            QCOMPARE(on_screen(around), BACKDROP);
        for (const QWidget* skin : {frame, site})
            QVERIFY(on_screen(skin->mapToGlobal(skin->rect().center())) != BACKDROP);
        delete main;
        qputenv("HOME", old_home);
    }

    // A window opened while a compositor ran is translucent; when the compositor stops, its
    // translucent margins would turn black, so it is cut to its skin.
    void a_compositor_that_stops_leaves_no_black_box()
    {
        CompositorSelection compositor;
        QVERIFY(SkinShape::compositor_running());
        DialogIncommingWindow popup(nullptr, nullptr);
        popup.move(40, 40);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QVERIFY(popup.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(popup.mask().isEmpty());

        compositor.release();
        QTRY_VERIFY_WITH_TIMEOUT(!popup.mask().isEmpty(), 5000);
        QTest::qWait(300);
        QCOMPARE(on_screen(popup.mapToGlobal(QPoint(4, 4))), BACKDROP);
    }
};

int main(int argc, char* argv[])
{
    // The shape is an X11 matter: on the test's display, not offscreen.
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestSkinShape test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_skinshape.moc"
