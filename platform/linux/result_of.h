#pragma once
// Where a backend's own exception type meets the platform seam: runs the work and hands
// back its value, or the exception's message as an Error. Other exceptions pass through.
#include <utility>

#include "platform/result.h"

namespace kelvane::platform {

template <typename Failure, typename T, typename Work>
Result<T> resultOf(Work&& work) {
    try {
        return std::forward<Work>(work)();
    } catch (const Failure& failure) {
        return Error{failure.what()};
    }
}

}  // namespace kelvane::platform
