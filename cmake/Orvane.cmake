# Helpers shared by every folder of the tree.

if(ORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzzing build: every library gets the coverage instrumentation libFuzzer steers by, and
# the sanitizers; only the fuzz targets link libFuzzer itself (fuzz/CMakeLists.txt).
if(ORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVANE_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings are errors only when asked (our test script and CI ask), so that a packager's or a
# newer compiler's new warning never stops a build.
option(ORVANE_WERROR "Treat compiler warnings as errors" OFF)
set(ORVANE_WARNINGS -Wall -Wextra -Wshadow -Woverloaded-virtual -Wnon-virtual-dtor
                     -Wmissing-declarations)
if(ORVANE_WERROR)
  list(APPEND ORVANE_WARNINGS -Werror)
  # GCC 12's -Wrestrict misfires on std::string concatenation once inlined at -O3 (GCC bug
  # 105329): every one it gave here was of that kind, so it is off before GCC 13.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND ORVANE_WARNINGS -Wno-restrict)
  endif()
endif()

# orvane_library(NAME SOURCES ... [LIBS ...] [PUBLIC_LIBS ...])
function(orvane_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${A_LIBS} PUBLIC ${A_PUBLIC_LIBS} Threads::Threads)
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# orvane_program(NAME SOURCES ... [LIBS ...] [OUTPUT_NAME n] [SUBDIR d])
# Programs land in the program folder dist/ (or a subfolder of it).
function(orvane_program name)
  cmake_parse_arguments(A "" "OUTPUT_NAME;SUBDIR" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_WARNINGS})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  # orvane_base answers --help and --version for every program.
  target_link_libraries(${name} PRIVATE ${A_LIBS} orvane_base Threads::Threads)
  set(out "${ORVANE_DIST}")
  if(A_SUBDIR)
    set(out "${ORVANE_DIST}/${A_SUBDIR}")
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${out}")
  if(A_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME "${A_OUTPUT_NAME}" SUFFIX "")
  endif()
endfunction()

# orvane_test(NAME SOURCES ... [LIBS ...] [LABEL unit|gui|e2e] [TIMEOUT s] [COST s] [ENV k=v ...])
# One GoogleTest program per call; it finds the programs through ORVANE_DIST.
# A test program's own code is mostly set-up and checks: unoptimised, it builds in about half
# the time of a light optimisation and still runs quickly; what it tests keeps the build's
# optimisation. Every test
# program is position-independent, as the Qt ones must be, so that they can share one
# precompiled header (tests/CMakeLists.txt).
set(ORVANE_TEST_OPTIONS ${ORVANE_WARNINGS} $<$<CONFIG:Release>:-O0> -fPIC)

function(orvane_test name)
  cmake_parse_arguments(A "" "LABEL;TIMEOUT;COST" "SOURCES;LIBS;ENV;DEPENDS" ${ARGN})
  if(NOT A_LABEL)
    set(A_LABEL unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_TEST_OPTIONS})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/tests")
  # GoogleTest and the standard library are parsed once for every test program.
  if(TARGET orvane_test_pch)
    target_precompile_headers(${name} REUSE_FROM orvane_test_pch)
  endif()
  target_compile_definitions(${name} PRIVATE ORVANE_DIST_DIR="${ORVANE_DIST}"
                                             ORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             ORVANE_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT "GTest::gtest_main" IN_LIST A_LIBS AND NOT A_LABEL STREQUAL "gui")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  # Every test program gets a registry of its own, so no test touches the user's settings. The
  # programs' fixed pauses last a hundredth of their time (platform/clock, test-only).
  set(env "ORVANE_DIST=${ORVANE_DIST}" "QT_QPA_PLATFORM=offscreen" "ORVANE_TEST_PAUSE_DIVISOR=100"
          "ORVANE_REGISTRY_DIR=${CMAKE_CURRENT_BINARY_DIR}/registry-${name}"
          "ASAN_OPTIONS=detect_leaks=1" "UBSAN_OPTIONS=print_stacktrace=1"
          # No test reaches the machine's own buses; a bus test starts its own.
          "DBUS_SESSION_BUS_ADDRESS=unix:path=${CMAKE_BINARY_DIR}/no-session-bus"
          "DBUS_SYSTEM_BUS_ADDRESS=unix:path=${CMAKE_BINARY_DIR}/no-system-bus" ${A_ENV})
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABEL}" TIMEOUT ${A_TIMEOUT}
                                          ENVIRONMENT "${env}")
  # COST: the test's seconds on a 2-core machine; ctest -j starts the costly ones first, so the
  # long programs run beside the many short ones instead of after them.
  if(A_COST)
    set_tests_properties(${name} PROPERTIES COST ${A_COST})
  endif()
endfunction()
