# The clipboard capture against the offscreen platform's clipboard.
if(NOT TARGET startvelk_screenshots)
  return()
endif()
add_executable(ui_ClipboardCaptureTest ${CMAKE_CURRENT_LIST_DIR}/ClipboardCaptureTest.cpp)
set_target_properties(ui_ClipboardCaptureTest PROPERTIES AUTOMOC ON)
target_link_libraries(ui_ClipboardCaptureTest PRIVATE startvelk_ui startvelk_screenshots Qt6::Test)
add_test(NAME ui_ClipboardCaptureTest COMMAND ui_ClipboardCaptureTest)
set_tests_properties(ui_ClipboardCaptureTest PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
