# Pictures: artgen draws every item described in content/art/items.txt. The
# sprite, font and title items are packed by dxgtool into GFX/Images.dxg, the
# credits pictures into GFX/Credits.dxg; the level tile sheets go straight to
# GFX/Level<n>.bmp, which the game converts at start-up.
set(VARNOK_ART_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/art)
set(VARNOK_ART_WORK ${CMAKE_CURRENT_BINARY_DIR}/art)
set(VARNOK_GFX_DIR ${VARNOK_OUTPUT_DIR}/GFX)

file(GLOB_RECURSE VARNOK_ART_FILES CONFIGURE_DEPENDS ${VARNOK_ART_SOURCE}/*.txt ${VARNOK_ART_SOURCE}/*.pix)
set(VARNOK_TILE_SHEETS "")
foreach(n 1 2 3 4 5)
  list(APPEND VARNOK_TILE_SHEETS ${VARNOK_GFX_DIR}/Level${n}.bmp)
endforeach()

add_custom_command(
  OUTPUT ${VARNOK_ART_WORK}/Images.manifest ${VARNOK_ART_WORK}/Credits.manifest ${VARNOK_TILE_SHEETS}
  COMMAND ${VARNOK_ARTGEN} ${VARNOK_ART_SOURCE} ${VARNOK_ART_WORK} ${VARNOK_GFX_DIR}
  DEPENDS ${VARNOK_ARTGEN} ${VARNOK_ART_FILES}
  COMMENT "Art: drawing sprites, fonts, title and tile sheets")

foreach(list Images Credits)
  add_custom_command(
    OUTPUT ${VARNOK_GFX_DIR}/${list}.dxg
    COMMAND ${VARNOK_DXGTOOL} build ${VARNOK_GFX_DIR}/${list}.dxg ${VARNOK_ART_WORK}/${list}.manifest
    DEPENDS ${VARNOK_DXGTOOL} ${VARNOK_ART_WORK}/${list}.manifest
    COMMENT "Art: GFX/${list}.dxg")
endforeach()

add_custom_target(varnok_art ALL
  DEPENDS ${VARNOK_GFX_DIR}/Images.dxg ${VARNOK_GFX_DIR}/Credits.dxg ${VARNOK_TILE_SHEETS})
add_dependencies(varnok_data varnok_art)
