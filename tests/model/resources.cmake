zephra_add_test(NAME test_model_resources SOURCES ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp
                LIBS zephramodel LABELS nonui)
