#include "app/CommandLine.h"

#include <optional>

namespace app {

namespace {

std::optional<AppOptions::Driver> DriverByName(const QString& name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("d2xx")) {
        return AppOptions::Driver::D2xx;
    }
    if (lower == QLatin1String("serial")) {
        return AppOptions::Driver::Serial;
    }
    if (lower == QLatin1String("simulator")) {
        return AppOptions::Driver::Simulator;
    }
    return std::nullopt;
}

// Splits "--name=value" into name and value; "--name" alone gives no value.
struct Option {
    QString name;
    std::optional<QString> value;
};

Option SplitOption(const QString& arg)
{
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq < 0) {
        return {arg, std::nullopt};
    }
    return {arg.left(eq), arg.mid(eq + 1)};
}

} // namespace

AppOptions ParseCommandLine(const QStringList& args)
{
    AppOptions options;
    bool driverGiven = false;
    auto fail = [&options](const QString& why) {
        options.error = why.toStdString();
        return options;
    };
    auto chooseDriver = [&](AppOptions::Driver driver) {
        if (driverGiven && options.driver != driver) {
            return false;
        }
        options.driver = driver;
        driverGiven = true;
        return true;
    };

    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const Option option = SplitOption(arg);
        // Options that take a value accept it after '=' or as the next argument
        // (which then must not look like an option itself).
        auto takeValue = [&]() -> std::optional<QString> {
            if (option.value) {
                return option.value;
            }
            if (i + 1 < args.size() && !args.at(i + 1).startsWith(QLatin1Char('-'))) {
                return args.at(++i);
            }
            return std::nullopt;
        };

        if (option.name == QLatin1String("--help") || option.name == QLatin1String("-h")) {
            if (option.value) {
                return fail(QStringLiteral("%1 takes no value").arg(option.name));
            }
            options.help = true;
        } else if (option.name == QLatin1String("--version")) {
            if (option.value) {
                return fail(QStringLiteral("--version takes no value"));
            }
            options.version = true;
        } else if (option.name == QLatin1String("--simulator")) {
            if (option.value) {
                return fail(QStringLiteral("--simulator takes no value"));
            }
            if (!chooseDriver(AppOptions::Driver::Simulator)) {
                return fail(QStringLiteral("more than one driver chosen"));
            }
        } else if (option.name == QLatin1String("--driver")) {
            const std::optional<QString> name = takeValue();
            if (!name || name->isEmpty()) {
                return fail(QStringLiteral("--driver needs a name: d2xx, serial or simulator"));
            }
            const std::optional<AppOptions::Driver> driver = DriverByName(*name);
            if (!driver) {
                return fail(QStringLiteral("unknown driver \"%1\": use d2xx, serial or simulator").arg(*name));
            }
            if (!chooseDriver(*driver)) {
                return fail(QStringLiteral("more than one driver chosen"));
            }
        } else if (option.name == QLatin1String("--check-package")) {
            const std::optional<QString> file = takeValue();
            if (!file || file->isEmpty()) {
                return fail(QStringLiteral("--check-package needs a file name"));
            }
            options.checkPackage = file->toStdString();
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("unknown option \"%1\"").arg(arg));
        } else {
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        }
    }
    return options;
}

QString UsageText()
{
    return QStringLiteral("Usage: vorlinq [options]\n"
                          "\n"
                          "Remote front panel for the AVELKOR HF linear amplifier, reached through\n"
                          "its FTDI USB-serial chip.\n"
                          "\n"
                          "Options:\n"
                          "  --driver=NAME         talk to the amplifier through one backend:\n"
                          "                          d2xx       FTDI's D2XX library (libftd2xx), loaded\n"
                          "                                     at run time from the standard library\n"
                          "                                     path (LD_LIBRARY_PATH works)\n"
                          "                          serial     the operating system's serial driver for\n"
                          "                                     FTDI chips (on Linux ftdi_sio, which gives\n"
                          "                                     /dev/ttyUSB*)\n"
                          "                          simulator  a built-in simulated amplifier; no\n"
                          "                                     hardware needed\n"
                          "  --simulator           the same as --driver=simulator\n"
                          "  --check-package FILE  check a firmware package (.pk1) and end\n"
                          "  --version             print the version and end\n"
                          "  -h, --help            print this text and end\n"
                          "\n"
                          "Without --driver the backend is chosen at Connect: D2XX when FTDI's library\n"
                          "loads and sees a device, otherwise the serial backend; when neither finds\n"
                          "an amplifier, Connect says so.\n");
}

} // namespace app
