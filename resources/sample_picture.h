// SPDX-License-Identifier: MIT
#pragma once
// The picture shown at start-up and encoded by pixolan-encode without a file.

#include "model/viewport.h"

namespace pixolan {

inline constexpr int kSampleWidth = 127;
inline constexpr int kSampleHeight = 128;

/// A 127 x 128 test card drawn from a 256-entry palette: colour bars on top,
/// 16 grey steps, then red, green and blue ramps of 32 levels each.
Picture SamplePicture();

}  // namespace pixolan
