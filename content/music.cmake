# The soundtrack: synthesised by sox and encoded by oggenc (tools/musicgen/make_music.sh) into
# data/music/demo-final.ogg below PUMBLECRISP_CONTENT_GEN_DIR. Rebuilt only when the script changes.
find_program(SOX_PROGRAM sox)
find_program(OGGENC_PROGRAM oggenc)
if(NOT SOX_PROGRAM OR NOT OGGENC_PROGRAM)
  message(WARNING "sox or oggenc missing (scripts/install-deps): the archive carries no music")
  return()
endif()

set(music_script ${PROJECT_SOURCE_DIR}/tools/musicgen/make_music.sh)
set(music_output ${PUMBLECRISP_CONTENT_GEN_DIR}/data/music/demo-final.ogg)
add_custom_command(
  OUTPUT ${music_output}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PUMBLECRISP_CONTENT_GEN_DIR}/data/music
  COMMAND sh ${music_script} ${CMAKE_BINARY_DIR}/musicgen-work/demo-final.ogg ${CMAKE_BINARY_DIR}/musicgen-work
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/musicgen-work/demo-final.ogg ${music_output}
  DEPENDS ${music_script}
  COMMENT "Synthesising the soundtrack"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${music_output})
