# `cpack -G DEB` in the build folder makes a Debian package of what `cmake --install` puts
# in place. Its library dependencies are read from the executables by dpkg-shlibdeps, and for
# the libraries the program loads when it first calls them (which no executable names), from
# the shlibs files of the packages that hold them here.
set(CPACK_PACKAGE_NAME kelvora-maker)
set(CPACK_PACKAGE_VENDOR "The Kelvora Maker team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns an ordered list of images into a video")
set(CPACK_PACKAGE_DESCRIPTION "Fill a frame list with BMP images, put them in order and save \
them as an uncompressed AVI video at 1 to 30 frames per second. Files can be dropped on the \
list or given on the command line; a batch mode makes videos without a display.")
set(CPACK_PACKAGE_CONTACT "The Kelvora Maker team <maintainers@kelvora.org>")
# GPL-3.0-or-later (libx264, which writes the videos to share, is GPL); the Debian copyright
# file is installed with the data (data/copyright).
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs speak Italian with the window only when Qt's translations are there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

function(kelvora_called_library_depends out)
  get_property(called GLOBAL PROPERTY KELVORA_CALLED_LIBRARIES)
  set(depends)
  foreach(library IN LISTS called)
    file(REAL_PATH "${library}" real)
    execute_process(COMMAND dpkg-query -S "${real}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(failed)
      message(WARNING "No Debian package holds ${real}: the package will not depend on it")
      continue()
    endif()
    string(REGEX REPLACE ":.*" "" package "${owner}")
    get_filename_component(file "${real}" NAME)
    string(REGEX REPLACE "^(.*)\\.so\\.([0-9]+).*$" "\\1 \\2 " key "${file}")
    set(depend "${package}")
    file(GLOB shlibs "/var/lib/dpkg/info/${package}.shlibs" "/var/lib/dpkg/info/${package}:*.shlibs")
    foreach(shlib IN LISTS shlibs)
      file(STRINGS "${shlib}" lines REGEX "^${key}")
      if(lines)
        list(GET lines 0 line)
        string(LENGTH "${key}" skip)
        string(SUBSTRING "${line}" ${skip} -1 depend)
      endif()
    endforeach()
    list(APPEND depends "${depend}")
  endforeach()
  list(REMOVE_DUPLICATES depends)
  list(JOIN depends ", " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()
kelvora_called_library_depends(CPACK_DEBIAN_PACKAGE_DEPENDS)
include(CPack)
