# The clipboard capture of the main window, on the screenshot library's naming and JPEG encoder.
if(NOT TARGET startvelk_screenshots)
  return()
endif()
target_sources(startvelk_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCapture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClipboardCapture.h
)
target_link_libraries(startvelk_ui PUBLIC startvelk_screenshots)
# The main window's start of a game: launcher, zip component, capture and starter together.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cmake AND TARGET startvelk_launch
   AND EXISTS ${PROJECT_SOURCE_DIR}/src/launch/Zip.cmake)
  target_sources(startvelk_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/MainStart.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainStart.h
    ${CMAKE_CURRENT_LIST_DIR}/RunningGame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RunningGame.h
  )
  target_link_libraries(startvelk_ui PUBLIC startvelk_launch)
endif()
