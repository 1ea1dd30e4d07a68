# The file list and location box beside the folder tree (ShFileView.cpp and
# ShComboView.cpp, which the library already holds): their tests.
if(RUZOZU_GUI)
  rz_add_test(fileview_tests OFFSCREEN SOURCES tests/fileview_test.cpp LIBS vaduvov_widgets Qt6::Test
              INCLUDES ${RZ_WINDOW_TEST_INCLUDES})
endif()
