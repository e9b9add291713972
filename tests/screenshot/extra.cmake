# The screenshot tool's library drives the real windows: one test program
# for it, labelled with the window tests.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(screenshot_captura_test ${CMAKE_CURRENT_LIST_DIR}/captura_test.cpp)
target_link_libraries(screenshot_captura_test PRIVATE screenshot testsupport Qt6::Test GTest::gtest
                                                      GTest::gtest_main)
add_dependencies(ui_tests screenshot_captura_test)
gtest_discover_tests(screenshot_captura_test PROPERTIES LABELS ui
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen" DISCOVERY_TIMEOUT 60)
