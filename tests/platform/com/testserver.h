#pragma once
// Identity and members of the in-process server built for the COM tests.

#include "platform/com/guid.h"
#include "platform/com/interfaces.h"

constexpr CLSID CLSID_ZephraTestServer = MakeGuid("{6B1E3A52-0C44-4D7A-9E61-2F0B8D3C7A10}");
constexpr IID DIID_ZephraTestServer = MakeGuid("{6B1E3A53-0C44-4D7A-9E61-2F0B8D3C7A10}");
constexpr CATID CATID_ZephraTest = MakeGuid("{6B1E3A54-0C44-4D7A-9E61-2F0B8D3C7A10}");
constexpr const char* kTestProgID = "Zephra.TestServer";
constexpr const char* kTestCategoryDescription = "Zephra Test Components";

// Properties of each type, then methods.
constexpr DISPID DISPID_TEST_FLAG = 1;  // VT_BOOL
constexpr DISPID DISPID_TEST_SMALL = 2; // VT_I2
constexpr DISPID DISPID_TEST_COUNT = 3; // VT_I4
constexpr DISPID DISPID_TEST_WHEN = 4;  // VT_DATE
constexpr DISPID DISPID_TEST_TEXT = 5;  // VT_BSTR
// Describe(short, long, text, date, bool) -> text naming the arguments in call order.
constexpr DISPID DISPID_TEST_DESCRIBE = 6;
// Raise(text) answers DISP_E_EXCEPTION with that text as description.
constexpr DISPID DISPID_TEST_RAISE = 7;
// GetResourceInstance() -> long: the module's instance handle.
constexpr DISPID DISPID_TEST_INSTANCE = 8;

constexpr int32_t IDS_TEST_TYPE = 1;
constexpr int32_t IDS_TEST_NAME = 2;
constexpr const char* kTestTypeText = "Test widget";
constexpr const char* kTestNameText = "Zephra Test Server \xC3\xBC\xE2\x9C\x93";
