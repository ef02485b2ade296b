#pragma once

// The figures the benchmarks print from their samples.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The sample at fraction p (0..1) of the sorted samples, the nearest one; 0 when there are none.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

} // namespace bench
