# The roster editor and its CSV import wizard, with their window tests.
target_sources(vaduvov_forms PRIVATE meibo.cpp CsvWizard.cpp)

rz_add_test(meibo_window_tests OFFSCREEN SOURCES tests/meibo_window_test.cpp LIBS vaduvov_forms Qt6::Test
            INCLUDES ${RZ_TEST_INCLUDES})
