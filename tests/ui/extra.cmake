# The window tests press keys and click through QTest.
find_package(Qt6 REQUIRED COMPONENTS Test)
file(GLOB _ui_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
foreach(_src IN LISTS _ui_tests)
  get_filename_component(_base ${_src} NAME_WE)
  if(TARGET ui_${_base})
    target_link_libraries(ui_${_base} PRIVATE Qt6::Test)
  endif()
endforeach()

# The command-line test runs the program itself and knows the version the
# build gives it.
if(TARGET ui_linha_comando_test)
  add_dependencies(ui_linha_comando_test brivane)
  target_compile_definitions(ui_linha_comando_test PRIVATE BRIVANE_PROGRAMA="$<TARGET_FILE:brivane>"
                                                           BRIVANE_VERSAO_ESPERADA="${PROJECT_VERSION}")
endif()
