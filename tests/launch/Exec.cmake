target_sources(launch_tests PRIVATE CommandLineTest.cpp BatchFileTest.cpp)
# The launcher and interpreter tests start generated shell-script programs, so they are POSIX-only.
if(NOT WIN32)
  target_sources(launch_tests PRIVATE ExecFileTest.cpp BatchInterpreterTest.cpp ExecTestSupport.cpp)
  # Batch files run through the interpreter built beside the tests.
  add_dependencies(launch_tests startvelk-batch)
endif()
