// A map from names to values that is searched with a C string or a string view as it is, without
// building a std::string for each search.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
};

template <typename T> using NameMap = std::unordered_map<std::string, T, NameHash, std::equal_to<>>;

// The first position of each name in a table that changes now and then: whoever changes the table
// marks the index stale, and the next search fills it again, visiting the table in its search order.
class NameIndex {
public:
    void MarkStale() { m_stale = true; }

    // fill(add) calls add(name, position) for each entry in order; a null name is skipped and a name
    // already added keeps its first position. -1 when the name is not there.
    template <typename Fill> int Find(const char* name, Fill fill) {
        if (!name) return -1;
        if (m_stale) {
            m_positions.clear();
            fill([this](const char* entry, int position) {
                if (entry) m_positions.emplace(entry, position);
            });
            m_stale = false;
        }
        const auto found = m_positions.find(name);
        return found == m_positions.end() ? -1 : found->second;
    }

private:
    NameMap<int> m_positions;
    bool m_stale = true;
};
