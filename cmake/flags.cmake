# askname_flags(TARGET): the warnings, sanitizers and hardening of a target,
# as the options in CMakeLists.txt set them.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)

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
    askname_hardening(compile link)
    target_compile_options(${target} PRIVATE ${compile})
    target_link_options(${target} PRIVATE ${link})
  endif()
endfunction()

# The OpenSSF compiler-hardening guide's flags that this compiler takes, PIE
# aside (set in CMakeLists.txt), each only where the builder's own compile
# and link flags say neither it nor its opposite: a distribution's choice
# stands, both ways.  glibc fortifies only optimised code, at level 3 where
# it and the compiler can.  docs/DEVELOPMENT.md#hardening says what results.
function(askname_hardening compile link)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" type)
  set(builder "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${type}} ${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${type}}")
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles("#ifdef _FORTIFY_SOURCE\n#error\n#endif\nint main() {}" askname_fortify_unset)
  set(CMAKE_REQUIRED_FLAGS "-O2 -D_FORTIFY_SOURCE=3")
  check_cxx_source_compiles("#include <cstring>\n#if __USE_FORTIFY_LEVEL < 3\n#error\n#endif\nint main() {}"
                            askname_fortify_3)
  unset(CMAKE_REQUIRED_FLAGS)
  set(flags)
  if(NOT builder MATCHES "_GLIBCXX_ASSERTIONS") # libstdc++'s bounds checks, which cost nothing measurable here
    list(APPEND flags -D_GLIBCXX_ASSERTIONS)
  endif()
  if(askname_fortify_unset AND NOT builder MATCHES "_FORTIFY_SOURCE")
    list(APPEND flags $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=$<IF:$<BOOL:${askname_fortify_3}>,3,2>>)
  endif()
  set(candidates -fstack-protector-strong -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$") # clang takes either anywhere, but warns
    list(APPEND candidates -fcf-protection=full)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    list(APPEND candidates -mbranch-protection=standard)
  endif()
  foreach(flag ${candidates})
    string(MAKE_C_IDENTIFIER "askname_has${flag}" has)
    check_cxx_compiler_flag(${flag} ${has})
    # -fstack-protector-strong is said by -fstack-protector-all or -fno-stack-protector too.
    string(REGEX REPLACE "-strong$|=.*$" "" said "${flag}")
    string(REGEX REPLACE "^-([fm])" "-\\1(no-)?" said "${said}")
    if(${has} AND NOT builder MATCHES "${said}")
      list(APPEND flags ${flag})
    endif()
  endforeach()
  set(${compile} ${flags} PARENT_SCOPE)
  # Each of ours, then what says it or its opposite: -z norelro, -z lazy, -z execstack.
  set(candidates relro relro now "z[, ]*(now|lazy)" noexecstack execstack)
  set(flags)
  while(candidates)
    list(POP_FRONT candidates flag said)
    if(NOT builder MATCHES "${said}")
      list(APPEND flags LINKER:-z,${flag})
    endif()
  endwhile()
  set(${link} ${flags} PARENT_SCOPE)
endfunction()
