# The tools tests read the content archive, so it must be built first.
function(pumblecrisp_content_test_dependency)
  if(TARGET tools_tests AND TARGET content_archive)
    add_dependencies(tools_tests content_archive)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL pumblecrisp_content_test_dependency)
