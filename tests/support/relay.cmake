# The round-trip counting relay (tests/support/relay.h): a library of its own,
# without the test framework, for the tests and the benchmarks alike.
if(NOT TARGET relay)
  add_library(relay STATIC ${CMAKE_CURRENT_LIST_DIR}/relay.cpp ${CMAKE_CURRENT_LIST_DIR}/relay.h)
  target_include_directories(relay PUBLIC ${PROJECT_SOURCE_DIR})
  find_package(Threads REQUIRED)
  target_link_libraries(relay PUBLIC Threads::Threads)
endif()
