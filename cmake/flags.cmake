# askname_flags(TARGET): the warnings, sanitizers and hardening of a target,
# as the options in CMakeLists.txt set them.
function(askname_flags target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ASKNAME_WARNINGS_AS_ERRORS}>:/WX>)
    return()
  endif()
  set(warnings all extra pedantic shadow conversion sign-conversion old-style-cast null-dereference format=2
      cast-align cast-qual double-promotion extra-semi implicit-fallthrough missing-declarations
      non-virtual-dtor overloaded-virtual undef zero-as-null-pointer-constant)
  list(TRANSFORM warnings PREPEND -W)
  set(gnu_warnings -Wuseless-cast -Wlogical-op -Wduplicated-cond -Wduplicated-branches)
  target_compile_options(${target} PRIVATE ${warnings} $<$<CXX_COMPILER_ID:GNU>:${gnu_warnings}>
                                           $<$<BOOL:${ASKNAME_WARNINGS_AS_ERRORS}>:-Werror>)
  if(ASKNAME_SANITIZERS)
    # Any error they find ends the process, so no test can pass over it.
    set(flags -fsanitize=${ASKNAME_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(${target} PRIVATE ${flags})
    target_link_options(${target} PRIVATE ${flags})
  endif()
  if(ASKNAME_HARDEN AND NOT WIN32 AND NOT APPLE)
    # What Debian 12's dpkg-buildflags hardening=+all gives, PIE aside (set
    # in CMakeLists.txt).  The -U keeps a compiler that fortifies by default
    # (Ubuntu's, at level 3) from warning of a second definition; glibc
    # fortifies only optimised code.
    target_compile_options(${target} PRIVATE -fstack-protector-strong
                                             $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
    target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
endfunction()
