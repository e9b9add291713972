# Stand-ins for an old client library, loaded by the binding tests.
add_library(fbstub5 SHARED ${CMAKE_CURRENT_LIST_DIR}/stub/fbstub5.c)
add_library(fbstub_incomplete SHARED ${CMAKE_CURRENT_LIST_DIR}/stub/fbstub5.c)
target_compile_definitions(fbstub_incomplete PRIVATE FBSTUB_WITHOUT_MODIFY_USER)
if(TARGET db_clientlib_test)
  add_dependencies(db_clientlib_test fbstub5 fbstub_incomplete)
  target_compile_definitions(db_clientlib_test PRIVATE
    FBSTUB5_PATH="$<TARGET_FILE:fbstub5>"
    FBSTUB_INCOMPLETE_PATH="$<TARGET_FILE:fbstub_incomplete>")
endif()
