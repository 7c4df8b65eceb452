#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Driver = app::AppOptions::Driver;

app::AppOptions Parse(QStringList args)
{
    args.prepend(QStringLiteral("vorlinq"));
    return app::ParseCommandLine(args);
}

TEST(CommandLine, NoOptionsChoosesTheBackendAtConnect)
{
    const app::AppOptions options = Parse({});
    EXPECT_EQ(options.driver, Driver::Auto);
    EXPECT_FALSE(options.help);
    EXPECT_FALSE(options.version);
    EXPECT_TRUE(options.checkPackage.empty());
    EXPECT_TRUE(options.error.empty());

    // The first argument is the program, never an option.
    EXPECT_EQ(app::ParseCommandLine({QStringLiteral("--simulator")}).driver, Driver::Auto);
}

TEST(CommandLine, DriverChoices)
{
    const std::pair<QStringList, Driver> cases[] = {
        {{"--simulator"}, Driver::Simulator},
        {{"--driver=simulator"}, Driver::Simulator},
        {{"--driver", "simulator"}, Driver::Simulator},
        {{"--driver=d2xx"}, Driver::D2xx},
        {{"--driver=serial"}, Driver::Serial},
        {{"--driver=Serial"}, Driver::Serial},
        {{"--simulator", "--driver=simulator"}, Driver::Simulator},
    };
    for (const auto& [args, driver] : cases) {
        const app::AppOptions options = Parse(args);
        EXPECT_TRUE(options.error.empty()) << args.join(' ').toStdString() << ": " << options.error;
        EXPECT_EQ(options.driver, driver) << args.join(' ').toStdString();
    }
}

TEST(CommandLine, HelpVersionAndPackageCheck)
{
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"-h"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);

    EXPECT_EQ(Parse({"--check-package", "/tmp/fw 2.pk1"}).checkPackage, "/tmp/fw 2.pk1");
    EXPECT_EQ(Parse({"--check-package=a.pk1"}).checkPackage, "a.pk1");

    const app::AppOptions combined = Parse({"--simulator", "--check-package", "b.pk1", "--version"});
    EXPECT_TRUE(combined.error.empty());
    EXPECT_EQ(combined.driver, Driver::Simulator);
    EXPECT_EQ(combined.checkPackage, "b.pk1");
    EXPECT_TRUE(combined.version);
}

TEST(CommandLine, MistakesAreReportedWithWhatWasWrong)
{
    const std::pair<QStringList, std::string> cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"-x"}, "-x"},
        {{"--driver=usb"}, "usb"},
        {{"--driver="}, "--driver"},
        {{"--driver"}, "--driver"},
        {{"--check-package"}, "--check-package"},
        {{"--check-package="}, "--check-package"},
        {{"--check-package", "--simulator"}, "--check-package"},
        {{"firmware.pk1"}, "firmware.pk1"},
        {{"--help=yes"}, "--help"},
        {{"--simulator", "--driver=serial"}, "driver"},
        {{"--driver=d2xx", "--driver=serial"}, "driver"},
    };
    for (const auto& [args, mention] : cases) {
        const app::AppOptions options = Parse(args);
        EXPECT_NE(options.error.find(mention), std::string::npos)
            << args.join(' ').toStdString() << " gave \"" << options.error << "\"";
    }
}

TEST(CommandLine, UsageExplainsEveryOptionAndBackend)
{
    const QString usage = app::UsageText();
    for (const char* text : {"--simulator", "--driver=", "d2xx", "serial", "simulator", "/dev/ttyUSB",
                             "--check-package", "--help", "--version", "D2XX"}) {
        EXPECT_TRUE(usage.contains(QLatin1String(text))) << text;
    }
}

} // namespace

namespace {

TEST(CommandLine, RemoteStationOptionsChooseTheRemoteBackend)
{
    app::AppOptions options = Parse({"--remote=station.example.org:3002", "--remote-tls", "--remote-ca=ca.crt",
                                     "--remote-cert", "op.crt", "--remote-key=op.key", "--remote-name=st.lan"});
    ASSERT_TRUE(options.error.empty()) << options.error;
    EXPECT_EQ(options.driver, Driver::Remote);
    EXPECT_EQ(options.remote.address, "station.example.org:3002");
    EXPECT_TRUE(options.remote.tls);
    EXPECT_EQ(options.remote.caFile, "ca.crt");
    EXPECT_EQ(options.remote.certFile, "op.crt");
    EXPECT_EQ(options.remote.keyFile, "op.key");
    EXPECT_EQ(options.remote.serverName, "st.lan");

    EXPECT_EQ(Parse({"--driver=remote"}).driver, Driver::Remote); // the stored station
    EXPECT_EQ(Parse({"--serve-simulator=3001"}).serveSimulator, "3001");
    EXPECT_EQ(Parse({"--serve-simulator=0.0.0.0:3001"}).serveSimulator, "0.0.0.0:3001");
}

TEST(CommandLine, RemoteOptionsThatCannotWorkAreRefused)
{
    const QStringList wrong[] = {
        {"--remote=station"},                                                 // no port
        {"--remote=station:99999"},                                           // no such port
        {"--remote=h:1", "--remote-tls"},                                     // TLS without a CA to check the server
        {"--remote-tls", "--remote-ca=ca.crt"},                               // TLS without a station
        {"--remote=h:1", "--remote-ca=ca.crt"},                               // a CA without TLS
        {"--remote=h:1", "--remote-tls", "--remote-ca=c", "--remote-cert=x"}, // a certificate without its key
        {"--remote=h:1", "--remote-name=h.lan"},                              // a certificate name without TLS
        {"--remote=h:1", "--simulator"},                                      // two backends
        {"--serve-simulator=host:"},
    };
    for (const QStringList& args : wrong)
        EXPECT_FALSE(Parse(args).error.empty()) << args.join(' ').toStdString();
}

TEST(CommandLine, HelpListsEveryRemoteOptionAsSpelled)
{
    const QString usage = app::UsageText();
    for (const char* option : {"--remote=HOST:PORT", "--remote-tls", "--remote-ca=FILE", "--remote-cert=FILE",
                               "--remote-key=FILE", "--remote-name=NAME", "--serve-simulator=[HOST:]PORT"})
        EXPECT_TRUE(usage.contains(QString("\n  ") + option)) << option;
}

} // namespace
