# SPDX-License-Identifier: MIT
# What cross toolchain files set: packages only from the target's sysroot.
set(CMAKE_FIND_ROOT_PATH "${CMAKE_CURRENT_LIST_DIR}/no-sysroot")
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
