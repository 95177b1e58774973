# The program icon in every size of the icon theme, drawn by artgen.
set(VARNOK_ICON_SIZES 16 24 32 48 64 128 256 CACHE INTERNAL "Icon sizes in pixels")
set(VARNOK_ICON_DIR ${CMAKE_BINARY_DIR}/icons CACHE INTERNAL "Built icons")
set(VARNOK_ICON_FILES "")
foreach(size ${VARNOK_ICON_SIZES})
  list(APPEND VARNOK_ICON_FILES ${VARNOK_ICON_DIR}/${size}x${size}/varnok.png)
endforeach()
add_custom_command(
  OUTPUT ${VARNOK_ICON_FILES}
  COMMAND ${VARNOK_ARTGEN} --icons ${VARNOK_ART_SOURCE} ${VARNOK_ICON_DIR}
  DEPENDS ${VARNOK_ARTGEN} ${VARNOK_ART_SOURCE}/palette.txt
  COMMENT "Art: program icons")
add_custom_target(varnok_icons ALL DEPENDS ${VARNOK_ICON_FILES})
