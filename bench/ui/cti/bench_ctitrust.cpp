// What each operator report and CRM page spends on its TLS settings: CtiTrust::configuration(),
// with and without a CA file, against one read of the system's CA store (what every report spent
// before the store was kept). The ratios should stay far below 1: the store is read once.

#include "support/testca.h"
#include "ui/cti/ctitrust.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {
double ms_per_call(const std::function<void()>& work, int calls)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i)
        work();
    return timer.nsecsElapsed() / 1e6 / calls;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    TestCa ca;
    if (!ca.make(dir.path(), QStringLiteral("bench"))) {
        std::fprintf(stderr, "no test CA: %s\n", qPrintable(ca.error));
        return 1;
    }
    const QMap<QString, QString> with_file = {{QStringLiteral("ctiCaFile"), ca.ca_file}};
    const double store = ms_per_call([] { (void)QSslConfiguration::systemCaCertificates(); }, 10);
    const double plain = ms_per_call([] { (void)CtiTrust::from_settings({}).configuration(); }, 100);
    const double own = ms_per_call([&] { (void)CtiTrust::from_settings(with_file).configuration(); }, 100);
    std::printf("system CA store read:         %8.3f ms\n", store);
    std::printf("report's TLS settings:        %8.3f ms  ratio %.4f\n", plain, plain / store);
    std::printf("... with a CA file:           %8.3f ms  ratio %.4f\n", own, own / store);
    return 0;
}
