# The Debian package (scripts/package): the programs, the default folder, the menu entry with
# its icon, the AppStream metadata, the manual pages and the package's documents.
set(package_dir ${PROJECT_SOURCE_DIR}/dist/package)
set(package_out ${PROJECT_BINARY_DIR}/package-files)
set(QUILLET_APP_ID example.quillet.Quillet)

# The changelog and the AppStream release must name the version being built.
file(STRINGS ${package_dir}/changelog changelog_top LIMIT_COUNT 1)
file(READ ${package_dir}/${QUILLET_APP_ID}.metainfo.xml metainfo)
string(REPLACE "." "\\." version_pattern ${PROJECT_VERSION})
if(NOT changelog_top MATCHES "^quillet \\(${version_pattern}\\) "
   OR NOT metainfo MATCHES "<release version=\"${version_pattern}\"")
  message(FATAL_ERROR "dist/package: changelog and metainfo must start with version ${PROJECT_VERSION}")
endif()

# Manual pages and the changelog go in compressed, as Debian wants them.
find_program(QUILLET_GZIP gzip REQUIRED)
configure_file(${package_dir}/quillet.1 ${package_out}/quillet.1 @ONLY)
configure_file(${package_dir}/quillet-gateway.1 ${package_out}/quillet-gateway.1 @ONLY)
configure_file(${package_dir}/changelog ${package_out}/changelog COPYONLY)
foreach(file quillet.1 quillet-gateway.1 changelog)
  execute_process(COMMAND ${QUILLET_GZIP} -9nkf ${package_out}/${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${package_dir}/${QUILLET_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${package_dir}/${QUILLET_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quillet.svg
  DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${package_out}/quillet.1.gz ${package_out}/quillet-gateway.1.gz
  DESTINATION share/man/man1)
install(FILES ${package_out}/changelog.gz ${package_dir}/copyright DESTINATION share/doc/quillet)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR "Quillet Software")
set(CPACK_PACKAGE_CONTACT "Quillet Software <info@quillet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SMS dal computer, con rubriche e archivi dei messaggi")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillet invia SMS dal computer dell'ufficio attraverso un servizio di
messaggistica prepagato: contatti in rubriche con un nome, messaggi a un
contatto o a un elenco di contatti spuntati, archivi dei messaggi salvati,
inviati e cancellati, e il credito residuo dell'account.

Il pacchetto contiene anche quillet-gateway, un piccolo servizio SMS di prova
che rende Quillet utilizzabile su un solo computer.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.quillet.example/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link come from dpkg-shlibdeps, libsodium23 of the gateway's
# passwords among them (tests/package checks it). Qt loads the SVG icon engine as a plugin,
# which no binary links: its package is named here. The Italian texts of Qt's own buttons
# ("Sì", "Annulla") are a translation file. libmdb3 reads the earlier program's Jet files
# (named as well: the conversion must not depend on what shlibdeps finds).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libmdb3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "kannel")
include(CPack)
