# Makes the Debian package of this build into a fresh folder: cmake -DCPACK=... -DCONFIG=... -DOUT=... -P
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" -G DEB --config "${CONFIG}" -B "${OUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed: ${result}")
endif()
