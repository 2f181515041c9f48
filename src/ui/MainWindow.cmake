# The main window, its settings panel and screenshot pane, their artwork and the PCX picture format.
target_sources(startvelk_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/MainWiring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainArtwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainArtwork.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenShotPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenShotBridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenShotBridge.h
  ${CMAKE_CURRENT_LIST_DIR}/MImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MImage.h
)
foreach(lib startvelk_launch startvelk_screenshots)
  if(TARGET ${lib})
    target_link_libraries(startvelk_ui PUBLIC ${lib})
  endif()
endforeach()
