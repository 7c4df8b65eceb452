// Plays another copy of the program for the single-instance tests.
#include "app/SingleInstance.h"
#include "helper/HelperCodes.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        return helper::kUsage;
    }
    const QString& mode = args.at(3);
    app::SingleInstance instance(args.at(1), args.at(2));
    const bool primary = instance.TryBecomePrimary();

    if (mode == QLatin1String("try")) {
        return primary ? helper::kBecamePrimary : helper::kFoundRunningCopy;
    }
    if (mode == QLatin1String("crash")) {
        if (!primary) {
            return helper::kFoundRunningCopy;
        }
        std::_Exit(helper::kCrashed); // no destructors: lock and socket stay behind
    }
    if (mode == QLatin1String("hold")) {
        if (!primary) {
            return helper::kFoundRunningCopy;
        }
        QObject::connect(&instance, &app::SingleInstance::BringToFrontRequested, &application,
                         [] { QCoreApplication::exit(helper::kBroughtToFront); });
        QTimer::singleShot(20000, &application, [] { QCoreApplication::exit(helper::kGaveUp); });
        std::printf("primary\n");
        std::fflush(stdout);
        return QCoreApplication::exec();
    }
    return helper::kUsage;
}
