# A Debian package of the installed tree: `cpack -G DEB` in the build folder.
# The binary is shipped stripped; its debug symbols go to yumekazu-dbgsym
# (the dbgsym option splits and strips them itself).
set(CPACK_PACKAGE_NAME yumekazu)
set(CPACK_PACKAGE_VENDOR "Yumekazu developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small note pad behind an administrator and a fingerprint check")
# Lines of the extended description stay within 80 columns, as Debian's
# control format asks; CPack indents them but does not wrap them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Yumekazu is a note pad with a Japanese interface. Each of its windows"
  "opens locked: the lock button asks for an administrator password through"
  "polkit and the desktop's authentication agent, then a fingerprint reader"
  "checks an enrolled finger through fprintd. Only then does the window show"
  "its work area."
  "."
  "The work area holds a note that is saved as it is typed and shared by"
  "every window, a date and time picker, small sample tables, the loading of"
  "a text file into the note, and a bundled classifier that labels the note"
  "by its topic. A manual in Japanese with pictures of every window comes"
  "with the package.")
set(CPACK_PACKAGE_CONTACT "Yumekazu maintainers <maintainers@users.noreply.c-seed-97efdd36.example>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebugPackage.cmake)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Services behind the two gates, fonts for the interface, icons for Qt's own
# dialogs, and the encoding detector, which the program loads when it first
# reads a file (so the library scan cannot see it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "polkitd, fonts-noto-cjk, fonts-noto-color-emoji, adwaita-icon-theme, libqt6svg6, xdg-utils, qt6-translations-l10n, libuchardet0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fprintd, qt6-wayland")
# Files and folders get the modes and owner Debian expects, whatever the
# umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
