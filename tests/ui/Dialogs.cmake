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
