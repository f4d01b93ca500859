#pragma once
// Capture streams that read their pictures from the X server DISPLAY names.
#include <memory>

#include "platform/capture_stream.h"

namespace kelvane::platform::x11 {

std::unique_ptr<CaptureStreams> makeX11CaptureStreams();

}  // namespace kelvane::platform::x11
