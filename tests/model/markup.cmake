zephra_add_test(NAME test_model_markup SOURCES ${CMAKE_CURRENT_LIST_DIR}/markup_test.cpp
                LIBS zephramodel LABELS nonui)
