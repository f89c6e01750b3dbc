# Builds a target with the sanitizers named in ASKNAME_SANITIZERS; any error
# they find ends the process, so a test cannot pass over it.
function(askname_sanitize target)
  if(ASKNAME_SANITIZERS)
    set(flags -fsanitize=${ASKNAME_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(${target} PRIVATE ${flags})
    target_link_options(${target} PRIVATE ${flags})
  endif()
endfunction()
