// What a user sees: the real program, started with --simulator on a virtual
// X server of the test's own, photographed with xwd. The display window's
// drawing area must show the simulated amplifier's start screen pixel for
// pixel (sampled at the centre of every raster pixel), and the keypad that
// the settings make visible must show its lamps: ON lit, the others dark.
//
// Needs Xvfb and xwd (scripts/setup installs them). Without them the test
// fails, saying so; set VORLINQ_NO_X=1 to skip it on a machine that has no X.

#include "ScreenProbe.h"
#include "XServer.h"
#include "XwdImage.h"

#include "display/FrameDrawing.h"
#include "sim/SimAmplifier.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

namespace {

constexpr display::TColor kOnlineBackground = 0xFFFF9D;
constexpr display::TColor kForeground = 0x000000;
constexpr int kScreenWaitMs = 20000;

// Lamp colours (RGB).
const QRgb kLime = qRgb(0, 255, 0);
const QRgb kGreen = qRgb(0, 128, 0);
const QRgb kMaroon = qRgb(128, 0, 0);
const QRgb kOlive = qRgb(128, 128, 0);
// A lamp's text leaves holes in its colour, but far fewer than this many pixels of it.
constexpr int kLampPixels = 150;

// Window placement the settings file asks for: the display window at the top
// left in preset 3 (283 x 752), the keypad below it.
constexpr int kDisplayHeight = 283;
constexpr int kDisplayWidth = 752;
constexpr int kKeypadTop = 300;
constexpr int kKeypadLeft = 0;

QString ArtefactPath(const QString& name)
{
    return QDir(QStringLiteral(E2E_ARTIFACT_DIR)).filePath(name);
}

QString SettingsText(bool fullKeypad)
{
    QString text = "[General]\n"
                   "ApplicationTop=0\nApplicationLeft=0\n"
                   "ApplicationHeight=283\nApplicationWidth=752\n";
    text += QString("ApplicationKeypadTop=%1\nApplicationKeypadLeft=%2\n").arg(kKeypadTop).arg(kKeypadLeft);
    text += QString("ApplicationKeypadVisible=%1\nApplicationJKeypadVisible=%2\n")
                .arg(fullKeypad ? 1 : 0)
                .arg(fullKeypad ? 0 : 1);
    const int presets[10] = {137, 259, 216, 508, 283, 752, 351, 1000, 488, 1424};
    for (int i = 0; i < 10; ++i)
        text += QString("ApplicationPreset%1%2=%3\n").arg(i / 2 + 1).arg(i % 2 ? "Width" : "Height").arg(presets[i]);
    text += "ApplicationPresetItem=3\n";
    return text;
}

// The simulated amplifier's first screen, drawn the way the display window
// draws it while on-line.
std::unique_ptr<display::Raster> StartScreen()
{
    const sim::SimAmplifier amplifier;
    const std::vector<std::uint8_t> payload = amplifier.Payload();
    auto raster = std::make_unique<display::Raster>();
    raster->SetColours(kOnlineBackground, kForeground);
    raster->Clear();
    display::DrawDisplayFrame(*raster, payload.data());
    return raster;
}

// Grows `box` by `by` pixels on every side.
QRect Grown(const QRect& box, int by)
{
    return box.adjusted(-by, -by, by, by);
}

// Everything on the screen that is not the black of the empty root window.
QRect Content(const QImage& shot)
{
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) != 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

class ScreenshotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (qEnvironmentVariableIsSet("VORLINQ_NO_X"))
            return;
        server_ = new XServer;
        if (!server_->Start(ArtefactPath("e2e_xvfb.log"), serverError_)) {
            delete server_;
            server_ = nullptr;
        }
    }

    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override
    {
        if (qEnvironmentVariableIsSet("VORLINQ_NO_X"))
            GTEST_SKIP() << "VORLINQ_NO_X is set: no X server for the screenshot test";
        ASSERT_NE(server_, nullptr) << "cannot start a virtual X server: " << serverError_
                                    << "\n(set VORLINQ_NO_X=1 to skip this test on a machine without X)";
        xwd_ = QStandardPaths::findExecutable("xwd");
        ASSERT_FALSE(xwd_.isEmpty()) << "xwd is not installed (Debian package x11-apps; scripts/setup installs it)"
                                     << "\n(set VORLINQ_NO_X=1 to skip this test on a machine without X)";
        ASSERT_TRUE(dir_.isValid());
    }

    void TearDown() override
    {
        if (program_.state() != QProcess::NotRunning) {
            program_.terminate();
            if (!program_.waitForFinished(5000)) {
                program_.kill();
                program_.waitForFinished(5000);
            }
        }
    }

    // Starts Vorlinq on the simulated amplifier with a settings file and a
    // runtime directory of its own (its single-instance lock lives there).
    void StartProgram(bool fullKeypad, const QString& name)
    {
        const QString settings = dir_.filePath("vorlinq.ini");
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(SettingsText(fullKeypad).toUtf8());
        file.close();
        const QString runtime = dir_.filePath("runtime");
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", server_->Display());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("VORLINQ_SETTINGS", settings);
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.remove("WAYLAND_DISPLAY");
        program_.setProcessEnvironment(environment);
        program_.setProcessChannelMode(QProcess::MergedChannels);
        program_.setStandardOutputFile(ArtefactPath("e2e_" + name + ".log"));
        program_.start(QStringLiteral(VORLINQ_PROGRAM), {"--simulator"});
        ASSERT_TRUE(program_.waitForStarted(10000)) << "cannot start " << VORLINQ_PROGRAM;
    }

    QImage Screenshot(std::string& error)
    {
        QProcess xwd;
        xwd.start(xwd_, {"-root", "-silent", "-display", server_->Display()});
        if (!xwd.waitForFinished(10000) || xwd.exitCode() != 0) {
            error = "xwd failed: " + xwd.readAllStandardError().toStdString();
            return {};
        }
        return ReadXwd(xwd.readAllStandardOutput(), error);
    }

    // Takes screenshots until the drawing area shows `expected` and `ready`
    // holds for the shot too, or the time is up; the last shot is saved.
    QImage WaitForScreen(const display::Raster& expected, const QString& name, std::string& problem)
    {
        QElapsedTimer timer;
        timer.start();
        QImage shot;
        for (;;) {
            if (program_.state() == QProcess::NotRunning) {
                problem = "the program ended (exit code " + std::to_string(program_.exitCode()) + "; see e2e_" +
                          name.toStdString() + ".log)";
                break;
            }
            std::string error;
            shot = Screenshot(error);
            if (shot.isNull()) {
                problem = error;
                break;
            }
            const auto area = screen::DrawingArea(shot, screen::ToRgb(kOnlineBackground), problem);
            if (area) {
                const int mismatches = screen::RasterMismatches(shot, *area, expected);
                if (mismatches == 0 && !screen::Regions(shot, kLime, kLampPixels).empty()) {
                    problem.clear();
                    break;
                }
                problem = std::to_string(mismatches) + " of " +
                          std::to_string(display::Raster::kWidth * display::Raster::kHeight) +
                          " raster pixels differ from the amplifier's start screen, or the ON lamp is not lit";
            }
            if (timer.elapsed() > kScreenWaitMs)
                break;
            QThread::msleep(200);
        }
        if (!shot.isNull()) {
            shot.save(ArtefactPath("e2e_" + name + ".png"));
            const QRect content = Content(shot);
            if (!content.isEmpty())
                shot.copy(content).save(ArtefactPath("e2e_" + name + "_windows.png"));
        }
        return shot;
    }

    // The display window sits where the settings put it, at its preset size.
    static void ExpectDisplayWindowPlaced(const QImage& shot)
    {
        const QRect window = screen::BoundingBox(shot, screen::ToRgb(kOnlineBackground));
        EXPECT_EQ(window, QRect(0, 0, kDisplayWidth, kDisplayHeight));
    }

    static inline XServer* server_ = nullptr;
    static inline std::string serverError_;
    QString xwd_;
    QTemporaryDir dir_;
    QProcess program_;
};

TEST_F(ScreenshotTest, DisplayWindowShowsTheAmplifiersStartScreenAboveTheFullKeypad)
{
    StartProgram(true, "full_keypad");
    const auto expected = StartScreen();
    std::string problem;
    const QImage shot = WaitForScreen(*expected, "full_keypad", problem);
    ASSERT_TRUE(problem.empty()) << problem << " (screenshot: " << ArtefactPath("e2e_full_keypad.png").toStdString()
                                 << ")";
    ExpectDisplayWindowPlaced(shot);

    // The full keypad's six lamps: ON lit (lime), AL and TX dark (maroon),
    // TUNE and OP dark (olive), SET dark (green); ON at (103, 100) on the
    // right panel at (260, 11) of the keypad window, 40 x 15 with its border.
    const auto lit = screen::Regions(shot, kLime, kLampPixels);
    ASSERT_EQ(lit.size(), 1u);
    const QRect onLamp(kKeypadLeft + 260 + 103, kKeypadTop + 11 + 100, 40, 15);
    EXPECT_TRUE(onLamp.contains(lit.front())) << "ON lamp found at " << lit.front().x() << "," << lit.front().y();
    EXPECT_TRUE(Grown(lit.front(), 2).contains(onLamp));
    EXPECT_EQ(screen::Regions(shot, kMaroon, kLampPixels).size(), 2u) << "AL and TX";
    EXPECT_EQ(screen::Regions(shot, kOlive, kLampPixels).size(), 2u) << "TUNE and OP";
    EXPECT_EQ(screen::Regions(shot, kGreen, kLampPixels).size(), 1u) << "SET";
}

TEST_F(ScreenshotTest, BasicKeypadShowsItsLampBarsWhenTheSettingsAskForIt)
{
    StartProgram(false, "basic_keypad");
    const auto expected = StartScreen();
    std::string problem;
    const QImage shot = WaitForScreen(*expected, "basic_keypad", problem);
    ASSERT_TRUE(problem.empty()) << problem << " (screenshot: " << ArtefactPath("e2e_basic_keypad.png").toStdString()
                                 << ")";
    ExpectDisplayWindowPlaced(shot);

    // The basic keypad's bars: ON lit, 122 x 10 at (4, 4) of the panel at
    // (7, 7); OP dark (olive, as wide), TUNE dark (olive, 60) and AL dark
    // (maroon, 62). No SET lamp and no full keypad.
    const auto lit = screen::Regions(shot, kLime, kLampPixels);
    ASSERT_EQ(lit.size(), 1u);
    const QRect onBar(kKeypadLeft + 7 + 4, kKeypadTop + 7 + 4, 122, 10);
    EXPECT_TRUE(onBar.contains(lit.front())) << "ON bar found at " << lit.front().x() << "," << lit.front().y();
    EXPECT_TRUE(Grown(lit.front(), 2).contains(onBar));
    EXPECT_EQ(screen::Regions(shot, kOlive, kLampPixels).size(), 2u) << "TUNE and OP";
    EXPECT_EQ(screen::Regions(shot, kMaroon, kLampPixels).size(), 1u) << "AL";
    EXPECT_EQ(screen::Regions(shot, kGreen, kLampPixels).size(), 0u) << "no SET lamp";
}

} // namespace
