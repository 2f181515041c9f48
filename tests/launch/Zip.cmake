# The zip component's tests run against the real UNZIPLIB.DLL and against stand-ins that lack an
# entry point or report an older version, each in a folder of its own.
target_sources(launch_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZipArchiveTest.cpp)
if(NOT WIN32)
  # Archives made by the real tools (scripts/deps.sh installs them).
  target_sources(launch_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ZipToolArchivesTest.cpp)
  target_link_libraries(launch_tests PRIVATE startvelk_toolrun)
endif()
set(zip_fake_root ${CMAKE_CURRENT_BINARY_DIR}/zipfakes)
foreach(variant noexec noversion v151 v152 foreign)
  add_library(zipfake_${variant} MODULE ${CMAKE_CURRENT_LIST_DIR}/ZipFakeLib.cpp)
  target_include_directories(zipfake_${variant} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  set_target_properties(zipfake_${variant} PROPERTIES
    PREFIX "" OUTPUT_NAME "UNZIPLIB.DLL" SUFFIX ""
    CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${zip_fake_root}/${variant}
    RUNTIME_OUTPUT_DIRECTORY ${zip_fake_root}/${variant})
  add_dependencies(launch_tests zipfake_${variant})
endforeach()
target_compile_definitions(zipfake_noexec PRIVATE FAKE_NO_EXEC FAKE_VERSION=152)
target_compile_definitions(zipfake_noversion PRIVATE FAKE_NO_VERSION FAKE_VERSION=152)
target_compile_definitions(zipfake_v151 PRIVATE FAKE_VERSION=151)
target_compile_definitions(zipfake_v152 PRIVATE FAKE_VERSION=152)
target_compile_definitions(zipfake_foreign PRIVATE FAKE_FOREIGN FAKE_VERSION=152)
if(TARGET unziplib)
  add_dependencies(launch_tests unziplib)
endif()
target_compile_definitions(launch_tests PRIVATE
  ZIP_FAKE_ROOT="${zip_fake_root}"
  UNZIPLIB_DIR="${CMAKE_BINARY_DIR}/bin")
