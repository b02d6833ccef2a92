# The Debian package, made by CPack from the install rules: `cpack -G DEB` in the build folder
# (tools/package builds the programs and runs it). Its dependencies come from the libraries the
# programs link (dpkg-shlibdeps, package dpkg-dev), plus the Qt platform plugins that the
# windows load at run time and no linker sees. It changes nobody's groups: the README and the
# permission message tell how to join dialout.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vornbsl)
set(CPACK_PACKAGE_VENDOR "Tessaly Devices, Inc")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "firmware updater for serial-port instruments, data loggers and SDI-12 sensors")
# Debian's tools read the description's lines as they stand: at most 80 columns each.
set(CPACK_PACKAGE_DESCRIPTION
  "Updates the firmware of serial-port measurement instruments, data loggers
and SDI-12 digital sensors without losing their settings: it identifies the
device, saves its settings, starts the device's bootstrap loader, rewrites its
flash, restarts it and writes the settings back. Two windows (vornbsl for the
Pelloran TGX, vornbsl-sensor for SDI-12 sensors) and their command-line
programs (vornbsl-cli, vornbsl-sensor-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# No comma in the name: it would split the field into two addresses.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tessaly Devices Inc <support@tessaly.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://software.tessaly.example")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET vornbsl)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()

include(CPack)
