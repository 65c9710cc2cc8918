# What `cmake --install` puts under the prefix, and the Debian package CPack makes of it:
#   bin/zarnvnc, bin/zarnvnc-snap
#   share/applications/zarnvnc.desktop        menu entry, handler of vnc:// links
#   share/icons/hicolor/{scalable,NxN}/apps   the icon (PNGs rendered by data/icons/render)
#   share/metainfo/org.zarnvnc.Viewer.metainfo.xml
#   share/man/man1/zarnvnc.1, zarnvnc-snap.1
include(GNUInstallDirs)

set(ZARN_APPSTREAM_ID org.zarnvnc.Viewer)
set(ZARN_DATA_DIR ${PROJECT_SOURCE_DIR}/data)

if(TARGET zarnvnc)
  install(TARGETS zarnvnc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ZARN_DATA_DIR}/zarnvnc.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ZARN_DATA_DIR}/icons/zarnvnc.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(DIRECTORY ${ZARN_DATA_DIR}/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
    FILES_MATCHING PATTERN "*.png")
  install(FILES ${ZARN_DATA_DIR}/${ZARN_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${ZARN_DATA_DIR}/man/zarnvnc.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET zarnvnc-snap)
  install(TARGETS zarnvnc-snap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ZARN_DATA_DIR}/man/zarnvnc-snap.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# cpack -G DEB (./run --package): the Depends come from dpkg-shlibdeps over the installed
# programs, so they name the libraries the build actually linked, at their build versions.
set(CPACK_PACKAGE_NAME zarnvnc)
set(CPACK_PACKAGE_VENDOR "ZarnVNC")
set(CPACK_PACKAGE_CONTACT "ZarnVNC developers <zarnvnc@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "View and control a remote desktop over VNC")
set(CPACK_PACKAGE_DESCRIPTION "A viewer for the RFB (VNC) protocol with a Qt 6 window: keyboard and
mouse passed on, shared clipboard, full screen, screenshots, recent hosts and vnc:// links.
zarnvnc-snap is a headless client over the same engine for pictures and statistics.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
