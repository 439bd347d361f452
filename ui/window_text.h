// SPDX-License-Identifier: MIT
#pragma once
// Texts the window and the browser page both show: plain C++, no Qt.

#include "pixolan_version.h"

namespace pixolan {

inline constexpr const char* kWindowTitle = "Pixolan <> 8-bit / 12-bit / 16-bit encoder";
inline constexpr const char* kAboutTitle = "About Pixolan";
/// Four lines joined by CR LF.
inline constexpr const char* kAboutText = "Pixolan ver.: " PIXOLAN_VERSION_SHORT
                                          "\r\n"
                                          "Author: The Pixolan developers\r\n"
                                          "E-mail: pixolan@example.org\r\n"
                                          "URL: https://pixolan.example.org/";
inline constexpr const char* kLoadFailedTitle = "Picture not loaded";

}  // namespace pixolan
