# Settings every target of the project shares: standard, warnings, sanitizers and the
# explicit-conversion defines that keep GBK bytes and QString apart.
add_library(yfx_common INTERFACE)
target_compile_features(yfx_common INTERFACE cxx_std_20)
target_compile_options(yfx_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(yfx_common INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING)
target_include_directories(yfx_common INTERFACE ${PROJECT_SOURCE_DIR})

if(YFX_SANITIZE)
  add_compile_options(-fsanitize=${YFX_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${YFX_SANITIZE})
  if(YFX_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# yfx_add_gtest(NAME SOURCES a.cpp ... LIBS lib ... [LABELS l] [QT])
# One label only: the discovery script flattens every property list it is given.
# One executable per unit; tests are discovered one by one. QT tests run offscreen.
function(yfx_add_gtest name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE yfx_common ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(T_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  # the discovery script splits a list-valued property, so the folders travel as definitions
  target_compile_definitions(${name} PRIVATE YFX_SOURCE_DIR="${PROJECT_SOURCE_DIR}" YFX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# yfx_add_qtest(NAME SOURCES a.cpp ... LIBS lib ... [LABELS l ...])
# A Qt Test executable (QTEST_MAIN), run offscreen as one CTest test.
function(yfx_add_qtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE yfx_common ${T_LIBS} Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE YFX_SOURCE_DIR="${PROJECT_SOURCE_DIR}" YFX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;YFX_SOURCE_DIR=${PROJECT_SOURCE_DIR};YFX_BINARY_DIR=${PROJECT_BINARY_DIR};XDG_DATA_HOME=${PROJECT_BINARY_DIR}/test-data")
endfunction()

add_custom_target(yfx_fuzzers)

# yfx_fuzz_instrument(lib ...): with YFX_FUZZ, coverage instrumentation inside libraries that a
# fuzzer exercises, so that the fuzzer sees their branches and not only the harness's.
function(yfx_fuzz_instrument)
  if(YFX_FUZZ)
    foreach(lib ${ARGN})
      target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
    endforeach()
  endif()
endfunction()

# yfx_add_fuzzer(NAME SOURCES a.cpp ... LIBS lib ...): only with YFX_FUZZ (clang).
function(yfx_add_fuzzer name)
  if(NOT YFX_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/FuzzerOptions.cpp)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  add_dependencies(yfx_fuzzers ${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE yfx_common ${T_LIBS})
endfunction()
