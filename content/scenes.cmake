# The camera scenes: tools/e3dgen writes data/scenes/*.e3d below PUMBLECRISP_CONTENT_GEN_DIR.
set(scene_outputs ${PUMBLECRISP_CONTENT_GEN_DIR}/data/scenes/star-flight.e3d
                  ${PUMBLECRISP_CONTENT_GEN_DIR}/data/scenes/fractal-flight.e3d)
add_custom_command(
  OUTPUT ${scene_outputs}
  COMMAND e3dgen ${PUMBLECRISP_CONTENT_GEN_DIR}
  DEPENDS e3dgen
  COMMENT "Writing the camera scenes"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${scene_outputs})
