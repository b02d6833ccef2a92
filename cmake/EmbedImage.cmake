# vorn_embed_image(IMAGE_FILE TARGET [DEVICE_TYPE N]): converts a TI-Text
# firmware release at build time into a generated source that defines
# BuiltInFirmware() (image text, vector words, label, device type and version
# from the file name), and builds it as the static library TARGET. DEVICE_TYPE
# replaces a type the file name cannot give (a tag with "-" in it). A program
# links vorn_bsl and one such library; swapping the release is swapping the file.
function(vorn_embed_image image target)
  cmake_parse_arguments(E "" "DEVICE_TYPE" "" ${ARGN})
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp")
  set(type_option "")
  if(DEFINED E_DEVICE_TYPE)
    set(type_option --device-type ${E_DEVICE_TYPE})
  endif()
  add_custom_command(
    OUTPUT "${generated}"
    COMMAND embed_image "${image}" "${generated}" ${type_option}
    DEPENDS embed_image "${image}"
    COMMENT "Embedding firmware image ${image}"
    VERBATIM)
  add_library(${target} STATIC "${generated}")
  target_link_libraries(${target} PUBLIC vorn_titext)
  vorn_warnings(${target})
  # The image text is one long literal by design.
  target_compile_options(${target} PRIVATE -Wno-overlength-strings)
endfunction()
