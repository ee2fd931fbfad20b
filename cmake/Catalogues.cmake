find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
add_custom_target(catalogues ALL)

# trellum_compile_mo(<po> <root> <language> <domain> <msgfmt options...>):
# the command that compiles one catalogue into
# <root>/locale/<language>/LC_MESSAGES/<domain>.mo, the layout gettext reads.
function(trellum_compile_mo po root language domain)
  set(out_dir ${root}/locale/${language}/LC_MESSAGES)
  add_custom_command(OUTPUT ${out_dir}/${domain}.mo
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${MSGFMT_EXECUTABLE} ${ARGN} -o ${out_dir}/${domain}.mo ${po}
    DEPENDS ${po}
    COMMENT "Compiling catalogue ${language}/${domain}.mo")
endfunction()

# trellum_catalogue(<po file> <language> <domain>): a shipped catalogue,
# compiled beside the executables in the build's bin/ folder.
function(trellum_catalogue po language domain)
  set(root ${CMAKE_BINARY_DIR}/bin)
  trellum_compile_mo(${po} ${root} ${language} ${domain} --check)
  add_custom_target(catalogue_${language}_${domain}
    DEPENDS ${root}/locale/${language}/LC_MESSAGES/${domain}.mo)
  add_dependencies(catalogues catalogue_${language}_${domain})
endfunction()

# trellum_test_catalogues(<target> <root variable> <language-domain>...):
# catalogues private to one test folder, from catalogues/<language-domain>.po
# there, compiled unchecked (some hold unsound translations on purpose) under
# the folder's binary directory; <root variable> receives that root.
function(trellum_test_catalogues target root_var)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/catalogues)
  set(mo_files)
  foreach(entry IN LISTS ARGN)
    string(REPLACE "-" ";" parts ${entry})
    list(GET parts 0 language)
    list(GET parts 1 domain)
    trellum_compile_mo(${CMAKE_CURRENT_SOURCE_DIR}/catalogues/${entry}.po ${root} ${language} ${domain})
    list(APPEND mo_files ${root}/locale/${language}/LC_MESSAGES/${domain}.mo)
  endforeach()
  add_custom_target(${target} DEPENDS ${mo_files})
  set(${root_var} ${root} PARENT_SCOPE)
endfunction()
