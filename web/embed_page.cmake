# SPDX-License-Identifier: MIT
# Makes the one-file page: the template with the core (its WebAssembly inside
# as base64) and the page's script written into it.
#   cmake -DTEMPLATE=... -DCORE=... -DPAGE=... -DOUT=... -P embed_page.cmake
cmake_policy(VERSION 3.25)
file(READ ${TEMPLATE} html)
file(READ ${CORE} core)
file(READ ${PAGE} page)
foreach(script core page)
  string(FIND "${${script}}" "</script" closing)
  if(NOT closing EQUAL -1)
    message(FATAL_ERROR "${script} holds </script and cannot be written inline")
  endif()
endforeach()
string(REPLACE "/*PIXOLAN_CORE*/" "${core}" html "${html}")
string(REPLACE "/*PIXOLAN_PAGE*/" "${page}" html "${html}")
file(WRITE ${OUT} "${html}")
