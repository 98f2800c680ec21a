#pragma once

#include <cstddef>
#include <vector>

// Growable array in the manner of the dialog framework's collections: storage
// grows in steps of `growBy` elements, and RemoveAll gives the storage back.
template <class T>
class CArray {
public:
    void SetSize(std::size_t size, std::size_t growBy) {
        m_growBy = growBy == 0 ? 1 : growBy;
        Reserve(size);
        m_items.resize(size, T{});
    }
    std::size_t Add(const T& item) {
        Reserve(m_items.size() + 1);
        m_items.push_back(item);
        return m_items.size() - 1;
    }
    void RemoveAll() { std::vector<T>().swap(m_items); }
    std::size_t GetSize() const { return m_items.size(); }
    std::size_t GetCapacity() const { return m_items.capacity(); }
    std::size_t GetGrowBy() const { return m_growBy; }
    const T& operator[](std::size_t i) const { return m_items[i]; }
    T& operator[](std::size_t i) { return m_items[i]; }

private:
    void Reserve(std::size_t needed) {
        if (needed <= m_items.capacity()) return;
        const std::size_t steps = (needed - m_items.capacity() + m_growBy - 1) / m_growBy;
        m_items.reserve(m_items.capacity() + steps * m_growBy);
    }

    std::vector<T> m_items;
    std::size_t m_growBy = 1;
};
