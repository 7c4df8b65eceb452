#include "app/CommandLine.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef VORLINQ_HAVE_ACL
#include <sys/acl.h>
#include <unistd.h>
#endif

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

// A wrong broker address or a password file anyone can read stops the program
// before it connects, with the reason.
TEST(CommandLine, BrokerOptionsRefusedBeforeConnecting)
{
    const char* wrong[][3] = {
        {"--station=a/b", "--broker=mqtt://h", nullptr},            // a name that would split the topic
        {"--station=s", "--broker=tcp://h:1883", nullptr},          // not mqtt:// or mqtts://
        {"--station=s", "--broker=mqtt://h:99999", nullptr},        // no port
        {"--station=s", nullptr, nullptr},                          // no broker
        {"--station=s", "--viewer=s", "--broker=mqtt://h"},         // both roles
        {"--viewer=s", "--broker=mqtt://h", "--simulator"},         // a viewer has no link of its own
        {"--station=s", "--broker=mqtt://h", "--broker-ca=ca.crt"}, // TLS files without TLS
        {"--viewer=s", "--broker=mqtt://h", "--broker-user=a+b"},   // a user name that would widen the key topic
    };
    for (const auto& args : wrong) {
        QStringList list;
        for (const char* a : args)
            if (a)
                list << a;
        EXPECT_FALSE(Parse(list).error.empty()) << list.join(' ').toStdString();
    }

    QTemporaryDir dir;
    const QString file = dir.filePath("password");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write("s3cret\n") == 7);
    out.close();
    const QStringList args{"--station=shack", "--broker=mqtts://[::1]", "--broker-user=station",
                           "--broker-password-file=" + file};
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    EXPECT_NE(Parse(args).error.find("read by others"), std::string::npos);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    const app::AppOptions options = Parse(args);
    EXPECT_TRUE(options.error.empty()) << options.error;
    EXPECT_EQ(options.broker.password, "s3cret");
    EXPECT_EQ(options.station, "shack");

#ifdef VORLINQ_HAVE_ACL
    // Readable through the ACL by our own user alone (the group bits then
    // show the ACL's mask, as systemd's credentials read 440): taken; by
    // another user too: refused.
    auto withAcl = [&](const std::string& text) {
        acl_t acl = acl_from_text(text.c_str());
        const bool set = acl && acl_set_file(file.toLocal8Bit().constData(), ACL_TYPE_ACCESS, acl) == 0;
        acl_free(acl);
        return set;
    };
    ASSERT_TRUE(withAcl("u::rw,u:" + std::to_string(::geteuid()) + ":r,g::-,m::r,o::-"));
    EXPECT_TRUE(Parse(args).error.empty()) << Parse(args).error;
    ASSERT_TRUE(withAcl("u::rw,u:" + std::to_string(::geteuid() + 1) + ":r,g::-,m::r,o::-"));
    EXPECT_NE(Parse(args).error.find("read by others"), std::string::npos);
#endif
    // systemd's credentials directory is systemd's to guard.
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    qputenv("CREDENTIALS_DIRECTORY", dir.path().toLocal8Bit());
    EXPECT_TRUE(Parse(args).error.empty()) << Parse(args).error;
    qunsetenv("CREDENTIALS_DIRECTORY");
}
