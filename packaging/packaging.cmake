# Installation and the Debian package (`cmake --install`, `cpack -G DEB`).
# Included once, at the end of the top CMakeLists.txt: whether
# hdmi-matrix-ctl is installed depends on every subdirectory being added.
include(GNUInstallDirs)

set(HDMI_INSTALLED_PROGRAMS hdmi-matrix hdmi-matrix-sim hdmi-matrix-server)
if(TARGET hdmi-matrix-ctl)
    list(APPEND HDMI_INSTALLED_PROGRAMS hdmi-matrix-ctl)
endif()
install(TARGETS ${HDMI_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(_hdmi_pkg ${CMAKE_CURRENT_LIST_DIR})
# The desktop entry starts the program through the launcher, in a folder of
# the user's own.
install(PROGRAMS ${_hdmi_pkg}/hdmi-matrix-launcher DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_hdmi_pkg}/hdmi-matrix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_hdmi_pkg}/hdmi-matrix.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/hdmi-matrix)

# The server's systemd units, installed disabled: the single one, and the
# template for several switchers on one host with an example of its file.
# ExecStart= names the installed program: the prefix is the one of the
# installation (/usr in the package), known only when it runs.
foreach(_unit hdmi-matrix-server.service hdmi-matrix-server@.service)
    install(CODE "
        set(HDMI_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        set(HDMI_DOC_DIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/doc/hdmi-matrix\")
        configure_file(${_hdmi_pkg}/${_unit}.in ${CMAKE_BINARY_DIR}/packaging/${_unit} @ONLY)")
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${_unit} DESTINATION lib/systemd/system)
endforeach()
install(FILES ${_hdmi_pkg}/hdmi-matrix-server-instance.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/hdmi-matrix)
# Examples for watching the server with Prometheus: alert rules and a scrape
# job with its token in a file.
install(FILES ${_hdmi_pkg}/prometheus-rules.yml ${_hdmi_pkg}/prometheus-scrape.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/hdmi-matrix)

if(PROJECT_VERSION)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
else()
    set(CPACK_PACKAGE_VERSION 0.1.0)
endif()
set(HDMI_PACKAGE_MAINTAINER "hdmi-matrix developers <hdmi-matrix@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hdmi-matrix)
set(CPACK_PACKAGE_VENDOR "hdmi-matrix developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control program for an 8x8 HDMI matrix switcher on RS-232")
set(CPACK_PACKAGE_DESCRIPTION
    "Routes the outputs of an 8-input, 8-output HDMI matrix switcher wired to a
serial port to its inputs, shows the routing the switcher reports, recalls
presets, offers a raw terminal, and edits the device settings, the EDID
images, the IR remote code table and the network address.
A command-line tool for scripts (hdmi-matrix-ctl), a server that shares the
switcher with control surfaces over the Videohub protocol and with the
window and the tool over a line port (hdmi-matrix-server, with systemd
units installed disabled), and a simulator of the switcher (hdmi-matrix-sim)
are included.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HDMI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the runtime libraries the binaries link. The platform
# plugins are loaded at run time, so it cannot see them, and without one the
# window does not open.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Builds the package into a temporary folder and checks it; installs nothing.
# It runs no program code, so the sanitized build leaves it out.
if(NOT HDMI_FUZZ AND NOT HDMI_SANITIZE)
    add_test(NAME test_package
             COMMAND ${_hdmi_pkg}/test_package.sh ${CMAKE_BINARY_DIR}
                     ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}
                     ${HDMI_INSTALLED_PROGRAMS})
    set_tests_properties(test_package PROPERTIES TIMEOUT 120)
endif()
