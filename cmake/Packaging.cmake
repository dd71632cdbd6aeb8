# The Debian package: `cpack -G DEB` in the build folder writes bildwiesel_<version>_<arch>.deb
# with the installed layout under /usr. Its run-time dependencies are computed from the
# binaries by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bildwiesel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Icon collector for Windows programs, libraries and icon files")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's ICNS reader and its SQLite driver are plugins, loaded at run time, which dpkg-shlibdeps
# cannot see: without them Apple icon files show no picture and collections cannot be saved.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Bildwiesel-Projekt")
# The summary above is the description's first line; this is the rest.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Bildwiesel walks a folder tree or every mounted volume and finds the icons in\n"
    "icon and cursor files, Windows programs and libraries (PE and NE), icon\n"
    "libraries and bitmaps. It shows them page by page and copies, checks,\n"
    "renumbers and deletes them (into the desktop trash), and finds duplicate\n"
    "icons. The user interface is German. The package also holds bildwiesel-cli\n"
    "for scripts and a thumbnailer that lets file managers show the icons of\n"
    "Windows programs.")
include(CPack)
