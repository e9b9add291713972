# The dialog tests press keys through QTest.
find_package(Qt6 REQUIRED COMPONENTS Test)
foreach(t export_ui_dialogo_test export_ui_exportacao_test export_ui_cancelamento_test)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE Qt6::Test)
  endif()
endforeach()
