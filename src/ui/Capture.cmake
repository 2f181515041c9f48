# The clipboard capture of the main window, on the screenshot library's naming and JPEG encoder.
if(NOT TARGET startvelk_screenshots)
  return()
endif()
target_sources(startvelk_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCapture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCapture.h
)
target_link_libraries(startvelk_ui PUBLIC startvelk_screenshots)
