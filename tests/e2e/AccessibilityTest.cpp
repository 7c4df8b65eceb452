// What a screen reader gets: the real program, started with --simulator on a
// virtual X server, with a private session bus and accessibility bus of the
// test's own, read through the accessibility bus by read_panel.py (pyatspi,
// as a screen reader reads it). The display's text must be the simulated
// amplifier's start screen, the ON lamp must read as lit, the status bar must
// read ON-LINE, and pressing the ANT button through its accessible action
// must reach the amplifier: the display's text becomes the amplifier's screen
// after the ANT key.
//
// Then Orca, speech off: what it would say (its debug log's SPEECH OUTPUT) of
// a key's changes, of the alarm, and with spoken changes turned off.
//
// Needs Xvfb, dbus, at-spi2-core, python3-pyatspi, orca and xdotool
// (scripts/setup installs them). Without them the test fails, saying so; set VORLINQ_NO_X=1 to skip
// it on a machine that has no X.

#include "XServer.h"
#include "support/ScreenText.h"

#include "sim/SimAmplifier.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <iostream>
#include <cstdint>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStartMs = 10000;
constexpr int kReaderMs = 150000; // the reader's own waits are 30 s each
constexpr int kStopMs = 3000;
constexpr int kHearMs = 30000;
const char* const kLauncher = "/usr/libexec/at-spi-bus-launcher";

QString ArtefactPath(const QString& name)
{
    return QDir(QStringLiteral(E2E_ARTIFACT_DIR)).filePath(name);
}

// A process in a process group of its own: stopping it stops what it started
// too (the bus launcher starts a bus daemon, which starts the registry).
class Helper {
public:
    ~Helper() { Stop(); }

    bool Start(const QString& program, const QStringList& args, const QProcessEnvironment& environment,
               const QString& logName)
    {
        process_.setProcessEnvironment(environment);
        process_.setChildProcessModifier([] { setpgid(0, 0); });
        if (!logName.isEmpty()) {
            process_.setProcessChannelMode(QProcess::MergedChannels);
            process_.setStandardOutputFile(ArtefactPath(logName));
        }
        process_.start(program, args);
        if (!process_.waitForStarted(kStartMs))
            return false;
        group_ = static_cast<pid_t>(process_.processId());
        return true;
    }

    void Stop()
    {
        if (group_ <= 0)
            return;
        ::kill(-group_, SIGTERM);
        if (!process_.waitForFinished(kStopMs))
            process_.kill();
        process_.waitForFinished(kStopMs);
        ::kill(-group_, SIGKILL); // whatever of the group is left
        group_ = -1;
    }

    QProcess& Process() { return process_; }

private:
    QProcess process_;
    pid_t group_ = -1;
};

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet("VORLINQ_NO_X"))
            GTEST_SKIP() << "VORLINQ_NO_X is set: no X server for the accessibility test";
        const char* setupHint = " (scripts/setup installs it; set VORLINQ_NO_X=1 to skip this test without X)";
        python_ = QFileInfo::exists("/usr/bin/python3") ? QString("/usr/bin/python3")
                                                        : QStandardPaths::findExecutable("python3");
        ASSERT_FALSE(python_.isEmpty()) << "python3 is not installed" << setupHint;
        ASSERT_FALSE(QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            << "dbus-daemon is not installed (Debian package dbus)" << setupHint;
        ASSERT_TRUE(QFileInfo::exists(kLauncher))
            << kLauncher << " is missing (Debian package at-spi2-core)" << setupHint;
        ASSERT_TRUE(dir_.isValid());
        std::string error;
        ASSERT_TRUE(x_.Start(ArtefactPath("e2e_a11y_xvfb.log"), error)) << error << setupHint;

        // A session bus of our own; it prints its address once it listens.
        QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
        base.remove("DBUS_SESSION_BUS_ADDRESS");
        base.remove("AT_SPI_BUS_ADDRESS");
        base.remove("WAYLAND_DISPLAY");
        base.insert("DISPLAY", x_.Display());
        ASSERT_TRUE(bus_.Start("dbus-daemon", {"--session", "--nofork", "--print-address=1"}, base, {}));
        QString address;
        QElapsedTimer timer;
        timer.start();
        while (!address.contains('\n') && timer.elapsed() < kStartMs) {
            bus_.Process().waitForReadyRead(500);
            address += QString::fromLocal8Bit(bus_.Process().readAllStandardOutput());
        }
        address = address.trimmed();
        ASSERT_FALSE(address.isEmpty()) << "the session bus did not come up";
        base.insert("DBUS_SESSION_BUS_ADDRESS", address);
        env_ = base;

        // The accessibility bus, and a session bus that knows where it is.
        ASSERT_TRUE(launcher_.Start(kLauncher, {"--launch-immediately"}, env_, "e2e_a11y_bus.log"));
        ASSERT_TRUE(WaitForAccessibilityBus()) << "the accessibility bus did not come up (see e2e_a11y_bus.log)";
    }

    void TearDown() override
    {
        program_.Stop();
        launcher_.Stop();
        bus_.Stop();
        x_.Stop();
    }

    bool WaitForAccessibilityBus()
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kStartMs) {
            QProcess ask;
            ask.setProcessEnvironment(env_);
            ask.start("dbus-send", {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                    "org.a11y.Bus.GetAddress"});
            if (ask.waitForFinished(2000) && ask.exitCode() == 0)
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    void StartProgram(const char* moreSettings = "")
    {
        const QString settings = dir_.filePath("vorlinq.ini");
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nApplicationTop=0\nApplicationLeft=0\nApplicationKeypadTop=300\n"
                   "ApplicationKeypadLeft=0\nApplicationKeypadVisible=1\nApplicationJKeypadVisible=0\n");
        file.write(moreSettings);
        file.close();
        const QString runtime = dir_.filePath("runtime");
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment environment = env_;
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        environment.insert("QT_ACCESSIBILITY", "1");
        environment.insert("VORLINQ_SETTINGS", settings);
        environment.insert("XDG_RUNTIME_DIR", runtime);
        ASSERT_TRUE(program_.Start(QStringLiteral(VORLINQ_PROGRAM), {"--simulator"}, environment, "e2e_a11y.log"))
            << "cannot start " << VORLINQ_PROGRAM;
    }

    // Orca in the test's buses, speech off. It runs on a terminal (script) so
    // that its debug log, written to the terminal, goes out line by line.
    bool StartOrca(Helper& orca, const QString& log)
    {
        const QString command =
            QStringLiteral("orca -d speech -u '%1' --debug-file /dev/tty").arg(dir_.filePath("orca"));
        orca.Process().setStandardOutputFile(QProcess::nullDevice()); // the log file has it all
        return orca.Start("script", {"-q", "-f", "-c", command, log}, env_, {});
    }

    bool X(const QStringList& args)
    {
        QProcess xdotool;
        xdotool.setProcessEnvironment(env_);
        xdotool.start("xdotool", args);
        return xdotool.waitForFinished(kHearMs) && xdotool.exitCode() == 0;
    }

    // What Orca would have said so far, one entry per SPEECH OUTPUT with its
    // blanks made one, and "(text changed)" where it took up a text change.
    static QStringList Said(const QString& log)
    {
        QFile file(log);
        const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        static const QRegularExpression entry("SPEECH OUTPUT: '(.*?)' ?\\{'|(OBJECT EVENT: object:text-changed:insert)",
                                              QRegularExpression::DotMatchesEverythingOption);
        QStringList said;
        for (const QRegularExpressionMatch& m : entry.globalMatch(text))
            said.append(m.captured(2).isEmpty() ? m.captured(1).simplified() : QStringLiteral("(text changed)"));
        return said;
    }

    // The first thing Orca said after its first `skip` entries that contains
    // `words` (is `words`, for one character); empty when none came in time.
    static QString Hear(const QString& log, qsizetype skip, const QString& words)
    {
        QElapsedTimer timer;
        timer.start();
        for (; timer.elapsed() < kHearMs; QThread::msleep(100))
            for (const QString& said : Said(log).mid(skip))
                if (words.size() == 1 ? said == words : said.contains(words)) // a key's echo is all of it
                    return said;
        return {};
    }

    QString WriteText(const QString& name, const QString& text)
    {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
        return path;
    }

    XServer x_;
    QTemporaryDir dir_;
    QString python_;
    QProcessEnvironment env_;
    Helper bus_;
    Helper launcher_;
    Helper program_;
};

TEST_F(AccessibilityTest, ScreenReaderReadsTheDisplayAndLampsAndPressesAKey)
{
    // The amplifier's start screen, and its screen after the ANT key.
    sim::SimAmplifier amplifier;
    const QString start = testsupport::ScreenText(amplifier.Payload());
    const std::uint8_t ant[] = {0x55, 0x55, 0x55, 0x01, 0x04, 0x04};
    std::vector<std::uint8_t> answer;
    amplifier.Consume(ant, sizeof ant, answer);
    const QString after = testsupport::ScreenText(amplifier.Payload());
    ASSERT_NE(start, after);

    StartProgram();
    Helper reader;
    ASSERT_TRUE(reader.Start(
        python_,
        {QStringLiteral(E2E_SOURCE_DIR "/read_panel.py"), WriteText("start.txt", start), WriteText("after.txt", after)},
        env_, {}));
    const bool ended = reader.Process().waitForFinished(kReaderMs);
    const QString output =
        QString::fromUtf8(reader.Process().readAllStandardOutput() + reader.Process().readAllStandardError());
    QFile log(ArtefactPath("e2e_a11y_reader.log"));
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        log.write(output.toUtf8());
    ASSERT_TRUE(ended) << "the reader did not finish in time:\n" << output.toStdString();
    EXPECT_EQ(reader.Process().exitCode(), 0)
        << output.toStdString() << "\n(program log: " << ArtefactPath("e2e_a11y.log").toStdString() << ")";
}

// Orca speaking a changed span, nothing or the whole screen, an alarm not said
// first, or speech that goes on when turned off, fails here.
TEST_F(AccessibilityTest, OrcaSpeaksChangedLinesWholeAndTheAlarmAndNothingWhenTurnedOff)
{
    const QString log = ArtefactPath("e2e_orca.log");
    const QString antLine = "IN 1 ANT 2 20m SEG 3 PWR HIGH", memoryLine = "L 1.78µH C 108pF MEMORY";
    const QStringList focus = {"search", "--sync", "--name", "^Vorlinq - ", "windowfocus", "--sync"};
    Helper orca;
    StartProgram();
    ASSERT_TRUE(StartOrca(orca, log));
    ASSERT_TRUE(X(focus));
    ASSERT_FALSE(Hear(log, 0, "Amplifier display").isEmpty()) << "Orca never presented the display";

    qsizetype heard = Said(log).size();
    ASSERT_TRUE(X({"key", "a"}));
    const QString line = Hear(log, heard, antLine);
    EXPECT_TRUE(line.contains(memoryLine)) << "the other changed line was not spoken whole";
    EXPECT_FALSE(line.contains("AVELKOR") || line.contains("CAT OFF")) << "unchanged lines were spoken";

    // Port 4 has no antenna: a tune there ends in the SWR alarm.
    heard = Said(log).size();
    for (const char* key : {"a", "a", "u"})
        ASSERT_TRUE(X({"key", key}));
    const QString alarm = Hear(log, heard, "AL lamp on");
    EXPECT_TRUE(alarm.startsWith("Alarm! AL lamp on")) << "the alarm was not announced first";

    // Turned off, the program started anew: the change reaches Orca, which says nothing of it.
    program_.Stop();
    StartProgram("ApplicationSpokenChanges=0\n");
    heard = Said(log).size();
    ASSERT_FALSE(Hear(log, heard, "(text changed)").isEmpty()) << "the restarted program's screen never reached Orca";
    ASSERT_TRUE(X(focus));
    ASSERT_FALSE(Hear(log, heard, "Amplifier display").isEmpty()) << "Orca never presented the restarted display";
    heard = Said(log).size();
    ASSERT_TRUE(X({"key", "a"}));
    ASSERT_FALSE(Hear(log, heard, "(text changed)").isEmpty()) << "the screen change never reached Orca";
    ASSERT_TRUE(X({"key", "a"})); // Orca takes up its change after all that came with the first one
    ASSERT_FALSE(Hear(log, Said(log).indexOf("(text changed)", heard) + 1, "(text changed)").isEmpty());
    const QStringList silent = Said(log).mid(heard);
    std::cout << "Orca said: \"" << line.toStdString() << "\", \"" << alarm.toStdString() << "\"; off: \""
              << silent.join("\", \"").toStdString() << "\"" << std::endl;
    EXPECT_FALSE(silent.join('\n').contains(antLine)) << "spoken while turned off";
}

} // namespace
