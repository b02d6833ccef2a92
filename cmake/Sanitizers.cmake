# A second build directory configured with VORN_SANITIZE=ON runs the layers below
# the window under AddressSanitizer and UndefinedBehaviorSanitizer.
if(VORN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
