# Qt Test suites of the message boxes and dialogs, one executable per dialog unit.
foreach(suite MessageBoxesTest AltRomPathTest AboutTest ScreenShotTimerTest DesktopSessionTest)
  add_executable(ui_${suite} ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp ${CMAKE_CURRENT_LIST_DIR}/DialogTestUtil.h)
  set_target_properties(ui_${suite} PROPERTIES AUTOMOC ON)
  target_link_libraries(ui_${suite} PRIVATE startvelk_ui Qt6::Test)
  add_test(NAME ui_${suite} COMMAND ui_${suite})
  set_tests_properties(ui_${suite} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
endforeach()

# Writes a picture of every dialog into a folder; run it under xvfb-run to look at them.
add_executable(ui_dialog_pictures ${CMAKE_CURRENT_LIST_DIR}/DialogPictures.cpp)
target_link_libraries(ui_dialog_pictures PRIVATE startvelk_ui)

# The single-instance channel of the program's own (a Unix socket).
if(NOT WIN32)
  add_executable(ui_InstanceChannelTest ${CMAKE_CURRENT_LIST_DIR}/InstanceChannelTest.cpp)
  set_target_properties(ui_InstanceChannelTest PROPERTIES AUTOMOC ON)
  target_link_libraries(ui_InstanceChannelTest PRIVATE startvelk_ui startvelk_tempdir Qt6::Test)
  add_test(NAME ui_InstanceChannelTest COMMAND ui_InstanceChannelTest)
  set_tests_properties(ui_InstanceChannelTest PROPERTIES TIMEOUT 60)
endif()
