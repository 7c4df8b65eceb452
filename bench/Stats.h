#pragma once
// The summaries the latency benchmarks report over their samples.

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace bench {

inline double Mean(const std::vector<double>& samples)
{
    return std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
}

// The 99th percentile (nearest rank).
inline double P99(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(samples.size()))) - 1];
}

} // namespace bench
