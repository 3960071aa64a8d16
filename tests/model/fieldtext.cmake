zephra_add_test(NAME test_model_fieldtext SOURCES ${CMAKE_CURRENT_LIST_DIR}/fieldtext_test.cpp
                LIBS zephramodel LABELS nonui)
