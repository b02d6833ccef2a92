# A second build directory configured with VORN_SANITIZE=ON runs the layers below
# the window under AddressSanitizer and UndefinedBehaviorSanitizer.
if(VORN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build: clang's libFuzzer over code built with the same two sanitizers.
# Only the fuzz targets link the fuzzer's main.
if(VORN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VORN_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++ (or use tools/fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
