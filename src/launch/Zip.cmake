# The zip component: listing archives itself, extracting through UNZIPLIB.DLL.
if(WIN32)
  set(ZIP_OS win32)
else()
  set(ZIP_OS posix)
endif()
target_sources(startvelk_launch PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ZipArchive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipDrive_${ZIP_OS}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipMsg.cpp
)
target_link_libraries(startvelk_launch PUBLIC startvelk_zipformat)
