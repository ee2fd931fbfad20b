# trellum_catalogue(<po file> <language> <domain>): compiles a gettext
# catalogue with msgfmt into locale/<language>/LC_MESSAGES/<domain>.mo under
# the build's binary folder, where the executables look for it.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
add_custom_target(catalogues ALL)
function(trellum_catalogue po language domain)
  set(out_dir ${CMAKE_BINARY_DIR}/bin/locale/${language}/LC_MESSAGES)
  set(mo ${out_dir}/${domain}.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${MSGFMT_EXECUTABLE} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling catalogue ${language}/${domain}.mo")
  add_custom_target(catalogue_${language}_${domain} DEPENDS ${mo})
  add_dependencies(catalogues catalogue_${language}_${domain})
endfunction()
