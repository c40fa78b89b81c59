# Installation layout and the Debian package (`cpack -G DEB` in the build directory).
include(GNUInstallDirs)

install(TARGETS vezaro analyser-sim carmodel-import pregledi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS packaging/vezaro-station DESTINATION ${CMAKE_INSTALL_BINDIR})

# The samples a new station directory is given.
install(FILES ${CMAKE_BINARY_DIR}/data/CarModel.DB data/SERVICE.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/vezaro)
# The simulator's cars, for training and trying the two-speed test.
install(DIRECTORY data/vehicles DESTINATION ${CMAKE_INSTALL_DATADIR}/vezaro)

install(FILES packaging/vezaro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/icons/vezaro.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages, with the version filled in and compressed as Debian keeps them.
find_program(VZ_GZIP gzip REQUIRED)
set(VZ_MAN_PAGES vezaro vezaro-station analyser-sim carmodel-import pregledi)
set(VZ_MAN_OUTPUTS)
foreach(page IN LISTS VZ_MAN_PAGES)
    set(VERSION ${PROJECT_VERSION})
    configure_file(packaging/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        COMMAND ${VZ_GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/man/${page}.1 > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
        VERBATIM)
    list(APPEND VZ_MAN_OUTPUTS ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${VZ_MAN_OUTPUTS})
install(FILES ${VZ_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Notes and guides for the station and its maintainer.
install(FILES packaging/README.station README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/udev/99-vezaro-analyser.rules DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
file(GLOB VZ_GUIDES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md ${CMAKE_SOURCE_DIR}/docs/*.png)
install(FILES ${VZ_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vezaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VEZARO station maintainers <maintainers@vezaro.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exhaust gas analyser station for the official emission test")
set(CPACK_PACKAGE_DESCRIPTION "Drives a KV 40 MX / KV 50 MX four-gas exhaust analyser over a serial line, shows
the live readings against the chosen vehicle's limits, logs every examination and
prints a one-page report in Bulgarian. Includes a simulated analyser and the tool
that builds the limits table.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vezaro.invalid/")
# The shared libraries are found by dpkg-shlibdeps; these are loaded at run time as plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, cups-client")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, printer-driver-cups-pdf")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
