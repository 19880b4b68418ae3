# The update presenter's unit tests and the tools its black-box tests drive.
quenvo_unit_test(update_button_test SOURCES unit/update_button_test.cpp LIBS quenvo_update)
quenvo_unit_test(update_layout_test SOURCES unit/update_layout_test.cpp LIBS quenvo_update)
quenvo_unit_test(installer_check_test SOURCES unit/installer_check_test.cpp LIBS quenvo_download)

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
set_tests_properties(update_window_test PROPERTIES SKIP_RETURN_CODE 77)

# Runs the download thread's work against a recorder window and writes the messages it got.
quenvo_test_tool(update_download_probe SOURCES tools/update_download_probe.cpp LIBS quenvo_download)

# Opens the update window as a top-level popup, for demos, screenshots and click tests.
quenvo_test_tool(update_harness GUI SOURCES tools/update_harness.cpp LIBS quenvo_update quenvo_agent_core)
# The window's artwork beside the harness, where it looks for it.
add_custom_command(TARGET update_harness POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/art/update ${QUENVO_TEST_BIN}/update)
