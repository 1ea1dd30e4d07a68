# The shell context menu and drag source of the controller's views.
if(RUZOZU_GUI)
  target_sources(vaduvov_widgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DRPCOMEX.cpp)

  add_executable(drpcomex_tests ${CMAKE_CURRENT_LIST_DIR}/tests/drpcomex_test.cpp)
  target_link_libraries(drpcomex_tests PRIVATE vaduvov_widgets Qt6::Test)
  target_include_directories(drpcomex_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
                             ${CMAKE_SOURCE_DIR}/platform/component/tests)
  add_test(NAME drpcomex_tests COMMAND drpcomex_tests)
  set_tests_properties(drpcomex_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
