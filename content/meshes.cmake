# The meshes: tools/meshgen writes a Wavefront OBJ and gltfpack turns it into the GLB the mesh block
# reads, data/meshes/*.glb below PUMBLECRISP_CONTENT_GEN_DIR. Floats are kept (-noq): quantised
# positions would need the node transforms the block does not apply.
find_program(GLTFPACK gltfpack)
if(NOT GLTFPACK)
  message(WARNING "gltfpack missing (scripts/install-deps): the archive carries no meshes")
  return()
endif()

set(knot_obj ${CMAKE_BINARY_DIR}/meshgen/knot.obj)
set(knot_glb ${PUMBLECRISP_CONTENT_GEN_DIR}/data/meshes/knot.glb)
add_custom_command(
  OUTPUT ${knot_glb}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/meshgen ${PUMBLECRISP_CONTENT_GEN_DIR}/data/meshes
  COMMAND meshgen ${knot_obj}
  COMMAND ${GLTFPACK} -i ${knot_obj} -o ${knot_glb} -noq
  DEPENDS meshgen
  COMMENT "Making the knot mesh"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${knot_glb})
