#pragma once
// Word-level edit distance between a reference sentence and what a recogniser heard,
// the numerator of the word error rate that speech tests and benchmarks report.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace kelvane::testing {

inline std::size_t wordErrors(const std::vector<std::string>& reference, const std::vector<std::string>& hypothesis) {
    std::vector<std::size_t> previous(hypothesis.size() + 1);
    for (std::size_t j = 0; j <= hypothesis.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= reference.size(); ++i) {
        std::vector<std::size_t> current{i};
        for (std::size_t j = 1; j <= hypothesis.size(); ++j)
            current.push_back(std::min({previous[j] + 1, current[j - 1] + 1,
                                        previous[j - 1] + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1)}));
        previous = std::move(current);
    }
    return previous.back();
}

}  // namespace kelvane::testing
