# Run-time library loading, tried on the unzip library that this project builds.
if(TARGET unziplib)
  target_sources(platform_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LibraryTest.cpp)
  target_compile_definitions(platform_tests PRIVATE UNZIPLIB_PATH="$<TARGET_FILE:unziplib>")
  add_dependencies(platform_tests unziplib)
endif()
