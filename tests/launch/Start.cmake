# The start of a game runs a generated shell-script emulator through the batch interpreter, so it
# is tested on POSIX only, and with the zip component it drives.
if(WIN32 OR NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/Zip.cmake)
  return()
endif()
target_sources(launch_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/StartGameTest.cpp)
target_sources(launch_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UnzipJournalTest.cpp)
