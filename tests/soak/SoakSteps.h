#pragma once
// The soak's steps: what a user and a misbehaving link do to the program,
// one random step at a time from a seeded generator. Every step ends with
// the program on-line again and checks on the way that each state it passes
// through is one a user could be left in.
//
// A step returns an empty string when everything held, otherwise what went
// wrong; its description (set before it acts) says what it was doing.

#include "SoakRig.h"
#include "update/PackageBuilder.h"

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

// Simulated and real times of the steps.
namespace soaktime {
inline constexpr std::int64_t kCycleMs = 80;                    // one poll cycle with an answer
inline constexpr std::int64_t kSilentCycleMs = 1200 + kCycleMs; // a read time-out, then the sleep
inline constexpr int kWaitRealMs = 20000;                       // bound of every wait for the program
} // namespace soaktime

// Returns what went wrong, if anything did.
#define SOAK_TRY(expr)                                                                                                 \
    do {                                                                                                               \
        if (std::string problem_ = (expr); !problem_.empty())                                                          \
            return problem_;                                                                                           \
    } while (0)

struct SoakFigures {
    std::uint64_t steps = 0;
    std::map<std::string, int> faults; // injected faults by kind
    int reconnects = 0;
    int updatesOk = 0;
    int updatesFailed = 0;
    int updatesCancelled = 0;
    int keyPresses = 0;
    int powerCycles = 0;
    int freezes = 0;
};

class SoakSteps {
public:
    SoakSteps(SoakRig& rig, std::uint64_t seed);

    // The first connect, as the entry's start-up request makes it.
    std::string Start();
    // One random step.
    std::string Step();
    // What the step in progress (or the last one) was doing.
    const std::string& Description() const { return description_; }
    const SoakFigures& Figures() const { return figures_; }

private:
    struct Package {
        std::string path;
        pkgtest::PackageBuilder builder;
    };

    int Uniform(int low, int high); // both included
    bool Chance(double p);
    void Describe(std::string text);
    void CountFault(const std::string& kind);

    // Building blocks; each returns what went wrong, or "".
    std::string Connect();
    std::string Disconnect();
    std::string ExpectError(const std::string& contains);
    std::string ExpectErrorAt(const std::vector<int>& locations);
    std::string ExpectNoError();
    std::string Finish();
    std::string PowerOff();
    std::string PowerOn();
    std::string RestoreKeys();

    // The steps on the display's side (SoakPanelSteps.cpp)
    std::string Idle();
    std::string Keys();
    std::string Silence();
    std::string CorruptFrames();
    std::string Freeze();
    std::string View();
    // The steps on the link (SoakLinkSteps.cpp)
    std::string LinkFailure();
    std::string UnplugReplug();
    std::string ConnectRetries();
    std::string ConnectAbort();
    std::string ConnectConfigFailure();
    std::string UserReconnect();
    std::string PowerCycle();
    std::string OnWhileOn();
    // The firmware update steps (SoakUpdateSteps.cpp)
    std::string FirmwareUpdate();
    std::string UpdateOffered();
    std::string UpdateSucceeds(const Package& package, sim::UpdateFault onceFault);
    std::string UpdateRefused(const Package& package, sim::UpdateFault fault, int block);
    std::string UpdateBadPackage();
    std::string UpdateCancelled();
    std::string UpdateUsbFailure(const Package& package);
    std::string UpdateTimeoutsFailure(const Package& package);
    std::string RunUpdate(const std::string& path);

    SoakRig& rig_;
    std::mt19937_64 rng_;
    SoakFigures figures_;
    std::string description_;
    pkgtest::TempDir dir_;
    std::vector<Package> packages_;
    std::string badPackage_;
    QString chosen_; // what the package dialog answers
};
