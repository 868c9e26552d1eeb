# Installation beyond the program and its manuals, and the Debian package.
#   cmake --install <build> --prefix /usr/local
#   cd <build> && cpack          -> tavik7-pc-software_<version>_<arch>.deb

if(UNIX AND NOT APPLE)
    # The desktop menu entry and the icon it names, in every size drawn by
    # tools/imagegen.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/tavik7-pc-software.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
    # The command-line program's manual page, compressed as Debian keeps them.
    set(TAVIK7_CLI_MANPAGE ${CMAKE_CURRENT_LIST_DIR}/tavik7-cli.1)
    find_program(GZIP_PROGRAM gzip)
    if(GZIP_PROGRAM)
        set(TAVIK7_CLI_MANPAGE ${CMAKE_BINARY_DIR}/packaging/tavik7-cli.1.gz)
        add_custom_command(OUTPUT ${TAVIK7_CLI_MANPAGE}
            COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/tavik7-cli.1 ${CMAKE_BINARY_DIR}/packaging/tavik7-cli.1
            COMMAND ${GZIP_PROGRAM} -9 -n -f ${CMAKE_BINARY_DIR}/packaging/tavik7-cli.1
            DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tavik7-cli.1
            VERBATIM)
        add_custom_target(tavik7-cli-manpage ALL DEPENDS ${TAVIK7_CLI_MANPAGE})
    endif()
    install(FILES ${TAVIK7_CLI_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    # Where bash-completion loads completions on demand, by the command's name.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/completion/tavik7-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

set(TAVIK7_PACKAGE_MAINTAINER "KLV Tavik7 service software <tavik7-software@klv.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME "tavik7-pc-software")
set(CPACK_PACKAGE_VENDOR "KLV")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for the Tavik7 roller counter field device")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Reads, checks and writes the parameters and the counter status of a Tavik7 "
    "over a serial port, guides a technician through setting up a device for a "
    "counter type, saves parameter sets to files, prints an inspection report, "
    "flashes firmware through avrdude and logs the device's NAMUR telegrams. "
    "German and English user interface. The command-line program tavik7-cli "
    "does the same for scripts and for many devices at once.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tavik7 PC Software")
set(CPACK_STRIP_FILES ON)

if(UNIX AND NOT APPLE)
    set(CPACK_GENERATOR "DEB")
else()
    set(CPACK_GENERATOR "ZIP")
endif()

set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVIK7_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The Qt libraries come from dpkg-shlibdeps; what the program loads or starts
# at run time it cannot see: the window system plugins, the Arial-compatible
# face the fixed layout is measured for, a proportional everyday face (with
# the Liberation faces alone, fontconfig's "Sans Serif" is Liberation Mono),
# avrdude for flashing and xdg-open for the manuals and reports, and the
# SQLite driver plugin that Qt Sql loads for the device book.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-liberation, fonts-dejavu-core")
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    # Without dpkg-dev the libraries are named by hand (Debian 12 names).
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), "
        "libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), libqt6sql6 (>= 6.4)")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avrdude, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pdf-viewer")

include(CPack)
