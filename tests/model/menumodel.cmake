zephra_add_test(NAME test_model_menu SOURCES ${CMAKE_CURRENT_LIST_DIR}/menumodel_test.cpp
                LIBS zephramodel LABELS nonui)
