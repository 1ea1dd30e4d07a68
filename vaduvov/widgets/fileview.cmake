# The file list and location box beside the folder tree (both in ShView.cpp,
# which the library already holds): their tests.
if(RUZOZU_GUI)
  add_executable(fileview_tests tests/fileview_test.cpp)
  target_link_libraries(fileview_tests PRIVATE vaduvov_widgets Qt6::Test)
  target_include_directories(fileview_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
                                             ${CMAKE_SOURCE_DIR}/platform/component/tests)
  add_test(NAME fileview_tests COMMAND fileview_tests)
  set_tests_properties(fileview_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
