// Draws the settings, account (with its connection tab), audio and about windows and the tray
// menu of a real main window into PNG files for the documentation: shots_settings <output dir>.
// Run it under QT_QPA_PLATFORM=offscreen with a PulseAudio server up, so the device lists are real.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/soundserver.h"
#include "support/testdir.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

void settle(int ms = 300)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* widget, const QString& path)
{
    settle();
    const bool ok = widget->grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// The visible top-level window of a class, as the main window opened it.
QWidget* shown(const char* class_name)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits(class_name))
            return widget;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    init_images();
    if (argc < 2) {
        std::fprintf(stderr, "usage: shots_settings <output dir>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    // A private store with an example account, so the windows show what an operator would see.
    TestAppDir dir;
    QTemporaryDir home;
    pin_sound_server();
    qputenv("HOME", home.path().toUtf8());
    dir.make_log_dir();
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        data.save_account_settings({{"address", "sip.example.com"},
                                    {"port", "5061"},
                                    {"userId", "1001"},
                                    {"password", "secret"},
                                    {"operatorAddress", "ops.example.com"},
                                    {"operatorId", "op1001"},
                                    {"operatorPassword", "secret"},
                                    {"transport", "TLS"},
                                    {"mediaEncryption", "srtp"},
                                    {"stunServer", "stun.example.jp:3478"},
                                    {"caFile", "/etc/velora/pbx-ca.pem"},
                                    {"audioPorts", "16384-16483"},
                                    {"audioDscp", "46"}});
        data.save_media_settings({{"captureGain", "6"}});
    }

    MainWindow window;
    window.show();
    settle(500);
    bool ok = true;

    window.slot_setting_button_clicked();
    SettingWindow* settings = window.setting_window();
    auto* tabs = settings->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    ok = save(settings, out.filePath(QStringLiteral("settings-account.png"))) && ok;
    tabs->setCurrentIndex(1);
    ok = save(settings, out.filePath(QStringLiteral("settings-media.png"))) && ok;
    settings->hide();

    const struct
    {
        void (MainWindow::*open)();
        const char* class_name;
        const char* file;
    } pages[] = {{&MainWindow::slot_account_menu_clicked, "AccountSetting", "account-page.png"},
                 {&MainWindow::slot_other_menu_clicked, "OtherSetting", "audio-page.png"},
                 {&MainWindow::slot_about_menu_clicked, "AboutWindow", "about.png"}};
    for (const auto& page : pages) {
        (window.*page.open)();
        QWidget* shown_page = shown(page.class_name);
        ok = shown_page && save(shown_page, out.filePath(QString::fromLatin1(page.file))) && ok;
        if (shown_page)
            shown_page->hide();
    }

    // The other page's global keys and auto-answer, as その他 opens it.
    window.slot_other_menu_clicked();
    if (QWidget* other = shown("OtherSetting")) {
        auto* other_tabs = other->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        other_tabs->setCurrentIndex(other_tabs->count() - 1);
        ok = save(other, out.filePath(QStringLiteral("keys-page.png"))) && ok;
        other->hide();
    } else {
        ok = false;
    }

    // The account page's connection and encryption tab, and its ports.
    window.slot_account_menu_clicked();
    if (QWidget* account = shown("AccountSetting")) {
        account->findChild<QTabWidget*>(QStringLiteral("SIP"))->setCurrentIndex(2);
        ok = save(account, out.filePath(QStringLiteral("account-security.png"))) && ok;
        account->findChild<QTabWidget*>(QStringLiteral("SIP"))->setCurrentIndex(3);
        ok = save(account, out.filePath(QStringLiteral("account-ports.png"))) && ok;
        account->hide();
    } else {
        ok = false;
    }

    QMenu* menu = window.tray_context_menu();
    menu->popup(QPoint(0, 0));
    ok = save(menu, out.filePath(QStringLiteral("tray-menu.png"))) && ok;
    menu->close();

    window.phone()->request_stop();
    window.phone()->wait();
    return ok ? 0 : 1;
}
