zephra_add_test(NAME test_model_config SOURCES ${CMAKE_CURRENT_LIST_DIR}/widgetconfig_test.cpp
                LIBS zephramodel LABELS nonui)
