# Every target of the project compiles with the same strict warnings.
function(vorn_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Wnull-dereference -Wdouble-promotion -Wimplicit-fallthrough)
endfunction()
