// SPDX-License-Identifier: MIT
#pragma once
// Whole reads and writes on file descriptors, resumed after signals and
// partial transfers. Plain POSIX: every part of Pixolan may use it.

#include <cstddef>
#include <string>
#include <string_view>

namespace pixolan {

/// Writes all of data to fd; false with errno set when a write fails.
bool WriteAll(int fd, std::string_view data);

/// Reads fd to its end into out; 0 on success, EFBIG once more than limit
/// bytes came, otherwise the errno of the read that failed.
int ReadAll(int fd, std::size_t limit, std::string& out);

}  // namespace pixolan
