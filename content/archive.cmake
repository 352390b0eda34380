# The content archive: bin/vlm_ks9.dat, packed by tools/packer from this
# directory and from ${CMAKE_BINARY_DIR}/content-gen, built by default.
#
# Other content steps (content/<name>.cmake) hook in by writing their outputs
# below PUMBLECRISP_CONTENT_GEN_DIR (a path there becomes the same entry name,
# overriding a source file of that name) and announcing them:
#   set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS <output files>)
#   set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_EXCLUDES <suffix>)  # sources not to pack
# Order does not matter: the archive step runs after every content/*.cmake was
# included. The target is `content_archive`.

set(PUMBLECRISP_CONTENT_GEN_DIR ${CMAKE_BINARY_DIR}/content-gen)
file(MAKE_DIRECTORY ${PUMBLECRISP_CONTENT_GEN_DIR})

function(pumblecrisp_add_content_archive)
  set(content_dir ${PROJECT_SOURCE_DIR}/content)
  set(output ${PROJECT_BINARY_DIR}/bin/vlm_ks9.dat)
  get_property(generated GLOBAL PROPERTY PUMBLECRISP_CONTENT_DEPENDS)
  get_property(extra_excludes GLOBAL PROPERTY PUMBLECRISP_CONTENT_EXCLUDES)
  set(excludes .cmake CMakeLists.txt ${extra_excludes})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${content_dir}/*)
  list(FILTER sources EXCLUDE REGEX "(\\.cmake|/CMakeLists\\.txt)$")
  set(exclude_args)
  foreach(suffix IN LISTS excludes)
    list(APPEND exclude_args --exclude ${suffix})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/bin
    COMMAND $<TARGET_FILE:packer> ${exclude_args} ${output} ${content_dir} ${PUMBLECRISP_CONTENT_GEN_DIR}
    DEPENDS packer ${sources} ${generated}
    COMMENT "Packing the content archive"
    VERBATIM)
  add_custom_target(content_archive ALL DEPENDS ${output})
endfunction()

cmake_language(DEFER CALL pumblecrisp_add_content_archive)
