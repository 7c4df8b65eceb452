#include "share/StationMain.h"

#include "app/DriverChoice.h"
#include "app/EndSignals.h"
#include "share/Station.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <csignal>
#include <ostream>
#include <pthread.h>
#include <thread>

namespace share {

int RunStation(int argc, char** argv, const app::AppOptions& options, std::ostream& err)
{
    // The end signals are taken by one thread with sigwait; every thread
    // started from here on (poll, broker, pulse) inherits the blocked set.
    const sigset_t endSignals = app::BlockEndSignals();

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("Vorlinq");
    QCoreApplication::setOrganizationName("Maravel");
    QCoreApplication::setApplicationVersion(VORLINQ_VERSION);

    app::ChosenDriver chosen = app::MakeDriver(options.driver, options.remote);
    if (!chosen.driver) {
        err << "vorlinq: no driver backend for the amplifier\n";
        return 1;
    }
    StationCore::Options stationOptions;
    stationOptions.name = options.station;
    stationOptions.login = options.broker;
    stationOptions.haDiscovery = options.haDiscovery;

    if (const std::string warning = PlainTextPasswordWarning(stationOptions.login); !warning.empty())
        err << "vorlinq: warning: " << warning << "\n";

    int exitCode = 0;
    {
        Station station(*chosen.driver, stationOptions);
        std::string error;
        if (!station.Start(error)) {
            err << "vorlinq: " << error << "\n";
            exitCode = 2;
        } else {
            // Another station of this name, or a broker without an ACL: a
            // restart would meet the same, so the exit says so (3).
            QObject::connect(&station.Core(), &StationCore::Halted, [&](const QString& why) {
                err << "vorlinq: " << why.toStdString() << "\n";
                exitCode = 3;
                QCoreApplication::quit();
            });
            std::thread waiter([&endSignals] {
                int signal = 0;
                sigwait(&endSignals, &signal);
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
            });
            QCoreApplication::exec();
            // Wakes the waiter when the loop ended for another reason.
            pthread_kill(waiter.native_handle(), SIGTERM);
            waiter.join();
        }
    }
    return exitCode;
}

} // namespace share
