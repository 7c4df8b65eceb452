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
    if (lower == QLatin1String("remote")) {
        return AppOptions::Driver::Remote;
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

// The broker options belong to a station or a viewer, and the two exclude each other.
QString CheckSharing(const AppOptions& options, bool driverGiven)
{
    const share::BrokerLogin& broker = options.broker;
    const bool sharing = !options.station.empty() || !options.viewer.empty();
    const bool brokerDetails = !broker.caFile.empty() || !broker.certFile.empty() || !broker.keyFile.empty() ||
                               !broker.user.empty() || !options.brokerPasswordFile.empty();
    if (!options.station.empty() && !options.viewer.empty()) {
        return QStringLiteral("--station and --viewer exclude each other");
    }
    if (sharing && broker.url.empty()) {
        return QStringLiteral("%1 needs --broker=URL").arg(options.station.empty() ? "--viewer" : "--station");
    }
    if ((!broker.url.empty() || brokerDetails) && !sharing) {
        return QStringLiteral("--broker and the --broker-* options go with --station or --viewer");
    }
    if (options.haDiscovery && options.station.empty()) {
        return QStringLiteral("--ha-discovery goes with --station");
    }
    if (!options.viewer.empty() && (driverGiven || !options.serveSimulator.empty())) {
        return QStringLiteral(
            "--viewer reaches the amplifier through the station: no --driver, --simulator or --remote");
    }
    if (!options.station.empty() && !options.serveSimulator.empty()) {
        return QStringLiteral("--station and --serve-simulator exclude each other");
    }
    std::string why;
    const std::optional<share::BrokerAddress> address =
        broker.url.empty() ? std::nullopt : share::ParseBrokerUrl(broker.url, why);
    const bool tlsFiles = !broker.caFile.empty() || !broker.certFile.empty() || !broker.keyFile.empty();
    if (tlsFiles && address && !address->tls) {
        return QStringLiteral("--broker-ca, --broker-cert and --broker-key need an mqtts:// broker address");
    }
    if (broker.certFile.empty() != broker.keyFile.empty()) {
        return QStringLiteral("--broker-cert and --broker-key go together");
    }
    if (!options.brokerPasswordFile.empty() && broker.user.empty()) {
        return QStringLiteral("--broker-password-file needs --broker-user");
    }
    if (const std::string problem = share::TopicUserProblem(broker.user); !options.viewer.empty() && !problem.empty()) {
        return QString::fromStdString(problem);
    }
    return {};
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
                return fail(QStringLiteral("--driver needs a name: d2xx, serial, simulator or remote"));
            }
            const std::optional<AppOptions::Driver> driver = DriverByName(*name);
            if (!driver) {
                return fail(QStringLiteral("unknown driver \"%1\": use d2xx, serial, simulator or remote").arg(*name));
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
        } else if (option.name == QLatin1String("--remote")) {
            const std::optional<QString> address = takeValue();
            if (!address || !ParseHostPort(address->toStdString())) {
                return fail(QStringLiteral("--remote needs an address HOST:PORT"));
            }
            if (!chooseDriver(AppOptions::Driver::Remote)) {
                return fail(QStringLiteral("more than one driver chosen"));
            }
            options.remote.address = address->toStdString();
        } else if (option.name == QLatin1String("--remote-tls")) {
            if (option.value) {
                return fail(QStringLiteral("--remote-tls takes no value"));
            }
            options.remote.tls = true;
        } else if (option.name == QLatin1String("--remote-name")) {
            const std::optional<QString> name = takeValue();
            if (!name || name->isEmpty()) {
                return fail(QStringLiteral("--remote-name needs the name the station's certificate carries"));
            }
            options.remote.serverName = name->toStdString();
        } else if (option.name == QLatin1String("--remote-ca") || option.name == QLatin1String("--remote-cert") ||
                   option.name == QLatin1String("--remote-key")) {
            const std::optional<QString> file = takeValue();
            if (!file || file->isEmpty()) {
                return fail(QStringLiteral("%1 needs a file name").arg(option.name));
            }
            std::string& into = option.name == QLatin1String("--remote-ca")     ? options.remote.caFile
                                : option.name == QLatin1String("--remote-cert") ? options.remote.certFile
                                                                                : options.remote.keyFile;
            into = file->toStdString();
        } else if (option.name == QLatin1String("--serve-simulator")) {
            const std::optional<QString> where = takeValue();
            if (!where || !ParseHostPort(where->toStdString(), "127.0.0.1", true)) {
                return fail(QStringLiteral("--serve-simulator needs [HOST:]PORT"));
            }
            options.serveSimulator = where->toStdString();
        } else if (option.name == QLatin1String("--station") || option.name == QLatin1String("--viewer")) {
            const std::optional<QString> name = takeValue();
            if (!name || !share::ValidStationName(name->toStdString())) {
                return fail(QStringLiteral("%1 needs a station name: letters, digits, '-' and '_', at most 32")
                                .arg(option.name));
            }
            (option.name == QLatin1String("--station") ? options.station : options.viewer) = name->toStdString();
        } else if (option.name == QLatin1String("--broker")) {
            const std::optional<QString> url = takeValue();
            std::string why;
            if (!url || !share::ParseBrokerUrl(url->toStdString(), why)) {
                return fail(
                    url ? QString::fromStdString(why)
                        : QStringLiteral("--broker needs an address mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"));
            }
            options.broker.url = url->toStdString();
        } else if (option.name == QLatin1String("--broker-ca") || option.name == QLatin1String("--broker-cert") ||
                   option.name == QLatin1String("--broker-key") ||
                   option.name == QLatin1String("--broker-password-file")) {
            const std::optional<QString> file = takeValue();
            if (!file || file->isEmpty()) {
                return fail(QStringLiteral("%1 needs a file name").arg(option.name));
            }
            std::string& into = option.name == QLatin1String("--broker-ca")     ? options.broker.caFile
                                : option.name == QLatin1String("--broker-cert") ? options.broker.certFile
                                : option.name == QLatin1String("--broker-key")  ? options.broker.keyFile
                                                                                : options.brokerPasswordFile;
            into = file->toStdString();
        } else if (option.name == QLatin1String("--broker-user")) {
            const std::optional<QString> user = takeValue();
            if (!user || user->isEmpty()) {
                return fail(QStringLiteral("--broker-user needs a user name"));
            }
            options.broker.user = user->toStdString();
        } else if (option.name == QLatin1String("--ha-discovery")) {
            if (option.value) {
                return fail(QStringLiteral("--ha-discovery takes no value"));
            }
            options.haDiscovery = true;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("unknown option \"%1\"").arg(arg));
        } else {
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        }
    }

    const RemoteStation& remote = options.remote;
    const bool tlsFiles =
        !remote.caFile.empty() || !remote.certFile.empty() || !remote.keyFile.empty() || !remote.serverName.empty();
    if ((remote.tls || tlsFiles) && remote.address.empty()) {
        return fail(QStringLiteral(
            "--remote-tls, --remote-ca, --remote-cert, --remote-key and --remote-name go with --remote"));
    }
    if (tlsFiles && !remote.tls) {
        return fail(QStringLiteral("--remote-ca, --remote-cert, --remote-key and --remote-name need --remote-tls"));
    }
    if (remote.tls && remote.caFile.empty()) {
        return fail(QStringLiteral("--remote-tls needs --remote-ca=FILE to check the server's certificate"));
    }
    if (remote.certFile.empty() != remote.keyFile.empty()) {
        return fail(QStringLiteral("--remote-cert and --remote-key go together"));
    }
    if (const QString why = CheckSharing(options, driverGiven); !why.isEmpty()) {
        return fail(why);
    }
    if (!options.brokerPasswordFile.empty()) {
        std::string why;
        if (!share::ReadPasswordFile(options.brokerPasswordFile, options.broker.password, why)) {
            return fail(QString::fromStdString(why));
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
                          "                          remote     a remote station on the network (the\n"
                          "                                     one given with --remote, else the one\n"
                          "                                     stored in the connection dialog)\n"
                          "  --simulator           the same as --driver=simulator\n"
                          "  --remote=HOST:PORT    reach the amplifier through an RFC 2217 serial\n"
                          "                        server (ser2net) at HOST:PORT; implies\n"
                          "                        --driver=remote\n"
                          "  --remote-tls          connect to the remote station over TLS\n"
                          "  --remote-ca=FILE      CA certificate that checks the server's certificate\n"
                          "                        (required with --remote-tls)\n"
                          "  --remote-cert=FILE    client certificate, for a server that demands one\n"
                          "  --remote-key=FILE     the client certificate's private key\n"
                          "  --remote-name=NAME    the name the server's certificate carries, when\n"
                          "                        HOST is an address it does not name\n"
                          "  --serve-simulator=[HOST:]PORT\n"
                          "                        serve the simulated amplifier over RFC 2217 on\n"
                          "                        PORT (on 127.0.0.1 unless HOST is given), without\n"
                          "                        a window, until interrupted\n"
                          "  --check-package FILE  check a firmware package (.pk1) and end\n"
                          "  --version             print the version and end\n"
                          "  -h, --help            print this text and end\n"
                          "\n"
                          "Sharing the amplifier through an MQTT broker:\n"
                          "  --station=NAME        run without a window as station NAME: own the link\n"
                          "                        (through the backend chosen as above), poll it and\n"
                          "                        publish the display under vorlinq/v1/NAME/ on the\n"
                          "                        broker; operators key it from there\n"
                          "  --viewer=NAME         the window, showing and keying station NAME through\n"
                          "                        the broker instead of a link of its own\n"
                          "  --broker=URL          the broker: mqtt://HOST[:PORT] (1883) or\n"
                          "                        mqtts://HOST[:PORT] (8883, TLS)\n"
                          "  --broker-ca=FILE      CA certificate that checks the broker's certificate\n"
                          "                        (default: the system's CAs)\n"
                          "  --broker-cert=FILE    client certificate, for a broker that logs in by it\n"
                          "  --broker-key=FILE     the client certificate's private key\n"
                          "  --broker-user=NAME    the broker user name\n"
                          "  --broker-password-file=FILE\n"
                          "                        the broker password: the file's first line; the\n"
                          "                        file must not be readable by group or others\n"
                          "  --ha-discovery        with --station: announce the lamps and the display\n"
                          "                        text to Home Assistant (MQTT discovery)\n"
                          "\n"
                          "Without --driver: the remote station when one is chosen in the connection\n"
                          "dialog; otherwise the backend is chosen at Connect: D2XX when FTDI's library\n"
                          "loads and sees a device, otherwise the serial backend; when neither finds\n"
                          "an amplifier, Connect says so.\n");
}

} // namespace app
