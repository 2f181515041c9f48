# Run-time loading of shared modules (the unzip library).
target_sources(startvelk_platform PRIVATE Library_${STARTVELK_OS}.cpp)
target_link_libraries(startvelk_platform PUBLIC ${CMAKE_DL_LIBS})
