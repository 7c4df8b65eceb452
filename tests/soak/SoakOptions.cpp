#include "SoakOptions.h"

#include <chrono>
#include <cstdlib>
#include <string_view>

namespace {

bool Value(std::string_view arg, std::string_view name, std::string& out)
{
    if (arg.substr(0, name.size()) != name)
        return false;
    out = std::string(arg.substr(name.size()));
    return true;
}

} // namespace

std::string SoakUsage()
{
    return "usage: vorlinq_soak [--hours=N] [--seed=S] [--quick] [--rss-tolerance-kib=K] [--verbose]\n"
           "       vorlinq_soak --interleave [--seed=S] [--runs=N] [--steps=K] [--verbose]\n"
           "  --hours=N              simulated hours of polling (default 24)\n"
           "  --quick                a short run for CI (0.25 simulated hours)\n"
           "  --seed=S               seed of the fault schedule (default: from the clock)\n"
           "  --rss-tolerance-kib=K  allowed growth of the resident set after warm-up (default 4096)\n"
           "  --verbose              print every step\n"
           "  --interleave           random overlapping user actions instead of the day of polling\n"
           "  --runs=N               interleaving runs, seeds S, S+1, ... (default 1)\n"
           "  --steps=K              actions of each interleaving run (default 200)\n";
}

std::optional<SoakOptions> ParseSoakOptions(int argc, char** argv, std::string& error, bool& help)
{
    SoakOptions options;
    options.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string value;
        char* end = nullptr;
        if (arg == "--help" || arg == "-h") {
            help = true;
            return std::nullopt;
        } else if (arg == "--quick") {
            options.hours = 0.25;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--interleave") {
            options.interleave = true;
        } else if (Value(arg, "--runs=", value)) {
            options.runs = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            if (value.empty() || *end || options.runs <= 0) {
                error = "--runs needs a positive whole number";
                return std::nullopt;
            }
        } else if (Value(arg, "--steps=", value)) {
            options.steps = static_cast<int>(std::strtol(value.c_str(), &end, 10));
            if (value.empty() || *end || options.steps <= 0) {
                error = "--steps needs a positive whole number";
                return std::nullopt;
            }
        } else if (Value(arg, "--hours=", value)) {
            options.hours = std::strtod(value.c_str(), &end);
            if (value.empty() || *end || options.hours <= 0) {
                error = "--hours needs a positive number";
                return std::nullopt;
            }
        } else if (Value(arg, "--seed=", value)) {
            options.seed = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end) {
                error = "--seed needs a whole number";
                return std::nullopt;
            }
        } else if (Value(arg, "--rss-tolerance-kib=", value)) {
            options.rssToleranceKiB = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end || options.rssToleranceKiB < 0) {
                error = "--rss-tolerance-kib needs a whole number";
                return std::nullopt;
            }
        } else {
            error = "unknown argument: " + std::string(arg);
            return std::nullopt;
        }
    }
    return options;
}
