# Levels and settings: levelc compiles the level sources in content/levels/ and
# the settings in content/settings/ into DAT/LEVEL.INI, DAT/GLOBAL.INI and
# DirectX.ini beside the game (the game enciphers the two INI files into its
# DAT files at start-up). levelc refuses a level that cannot be finished.
set(VARNOK_LEVEL_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/levels)
set(VARNOK_SETTINGS_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/settings)
file(GLOB VARNOK_LEVEL_INPUTS CONFIGURE_DEPENDS
  ${VARNOK_LEVEL_SOURCE}/*.lvl ${VARNOK_LEVEL_SOURCE}/*.names ${VARNOK_LEVEL_SOURCE}/*.ini
  ${VARNOK_SETTINGS_SOURCE}/*.ini)
set(VARNOK_LEVEL_OUTPUTS
  ${VARNOK_OUTPUT_DIR}/DAT/LEVEL.INI ${VARNOK_OUTPUT_DIR}/DAT/GLOBAL.INI ${VARNOK_OUTPUT_DIR}/DirectX.ini)
add_custom_command(
  OUTPUT ${VARNOK_LEVEL_OUTPUTS}
  COMMAND ${VARNOK_LEVELC} --quiet --levels ${VARNOK_LEVEL_SOURCE} --settings ${VARNOK_SETTINGS_SOURCE}
          --out ${VARNOK_OUTPUT_DIR}
  DEPENDS ${VARNOK_LEVELC} ${VARNOK_LEVEL_INPUTS}
  COMMENT "Levels: DAT/LEVEL.INI, DAT/GLOBAL.INI, DirectX.ini")
add_custom_target(varnok_levels ALL DEPENDS ${VARNOK_LEVEL_OUTPUTS})
add_dependencies(varnok_data varnok_levels)
