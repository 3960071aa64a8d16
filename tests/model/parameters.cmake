zephra_add_test(NAME test_model_parameters SOURCES ${CMAKE_CURRENT_LIST_DIR}/parameters_test.cpp
                LIBS zephramodel LABELS nonui)
