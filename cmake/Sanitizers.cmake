# trellum_target_defaults(<target>): the compile settings every target of the
# project shares, applied per target so that no global flag leaks into other
# builds: warnings (errors with TRELLUM_WERROR) and the sanitizer chosen by
# TRELLUM_SANITIZER.
function(trellum_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${TRELLUM_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TRELLUM_WERROR}>:-Werror>)
  endif()
  if(TRELLUM_SANITIZER)
    target_compile_options(${target} PRIVATE -fsanitize=${TRELLUM_SANITIZER} -fno-omit-frame-pointer -g)
    target_link_options(${target} PRIVATE -fsanitize=${TRELLUM_SANITIZER})
    if(TRELLUM_SANITIZER MATCHES "undefined")
      target_compile_options(${target} PRIVATE -fno-sanitize-recover=undefined)
    endif()
    # GCC's sanitizer instrumentation makes false "may be used uninitialized"
    # warnings (in <regex>, for one); the plain build still gives the real ones.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
  endif()
endfunction()
