# The tools tests read the content archive and the GPU tests draw the shaders the content build
# compiled, so those are built first.
function(pumblecrisp_content_test_dependencies)
  if(TARGET tools_tests AND TARGET content_archive)
    add_dependencies(tools_tests content_archive)
  endif()
  if(TARGET gpu_tests AND TARGET content_shaders)
    add_dependencies(gpu_tests content_shaders)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL pumblecrisp_content_test_dependencies)
