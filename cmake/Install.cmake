# The installed game, laid out as Debian lays out games: the program in
# games/, its data in share/games/varnok/, and the desktop entry, the icons in
# every size of the icon theme and the AppStream metadata under share/.
# The program finds its data from its own folder through the relative path
# between the two, so the prefix may be anywhere.
set(VARNOK_INSTALL_BINDIR games CACHE STRING "Folder of the program, relative to the prefix")
set(VARNOK_INSTALL_DATADIR share/games/varnok CACHE STRING "Folder of the game's data, relative to the prefix")
set(VARNOK_APP_ID org.varnok.Varnok)

file(RELATIVE_PATH VARNOK_INSTALLED_DATA /prefix/${VARNOK_INSTALL_BINDIR} /prefix/${VARNOK_INSTALL_DATADIR})
target_compile_definitions(varnok_common PRIVATE VARNOK_INSTALLED_DATA="${VARNOK_INSTALLED_DATA}")

install(TARGETS varnok RUNTIME DESTINATION ${VARNOK_INSTALL_BINDIR})
# Only what the build made: the game converts the plain stores and the tile
# bitmaps at start-up, into the user's data folder when this one is read-only.
install(FILES ${VARNOK_OUTPUT_DIR}/DirectX.ini DESTINATION ${VARNOK_INSTALL_DATADIR})
install(DIRECTORY ${VARNOK_OUTPUT_DIR}/DAT/ DESTINATION ${VARNOK_INSTALL_DATADIR}/DAT
        FILES_MATCHING PATTERN "*.INI")
install(DIRECTORY ${VARNOK_OUTPUT_DIR}/GFX/ DESTINATION ${VARNOK_INSTALL_DATADIR}/GFX
        FILES_MATCHING PATTERN "Images.dxg" PATTERN "Credits.dxg" PATTERN "Level*.bmp")
install(DIRECTORY ${VARNOK_OUTPUT_DIR}/SND/ DESTINATION ${VARNOK_INSTALL_DATADIR}/SND
        FILES_MATCHING PATTERN "*.mod" PATTERN "*.dxw")

set(VARNOK_DESKTOP_SOURCE ${CMAKE_SOURCE_DIR}/content/desktop)
configure_file(${VARNOK_DESKTOP_SOURCE}/${VARNOK_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/desktop/${VARNOK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${VARNOK_DESKTOP_SOURCE}/${VARNOK_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_BINARY_DIR}/desktop/${VARNOK_APP_ID}.metainfo.xml DESTINATION share/metainfo)
foreach(size ${VARNOK_ICON_SIZES})
  install(FILES ${VARNOK_ICON_DIR}/${size}x${size}/varnok.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${VARNOK_APP_ID}.png)
endforeach()
# The manual page and the Debian files, compressed as Debian keeps them.
set(VARNOK_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(
  OUTPUT ${VARNOK_PACKAGING_OUT}/varnok.6.gz ${VARNOK_PACKAGING_OUT}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNOK_PACKAGING_OUT}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/varnok.6 ${VARNOK_PACKAGING_OUT}/varnok.6
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog ${VARNOK_PACKAGING_OUT}/changelog
  COMMAND gzip -9nf ${VARNOK_PACKAGING_OUT}/varnok.6 ${VARNOK_PACKAGING_OUT}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/varnok.6 ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Manual page and changelog, compressed"
  VERBATIM)
add_custom_target(varnok_packaging ALL
  DEPENDS ${VARNOK_PACKAGING_OUT}/varnok.6.gz ${VARNOK_PACKAGING_OUT}/changelog.gz)
install(FILES ${VARNOK_PACKAGING_OUT}/varnok.6.gz DESTINATION share/man/man6)
install(FILES ${VARNOK_PACKAGING_OUT}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION share/doc/varnok)
include(${CMAKE_SOURCE_DIR}/cmake/Package.cmake)
