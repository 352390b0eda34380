# The text font: tools/fontgen writes data/fonts/gantrybolt.msdf below PUMBLECRISP_CONTENT_GEN_DIR
# from Debian's DejaVu Sans Bold (fonts-dejavu-core).
find_file(PUMBLECRISP_TEXT_TTF DejaVuSans-Bold.ttf PATHS /usr/share/fonts/truetype/dejavu NO_DEFAULT_PATH)
if(NOT PUMBLECRISP_TEXT_TTF)
  message(WARNING "DejaVuSans-Bold.ttf missing (scripts/install-deps): the archive carries no text font")
  return()
endif()

set(text_font ${PUMBLECRISP_CONTENT_GEN_DIR}/data/fonts/gantrybolt.msdf)
add_custom_command(
  OUTPUT ${text_font}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PUMBLECRISP_CONTENT_GEN_DIR}/data/fonts
  COMMAND fontgen ${PUMBLECRISP_TEXT_TTF} ${text_font} 48
  DEPENDS fontgen ${PUMBLECRISP_TEXT_TTF}
  COMMENT "Writing the text font"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${text_font})
