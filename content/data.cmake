# Places the game's data beside the executable. Plain INI sources are copied
# as they are: the game enciphers them into DAT files at start-up.
set(VARNOK_DATA_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/data)
file(GLOB_RECURSE VARNOK_DATA_FILES CONFIGURE_DEPENDS RELATIVE ${VARNOK_DATA_SOURCE} ${VARNOK_DATA_SOURCE}/*)
set(VARNOK_DATA_OUTPUTS "")
foreach(f ${VARNOK_DATA_FILES})
  add_custom_command(
    OUTPUT ${VARNOK_OUTPUT_DIR}/${f}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VARNOK_DATA_SOURCE}/${f} ${VARNOK_OUTPUT_DIR}/${f}
    DEPENDS ${VARNOK_DATA_SOURCE}/${f}
    COMMENT "Data: ${f}")
  list(APPEND VARNOK_DATA_OUTPUTS ${VARNOK_OUTPUT_DIR}/${f})
endforeach()
add_custom_target(varnok_data ALL DEPENDS ${VARNOK_DATA_OUTPUTS})

# The content programs that make the data: this build's own, or with
# VARNOK_CONTENT_TOOLS those in the tools folder of another build of the same
# sources. The sanitizer build takes the normal build's, which make the same
# files several times as fast; its tests still run its own programs.
set(VARNOK_CONTENT_TOOLS "" CACHE PATH "The tools folder of another build whose content programs make the data")
foreach(tool artgen dxgtool sfxsynth dxwtool modwriter levelc)
  string(TOUPPER ${tool} name)
  if(VARNOK_CONTENT_TOOLS AND EXISTS ${VARNOK_CONTENT_TOOLS}/${tool})
    set(VARNOK_${name} ${VARNOK_CONTENT_TOOLS}/${tool})
  else()
    set(VARNOK_${name} ${tool})
  endif()
endforeach()

# Further data built by the content programs: each content/cmake/*.cmake adds its
# own commands and makes varnok_data depend on them.
file(GLOB VARNOK_CONTENT_RULES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/*.cmake)
foreach(rules ${VARNOK_CONTENT_RULES})
  include(${rules})
endforeach()
