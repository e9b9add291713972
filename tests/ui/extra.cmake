# The window tests press keys and click through QTest.
find_package(Qt6 REQUIRED COMPONENTS Test)
file(GLOB _ui_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
foreach(_src IN LISTS _ui_tests)
  get_filename_component(_base ${_src} NAME_WE)
  if(TARGET ui_${_base})
    target_link_libraries(ui_${_base} PRIVATE Qt6::Test)
  endif()
endforeach()
