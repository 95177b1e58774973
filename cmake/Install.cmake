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
install(FILES ${CMAKE_SOURCE_DIR}/docs/varnok.6 DESTINATION share/man/man6)
