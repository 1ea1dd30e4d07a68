# The roster editor and its CSV import wizard, with their window tests.
target_sources(vaduvov_forms PRIVATE meibo.cpp CsvWizard.cpp)

add_executable(meibo_window_tests tests/meibo_window_test.cpp)
target_include_directories(meibo_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/common/tests)
target_link_libraries(meibo_window_tests PRIVATE vaduvov_forms Qt6::Test)
add_test(NAME meibo_window_tests COMMAND meibo_window_tests)
set_tests_properties(meibo_window_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
