// The soak run: the program's six windows on the simulated amplifier, driven
// through a day (by default) of simulated polling with faults, reconnects,
// power cycles, key presses and firmware updates at random, checking after
// every step that the windows are in a consistent state, and at the end that
// the resident set did not grow.

#include "Interleave.h"
#include "SoakOptions.h"
#include "SoakRig.h"
#include "SoakSteps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <deque>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <unistd.h>

// The sanitizers keep freed memory in quarantine and shadow memory besides,
// so the resident set of a sanitized build says nothing about leaks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORLINQ_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VORLINQ_SOAK_SANITIZED 1
#endif
#endif

namespace {

#ifdef VORLINQ_SOAK_SANITIZED
constexpr bool kJudgeMemory = false;
#else
constexpr bool kJudgeMemory = true;
#endif

constexpr int kMmapThreshold = 256 * 1024;
constexpr double kMsPerHour = 3600.0 * 1000.0;
// The resident set is taken once this share of the run has passed: by then
// every kind of step has run and the caches of the toolkit are warm.
constexpr double kWarmUpShare = 0.25;
constexpr std::size_t kStepHistory = 8;

// The offscreen platform says so every time Park or K brings a keypad to
// the front; a long run would print little else.
QtMessageHandler g_previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains("does not support raise()"))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::cerr << message.toStdString() << std::endl;
}

// Resident set size in KiB, from /proc/self/statm.
long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void PrintFigures(const SoakRig& rig, const SoakSteps& steps, double hours, double realSeconds, long rssWarm,
                  long rssEnd)
{
    const SoakFigures& f = steps.Figures();
    int faults = 0;
    for (const auto& [kind, count] : f.faults)
        faults += count;
    std::cout << "\n=== soak figures ===\n"
              << "simulated hours:   " << hours << "\n"
              << "real seconds:      " << realSeconds << "\n"
              << "steps:             " << f.steps << "\n"
              << "poll cycles:       " << rig.tap.Queries() << "\n"
              << "frames drawn:      " << rig.tap.ValidFrames() << "\n"
              << "reconnects:        " << f.reconnects << "\n"
              << "key presses:       " << f.keyPresses << "\n"
              << "power cycles:      " << f.powerCycles << "\n"
              << "freezes:           " << f.freezes << "\n"
              << "updates ok:        " << f.updatesOk << "\n"
              << "updates failed:    " << f.updatesFailed << "\n"
              << "updates cancelled: " << f.updatesCancelled << "\n"
              << "faults injected:   " << faults << "\n";
    for (const auto& [kind, count] : f.faults)
        std::cout << "  " << kind << ": " << count << "\n";
    std::cout << "RSS after warm-up: " << rssWarm << " KiB\n"
              << "RSS at the end:    " << rssEnd << " KiB (" << (rssEnd - rssWarm >= 0 ? "+" : "") << rssEnd - rssWarm
              << " KiB)\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    bool help = false;
    const std::optional<SoakOptions> parsed = ParseSoakOptions(argc, argv, error, help);
    if (!parsed) {
        std::cerr << (help ? "" : "vorlinq_soak: " + error + "\n") << SoakUsage();
        return help ? 0 : 2;
    }
    const SoakOptions options = *parsed;

    // Big buffers (the window's backing store at a large preset) always come
    // from their own mappings and go back when freed: left to itself the
    // allocator raises that threshold after the first such free and keeps
    // later ones in the heap, which reads as growth without being any.
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows read and write their settings in a file of the run's own.
    QTemporaryDir settingsDir;
    qputenv("VORLINQ_SETTINGS", settingsDir.filePath("soak.ini").toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    g_previousHandler = qInstallMessageHandler(QuietMessages);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    if (options.interleave) {
        int failed = 0;
        for (int run = 0; run < options.runs; ++run) {
            const std::uint64_t seed = options.seed + static_cast<std::uint64_t>(run);
            const std::string problem = RunInterleave(seed, options.steps, options.verbose);
            std::cout << "interleave seed " << seed << ": " << (problem.empty() ? "passed" : "FAILED at " + problem)
                      << std::endl;
            failed += !problem.empty();
        }
        std::cout << "vorlinq_soak: " << failed << " of " << options.runs << " interleaving runs failed" << std::endl;
        return failed ? 1 : 0;
    }

    std::cout << "vorlinq_soak: seed " << options.seed << ", " << options.hours << " simulated hours" << std::endl;

    SoakRig rig;
    SoakSteps steps(rig, options.seed);
    const auto targetMs = static_cast<std::int64_t>(options.hours * kMsPerHour);
    QElapsedTimer real;
    real.start();

    std::deque<std::string> history;
    auto fail = [&](const std::string& problem) {
        std::cerr << "\nvorlinq_soak: FAILED at step " << steps.Figures().steps << " ("
                  << rig.clock.NowMs() / kMsPerHour << " simulated hours), seed " << options.seed << "\n"
                  << "  step: " << steps.Description() << "\n  problem: " << problem << "\n  steps before it:\n";
        for (const std::string& step : history)
            std::cerr << "    " << step << "\n";
        return 1;
    };

    if (const std::string problem = steps.Start(); !problem.empty())
        return fail(problem);

    long rssWarm = -1;
    std::int64_t nextReportMs = static_cast<std::int64_t>(kMsPerHour);
    while (rig.clock.NowMs() < targetMs) {
        const std::string problem = steps.Step();
        if (!problem.empty())
            return fail(problem);
        if (options.verbose)
            std::cout << "step " << steps.Figures().steps << ": " << steps.Description() << std::endl;
        history.push_back(steps.Description());
        if (history.size() > kStepHistory)
            history.pop_front();
        if (rssWarm < 0 && rig.clock.NowMs() >= targetMs * kWarmUpShare) {
            rig.StandardView();
            rssWarm = ResidentKiB();
        }
        if (rig.clock.NowMs() >= nextReportMs) {
            std::cout << "  " << rig.clock.NowMs() / kMsPerHour << " h: " << steps.Figures().steps << " steps, "
                      << rig.tap.ValidFrames() << " frames, RSS " << ResidentKiB() << " KiB, " << real.elapsed() / 1000
                      << " s" << std::endl;
            nextReportMs += static_cast<std::int64_t>(kMsPerHour);
        }
    }
    rig.StandardView();
    const long rssEnd = ResidentKiB();
    if (rssWarm < 0)
        rssWarm = rssEnd;
    PrintFigures(rig, steps, rig.clock.NowMs() / kMsPerHour, real.elapsed() / 1000.0, rssWarm, rssEnd);

    if (!kJudgeMemory) {
        std::cout << "vorlinq_soak: resident set not judged in a sanitizer build" << std::endl;
    } else if (rssEnd - rssWarm > options.rssToleranceKiB) {
        std::cerr << "vorlinq_soak: FAILED: the resident set grew by " << rssEnd - rssWarm << " KiB after warm-up"
                  << " (tolerance " << options.rssToleranceKiB << " KiB), seed " << options.seed << "\n";
        return 1;
    }
    std::cout << "vorlinq_soak: passed" << std::endl;
    return 0;
}
