# The Windows cross build's libraries: Qt and libintl for mingw-w64, built
# from Debian's sources once per machine into its cache by scripts/windows/,
# and the compiler's own runtime. The program and its tests run from bin/, so
# every DLL they load and Qt's plugins are copied there at build time; the
# zip takes the same files, without what only the tests use.

foreach(library qt libintl)
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/windows/build-${library}.sh --prefix
    OUTPUT_VARIABLE prefix OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT IS_DIRECTORY ${prefix})
    message(FATAL_ERROR "${library} for mingw-w64 is not built on this machine (${prefix} is missing): "
                        "run bash scripts/windows/build-${library}.sh")
  endif()
  string(TOUPPER ${library} name)
  set(TRELLUM_${name}_PREFIX ${prefix})
  # The toolchain searches only below its root paths.
  list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
  list(APPEND CMAKE_PREFIX_PATH ${prefix})
endforeach()
# Qt's tools (moc, rcc, uic) are those of the native Qt of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE ${path})
    message(FATAL_ERROR "the mingw-w64 runtime ${dll} was not found")
  endif()
  list(APPEND TRELLUM_COMPILER_RUNTIME ${path})
endforeach()

# What trellum.exe loads, by folder beside it; the tests add Qt Test and the
# offscreen platform.
set(TRELLUM_RUNTIME_DLLS
  ${TRELLUM_QT_PREFIX}/bin/Qt6Core.dll
  ${TRELLUM_QT_PREFIX}/bin/Qt6Gui.dll
  ${TRELLUM_QT_PREFIX}/bin/Qt6Widgets.dll
  ${TRELLUM_LIBINTL_PREFIX}/bin/libintl-8.dll
  ${TRELLUM_COMPILER_RUNTIME})
set(TRELLUM_RUNTIME_PLATFORMS ${TRELLUM_QT_PREFIX}/plugins/platforms/qwindows.dll)
set(TRELLUM_RUNTIME_STYLES ${TRELLUM_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll)
set(test_dlls ${TRELLUM_QT_PREFIX}/bin/Qt6Test.dll)
set(test_platforms ${TRELLUM_QT_PREFIX}/plugins/platforms/qoffscreen.dll)

set(bin ${CMAKE_BINARY_DIR}/bin)
add_custom_target(windows_runtime ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TRELLUM_RUNTIME_DLLS} ${test_dlls} ${bin}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TRELLUM_RUNTIME_PLATFORMS} ${test_platforms} ${bin}/platforms
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TRELLUM_RUNTIME_STYLES} ${bin}/styles
  COMMENT "Copying Qt, libintl and the mingw-w64 runtime beside the programs")

install(FILES ${TRELLUM_RUNTIME_DLLS} DESTINATION .)
install(FILES ${TRELLUM_RUNTIME_PLATFORMS} DESTINATION platforms)
install(FILES ${TRELLUM_RUNTIME_STYLES} DESTINATION styles)
# The compiler's runtime comes with its debugging symbols: a user needs none.
foreach(dll IN LISTS TRELLUM_COMPILER_RUNTIME)
  get_filename_component(name ${dll} NAME)
  install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\")")
endforeach()
