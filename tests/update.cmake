# The update presenter's unit tests and the tools its black-box tests drive.
if(NOT TARGET quenvo_update)
  add_subdirectory(${PROJECT_SOURCE_DIR}/agent/update ${CMAKE_BINARY_DIR}/agent/update)
endif()

quenvo_unit_test(update_button_test SOURCES unit/update_button_test.cpp LIBS quenvo_update)
quenvo_unit_test(update_layout_test SOURCES unit/update_layout_test.cpp LIBS quenvo_update)

# The window test needs a display: under ctest it gets a throw-away X server of its own
# (tools/update_xrun, which needs xvfb-run).
add_executable(update_window_test unit/update_window_test.cpp)
target_link_libraries(update_window_test PRIVATE quenvo_common gtest gtest_main quenvo_update)
target_compile_definitions(update_window_test PRIVATE QUENVO_TEST_DATA="Z:${CMAKE_CURRENT_SOURCE_DIR}/data")
set_target_properties(update_window_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUENVO_TEST_BIN})
find_program(QUENVO_XVFB_RUN xvfb-run)
if(QUENVO_XVFB_RUN)
  add_test(NAME update_window_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/update_xrun
                                           $<TARGET_FILE:update_window_test>)
else()
  add_test(NAME update_window_test COMMAND update_window_test)
endif()

# Runs the download thread against a recorder window and writes the messages it got.
quenvo_test_tool(update_download_probe SOURCES tools/update_download_probe.cpp LIBS quenvo_update)

# Opens the update window as a top-level popup, for demos, screenshots and click tests.
set(update_harness_libs quenvo_update)
if(TARGET quenvo_agent_core)
  list(APPEND update_harness_libs quenvo_agent_core)
endif()
quenvo_test_tool(update_harness GUI SOURCES tools/update_harness.cpp LIBS ${update_harness_libs})
if(TARGET quenvo_agent_core)
  target_compile_definitions(update_harness PRIVATE QUENVO_HARNESS_AGENT_CORE=1)
endif()
# The window's artwork beside the harness, where it looks for it.
add_custom_command(TARGET update_harness POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/art/update ${QUENVO_TEST_BIN}/update)
