# Qt Test suites of the main window, its settings panel and its screenshot pane.
foreach(suite MainWindowTest SettingsPanelTest ScreenShotPaneTest)
  if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp)
    continue()
  endif()
  add_executable(${suite} ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp
                          ${CMAKE_CURRENT_LIST_DIR}/MainTestSupport.h)
  set_target_properties(${suite} PROPERTIES AUTOMOC ON)
  target_include_directories(${suite} PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(${suite} PRIVATE startvelk_ui startvelk_picturefixtures Qt6::Test)
  add_test(NAME ${suite} COMMAND ${suite})
  set_tests_properties(${suite} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endforeach()

# Pictures of the window for review on a real X server; not a test.
add_executable(MainWindowShots ${CMAKE_CURRENT_LIST_DIR}/MainWindowShots.cpp)
target_link_libraries(MainWindowShots PRIVATE startvelk_ui Qt6::Test)

# The search field's matching rule, without a window.
add_executable(GameSearchTest ${CMAKE_CURRENT_LIST_DIR}/GameSearchTest.cpp)
target_link_libraries(GameSearchTest PRIVATE startvelk_ui GTest::gtest_main)
gtest_discover_tests(GameSearchTest)
