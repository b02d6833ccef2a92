# What `cmake --install` puts where: the programs, and for each window its desktop entry and
# icons, in the usual places of a Unix desktop (GNUInstallDirs). The simulator stays out of a
# plain install and out of the package; `--component simulator` installs it for trying the
# updater without a device.
include(GNUInstallDirs)

set(VORN_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(VORN_ICON_PNG_SIZES 48 64 128 256)

install(TARGETS vornbsl-cli vornbsl-sensor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vornbsl-devsim)
  install(TARGETS vornbsl-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT simulator EXCLUDE_FROM_ALL)
endif()

function(vorn_install_window target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT UNIX OR APPLE)
    return()
  endif()
  install(FILES "${VORN_PACKAGING_DIR}/${target}.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES "${VORN_PACKAGING_DIR}/icons/${target}.svg" DESTINATION ${icons}/scalable/apps)
  foreach(size IN LISTS VORN_ICON_PNG_SIZES)
    install(FILES "${VORN_PACKAGING_DIR}/icons/${size}x${size}/${target}.png" DESTINATION ${icons}/${size}x${size}/apps)
  endforeach()
endfunction()

if(TARGET vornbsl)
  vorn_install_window(vornbsl)
  vorn_install_window(vornbsl-sensor)
endif()
