# The filter window's tests drive it with QTest's key and mouse events.
find_package(Qt6 REQUIRED COMPONENTS Test)
if(TARGET filter_ui_ffiltrar_test)
  target_link_libraries(filter_ui_ffiltrar_test PRIVATE Qt6::Test)
endif()
