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
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
