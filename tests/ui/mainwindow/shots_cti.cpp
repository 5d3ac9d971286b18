// Draws the CTI windows of a real main window into PNG files for the documentation:
// shots_cti <output dir>. The remote-site window shows an example customer card served by a
// local web server. Run it under QT_QPA_PLATFORM=offscreen and QT_QUICK_BACKEND=software.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/httpserver.h"
#include "support/testdir.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/cti/webenginesetup.h"
#include "ui/cti/webmodule.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

// Sized for the window's 381 x 181 page area.
const char CUSTOMER_CARD[] = R"(<!DOCTYPE html>
<html lang="ja"><head><meta charset="utf-8"><style>
body { margin: 0; font-family: "Noto Sans CJK JP", sans-serif; font-size: 12px; color: #233;
       background: #f4f7fa; }
.card { margin: 6px; background: #fff; border: 1px solid #d5dde5; border-radius: 6px; overflow: hidden; }
.head { background: #2d6da3; color: #fff; padding: 6px 10px; display: flex; justify-content: space-between;
        align-items: baseline; }
.head .name { font-size: 15px; font-weight: bold; }
.head .rank { font-size: 11px; background: #f0b429; color: #333; border-radius: 8px; padding: 1px 7px; }
table { border-collapse: collapse; width: 100%; }
td { padding: 3px 10px; border-bottom: 1px solid #eef1f4; }
td.k { color: #6a7a88; width: 72px; white-space: nowrap; }
tr:last-child td { border-bottom: none; }
</style></head><body><div class="card">
<div class="head"><span class="name">佐藤 花子 様</span><span class="rank">ゴールド会員</span></div>
<table>
<tr><td class="k">電話番号</td><td>03-1234-5678</td></tr>
<tr><td class="k">会社名</td><td>株式会社サンプル商事</td></tr>
<tr><td class="k">前回対応</td><td>2024-05-14 配送日の変更</td></tr>
<tr><td class="k">メモ</td><td>午前中の連絡を希望</td></tr>
</table></div></body></html>)";

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
    zim::prepare_web_engine();
    WebModule::set_directory(QStringLiteral(VELORA_BIN_DIR)); // the web module of this build
    QApplication app(argc, argv);
    init_images();
    if (argc < 2) {
        std::fprintf(stderr, "usage: shots_cti <output dir>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    HttpServer server;
    if (!server.start()) {
        std::fprintf(stderr, "no local web server\n");
        return 1;
    }
    server.set_response(CUSTOMER_CARD);

    TestAppDir dir;
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    dir.make_log_dir();
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        data.save_account_settings({{"userId", "1001"}, {"operatorAddress", "ops.example.com"}});
        data.save_outlink_settings({{"simpleUrl", "https://crm.example.com/customer/card"},
                                    {"simpleMethod", "get"},
                                    {"simpleParams", "tel=%CallerID%\ncall=%CallId%"},
                                    {"simpleCallerId", "1"},
                                    {"simpleCallId", "1"},
                                    {"detailUrl", "https://crm.example.com/customer/detail"},
                                    {"detailMethod", "post"},
                                    {"detailParams", "tel=%CallerID%\nope=%OpeID%\npw=%OpePW%"},
                                    {"detailCallerId", "1"},
                                    {"detailOperatorId", "1"},
                                    {"detailOperatorPW", "1"},
                                    {"ctiCaFile", "/etc/velora/cti-ca.pem"}});
    }

    MainWindow window;
    window.show();
    settle(500);
    bool ok = true;

    // The selector as it looks once the operator is accepting calls.
    QComboBox* selector = window.operator_status_selector();
    selector->blockSignals(true);
    selector->setCurrentIndex(1);
    selector->blockSignals(false);
    ok = save(&window, out.filePath(QStringLiteral("main-operator.png"))) && ok;

    OperatorLogin* login = window.operator_reporter()->login_window();
    login->show();
    if (auto* name = login->findChild<QLineEdit*>(QStringLiteral("username")))
        name->setText(QStringLiteral("op1001"));
    ok = save(login, out.filePath(QStringLiteral("operator-login.png"))) && ok;
    login->hide();

    window.slot_outlink_menu_clicked();
    QWidget* outlink = shown("OutlinkSetting");
    auto* tabs = outlink ? outlink->findChild<QTabWidget*>(QStringLiteral("tabWidget")) : nullptr;
    ok = tabs && save(outlink, out.filePath(QStringLiteral("outlink-simple.png"))) && ok;
    if (tabs) {
        tabs->setCurrentIndex(1);
        ok = save(outlink, out.filePath(QStringLiteral("outlink-detail.png"))) && ok;
        outlink->hide();
    }

    // The page itself comes from the local server; the window reads the address for every call.
    SettingsMap outlink_settings = window.data()->outlink_settings();
    outlink_settings.insert(QStringLiteral("simpleUrl"), server.base_url() + QStringLiteral("/customer"));
    ok = window.data()->save_outlink_settings(outlink_settings) && ok;

    RemoteSitePresenter* presenter = window.remote_site_presenter();
    presenter->show_incoming_call(
        {{"callerName", "Sato Hanako"}, {"callerId", "0312345678"}, {"callId", "a84b4c76e66710@127.0.0.1"}});
    auto* view = presenter->remote_site()->findChild<QWidget*>(QStringLiteral("webView"));
    QEventLoop loaded;
    QObject::connect(view, SIGNAL(loadFinished(bool)), &loaded, SLOT(quit()));
    QTimer::singleShot(30000, &loaded, &QEventLoop::quit);
    loaded.exec();
    settle(1500);
    ok = save(presenter->remote_site(), out.filePath(QStringLiteral("remote-site.png"))) && ok;

    window.phone()->request_stop();
    window.phone()->wait();
    return ok ? 0 : 1;
}
