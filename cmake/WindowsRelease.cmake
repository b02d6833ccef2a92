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
vornbsl.exe and vornbsl-sensor.exe are the same updates in a window: pick the COM port,
press Start.")
endif()
set(VORN_README_COMMANDS "")
if(TARGET vorn_web)
  string(APPEND VORN_README_COMMANDS
    "  vornbsl-cli check-version                 ask the maker's web host for newer firmware\n")
endif()
# The installer is made where wixl is (tools/install-deps --windows brings it).
find_program(VORN_WIXL wixl)
set(VORN_README_INSTALL "No installation is needed: each program is one file and needs nothing else.\n\n")
if(VORN_WIXL AND TARGET vornbsl)
  set(VORN_README_INSTALL [=[Installing: run VornBSL-@PROJECT_VERSION@-windows-x64.msi (or, without installing, use the
programs from the zip as they are: each is one file and needs nothing else). The installer puts
the four programs in Program Files\VornBSL and a VornBSL folder in the Start menu with
"Pelloran TGX Firmware Updater" and "SKYRA 61 Sensor Suite Firmware Updater", the two windows;
Settings > Apps (or Programs and Features) removes it again. Silently:
  msiexec /i VornBSL-@PROJECT_VERSION@-windows-x64.msi /qn      msiexec /x ... /qn removes it

]=])
  string(CONFIGURE "${VORN_README_INSTALL}" VORN_README_INSTALL @ONLY)
endif()
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in" "${PROJECT_BINARY_DIR}/README.txt" @ONLY)

# The installer: both windows and both command-line programs, stripped, with the README and the
# licence (CR LF line ends), packed by wixl when the machine has it (tools/install-deps --windows).
if(NOT VORN_WIXL OR NOT TARGET vornbsl)
  return()
endif()
set(VORN_MSI_STAGE "${PROJECT_BINARY_DIR}/msi-stage")
# wixl reads the files by paths relative to the folder it runs in: the build folder.
set(VORN_MSI_ICON "src/win32/vornbsl.ico")
set(VORN_MSI "${PROJECT_BINARY_DIR}/VornBSL-${PROJECT_VERSION}-windows-x64.msi")
set(VORN_MSI_STAGE_RELATIVE "msi-stage")
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/vornbsl.wxs.in" "${PROJECT_BINARY_DIR}/vornbsl.wxs" @ONLY)
set(VORN_STRIP ${CMAKE_STRIP})
if(NOT VORN_STRIP)
  set(VORN_STRIP x86_64-w64-mingw32-strip)
endif()
set(stage_commands "")
foreach(program vornbsl vornbsl-sensor vornbsl-cli vornbsl-sensor-cli)
  list(APPEND stage_commands COMMAND ${VORN_STRIP} -o "${VORN_MSI_STAGE}/${program}.exe" "$<TARGET_FILE:${program}>")
endforeach()
add_custom_command(OUTPUT ${VORN_MSI}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VORN_MSI_STAGE}
  ${stage_commands}
  COMMAND sed "s/$/\\r/" "${PROJECT_BINARY_DIR}/README.txt" > "${VORN_MSI_STAGE}/README.txt"
  COMMAND sed "s/$/\\r/" "${PROJECT_SOURCE_DIR}/LICENSE" > "${VORN_MSI_STAGE}/LICENSE.txt"
  COMMAND ${VORN_WIXL} --arch x64 -o ${VORN_MSI} vornbsl.wxs
  DEPENDS vornbsl vornbsl-sensor vornbsl-cli vornbsl-sensor-cli "${PROJECT_BINARY_DIR}/vornbsl.wxs"
    "${PROJECT_BINARY_DIR}/README.txt" "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_BINARY_DIR}/${VORN_MSI_ICON}"
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  VERBATIM)
add_custom_target(vornbsl-msi ALL DEPENDS ${VORN_MSI})
