# The Windows release's README.txt (tools/windows-release puts it in the zip), written from what
# this build holds, so that it names only programs the zip has and commands they can run.
if(NOT WIN32)
  return()
endif()

set(VORN_README_PROGRAMS
  "vornbsl-cli.exe updates the firmware of a Pelloran TGX (built-in image TGX 1.50) without
losing its settings; vornbsl-sensor-cli.exe updates a SKYRA 61 digital sensor through a
Fieldrex or AQUIN Comm Device. Both run from a command prompt.")
if(TARGET vornbsl)
  string(APPEND VORN_README_PROGRAMS "
vornbsl.exe and vornbsl-sensor.exe are the same updates in a window.")
endif()
set(VORN_README_COMMANDS "")
if(TARGET vorn_web)
  string(APPEND VORN_README_COMMANDS
    "  vornbsl-cli check-version                 ask the maker's web host for newer firmware\n")
endif()
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in" "${PROJECT_BINARY_DIR}/README.txt" @ONLY)
