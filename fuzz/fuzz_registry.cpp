// A registry hive file through its parser. Whatever parses must format to a text that parses
// back to the same tree.
#include "platform/registry/hive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CHiveKey root("HKEY_CLASSES_ROOT");
    CHiveParseError error;
    if (!ParseHiveText(text, root, error))
        return 0;
    CHiveKey again("HKEY_CLASSES_ROOT");
    if (!ParseHiveText(FormatHiveText(root), again, error) || !(again == root))
        std::abort();
    return 0;
}
