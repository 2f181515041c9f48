target_sources(startvelk_launch PRIVATE CommandLine.cpp BatchFile.cpp ExecFile.cpp)
