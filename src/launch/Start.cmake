# The start of a game: driver check, argument string, run, and unzip with clean-up. It drives the
# zip component, so it is built with it.
if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/Zip.cmake)
  return()
endif()
target_sources(startvelk_launch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/StartGame.cpp)
target_sources(startvelk_launch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UnzipJournal.cpp)
