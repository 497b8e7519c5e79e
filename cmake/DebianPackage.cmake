# The man pages of the programs, gzipped as Debian keeps them, and the Debian package that
# `cpack -G DEB` makes of the install rules: ostrin-gsmmon_<version>_amd64.deb, installed under
# /usr, its library dependencies found by dpkg-shlibdeps.

set(man_pages ostrin_gsmmon_cli gsm_modem_sim)
if(GSMMON_BUILD_UI)
  list(APPEND man_pages ostrin_gsmmon)
endif()
foreach(page IN LISTS man_pages)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  file(ARCHIVE_CREATE OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz PATHS ${PROJECT_BINARY_DIR}/man/${page}.1
       FORMAT raw COMPRESSION GZip)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# What Debian keeps of a package in /usr/share/doc: its copyright, the README, and the schema a
# collector of the MQTT messages validates them with.
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright ${PROJECT_SOURCE_DIR}/README.md
              ${PROJECT_SOURCE_DIR}/docs/mqtt-messages.schema.json ${PROJECT_SOURCE_DIR}/docs/log-format.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ostrin-gsmmon)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrin-gsmmon)
set(CPACK_PACKAGE_VENDOR "Ostrin")
set(CPACK_PACKAGE_CONTACT "Ostrin GSM monitor <support@ostrin-gsm.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor of the GSM cells a modem sees")
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop monitor of the radio environment that a GSM modem on a serial
port sees: the serving cell and six neighbours with their levels, and a
graph of the receive level. Every connection is recorded in a measurement
log, whose report can be shown, printed and copied. The package holds the
window (ostrin_gsmmon), the same monitor for a terminal with the log tools
(ostrin_gsmmon_cli) and a simulated modem to try them without one
(gsm_modem_sim).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the linked libraries (whose packages bring the X11 platform plugin): the fixed layouts
# need fonts with the metrics they were drawn for, and a Wayland desktop its own plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, qt6-wayland")
# gpsd gives the cycles their positions, mosquitto is a broker for the sites and the collector.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "printer-driver-cups-pdf, gpsd, mosquitto")
include(CPack)
