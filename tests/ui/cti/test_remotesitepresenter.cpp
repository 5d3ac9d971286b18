#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/httpserver.h"
#include "support/testdir.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/cti/webenginesetup.h"
#include "ui/cti/webmodule.h"

#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {
const int TIMEOUT_MS = 30000;
}

// Placement, slide-out and delayed hiding of the remote-site window around calls.
class TestRemoteSitePresenter : public QObject
{
    Q_OBJECT

private:
    TestAppDir* dir = nullptr;
    ZimLogger* logger = nullptr;
    ZimData* data = nullptr;
    HttpServer server;
    QWidget* main_window = nullptr;
    RemoteSitePresenter* presenter = nullptr;
    QMap<QString, QString> call{{"callerName", "Sato"}, {"callerId", "0312345678"}, {"callId", "id-1"}};

    QPoint shown_position() const
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        return QPoint(area.width() - 440, area.height() - 370);
    }
    void ring()
    {
        presenter->show_incoming_call(call);
        QVERIFY(presenter->remote_site()->isVisible());
        QCOMPARE(presenter->remote_site()->pos(), shown_position());
    }
    QPushButton* hang_up_button() const
    {
        return presenter->remote_site()->findChild<QPushButton*>(QStringLiteral("siteTerminateButton"));
    }

private slots:
    void initTestCase()
    {
        dir = new TestAppDir;
        dir->make_log_dir();
        logger = new ZimLogger;
        data = new ZimData(nullptr, logger);
        QVERIFY(server.start());
        QVERIFY(data->save_outlink_settings(
            {{"simpleUrl", server.base_url() + "/crm"}, {"simpleParams", "tel=%CallerID%"}}));
        QVERIFY(data->save_other_settings({{"dalayHiddenRemoteWindow", "1"}}));
        main_window = new QWidget;
        presenter = new RemoteSitePresenter(main_window, nullptr, data, logger);
    }
    void cleanupTestCase()
    {
        delete main_window; // takes the presenter and the window with it
        delete data;
        delete logger;
        delete dir;
    }

    void window_appears_at_the_bottom_right_on_the_first_call()
    {
        QVERIFY(presenter->remote_site() == nullptr); // no web engine before it is needed
        ring();
        QCOMPARE(presenter->remote_site()->parentWidget(), main_window);
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests_for("/crm").isEmpty(), TIMEOUT_MS);
        QCOMPARE(server.requests_for("/crm").first().query, QByteArray("tel=0312345678"));
    }

    void call_ended_by_the_caller_waits_for_the_delay_then_slides_away()
    {
        ring();
        presenter->hide_after_call();
        QVERIFY(presenter->is_delay_pending());
        QVERIFY(presenter->remote_site()->isVisible());
        QCOMPARE(presenter->slide_animation()->state(), QAbstractAnimation::Stopped);
        QTRY_COMPARE_WITH_TIMEOUT(presenter->slide_animation()->state(), QAbstractAnimation::Running,
                                  TIMEOUT_MS);
        QCOMPARE(presenter->slide_animation()->duration(), 1000);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(presenter->slide_animation()->endValue().toPoint(),
                 QPoint(shown_position().x(), area.height() + 20));
        QTRY_VERIFY_WITH_TIMEOUT(!presenter->remote_site()->isVisible(), TIMEOUT_MS);
    }

    void our_hang_up_slides_at_once_and_only_for_that_call()
    {
        ring();
        hang_up_button()->click();
        QVERIFY(presenter->not_delay_hidden());
        presenter->hide_after_call();
        QVERIFY(!presenter->is_delay_pending());
        QCOMPARE(presenter->slide_animation()->state(), QAbstractAnimation::Running);
        QTRY_VERIFY_WITH_TIMEOUT(!presenter->remote_site()->isVisible(), TIMEOUT_MS);

        // The next call ended by the caller waits for the delay again.
        ring();
        presenter->hide_after_call();
        QVERIFY(presenter->is_delay_pending());
        QCOMPARE(presenter->slide_animation()->state(), QAbstractAnimation::Stopped);
        QTRY_VERIFY_WITH_TIMEOUT(!presenter->remote_site()->isVisible(), TIMEOUT_MS);
    }

    void new_call_during_the_slide_brings_the_window_back()
    {
        ring();
        presenter->slot_set_not_delay_hidden_remote_window();
        presenter->hide_after_call();
        QCOMPARE(presenter->slide_animation()->state(), QAbstractAnimation::Running);
        ring();
        QCOMPARE(presenter->slide_animation()->state(), QAbstractAnimation::Stopped);
        QTest::qWait(1500); // longer than a slide: nothing takes the window away any more
        QVERIFY(presenter->remote_site()->isVisible());
        QCOMPARE(presenter->remote_site()->pos(), shown_position());
    }

    void new_call_cancels_a_pending_delay()
    {
        ring();
        presenter->hide_after_call();
        QVERIFY(presenter->is_delay_pending());
        ring();
        QVERIFY(!presenter->is_delay_pending());
    }

    void answer_button_shows_the_main_window()
    {
        QSignalSpy show_main(presenter, &RemoteSitePresenter::signal_show_main_window);
        ring();
        presenter->remote_site()->findChild<QPushButton*>(QStringLiteral("siteDialogButton"))->click();
        QCOMPARE(show_main.size(), 1);
    }
};

int main(int argc, char** argv)
{
    zim::prepare_web_engine();
    WebModule::set_directory(QStringLiteral(VELORA_BIN_DIR)); // the web module of this build
    QApplication app(argc, argv);
    TestRemoteSitePresenter test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_remotesitepresenter.moc"
