# SPDX-License-Identifier: MIT
# The compile and link options of Pixolan's own targets. Directory-wide
# options would reach every target added later, libraries built from other
# projects' sources among them; these reach only what pixolan_apply_options
# finds in our directories.

option(PIXOLAN_WARNINGS_AS_ERRORS "Fail the build on any compiler warning (the ci preset)" OFF)

# Beyond -Wall -Wextra, each catches a real mistake: a name hiding another,
# a class deleted through a base without a virtual destructor, an override
# that hides the other overloads, a C cast that drops const or reinterprets
# where a named cast would refuse, a format string that is not a literal,
# an #if on a macro nobody defined.
set(PIXOLAN_WARNINGS
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast -Wcast-qual
    -Wformat=2 -Wundef)
# gcc's own: a condition or a branch written twice, && where & was meant.
# Not -Wuseless-cast: a cast to unsigned long is useless only where size_t
# is unsigned long.
set(PIXOLAN_GCC_WARNINGS -Wduplicated-cond -Wduplicated-branches -Wlogical-op)

add_library(pixolan_options INTERFACE)
target_compile_options(pixolan_options INTERFACE ${PIXOLAN_WARNINGS}
                       $<$<CXX_COMPILER_ID:GNU>:${PIXOLAN_GCC_WARNINGS}>
                       $<$<BOOL:${PIXOLAN_WARNINGS_AS_ERRORS}>:-Werror>)
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
