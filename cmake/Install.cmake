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

# The documents, where a Debian system keeps them: the manual pages and the changelog gzipped at
# the highest compression without a time stamp, and the copyright file naming the licence.
if(UNIX AND NOT APPLE)
  set(VORN_DOC_BUILD_DIR "${PROJECT_BINARY_DIR}/doc")
  configure_file("${VORN_PACKAGING_DIR}/debian/changelog.in" "${VORN_DOC_BUILD_DIR}/changelog" @ONLY)
  set(VORN_MAN_PAGES vornbsl-cli vornbsl-sensor-cli)
  if(TARGET vornbsl)
    list(APPEND VORN_MAN_PAGES vornbsl vornbsl-sensor)
  endif()
  set(compressed "${VORN_DOC_BUILD_DIR}/changelog.gz")
  set(plain "${VORN_DOC_BUILD_DIR}/changelog")
  foreach(page IN LISTS VORN_MAN_PAGES)
    list(APPEND compressed "${VORN_DOC_BUILD_DIR}/${page}.1.gz")
    list(APPEND plain "${PROJECT_SOURCE_DIR}/docs/man/${page}.1")
  endforeach()
  foreach(source target IN ZIP_LISTS plain compressed)
    add_custom_command(OUTPUT "${target}" COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh "${source}" "${target}"
      DEPENDS "${source}" VERBATIM)
  endforeach()
  add_custom_target(vorn_documents ALL DEPENDS ${compressed})
  list(POP_FRONT compressed changelog)
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES "${changelog}" "${VORN_PACKAGING_DIR}/debian/copyright"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vornbsl)
endif()
