# Sound effects and music: recipes in content/sounds/ become WAV files and then
# SND/Sounds.dxw; songs in content/music/ become tracker modules SND/<name>.mod.
set(VARNOK_SOUND_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/sounds)
set(VARNOK_MUSIC_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/music)
set(VARNOK_SOUND_WORK ${CMAKE_CURRENT_BINARY_DIR}/sounds)
set(VARNOK_SND_DIR ${VARNOK_OUTPUT_DIR}/SND)

file(GLOB VARNOK_SOUND_RECIPES CONFIGURE_DEPENDS ${VARNOK_SOUND_SOURCE}/*.sfx)
set(VARNOK_SOUND_WAVS "")
foreach(recipe ${VARNOK_SOUND_RECIPES})
  get_filename_component(name ${recipe} NAME_WE)
  set(wav ${VARNOK_SOUND_WORK}/${name}.wav)
  add_custom_command(
    OUTPUT ${wav}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNOK_SOUND_WORK}
    COMMAND ${VARNOK_SFXSYNTH} ${recipe} ${wav}
    DEPENDS ${VARNOK_SFXSYNTH} ${recipe}
    COMMENT "Sound: ${name}")
  list(APPEND VARNOK_SOUND_WAVS ${wav})
endforeach()

# The manifest names the WAV files relative to itself: use a copy beside them.
add_custom_command(
  OUTPUT ${VARNOK_SND_DIR}/Sounds.dxw
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNOK_SOUND_WORK} ${VARNOK_SND_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VARNOK_SOUND_SOURCE}/Sounds.manifest
          ${VARNOK_SOUND_WORK}/Sounds.manifest
  COMMAND ${VARNOK_DXWTOOL} build ${VARNOK_SND_DIR}/Sounds.dxw ${VARNOK_SOUND_WORK}/Sounds.manifest
  DEPENDS ${VARNOK_DXWTOOL} ${VARNOK_SOUND_SOURCE}/Sounds.manifest ${VARNOK_SOUND_WAVS}
  COMMENT "Sound: SND/Sounds.dxw")

file(GLOB VARNOK_SONGS CONFIGURE_DEPENDS ${VARNOK_MUSIC_SOURCE}/*.song)
set(VARNOK_MODULES "")
foreach(song ${VARNOK_SONGS})
  get_filename_component(name ${song} NAME_WE)
  set(module ${VARNOK_SND_DIR}/${name}.mod)
  add_custom_command(
    OUTPUT ${module}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VARNOK_SND_DIR}
    COMMAND ${VARNOK_MODWRITER} ${song} ${module}
    DEPENDS ${VARNOK_MODWRITER} ${song}
    COMMENT "Music: SND/${name}.mod")
  list(APPEND VARNOK_MODULES ${module})
endforeach()

add_custom_target(varnok_audio ALL DEPENDS ${VARNOK_SND_DIR}/Sounds.dxw ${VARNOK_MODULES})
add_dependencies(varnok_data varnok_audio)
