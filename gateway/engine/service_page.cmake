# The Services page's dialog checks and its new, modify and delete operations.
target_sources(engine PRIVATE ${CMAKE_CURRENT_LIST_DIR}/service_dialogs.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/service_page.cpp)

wayfarer_test(service_page_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/service_dialogs_test.cpp
                                        ${CMAKE_CURRENT_LIST_DIR}/service_page_test.cpp
              LIBS engine platform_testing)
