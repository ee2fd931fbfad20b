# trellum_sanitize(<target>): adds the sanitizer chosen by TRELLUM_SANITIZER
# to one target, so that no global flag leaks into other builds.
function(trellum_sanitize target)
  if(TRELLUM_SANITIZER)
    target_compile_options(${target} PRIVATE -fsanitize=${TRELLUM_SANITIZER} -fno-omit-frame-pointer -g)
    target_link_options(${target} PRIVATE -fsanitize=${TRELLUM_SANITIZER})
  endif()
endfunction()
