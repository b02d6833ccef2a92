# vorn_embed_image(IMAGE_FILE TARGET CHECK_LENGTH L CHECK_SUM S [DEVICE_TYPE N] [SENSOR_TYPE T]):
# converts a TI-Text firmware release at build time into a generated source that
# defines BuiltInFirmware() (image text, vector words, label, device type and
# version from the file name, the release's check values), and builds it as the
# static library TARGET. DEVICE_TYPE replaces a type the file name cannot give;
# SENSOR_TYPE names the SDI-12 sensor type of a digital-sensor image (DEVICE_TYPE 10).
# A program links vorn_bsl and one such library: the library it links is the
# program's build target (a digital-sensor image makes a digital-sensor build).
function(vorn_embed_image image target)
  cmake_parse_arguments(E "" "DEVICE_TYPE;SENSOR_TYPE;CHECK_LENGTH;CHECK_SUM" "" ${ARGN})
  if(NOT DEFINED E_CHECK_LENGTH OR NOT DEFINED E_CHECK_SUM)
    message(FATAL_ERROR "vorn_embed_image: ${target} needs the release's CHECK_LENGTH and CHECK_SUM")
  endif()
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp")
  set(options --check ${E_CHECK_LENGTH} ${E_CHECK_SUM})
  if(DEFINED E_DEVICE_TYPE)
    list(APPEND options --device-type ${E_DEVICE_TYPE})
  endif()
  if(DEFINED E_SENSOR_TYPE)
    list(APPEND options --sensor-type ${E_SENSOR_TYPE})
  endif()
  add_custom_command(
    OUTPUT "${generated}"
    COMMAND embed_image "${image}" "${generated}" ${options}
    DEPENDS embed_image "${image}"
    COMMENT "Embedding firmware image ${image}"
    VERBATIM)
  add_library(${target} STATIC "${generated}")
  target_link_libraries(${target} PUBLIC vorn_titext)
  vorn_warnings(${target})
  # The image text is one long literal by design.
  target_compile_options(${target} PRIVATE -Wno-overlength-strings)
endfunction()
