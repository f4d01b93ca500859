#pragma once
// What the capture backends raise among themselves; the streams hand it to their callers
// as an error whose description is what().
#include <stdexcept>

namespace kelvane::platform::capture {

class CaptureStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kelvane::platform::capture
