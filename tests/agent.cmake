# The agent's unit tests: dispatch, query texts, the update check's parsing and target, the
# policy's decision, and the reports with their network and registry writes swapped out.
quenvo_unit_test(agent_command_test SOURCES unit/agent_command_test.cpp LIBS quenvo_agent_core)
quenvo_unit_test(agent_query_test SOURCES unit/agent_query_test.cpp LIBS quenvo_agent_core)
quenvo_unit_test(agent_update_check_test SOURCES unit/agent_update_check_test.cpp LIBS quenvo_agent_core)
quenvo_unit_test(agent_report_test SOURCES unit/agent_report_test.cpp LIBS quenvo_agent_core)
quenvo_unit_test(agent_policy_test SOURCES unit/agent_policy_test.cpp LIBS quenvo_agent_core)
