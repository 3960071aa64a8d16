# Warnings, sanitizers and the test helper shared by every module.

add_compile_options(-Wall -Wextra -Wpedantic)
if(ZEPHRA_WERROR)
  add_compile_options(-Werror)
endif()

if(ZEPHRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(ZEPHRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZEPHRA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Everything is built with coverage feedback and the sanitizers; the fuzz targets add the
  # libFuzzer driver themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)

# zephra_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest executable run as one CTest test. Tests labelled "nonui" also run in the
# sanitizer build.
function(zephra_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    ZEPHRA_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    ZEPHRA_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900
    ENVIRONMENT "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endfunction()
