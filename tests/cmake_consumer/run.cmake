# SPDX-License-Identifier: MIT
# Installs Pixolan into a scratch prefix, builds the consumer against it and
# checks that its header follows the picture and the options.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DPICTURE=... -P run.cmake

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_element expected)
  run(${WORK_DIR}/build/consumer)
  string(STRIP "${out}" element)
  if(NOT element STREQUAL expected)
    message(FATAL_ERROR "element is '${element}', expected '${expected}'")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
file(COPY_FILE ${PICTURE} ${WORK_DIR}/picture.bmp)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
    -DPICTURE=${WORK_DIR}/picture.bmp -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cross.cmake)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

# crafted_coord pixel (10, 20) is R 10, G 20, B 0x40: RGB565 1, 5, 8.
expect_element(8A8)

# A touched picture is encoded again; an untouched one is not.
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
if(out MATCHES "Encoding")
  message(FATAL_ERROR "encoded again with nothing changed:\n${out}")
endif()
file(TOUCH ${WORK_DIR}/picture.bmp)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
if(NOT out MATCHES "Encoding")
  message(FATAL_ERROR "touching the picture did not encode it again:\n${out}")
endif()

# Changed options too: pixel (40, 60) is RGB565 5, 15, 8.
run(${CMAKE_COMMAND} -DOFFSET=30,40 -S ${SOURCE_DIR} -B ${WORK_DIR}/build)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
expect_element(29E8)
file(REMOVE_RECURSE ${WORK_DIR})
