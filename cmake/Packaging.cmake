# Installation layout and the Debian package (bash scripts/package.sh):
# /usr/bin/salvix and salvix-cli, the desktop entry and its icon, the manual
# pages, bash completion, and the copyright and changelog Debian asks for.
include(GNUInstallDirs)

set(SALVIX_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packaging)
set(SALVIX_VERSION ${PROJECT_VERSION})
# Manual pages and the changelog are installed compressed, as Debian's
# policy wants them (gzip -9n: no name or time stamp in the header).
set(SALVIX_COMPRESSED)
foreach(source salvix.1 salvix-cli.1 changelog.in)
  string(REPLACE ".in" "" name ${source})
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${source} ${SALVIX_PACKAGE_DIR}/${name} @ONLY)
  add_custom_command(OUTPUT ${SALVIX_PACKAGE_DIR}/${name}.gz
    COMMAND gzip -9nkf ${SALVIX_PACKAGE_DIR}/${name}
    DEPENDS ${SALVIX_PACKAGE_DIR}/${name}
    VERBATIM)
  list(APPEND SALVIX_COMPRESSED ${SALVIX_PACKAGE_DIR}/${name}.gz)
endforeach()
add_custom_target(salvix_package_files ALL DEPENDS ${SALVIX_COMPRESSED})

install(TARGETS salvix-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET salvix)
  install(TARGETS salvix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES packaging/salvix.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/salvix.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${SALVIX_PACKAGE_DIR}/salvix.1.gz ${SALVIX_PACKAGE_DIR}/salvix-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/salvix-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME salvix-cli)
install(FILES packaging/copyright ${SALVIX_PACKAGE_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/salvix)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME salvix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "forensic inspection of SQLite database files from phones")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "SalvixForSqlite developers <salvix@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis line comes from the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Reads SQLite database files page by page with no database library: lists\n\
tables, shows rows, recovers deleted records, hashes the evidence files\n\
(MD5, SHA-1, SHA-256), writes a case report, and carves JPEG pictures,\n\
MP4/MOV movies and SQLite databases from raw images. Examined files are\n\
opened read-only and never written.\n\
.\n\
This package holds the desktop program salvix (Qt 6) and the command\n\
line salvix-cli.")
# Dependencies come from the binaries (dpkg-shlibdeps); the window system
# plugin and the Chinese fonts are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
