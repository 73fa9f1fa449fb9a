# `cpack -G DEB` in the build folder makes a Debian package of what `cmake --install` puts
# in place. Its library dependencies are read from the executable by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME kelvora-maker)
set(CPACK_PACKAGE_VENDOR "The Kelvora Maker team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Turns an ordered list of BMP images into an AVI video")
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
include(CPack)
