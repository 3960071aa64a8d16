#include "platform/com/module.h"

#include <map>
#include <mutex>
#include <new>

namespace {

class CModuleTable {
public:
    // Never destroyed: libraries unregister from their static destructors, which may run at
    // exit after this library's own.
    static CModuleTable& Get() {
        alignas(CModuleTable) static unsigned char storage[sizeof(CModuleTable)];
        static CModuleTable* table = ::new (storage) CModuleTable;
        return *table;
    }

    HINSTANCE Add(std::span<const CStringTableEntry> entries) {
        std::map<int32_t, std::string> strings;
        for (const CStringTableEntry& e : entries)
            strings[e.nID] = e.pszText == nullptr ? "" : e.pszText;
        std::lock_guard lock(m_mutex);
        m_nLast = m_nLast == INT32_MAX ? 1 : m_nLast + 1;
        m_modules[m_nLast] = std::move(strings);
        return m_nLast;
    }

    void Remove(HINSTANCE h) {
        std::lock_guard lock(m_mutex);
        m_modules.erase(h);
    }

    bool Find(HINSTANCE h, int32_t id, std::string& text) {
        std::lock_guard lock(m_mutex);
        const auto module = m_modules.find(h);
        if (module == m_modules.end())
            return false;
        const auto entry = module->second.find(id);
        if (entry == module->second.end())
            return false;
        text = entry->second;
        return true;
    }

private:
    std::mutex m_mutex;
    std::map<HINSTANCE, std::map<int32_t, std::string>> m_modules;
    HINSTANCE m_nLast = 0;
};

} // namespace

HINSTANCE RegisterModuleStrings(std::span<const CStringTableEntry> table) {
    return CModuleTable::Get().Add(table);
}

void UnregisterModuleStrings(HINSTANCE hInstance) {
    CModuleTable::Get().Remove(hInstance);
}

bool LoadString(HINSTANCE hInstance, int32_t nID, std::string& text) {
    return CModuleTable::Get().Find(hInstance, nID, text);
}
