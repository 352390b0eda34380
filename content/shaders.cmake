# The shader step of the content build: tools/shaderc compiles every (source file, entry point,
# stage) the content uses to SPIR-V with reflection blobs under shaders/cache/ and writes the cache
# manifest "/shadermanager.toml", all below PUMBLECRISP_CONTENT_GEN_DIR, so the archive carries them.
#
# The tool finds the entries itself (the built-in shaders of shaders/default.hlsl, the passes of the
# shader description files, the render-pass tables of the project files, shaders/entrypoints.txt), so
# no stage is listed twice, and rebuilds only the entries whose source or
# includes changed. The step runs when any shader-related content file changes (globbed, so new files
# are seen) or when a file named in the depfile of its last run changes (includes from anywhere).
# Without any shader the manifest lists no entries. A compile error fails the build with its file and
# line.

set(shaders_state_dir ${CMAKE_BINARY_DIR}/shaderc-state)
set(shaders_stamp ${shaders_state_dir}/shaders.stamp)
set(shaders_depfile ${shaders_state_dir}/shaders.d)
file(GLOB_RECURSE shader_inputs CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/*.hlsl
  ${CMAKE_CURRENT_SOURCE_DIR}/*.hlsli
  ${CMAKE_CURRENT_SOURCE_DIR}/*.fx
  ${CMAKE_CURRENT_SOURCE_DIR}/*.fxh
  ${CMAKE_CURRENT_SOURCE_DIR}/*.toml
  ${CMAKE_CURRENT_SOURCE_DIR}/shaders/entrypoints.txt)

add_custom_command(
  OUTPUT ${shaders_stamp}
  COMMAND shaderc
    --content ${CMAKE_CURRENT_SOURCE_DIR}
    --out ${PUMBLECRISP_CONTENT_GEN_DIR}
    --state ${shaders_state_dir}
    --glslang ${GLSLANG_VALIDATOR}
    --jobs 3
    --stamp ${shaders_stamp}
    --depfile ${shaders_depfile}
  DEPENDS shaderc ${shader_inputs}
  DEPFILE ${shaders_depfile}
  BYPRODUCTS ${PUMBLECRISP_CONTENT_GEN_DIR}/shadermanager.toml
  COMMENT "Compiling the content's shaders"
  VERBATIM)
add_custom_target(content_shaders DEPENDS ${shaders_stamp})
set_property(GLOBAL APPEND PROPERTY PUMBLECRISP_CONTENT_DEPENDS ${shaders_stamp})
