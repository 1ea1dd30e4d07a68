# The drill program's folder tree over our shell namespace.
if(RUZOZU_GUI)
  add_library(ruzozu_foldertree STATIC ${CMAKE_CURRENT_LIST_DIR}/FolderTree.cpp)
  target_include_directories(ruzozu_foldertree PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(ruzozu_foldertree PUBLIC rzshell_qt rzcomponent Qt6::Widgets)

  add_executable(foldertree_tests ${CMAKE_CURRENT_LIST_DIR}/tests/foldertree_test.cpp)
  target_link_libraries(foldertree_tests PRIVATE ruzozu_foldertree Qt6::Test)
  target_include_directories(foldertree_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
                                              ${CMAKE_SOURCE_DIR}/platform/component/tests)
  add_test(NAME foldertree_tests COMMAND foldertree_tests)
  set_tests_properties(foldertree_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# Its context menu, label rename and drag and drop.
if(RUZOZU_GUI)
  target_link_libraries(ruzozu_foldertree PUBLIC drillcommon)
  add_executable(foldertree_shell_tests ${CMAKE_CURRENT_LIST_DIR}/tests/foldertree_shell_test.cpp)
  target_link_libraries(foldertree_shell_tests PRIVATE ruzozu_foldertree Qt6::Test)
  target_include_directories(foldertree_shell_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
                                                    ${CMAKE_SOURCE_DIR}/platform/component/tests)
  add_test(NAME foldertree_shell_tests COMMAND foldertree_shell_tests)
  set_tests_properties(foldertree_shell_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
