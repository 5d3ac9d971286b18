// The phone and the windows it opens on a small, scaled screen (the test runs on a display of its
// own, 1024×768 at scale 2 or 1366×768 at scale 1.5): each window inside the free area of the
// screen, every button outside a scrolling form on it.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/testdir.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/history/historywindow.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingsnotice.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QtTest>

#include <functional>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

QString where(const QRect& rect)
{
    return QStringLiteral("%1,%2 %3×%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

bool in_scrolling_form(const QWidget* widget)
{
    for (const QWidget* up = widget->parentWidget(); up && !up->isWindow(); up = up->parentWidget()) {
        if (qobject_cast<const QScrollArea*>(up))
            return true;
    }
    return false;
}

// The window and each of its buttons that the operator cannot scroll to lie within the area.
void check_fits(QWidget* window, const QRect& area)
{
    QTRY_VERIFY(window->isVisible());
    QVERIFY2(area.contains(window->frameGeometry()),
             qPrintable(window->objectName() + QStringLiteral(" at ") + where(window->frameGeometry()) +
                        QStringLiteral(", screen ") + where(area)));
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (!button->isVisibleTo(window) || in_scrolling_form(button))
            continue;
        const QRect place(button->mapToGlobal(QPoint(0, 0)), button->size());
        QVERIFY2(area.contains(place), qPrintable(window->objectName() + QStringLiteral(": ") +
                                                  button->objectName() + QStringLiteral(" at ") +
                                                  where(place) + QStringLiteral(", screen ") + where(area)));
    }
}

// The row of 通話, 保留, 転送 and 切断 as it is on the screen now (the phone may have moved aside).
QRect call_keys(QWidget* phone)
{
    const QWidget* keys = phone->findChild<QWidget*>(QStringLiteral("horizontalLayoutWidget_5"));
    return QRect(keys->mapToGlobal(QPoint(0, 0)), keys->size());
}

void check_keys_clear(QWidget* opened, QWidget* phone)
{
    QVERIFY2(!opened->frameGeometry().intersects(call_keys(phone)),
             qPrintable(opened->objectName() + QLatin1Char(' ') + opened->windowTitle() +
                        QStringLiteral(" at ") + where(opened->frameGeometry()) +
                        QStringLiteral(" covers the call keys at ") + where(call_keys(phone))));
}

// Where a modal box or dialog opened by `open` stood, once it was up; closed again.
QRect modal_place(const std::function<void()>& open)
{
    QRect place;
    QTimer::singleShot(0, [&place] {
        QTRY_VERIFY(QApplication::activeModalWidget() && QApplication::activeModalWidget()->isVisible());
        QWidget* box = QApplication::activeModalWidget();
        place = box->frameGeometry();
        box->close();
    });
    open();
    return place;
}

} // namespace

class TestSmallScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { init_images(); }

    void every_window_and_its_buttons_fit_the_screen()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("runs on a display of its own size (see the test's CMakeLists)");
        // A task bar 40 pixels high along the bottom, as a desktop announces it.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        QCOMPARE(QProcess::execute(QStringLiteral("xprop"),
                                   {QStringLiteral("-root"), QStringLiteral("-f"),
                                    QStringLiteral("_NET_WORKAREA"), QStringLiteral("32cccc"),
                                    QStringLiteral("-set"), QStringLiteral("_NET_WORKAREA"),
                                    QStringLiteral("0, 0, %1, %2")
                                        .arg(qRound(screen.width() * scale))
                                        .arg(qRound(screen.height() * scale) - 40)}),
                 0);
        QTRY_VERIFY(QGuiApplication::primaryScreen()->availableGeometry().height() < screen.height());
        TestAppDir dir;
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            data.save_account_settings({{"userId", "100"}, {"operatorAddress", "127.0.0.1:9"}});
        }
        MainWindow window;
        window.show();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        check_fits(&window, area);

        // Every window of the menu, as the operator opens it, and the login a status choice opens.
        for (QAction* action : window.tray_context_menu()->actions()) {
            if (action->isSeparator() || action->text() == QStringLiteral("終了"))
                continue;
            const QList<QWidget*> before = QApplication::topLevelWidgets();
            action->trigger();
            for (QWidget* opened : QApplication::topLevelWidgets()) {
                if (opened->isVisible() && opened != &window && !qobject_cast<QMenu*>(opened)) {
                    check_fits(opened, area);
                    check_keys_clear(opened, &window);
                    opened->hide();
                }
            }
        }
        // The boxes and the CSV dialog do not cover the call keys either.
        const QRect notice =
            modal_place([] { SettingsNotice::account_waits_for_call_end({QStringLiteral("サーバ")}); });
        QVERIFY2(!notice.isEmpty() && !notice.intersects(call_keys(&window)), qPrintable(where(notice)));
        window.history_window()->show();
        const QRect csv = modal_place([&window] {
            window.history_window()->findChild<QPushButton*>(QStringLiteral("exportButton"))->click();
        });
        QVERIFY2(!csv.isEmpty() && !csv.intersects(call_keys(&window)), qPrintable(where(csv)));
        window.history_window()->hide();

        window.operator_status_selector()->setCurrentIndex(1);
        check_fits(window.operator_reporter()->login_window(), area);

        // The caller's CRM window, as a ringing call shows it.
        RemoteSitePresenter* presenter = window.remote_site_presenter();
        presenter->show_incoming_call({{QStringLiteral("callerId"), QStringLiteral("201")}});
        check_fits(presenter->remote_site(), area);
    }
};

QTEST_MAIN(TestSmallScreens)
#include "test_small_screens.moc"
