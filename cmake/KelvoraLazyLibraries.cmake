# kelvora_load_when_called(<target> <pkg-config module>...): the target links stand-ins for the
# modules' functions (tools/lazy-stubs.py) instead of the libraries, which it loads at the first
# call of one of their functions. A run that needs no codec then starts without loading
# libavcodec and the hundred libraries it brings. On other systems the target links them as usual.
find_package(PkgConfig REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(kelvora_load_when_called target)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$"
     OR KELVORA_LOAD_ALL_AT_START)
    return()
  endif()
  pkg_check_modules(KELVORA_CALLED REQUIRED ${ARGN})
  set(libraries)
  foreach(library IN LISTS KELVORA_CALLED_LINK_LIBRARIES)
    if(library MATCHES "\\.so$")
      list(APPEND libraries "${library}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES libraries)
  set_property(GLOBAL APPEND PROPERTY KELVORA_CALLED_LIBRARIES ${libraries})  # the package depends on them
  set(stubs "${CMAKE_CURRENT_BINARY_DIR}/${target}-called.S")
  set(table "${CMAKE_CURRENT_BINARY_DIR}/${target}-called.cpp")
  add_custom_command(OUTPUT "${stubs}" "${table}"
    COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/tools/lazy-stubs.py" "${stubs}" "${table}" ${libraries}
    DEPENDS "${PROJECT_SOURCE_DIR}/tools/lazy-stubs.py" ${libraries}
    COMMENT "Stand-ins for the functions of ${ARGN}" VERBATIM)
  # The target's own objects come first on the link line, before any library: the stand-ins
  # answer every call, and --as-needed leaves the libraries out of the program's needed list.
  target_sources(${target} PRIVATE "${stubs}" "${table}" "${PROJECT_SOURCE_DIR}/platform/system/LazyLibraries.cpp")
  target_link_options(${target} PRIVATE "LINKER:--as-needed")
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
endfunction()
