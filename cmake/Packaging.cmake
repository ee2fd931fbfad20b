# Packaging: `cmake --install build --prefix DIR` makes a folder that runs
# where it lies (the settings file is written beside the executable, so it
# stays the user's); CPack packs the same folder, as a .tar.gz on Linux and a
# .zip for Windows. `cpack -G DEB` makes the Debian package of the same build:
# the programs in TRELLUM_DEB_FOLDER, the rest in the system's places
# (cmake/CPackProjectConfig.cmake chooses the components per generator).
# Installing and packing take what is built and never start a build of
# everything (build first: cmake --build build).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME trellum)
set(CPACK_PACKAGE_VENDOR trellum)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_FILE_NAME trellum-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME trellum-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

set(CPACK_PACKAGE_CONTACT "trellum maintainers <maintainers@trellum.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test tool for serial proximity card readers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "The window Velmora (trellum) connects to a card reader on a serial port or\n"
  "behind a network device server, decodes and answers every card code and\n"
  "event it sends, and drives its outputs, relay and options. trellum-check\n"
  "finds the readers on a line and runs an acceptance test of one without a\n"
  "window; trellum-reader plays a virtual reader on a pseudo-terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, found by dpkg-shlibdeps: Qt's runtime
# (its X11 platform plugin is in libqt6gui6) and the C++ runtime.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_TRELLUM_DEB_FOLDER ${TRELLUM_DEB_FOLDER})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake)
include(CPack)
