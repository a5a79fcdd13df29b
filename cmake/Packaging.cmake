# Installing (cmake --install) and the Debian package (cpack -G DEB): the program, its man
# page, the systemd unit, the logrotate file, the listing icons and help page when they exist.
include(GNUInstallDirs)

set(CORVANE_DIST ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS corvane-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages go compressed, as Debian installs them.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/corvane-server.1.gz
                   COMMAND gzip -9nc ${CORVANE_DIST}/corvane-server.1 > ${CMAKE_BINARY_DIR}/corvane-server.1.gz
                   DEPENDS ${CORVANE_DIST}/corvane-server.1 VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND gzip -9nc ${CORVANE_DIST}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
                   DEPENDS ${CORVANE_DIST}/changelog VERBATIM)
add_custom_target(corvane-man ALL DEPENDS ${CMAKE_BINARY_DIR}/corvane-server.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/corvane-server.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The unit names the program where this install puts it; the prefix is known only when the
# install runs (cpack installs under /usr).
install(CODE "
  file(READ \"${CORVANE_DIST}/corvane-server.service.in\" unit)
  string(REPLACE \"@CMAKE_INSTALL_FULL_BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/corvane-server.service\" \"\${unit}\")
")
install(FILES ${CMAKE_BINARY_DIR}/corvane-server.service DESTINATION lib/systemd/system)
install(FILES ${CORVANE_DIST}/corvane-server.logrotate DESTINATION /etc/logrotate.d RENAME corvane-server)
install(FILES ${CORVANE_DIST}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane-server)
# The folder-page icons, drawn into the build's images/ folder; the program finds them in its
# share folder when installed.
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/images DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane-server)
# The window's help page, its icon (also the desktop's) and the desktop entry.
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/CorvaneServerHelp.html ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/corvane-server.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane-server)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/corvane-server.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
install(FILES ${CORVANE_DIST}/corvane-server.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
if(EXISTS ${PROJECT_SOURCE_DIR}/docs/help.html)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/help.html DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane-server)
endif()

set(CPACK_PACKAGE_NAME corvane-server)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane Server maintainers <maintainers@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP file server with accounts, folder rights and IP rules")
set(CPACK_PACKAGE_DESCRIPTION "Corvane Server shares local folders over FTP to user and group
accounts with per-folder rights, connection limits, an upload/download ratio, a
download rate limit, idle timeouts and IP access rules. It runs as a systemd
service and is administered with corvane-server's own commands.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CORVANE_DIST}/conffiles)
include(CPack)

# The package is made of the release build; a sanitized build is not packaged.
if(CORVANE_TESTS AND NOT CORVANE_SANITIZE)
  add_test(NAME packaging COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-package.sh ${CMAKE_BINARY_DIR})
  # lintian alone takes minutes on a busy machine.
  set_tests_properties(packaging PROPERTIES TIMEOUT 1200 RUN_SERIAL TRUE)
endif()
