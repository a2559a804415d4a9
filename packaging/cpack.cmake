# The Debian package: cpack -G DEB in the build folder (scripts/check-package
# builds, unpacks and runs it). Library dependencies come from dpkg-shlibdeps;
# the rest are what the programs load at run time rather than link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumet)
set(CPACK_PACKAGE_VENDOR "The Vellumet developers")
set(CPACK_PACKAGE_CONTACT "The Vellumet developers <maintainers@vellumet.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "companion program of the eight-channel USB thermo-hygrometer station")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the station's eight channels live, changes its settings, alarms and calibration, sets its clock and imports its SD-card logs into a record database to browse and graph them, in English or German. vellumet-cli does the same from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(VELLUMET_BUILD_GUI)
    # The window's X11 and Wayland platform plugins are not linked but loaded.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-translations-l10n")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm
    ${CMAKE_CURRENT_LIST_DIR}/debian/conffiles)

# The unattended watch: a systemd unit, its settings (root only: they may hold
# the broker's password) and its system user. The unit starts /usr/bin's
# vellumet-cli, as the package installs it.
set(VELLUMET_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Where the systemd unit goes: relative to the install prefix, or absolute")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vellumet-watch.service
        DESTINATION ${VELLUMET_SYSTEMD_UNIT_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/vellumet.sysusers
        DESTINATION lib/sysusers.d RENAME vellumet.conf)
# /etc beside a /usr prefix (the package's, or a staging root's .../usr), else
# the prefix's own etc.
install(CODE "set(vellumet_watch_default \"${CMAKE_CURRENT_LIST_DIR}/vellumet-watch.default\")")
install(CODE [[
    if(CMAKE_INSTALL_PREFIX MATCHES "(^|/)usr/?$")
        get_filename_component(vellumet_etc "${CMAKE_INSTALL_PREFIX}/../etc" ABSOLUTE)
    else()
        set(vellumet_etc "${CMAKE_INSTALL_PREFIX}/etc")
    endif()
    file(INSTALL "${vellumet_watch_default}" DESTINATION "${vellumet_etc}/default"
         RENAME vellumet-watch PERMISSIONS OWNER_READ OWNER_WRITE)
]])
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
