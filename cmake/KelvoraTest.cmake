find_package(GTest REQUIRED)
include(GoogleTest)

# kelvora_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; every test runs with the offscreen Qt platform so the real
# window can be driven without a display.
function(kelvora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kelvora_options GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    KELVORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KELVORA_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
endfunction()
