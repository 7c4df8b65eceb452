#pragma once
// Command line of the soak run.
//
//   vorlinq_soak [--hours=N] [--seed=S] [--quick] [--rss-tolerance-kib=K] [--verbose]
//   vorlinq_soak --interleave [--seed=S] [--runs=N] [--steps=K] [--verbose]
//
// --hours is simulated clock time of polling (default 24); --quick is a short
// run for CI (0.25 h). Without --seed the seed comes from the real clock; it
// is printed either way so that a failing run can be repeated.

#include <cstdint>
#include <optional>
#include <string>

struct SoakOptions {
    double hours = 24.0;
    std::uint64_t seed = 0;
    long rssToleranceKiB = 4096;
    bool verbose = false;
    // The interleaving run instead: `runs` seeds from `seed` on, `steps` actions each.
    bool interleave = false;
    int runs = 1;
    int steps = 200;
};

// The options; nothing when the run should not go on: `help` set for
// --help, otherwise `error` says what is wrong.
std::optional<SoakOptions> ParseSoakOptions(int argc, char** argv, std::string& error, bool& help);

std::string SoakUsage();
