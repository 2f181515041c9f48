# Message boxes and the program's dialogs; the main window's fragment adds its own sources.
if(WIN32)
  set(STARTVELK_UI_OS win32)
else()
  set(STARTVELK_UI_OS posix)
endif()
target_sources(startvelk_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/About.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AltRomPath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowseFolder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserCommand_${STARTVELK_UI_OS}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DialogArt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FolderChoice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FontScale.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InstanceChannel_${STARTVELK_UI_OS}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LumoraURLLabel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtUserInteraction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtUserInteractionWait_${STARTVELK_UI_OS}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SetScreenShotTimer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StartUtils.cpp
)
if(WIN32)
  target_link_libraries(startvelk_ui PRIVATE advapi32)
endif()
# A later start in the same emulator folder asks the first to show its window through a local
# socket: a Unix socket of the program's own, Qt's local sockets (a named pipe) on Windows.
if(WIN32)
  target_link_libraries(startvelk_ui PRIVATE Qt6::Network)
endif()
# A window closed during a run tells the user through the desktop's notifications.
if(TARGET Qt6::DBus)
  target_link_libraries(startvelk_ui PRIVATE Qt6::DBus)
  target_compile_definitions(startvelk_ui PRIVATE STARTVELK_HAVE_DBUS)
endif()
