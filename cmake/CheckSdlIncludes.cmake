# Fails when a source file outside platform/ includes an SDL header. Tests may
# include the keyboard code headers to check the key mapping against SDL's codes,
# the joystick headers to plug in SDL's virtual gamepads, the event header
# to send the key events a real keyboard sends, and the platform header to
# name the system as SDL's controller mappings do.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.hpp ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.cc)
set(bad "")
foreach(f ${files})
  if(f MATCHES "^(platform|build[^/]*|out)/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](SDL2/)?SDL")
  foreach(l ${lines})
    if(f MATCHES "^tests/" AND l MATCHES "SDL_(scancode|keycode|joystick|gamecontroller|error|events|thread|platform)\\.h")
      continue()
    endif()
    list(APPEND bad "${f}: ${l}")
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n  " msg "${bad}")
  message(FATAL_ERROR "SDL included outside platform/:\n  ${msg}")
endif()
