target_sources(startvelk_platform PRIVATE ProcessCommon.cpp Process_${STARTVELK_OS}.cpp
                                          RunSession_${STARTVELK_OS}.cpp)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  # The reaper of children that outlive their process object runs on a thread of its own.
  target_link_libraries(startvelk_platform PUBLIC Threads::Threads)
endif()
