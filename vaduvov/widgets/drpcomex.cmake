# The shell context menu and drag source of the controller's views.
if(RUZOZU_GUI)
  target_sources(vaduvov_widgets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DRPCOMEX.cpp)

  rz_add_test(drpcomex_tests OFFSCREEN SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/drpcomex_test.cpp
              LIBS vaduvov_widgets Qt6::Test INCLUDES ${RZ_WINDOW_TEST_INCLUDES})
endif()
