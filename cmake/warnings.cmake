# Strict warnings for one target; errors too when ASKNAME_WARNINGS_AS_ERRORS.
function(askname_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ASKNAME_WARNINGS_AS_ERRORS}>:/WX>)
    return()
  endif()
  target_compile_options(
    ${target}
    PRIVATE -Wall
            -Wextra
            -Wpedantic
            -Wshadow
            -Wconversion
            -Wsign-conversion
            -Wold-style-cast
            -Wnull-dereference
            -Wformat=2
            -Wcast-align
            -Wcast-qual
            -Wdouble-promotion
            -Wextra-semi
            -Wimplicit-fallthrough
            -Wmissing-declarations
            -Wnon-virtual-dtor
            -Woverloaded-virtual
            -Wundef
            -Wzero-as-null-pointer-constant
            $<$<CXX_COMPILER_ID:GNU>:-Wuseless-cast
            -Wlogical-op
            -Wduplicated-cond
            -Wduplicated-branches>
            $<$<BOOL:${ASKNAME_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
