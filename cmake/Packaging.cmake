# Installation and the Debian package (cpack -G DEB, or scripts/package-deb).
#
# Installed layout (prefix /usr in the package):
#   bin/kvt-service                  launcher: makes the engineer's program folder, starts the program
#   bin/kvtctl                       the command-line companion (works in . or --dir DIR)
#   lib/kvt-service/kvt-service      the desktop program
#   share/kvt-service/               default data: vesmar.ini, simulator.ini, Memory/etalon.pat
#   share/applications/kvt-service.desktop, share/icons/hicolor/scalable/apps/kvt-service.svg

install(TARGETS kvtctl RUNTIME DESTINATION bin)
if(KVT_WITH_QT)
  install(TARGETS kvt-service RUNTIME DESTINATION lib/kvt-service)
  install(PROGRAMS packaging/kvt-service-launcher.sh DESTINATION bin RENAME kvt-service)
  install(FILES packaging/kvt-service.desktop DESTINATION share/applications)
  install(FILES packaging/kvt-service.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
install(FILES data/vesmar.ini data/simulator.ini DESTINATION share/kvt-service)
install(FILES data/Memory/etalon.pat DESTINATION share/kvt-service/Memory)
install(DIRECTORY DESTINATION share/kvt-service/Memory/BIN)

set(CPACK_PACKAGE_NAME kvt-service)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KVT-Vesmar service")
set(CPACK_PACKAGE_CONTACT "KVT-Vesmar service <service@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service program for the KVT-Vesmar X-ray generator, with kvtctl and a simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "Identifies, reads and writes the configuration, adjusts and calibrates the high-voltage\n\
generator of the KVT-Vesmar chest-screening X-ray apparatus over a serial line. Ships the\n\
apparatus simulator for training and kvtctl for scripted checks and backups.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The runtime libraries the binaries link, as dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library lookup finds them: the X11 platform plugin the window needs,
# and Qt's Russian texts of the standard dialog buttons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
