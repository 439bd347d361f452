# SPDX-License-Identifier: MIT
# The compile and link options of Pixolan's own targets. Directory-wide
# options would reach every target added later, libraries built from other
# projects' sources among them; these reach only what pixolan_apply_options
# finds in our directories.

set(PIXOLAN_WARNINGS -Wall -Wextra -Wpedantic)

add_library(pixolan_options INTERFACE)
target_compile_options(pixolan_options INTERFACE ${PIXOLAN_WARNINGS})
# Debian's hardening for a program that reads untrusted files: checked libc
# calls where optimised (not under the sanitizers) and read-only relocations.
if(NOT PIXOLAN_FUZZ)
  target_compile_definitions(pixolan_options INTERFACE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()
target_link_options(pixolan_options INTERFACE LINKER:-z,relro,-z,now)

# Gives pixolan_options to every target compiled in dir and the directories
# below it: a target added anywhere gets them without asking.
function(pixolan_apply_options dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE pixolan_options)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    pixolan_apply_options(${subdirectory})
  endforeach()
endfunction()
