# Read by cpack for each generator. The portable forms pack the whole
# installation, the components "programs" and "portable"; the Debian package
# takes "programs" into its folder and "debian", which installs into the
# system's places, instead of "portable".
if(CPACK_GENERATOR STREQUAL "DEB")
  # The system's places are absolute: installed with DESTDIR, they go below
  # the package's root, and the prefix is CPACK_INSTALL_PREFIX.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX ${CPACK_TRELLUM_DEB_FOLDER})
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CPACK_TRELLUM_DEB_FOLDER})
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL programs debian)
  set(CPACK_STRIP_FILES ON)
endif()
