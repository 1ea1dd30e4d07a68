# The drill program's folder tree over our shell namespace.
if(RUZOZU_GUI)
  add_library(ruzozu_foldertree STATIC ${CMAKE_CURRENT_LIST_DIR}/FolderTree.cpp ${CMAKE_CURRENT_LIST_DIR}/FolderTreeShell.cpp)
  target_include_directories(ruzozu_foldertree PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(ruzozu_foldertree PUBLIC rzshell_qt rzcomponent Qt6::Widgets)

  rz_add_test(foldertree_tests OFFSCREEN SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/foldertree_test.cpp
              LIBS ruzozu_foldertree Qt6::Test INCLUDES ${RZ_WINDOW_TEST_INCLUDES})
endif()

# Its context menu, label rename and drag and drop.
if(RUZOZU_GUI)
  target_link_libraries(ruzozu_foldertree PUBLIC drillcommon)
  rz_add_test(foldertree_shell_tests OFFSCREEN SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/foldertree_shell_test.cpp
              LIBS ruzozu_foldertree Qt6::Test INCLUDES ${RZ_WINDOW_TEST_INCLUDES})
endif()
