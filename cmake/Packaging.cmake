# Installation and the Debian package (cpack -G DEB, or scripts/package-deb).
#
# Installed layout (prefix /usr in the package):
#   bin/kvt-service                  launcher of the service program (program folder
#                                    ~/.local/share/kvt-service: no port mapped, the machine's
#                                    serial ports are probed)
#   bin/kvt-trainer                  launcher of the trainer (~/.local/share/kvt-trainer: COM1 is
#                                    the apparatus simulator)
#   bin/kvtctl                       the command-line companion (works in . or --dir DIR)
#   lib/kvt-service/kvt-service      the desktop program
#   share/kvt-service/service/       default data of the service program: vesmar.ini, Memory/
#   share/kvt-service/trainer/       default data of the trainer: vesmar.ini, simulator.ini, Memory/
#   share/applications/kvt-service.desktop, kvt-trainer.desktop,
#   share/icons/hicolor/scalable/apps/kvt-service.svg

# The service program's settings are the shipped ones with every port left to the machine: the
# [Ports] line of data/vesmar.ini (COM1 mapped to the simulator, for ./run and the trainer) is
# replaced by four empty mappings. The file is windows-1251 with CRLF line ends: file(READ) keeps
# the bytes but drops the CRs, which are put back (scripts/check-package compares the two files).
file(READ ${CMAKE_SOURCE_DIR}/data/vesmar.ini kvt_settings)
string(FIND "${kvt_settings}" "COM1=simulator\n" kvt_ports_at)
if(kvt_ports_at LESS 0)
  message(FATAL_ERROR "data/vesmar.ini: the line COM1=simulator of [Ports] is missing")
endif()
string(REPLACE "COM1=simulator\n" "COM1=\nCOM2=\nCOM3=\nCOM4=\n" kvt_settings "${kvt_settings}")
string(ASCII 13 kvt_cr)
string(REPLACE "\n" "${kvt_cr}\n" kvt_settings "${kvt_settings}")
file(WRITE ${CMAKE_BINARY_DIR}/packaging/service/vesmar.ini "${kvt_settings}")
unset(kvt_settings)

install(TARGETS kvtctl RUNTIME DESTINATION bin)
if(KVT_WITH_QT)
  install(TARGETS kvt-service RUNTIME DESTINATION lib/kvt-service)
  install(PROGRAMS packaging/kvt-service-launcher.sh DESTINATION bin RENAME kvt-service)
  install(PROGRAMS packaging/kvt-service-launcher.sh DESTINATION bin RENAME kvt-trainer)
  install(FILES packaging/kvt-service.desktop packaging/kvt-trainer.desktop
          DESTINATION share/applications)
  install(FILES packaging/kvt-service.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/service/vesmar.ini
        DESTINATION share/kvt-service/service)
install(FILES data/vesmar.ini data/simulator.ini DESTINATION share/kvt-service/trainer)
foreach(folder service trainer)
  install(FILES data/Memory/etalon.pat DESTINATION share/kvt-service/${folder}/Memory)
  install(DIRECTORY DESTINATION share/kvt-service/${folder}/Memory/BIN)
endforeach()

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
