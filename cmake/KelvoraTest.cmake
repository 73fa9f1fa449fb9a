find_package(GTest REQUIRED)
include(GoogleTest)

# kelvora_add_test(<name> [QT] SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; every test runs with the offscreen Qt platform so the real
# window can be driven without a display. QT: the test needs a QApplication (its main
# makes one before running the tests).
function(kelvora_add_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  # A misspelt keyword would otherwise drop its list without a word.
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_SOURCES)
    message(FATAL_ERROR "kelvora_add_test(${name}): needs SOURCES; not understood: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_QT)
    set(test_main kelvora_test_qtmain)
  else()
    set(test_main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kelvora_options GTest::gtest ${test_main} GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    KELVORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KELVORA_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
endfunction()
