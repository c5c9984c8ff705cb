# Command-line option parsing shared by the programs.
target_sources(platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp)
target_compile_definitions(platform PUBLIC WAYFARER_VERSION="${PROJECT_VERSION}")
wayfarer_test(command_line_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_line_test.cpp
  LIBS platform)
