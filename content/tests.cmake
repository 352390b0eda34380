# The tools tests read the content archive, so it must be built first.
function(pumblecrisp_content_test_dependency)
  if(TARGET tools_tests AND TARGET content_archive)
    add_dependencies(tools_tests content_archive)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL pumblecrisp_content_test_dependency)

# The GPU tests draw the shaders the content build compiled.
function(pumblecrisp_content_shader_test_dependency)
  if(TARGET gpu_tests AND TARGET content_shaders)
    add_dependencies(gpu_tests content_shaders)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL pumblecrisp_content_shader_test_dependency)
