# The Debian package: cpack -G DEB in the build folder (or the target
# "package") makes varnok_<version>_<arch>.deb with the layout that
# "cmake --install" makes under /usr. The run-time libraries the program links
# are found by dpkg-shlibdeps; listed by hand are only what the game opens by
# name at run time (the module library) and its font.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnok)
set(CPACK_PACKAGE_VERSION ${VARNOK_FILE_VERSION})
set(CPACK_PACKAGE_VENDOR "The VARNOK project")
set(CPACK_PACKAGE_CONTACT "The VARNOK project <varnok@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "side-scrolling platform game")
# The long description; CPack puts the summary before it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Run and jump through tile-based levels, climb and descend slopes, collect
coins and bonus items, stomp or avoid enemies, open laser locks with
keycards, throw switches, ride moving platforms and reach the exit door.
.
Levels open, change and play in the Tiled map editor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://varnok.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libopenmpt0, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tiled")
set(CPACK_STRIP_FILES ON)
include(CPack)
