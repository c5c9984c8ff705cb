# The SNMP extension agent stand-in (MIB-II address table) used by Lookout.
target_sources(platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/snmp_agent.cpp)
wayfarer_test(snmp_agent_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/snmp_agent_test.cpp LIBS platform)
