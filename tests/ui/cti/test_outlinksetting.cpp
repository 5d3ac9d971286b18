#include "boxanswerer.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/testdir.h"
#include "ui/cti/outlinksetting.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

// The external-link settings window on a real settings store.
class TestOutlinkSetting : public QObject
{
    Q_OBJECT

private:
    template <typename T> static T* child(QWidget* window, const char* name)
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    static QTextEdit* params(QWidget* window, const char* name) { return child<QTextEdit>(window, name); }
    static QCheckBox* box(QWidget* window, const char* name) { return child<QCheckBox>(window, name); }

private slots:
    void fresh_store_shows_post_and_saves_all_keys()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        OutlinkSetting window(nullptr, &data);
        QCOMPARE(window.windowTitle(), QStringLiteral("外部連携設定"));
        QCOMPARE(window.size(), QSize(400, 465));
        QVERIFY(!child<QRadioButton>(&window, "simpleRadioGetButton")->isChecked());
        QVERIFY(!child<QRadioButton>(&window, "simpleRadioPostButton")->isChecked());
        window.show();
        QCOMPARE(child<QTabWidget>(&window, "tabWidget")->currentIndex(), 0);
        QCOMPARE(child<QTabWidget>(&window, "tabWidget")->tabText(0), QStringLiteral("簡単情報"));
        QCOMPARE(child<QTabWidget>(&window, "tabWidget")->tabText(1), QStringLiteral("詳細情報"));
        QVERIFY(child<QRadioButton>(&window, "simpleRadioPostButton")->isChecked());
        // The detail page opens in the browser with GET: POST is not offered there.
        QVERIFY(child<QRadioButton>(&window, "detailRadioGetButton")->isChecked());
        QVERIFY(!child<QRadioButton>(&window, "detailRadioPostButton")->isEnabled());
        for (QCheckBox* check : window.findChildren<QCheckBox*>())
            QVERIFY2(!check->isChecked(), qPrintable(check->objectName()));
        QVERIFY(params(&window, "simpleParams")->toPlainText().isEmpty());
        QVERIFY(child<QLineEdit>(&window, "detailUrl")->text().isEmpty());

        child<QPushButton>(&window, "pushButton")->click();
        QVERIFY(!window.isVisible());
        const SettingsMap stored = data.outlink_settings();
        QCOMPARE(stored.size(), 20);
        QCOMPARE(stored.value("ctiVerifyCertificate"), QStringLiteral("1")); // checked unless ticked off
        QVERIFY(stored.value("ctiCaFile").isEmpty());
        QCOMPARE(stored.value("simpleMethod"), QStringLiteral("post"));
        QCOMPARE(stored.value("detailMethod"), QStringLiteral("get"));
        QCOMPARE(stored.value("detailOperatorPW"), QStringLiteral("0"));
    }

    // Ticked boxes insert bare placeholders; the line under the template shows the request they
    // make with sample values, so the missing "name=" shows before the CRM gets it.
    void template_shows_the_request_it_would_send()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        OutlinkSetting window(nullptr, &data);
        window.show();
        child<QLineEdit>(&window, "simpleUrl")->setText(QStringLiteral("https://crm.test/crm"));
        box(&window, "simpleCallerName")->setChecked(true);
        box(&window, "simpleCallerId")->setChecked(true);
        QLabel* preview = child<QLabel>(&window, "simplePreview");
        QCOMPARE(preview->text(), QStringLiteral("送信例: https://crm.test/crm?山田 太郎0312345678"));
        params(&window, "simpleParams")->setPlainText(QStringLiteral("name=%CallerName%\ntel=%CallerID%"));
        QCOMPARE(preview->text(),
                 QStringLiteral("送信例: https://crm.test/crm?name=山田 太郎&tel=0312345678"));
        params(&window, "simpleParams")->setPlainText(QStringLiteral("op=%OpeID%")); // not a placeholder
        QCOMPARE(preview->text(), QStringLiteral("送信例: https://crm.test/crm?op=%OpeID%"));
        QVERIFY(preview->isVisible());
    }

    void stored_values_come_back_exactly()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        const QString simple_template = QStringLiteral("tel=%CallerID%\n\nname=%CallerName%");
        QVERIFY(data.save_outlink_settings({{"simpleUrl", "http://crm.example/in"},
                                            {"simpleMethod", "get"},
                                            {"simpleCallerId", "1"},
                                            {"simpleCallerName", "1"},
                                            {"simpleMyId", "x"},
                                            {"simpleParams", simple_template},
                                            {"detailUrl", "http://crm.example/detail"},
                                            {"detailMethod", "GET"},
                                            {"detailOperatorPW", "1"},
                                            {"detailParams", "pw=%OpePW%"}}));
        BoxAnswerer answerer(QMessageBox::No);
        OutlinkSetting window(nullptr, &data);
        window.show();
        QCOMPARE(child<QLineEdit>(&window, "simpleUrl")->text(), QStringLiteral("http://crm.example/in"));
        QVERIFY(child<QRadioButton>(&window, "simpleRadioGetButton")->isChecked());
        QVERIFY(box(&window, "simpleCallerId")->isChecked());
        QVERIFY(box(&window, "simpleCallerName")->isChecked());
        QVERIFY(!box(&window, "simpleMyId")->isChecked());
        QCOMPARE(params(&window, "simpleParams")->toPlainText(), simple_template);
        // The detail page shows GET whatever the store says: that is how the browser opens it.
        QVERIFY(child<QRadioButton>(&window, "detailRadioGetButton")->isChecked());
        // Restoring the password box from the store does not ask.
        QVERIFY(box(&window, "detailOperatorPW")->isChecked());
        QCOMPARE(params(&window, "detailParams")->toPlainText(), QStringLiteral("pw=%OpePW%"));
        QTest::qWait(100);
        QVERIFY(answerer.texts.isEmpty());

        window.hide();
        window.show(); // a second show reloads the same values without doubling anything
        QCOMPARE(params(&window, "simpleParams")->toPlainText(), simple_template);
    }

    void cti_trust_is_kept_and_turning_it_off_is_warned()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_outlink_settings(
            {{"ctiCaFile", "/etc/velora/crm-ca.pem"}, {"ctiVerifyCertificate", "0"}}));
        OutlinkSetting window(nullptr, &data);
        window.show();
        QCOMPARE(child<QLineEdit>(&window, "ctiCaFile")->text(), QStringLiteral("/etc/velora/crm-ca.pem"));
        QVERIFY(box(&window, "ctiNoVerify")->isChecked());
        QVERIFY(child<QLabel>(&window, "ctiNoVerifyWarning")->isVisible());
        QVERIFY(child<QPushButton>(&window, "ctiCaFileButton")->isVisible());
        child<QLineEdit>(&window, "ctiCaFile")->setText(QStringLiteral(" /srv/ca.pem "));
        box(&window, "ctiNoVerify")->click();
        child<QPushButton>(&window, "pushButton")->click();
        QCOMPARE(data.outlink_settings().value("ctiCaFile"), QStringLiteral("/srv/ca.pem"));
        QCOMPARE(data.outlink_settings().value("ctiVerifyCertificate"), QStringLiteral("1"));
    }

    void boxes_insert_at_the_cursor_and_remove_every_occurrence()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_outlink_settings({{"simpleParams", "a=1\nb=2"}}));
        OutlinkSetting window(nullptr, &data);
        window.show();
        QTextEdit* edit = params(&window, "simpleParams");
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(2); // "a=|1"
        edit->setTextCursor(cursor);
        box(&window, "simpleCallerId")->click();
        QCOMPARE(edit->toPlainText(), QStringLiteral("a=%CallerID%1\nb=2"));

        edit->setPlainText(QStringLiteral("a=%CallerID%\nb=%CallerID%\nc=%callerid%"));
        box(&window, "simpleCallerId")->click();
        QCOMPARE(edit->toPlainText(), QStringLiteral("a=\nb=\nc=%callerid%"));

        // The simple page's password box inserts without asking.
        BoxAnswerer answerer(QMessageBox::No);
        edit->moveCursor(QTextCursor::End);
        box(&window, "simpleOperatorPW")->click();
        QVERIFY(edit->toPlainText().endsWith(QStringLiteral("%OpePW%")));
        QTest::qWait(100);
        QVERIFY(answerer.texts.isEmpty());

        // Each detail box edits the detail template only.
        box(&window, "detailCallId")->click();
        QCOMPARE(params(&window, "detailParams")->toPlainText(), QStringLiteral("%CallId%"));
        QVERIFY(!edit->toPlainText().contains(QStringLiteral("%CallId%")));
    }

    void detail_password_box_asks_first()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_outlink_settings({{"detailParams", "id=%OpeId%\npw="}}));
        OutlinkSetting window(nullptr, &data);
        window.show();
        QTextEdit* edit = params(&window, "detailParams");
        edit->moveCursor(QTextCursor::End);
        QCheckBox* password = box(&window, "detailOperatorPW");
        {
            BoxAnswerer answerer(QMessageBox::No);
            password->click();
            QCOMPARE(answerer.titles, QStringList{QStringLiteral("オペレータパスワード")});
            QCOMPARE(answerer.texts, QStringList{QStringLiteral(
                                         "パスワードはURLに表示される形になりますが、よろしいでしょうか？")});
            QVERIFY(!password->isChecked());
            QCOMPARE(edit->toPlainText(), QStringLiteral("id=%OpeId%\npw="));
            QTest::qWait(100);
            QCOMPARE(answerer.texts.size(), 1); // no second prompt
        }
        {
            BoxAnswerer answerer(QMessageBox::Yes);
            password->click();
            QVERIFY(password->isChecked());
            QCOMPARE(edit->toPlainText(), QStringLiteral("id=%OpeId%\npw=%OpePW%"));
            password->click(); // unchecking removes it without asking
            QCOMPARE(edit->toPlainText(), QStringLiteral("id=%OpeId%\npw="));
            QCOMPARE(answerer.texts.size(), 1);
        }
    }

    void cancel_and_close_keep_the_stored_values()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_outlink_settings({{"simpleUrl", "http://stored/"}}));
        OutlinkSetting window(nullptr, &data);
        window.show();
        child<QLineEdit>(&window, "simpleUrl")->setText(QStringLiteral("http://edited/"));
        child<QPushButton>(&window, "pushButton_2")->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(data.outlink_settings().value("simpleUrl"), QStringLiteral("http://stored/"));
        window.show();
        QCOMPARE(child<QLineEdit>(&window, "simpleUrl")->text(), QStringLiteral("http://stored/"));

        child<QLineEdit>(&window, "simpleUrl")->setText(QStringLiteral("http://edited/"));
        QVERIFY(!window.close()); // the close button hides; the window lives on
        QVERIFY(!window.isVisible());
        window.show();
        QCOMPARE(child<QLineEdit>(&window, "simpleUrl")->text(), QStringLiteral("http://stored/"));
    }

    void operator_server_is_saved_and_a_change_logs_out_of_the_old_one()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_account_settings({{"operatorAddress", "old.example"}, {"userId", "201"}}));
        OutlinkSetting window(nullptr, &data);
        QSignalSpy reset(&window, &OutlinkSetting::signal_reset_operator_status);
        window.show();
        QLineEdit* address = child<QLineEdit>(&window, "operatorAddress");
        QCOMPARE(address->font().pointSize(), 9);
        auto* label = child<QLabel>(&window, "operatorAddressLabel");
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QCOMPARE(address->text(), QStringLiteral("old.example"));
        child<QPushButton>(&window, "pushButton")->click(); // unchanged: nobody is logged out
        QCOMPARE(reset.count(), 0);
        window.show();
        address->setText(QStringLiteral("new.example:8443"));
        child<QPushButton>(&window, "pushButton")->click();
        QCOMPARE(data.account_settings().value("operatorAddress"), QStringLiteral("new.example:8443"));
        QCOMPARE(data.account_settings().value("userId"), QStringLiteral("201"));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(reset.at(0).at(0).toString(), QStringLiteral("old.example"));
    }

    void restoring_from_minimised_keeps_the_edits()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        OutlinkSetting window(nullptr, &data);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        child<QLineEdit>(&window, "simpleUrl")->setText(QStringLiteral("http://typed/"));
        window.showMinimized();
        QTest::qWait(50);
        window.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(child<QLineEdit>(&window, "simpleUrl")->text(), QStringLiteral("http://typed/"));
    }

    void failed_save_keeps_the_window_and_the_edits()
    {
        TestAppDir dir; // no data directory: the store cannot be written
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        OutlinkSetting window(nullptr, &data);
        window.show();
        child<QLineEdit>(&window, "simpleUrl")->setText(QStringLiteral("http://typed/"));
        params(&window, "simpleParams")->setPlainText(QStringLiteral("tel=%CallerID%"));
        child<QLineEdit>(&window, "operatorAddress")->setText(QStringLiteral("ops.example"));
        QSignalSpy reset(&window, &OutlinkSetting::signal_reset_operator_status);
        BoxAnswerer answerer;
        child<QPushButton>(&window, "pushButton")->click();
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("設定を保存できませんでした")});
        QVERIFY(window.isVisible());
        QCOMPARE(child<QLineEdit>(&window, "simpleUrl")->text(), QStringLiteral("http://typed/"));
        QCOMPARE(params(&window, "simpleParams")->toPlainText(), QStringLiteral("tel=%CallerID%"));
        QCOMPARE(child<QLineEdit>(&window, "operatorAddress")->text(), QStringLiteral("ops.example"));
        QCOMPARE(reset.count(), 0);
    }
};

QTEST_MAIN(TestOutlinkSetting)
#include "test_outlinksetting.moc"
