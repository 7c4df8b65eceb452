#include "Interleave.h"

#include "Execunit.h"
#include "SoakRig.h"
#include "toolkit/TThread.h"
#include "update/PackageBuilder.h"

#include <QAction>
#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <iostream>
#include <random>
#include <vector>

namespace {

constexpr int kRealBoundMs = 20000;
// Closing ends every thread within this much simulated time (a connect
// attempt, a pulse, a poll cycle waiting out its read time-out).
constexpr std::int64_t kCloseSimBoundMs = 5000;
constexpr int kRtsDelayUs = 3000;
constexpr std::uint8_t kOffCode = 10;
constexpr std::uint8_t kAnnounceCode = 100;

class Interleaver {
public:
    Interleaver(std::uint64_t seed, bool verbose) : rng_(seed), verbose_(verbose)
    {
        for (int blocks : {1, 2}) {
            pkgtest::PackageBuilder builder;
            for (int i = 0; i < blocks; ++i)
                builder.AddPatternBlock(static_cast<std::uint8_t>(Uniform(0, 0xFE)), static_cast<unsigned>(i));
            paths_.push_back(builder.WriteTo(dir_.File("fw" + std::to_string(blocks) + ".pk1")));
            builders_.push_back(builder);
        }
        rig_.tap.SetTransferRunning([this] { return rig_.form.UpdateRunning.load(); });
        rig_.tap.SetRtsDelayUs(kRtsDelayUs);
        rig_.form.ChoosePackageFile = [this] { return ChoosePackage(); };
        rig_.boxes.whileAsking = [this] { WhileAsking(); };
        QObject::connect(rig_.form.actFreeze, &QAction::triggered, [this] { ++freezeTriggers_; });
    }

    std::string Run(int steps)
    {
        rig_.form.actOpen->trigger();
        for (int step = 0; step < steps && !closed_; ++step) {
            step_ = step;
            Act();
            Pump(Uniform(0, 3));
            if (std::string problem = Check(); !problem.empty())
                return At(problem);
            if (step % 25 == 24 && !closed_)
                if (std::string problem = Settle(); !problem.empty())
                    return At(problem);
        }
        if (closed_)
            return {};
        if (std::string problem = Settle(); !problem.empty())
            return At(problem);
        if (std::string problem = Close(); !problem.empty())
            return At(problem);
        return {};
    }

private:
    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    std::string At(const std::string& problem) const
    {
        return "step " + std::to_string(step_) + " (" + last_ + "): " + problem;
    }

    void Note(std::string what)
    {
        last_ = std::move(what);
        if (verbose_)
            std::cout << "  " << step_ << ": " << last_ << std::endl;
    }

    // A few turns of the main thread's event loop: the previous action may
    // or may not have got anywhere before the next one comes.
    void Pump(int turns)
    {
        for (int i = 0; i < turns; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QThread::usleep(static_cast<unsigned long>(Uniform(0, 400)));
        }
    }

    void Act()
    {
        questionAllowed_ = false;
        closeTried_ = false;
        switch (Uniform(0, 15)) {
        case 0:
            Note("Connect");
            rig_.form.actOpen->trigger();
            break;
        case 1:
            Note("Disconnect");
            rig_.form.actClose->trigger();
            break;
        case 2:
        case 3: {
            const bool twice = Chance(0.5);
            Note(twice ? "ON twice" : "ON");
            rig_.form.actOn->trigger();
            if (twice) {
                Pump(Uniform(0, 1));
                rig_.form.actOn->trigger();
            }
            break;
        }
        case 4:
            ReleaseF(false);
            break;
        case 5:
            ReleaseF(true);
            break;
        case 6:
            Note("Freeze from the menu");
            rig_.form.actFreeze->trigger();
            break;
        case 7:
        case 8: {
            chooseCancel_ = Chance(0.25);
            dialogLinkLoss_ = Chance(0.15);
            const bool twice = Chance(0.4);
            Note(std::string("Ctrl+U") + (twice ? " twice" : "") +
                 (chooseCancel_ ? ", cancelled" : ", package chosen") +
                 (dialogLinkLoss_ ? ", link lost meanwhile" : ""));
            rig_.form.actLoadUpdate->trigger();
            if (twice)
                rig_.form.actLoadUpdate->trigger();
            break;
        }
        case 9: {
            QAction* keys[] = {rig_.form.actAnt,   rig_.form.actBandPlus, rig_.form.actBandMinus,
                               rig_.form.actLPlus, rig_.form.actCMinus,   rig_.form.actDisplay};
            QAction* key = keys[Uniform(0, 5)];
            Note("key " + key->objectName().toStdString());
            key->trigger();
            break;
        }
        case 10:
            // Closing ends the run; during an update it must be refused.
            if (rig_.form.UpdateRunning || Chance(0.05)) {
                Note("close the window");
                closeTried_ = true;
                TryClose();
            } else {
                Note("no close");
            }
            break;
        case 11:
            Note("unplug");
            Unplug();
            break;
        case 12:
            Note("replug");
            rig_.sim.Replug();
            unplugged_ = false;
            break;
        case 13:
            Note("amplifier falls silent");
            rig_.WithAmp([](sim::SimAmplifier& amp) { amp.SetPoweredOn(false); });
            trouble_ = true;
            break;
        case 14: {
            const char* ops[] = {"FT_Open", "FT_ClrDtr", "FT_SetBaudRate"};
            const char* op = ops[Uniform(0, 2)];
            Note(std::string("next ") + op + " throws");
            rig_.tap.ThrowFrom(op);
            trouble_ = true;
            break;
        }
        default:
            Note("wait");
            Pump(Uniform(5, 30));
            break;
        }
    }

    // F pressed and released; with Ctrl the press is the Freeze shortcut
    // when Freeze is available.
    void ReleaseF(bool ctrl)
    {
        rig_.boxes.answerYes = Chance(0.5);
        questionLinkLoss_ = Chance(0.2);
        Note(std::string(ctrl ? "Ctrl+F" : "F") + " released, answer " + (rig_.boxes.answerYes ? "Yes" : "No") +
             (questionLinkLoss_ ? ", link lost meanwhile" : ""));
        const int freezesBefore = freezeTriggers_;
        const Qt::KeyboardModifiers modifiers = ctrl ? Qt::ControlModifier : Qt::NoModifier;
        QTest::keyPress(&rig_.form, Qt::Key_F, modifiers);
        Pump(Uniform(0, 1));
        // A press the shortcut took does not ask when the key comes up.
        questionAllowed_ = freezeTriggers_ == freezesBefore;
        QTest::keyRelease(&rig_.form, Qt::Key_F, modifiers);
    }

    // The question is open: the link may go away before the answer.
    void WhileAsking()
    {
        ++questions_;
        if (!questionAllowed_)
            unexplained_ = "OFF question after a key-up whose key-down the Freeze shortcut took";
        if (questionLinkLoss_) {
            LoseLink();
        }
        if (rig_.boxes.answerYes && rig_.form.OnLine)
            ++offsAllowed_;
    }

    QString ChoosePackage()
    {
        if (rig_.form.UpdateRunning)
            unexplained_ = "the package dialog opened while an update runs";
        if (dialogLinkLoss_)
            LoseLink();
        if (chooseCancel_)
            return {};
        const std::size_t pick = static_cast<std::size_t>(Uniform(0, 1));
        updatePackage_ = static_cast<int>(pick);
        return QString::fromStdString(paths_[pick]);
    }

    // Unplugs the device and lets the poll thread find out (bounded).
    void LoseLink()
    {
        Unplug();
        rig_.PumpUntil([this] { return !rig_.form.OnLine || !rig_.form.PollThread; }, 2000);
    }

    // Handles from before an unplug stay dead after the replug: their
    // failures are explained until a new connection is up.
    void Unplug()
    {
        rig_.sim.Unplug();
        unplugged_ = true;
        trouble_ = true;
        deadHandle_ = rig_.form.USBHandle;
    }

    void TryClose()
    {
        const int infoBefore = Count("information");
        const bool updating = rig_.form.UpdateRunning;
        if (rig_.form.ActiveJobs > 0 && TThread::Running() == 0) {
            unexplained_ = "a job is counted as running with no thread left: closing would wait forever";
            return;
        }
        const std::int64_t simStart = rig_.clock.NowMs();
        rig_.form.close();
        if (updating) {
            if (!rig_.form.isVisible())
                unexplained_ = "the window closed while firmware was being written";
            else if (Count("information") != infoBefore + 1)
                unexplained_ = "closing during the transfer was refused without saying why";
            return;
        }
        if (rig_.form.isVisible()) {
            unexplained_ = "the window did not close";
            return;
        }
        closed_ = true;
        if (!rig_.PumpUntil([] { return TThread::Running() == 0; }, kRealBoundMs) ||
            rig_.clock.NowMs() - simStart > kCloseSimBoundMs)
            unexplained_ = "threads still running " + std::to_string(rig_.clock.NowMs() - simStart) +
                           " simulated ms after the window closed";
    }

    int Count(const char* kind) const
    {
        int n = 0;
        for (const FakeBoxes::Shown& shown : rig_.boxes.All())
            n += shown.kind == kind;
        return n;
    }

    std::string Check()
    {
        for (const std::string& breach : rig_.tap.TakeBreaches())
            return breach;
        if (!unexplained_.empty())
            return unexplained_;
        if (TExecThread::Alive() > 1)
            return std::to_string(TExecThread::Alive()) + " poll threads alive";
        if (TThread::Running() == 0 && rig_.form.ActiveJobs > 0)
            return "a job is counted as running with no thread left";
        // Boxes the step explains.
        const std::vector<FakeBoxes::Shown> all = rig_.boxes.All();
        for (std::size_t i = seenBoxes_; i < all.size(); ++i) {
            const FakeBoxes::Shown& box = all[i];
            if (box.kind == "error" && !trouble_)
                return "error box without a fault: \"" + box.text.toStdString() + "\"";
            if (box.kind == "error")
                ++errorsSinceUpdate_;
            if (box.kind == "information" && !closeTried_)
                return "information box nobody asked for: \"" + box.text.toStdString() + "\"";
        }
        seenBoxes_ = all.size();
        for (std::uint8_t code : rig_.TakeKeyCodes()) {
            if (code == kOffCode && offsAllowed_-- <= 0)
                return "OFF code sent without a Yes to the question while on-line";
            if (code == kAnnounceCode)
                StartOfUpdate();
        }
        offsAllowed_ = 0;
        return CheckUpdateEnd();
    }

    void StartOfUpdate()
    {
        watchingUpdate_ = true;
        errorsSinceUpdate_ = 0;
        updatePackage_ = -1;
    }

    // An update that has ended either left the package in the amplifier or
    // was reported as failed.
    std::string CheckUpdateEnd()
    {
        if (!watchingUpdate_ || rig_.form.UpdateRunning || rig_.form.ActiveJobs > 0)
            return {};
        watchingUpdate_ = false;
        if (updatePackage_ < 0)
            return {}; // cancelled, or refused before a package was taken
        const auto& blocks = builders_[static_cast<std::size_t>(updatePackage_)].Blocks();
        const bool received = rig_.WithAmp([&](sim::SimAmplifier& amp) {
            const auto& image = amp.ReceivedImage();
            if (!amp.UpdateCompleted() || image.size() != blocks.size())
                return false;
            for (std::size_t i = 0; i < blocks.size(); ++i)
                if (image[i].tag != blocks[i].tag || image[i].data != blocks[i].data)
                    return false;
            return true;
        });
        if (!received && errorsSinceUpdate_ == 0)
            return "an update ended without the package in the amplifier and without a reported failure";
        return {};
    }

    // Lets every job end, then the window must be in a state it can stay in.
    std::string Settle()
    {
        Note("settle");
        const bool ended = rig_.PumpUntil(
            [this] { return rig_.form.ActiveJobs == 0 && TThread::Running() <= (rig_.form.PollThread ? 1 : 0); },
            kRealBoundMs);
        if (std::string problem = Check(); !problem.empty())
            return problem;
        if (!ended)
            return "jobs still running after " + std::to_string(kRealBoundMs / 1000) + " s";
        if (rig_.form.OnLine && !rig_.form.PollThread)
            return "on-line without polling once every job has ended";
        if (!rig_.form.OnLine && (rig_.form.PollThread || !rig_.form.actOpen->isEnabled()))
            return "off-line with a poll thread or without Connect";
        if (!unplugged_ && !rig_.tap.ThrowArmed() && rig_.form.OnLine && rig_.form.USBHandle != deadHandle_)
            trouble_ = !rig_.WithAmp([](sim::SimAmplifier& amp) { return amp.PoweredOn(); });
        return {};
    }

    std::string Close()
    {
        Note("close at the end");
        closeTried_ = true;
        for (int attempt = 0; attempt < 2 && !closed_; ++attempt) {
            TryClose();
            if (!unexplained_.empty())
                return unexplained_;
            rig_.PumpUntil([this] { return !rig_.form.UpdateRunning; }, kRealBoundMs);
        }
        if (!closed_)
            return "the window did not close";
        return Check();
    }

    std::mt19937_64 rng_;
    bool verbose_;
    pkgtest::TempDir dir_;
    std::vector<std::string> paths_;
    std::vector<pkgtest::PackageBuilder> builders_;
    SoakRig rig_;

    int step_ = -1;
    std::string last_ = "connect at start";
    std::string unexplained_;
    bool closed_ = false;
    bool closeTried_ = false;
    bool unplugged_ = false;
    FT_HANDLE deadHandle_ = nullptr;
    bool trouble_ = false; // a fault was injected: error boxes are explained
    bool questionAllowed_ = false;
    bool questionLinkLoss_ = false;
    bool chooseCancel_ = false;
    bool dialogLinkLoss_ = false;
    int questions_ = 0;
    int offsAllowed_ = 0;
    int freezeTriggers_ = 0;
    std::size_t seenBoxes_ = 0;
    bool watchingUpdate_ = false;
    int updatePackage_ = -1;
    int errorsSinceUpdate_ = 0;
};

} // namespace

std::string RunInterleave(std::uint64_t seed, int steps, bool verbose)
{
    Interleaver run(seed, verbose);
    return run.Run(steps);
}
