// An archived item (the designer's clipboard data) through the archive loader. A load either
// succeeds or leaves the target untouched; a success must survive a second round trip.
#include "component/model/menumodel.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZephraItem item("item");
    if (!LoadArchivedItem(std::span<const uint8_t>(data, size), item))
        return 0;
    const std::vector<uint8_t> again = ArchiveItem(item);
    if (again.empty())
        return 0; // too large to archive again: refused, not an error
    CZephraItem copy("item");
    if (!LoadArchivedItem(again, copy) || !SameItemTree(item, copy))
        std::abort();
    return 0;
}
