# The main window, its settings panel and screenshot pane, their artwork and the PCX picture format.
target_sources(startvelk_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/MainWiring.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GameListView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GameListView.h
  ${CMAKE_CURRENT_LIST_DIR}/GameSearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GameSearch.h
  ${CMAKE_CURRENT_LIST_DIR}/HistoryViews.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryViews.h
  ${CMAKE_CURRENT_LIST_DIR}/LastRunDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LastRunDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/MainArtwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainArtwork.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenShotPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MImage.h
)
target_link_libraries(startvelk_ui PUBLIC startvelk_launch startvelk_history startvelk_screenshots)

# The PCX format as a built-in image-format plug-in on the program's PCX decoder. The moc output of
# a static plug-in needs QT_STATICPLUGIN, so it is a library of its own.
add_library(startvelk_pcxplugin STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PcxImagePlugin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PcxImagePlugin.h)
set_target_properties(startvelk_pcxplugin PROPERTIES AUTOMOC ON)
target_compile_definitions(startvelk_pcxplugin PRIVATE QT_STATICPLUGIN)
target_include_directories(startvelk_pcxplugin PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(startvelk_pcxplugin PUBLIC Qt6::Gui startvelk_screenshots)
target_link_libraries(startvelk_ui PUBLIC startvelk_pcxplugin)
