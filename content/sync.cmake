# The sync tracks: tools/trackgen turns sync/demo.tracks into data/sync/*.track below
# PUMBLECRISP_CONTENT_GEN_DIR; the listing itself stays out of the archive.
set(sync_listing ${CMAKE_CURRENT_SOURCE_DIR}/sync/demo.tracks)
set(sync_stamp ${CMAKE_BINARY_DIR}/trackgen.stamp)
add_custom_command(
  OUTPUT ${sync_stamp}
  COMMAND trackgen ${sync_listing} ${PUMBLECRISP_CONTENT_GEN_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${sync_stamp}
  DEPENDS trackgen ${sync_listing}
  COMMENT "Writing the sync tracks"
  VERBATIM)
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${sync_stamp})
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_EXCLUDES .tracks)
