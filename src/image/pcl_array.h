#pragma once
// Small owning containers used around pictures: a typed array for temporary buffers
// and a list that owns (and deletes) the objects in it.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// An owning array of `count` elements; frees its block when destroyed.
template <typename T>
class PCL_array {
public:
    PCL_array() = default;
    explicit PCL_array(size_t count) { Reset(count); }
    PCL_array(const PCL_array&) = delete;
    PCL_array& operator=(const PCL_array&) = delete;
    PCL_array(PCL_array&& o) noexcept
        : m_p(std::exchange(o.m_p, nullptr)), m_n(std::exchange(o.m_n, 0)) {}
    PCL_array& operator=(PCL_array&& o) noexcept {
        if (this != &o) {
            delete[] m_p;
            m_p = std::exchange(o.m_p, nullptr);
            m_n = std::exchange(o.m_n, 0);
        }
        return *this;
    }
    ~PCL_array() { delete[] m_p; }

    // Replaces the block with `count` value-initialised elements; false when memory is short.
    bool Reset(size_t count) {
        delete[] m_p;
        m_p = nullptr;
        m_n = 0;
        if (count == 0) return true;
        m_p = new (std::nothrow) T[count]();
        if (!m_p) return false;
        m_n = count;
        return true;
    }

    T* get() { return m_p; }
    const T* get() const { return m_p; }
    size_t GetElementCount() const { return m_n; }
    T& operator[](size_t i) { return m_p[i]; }
    const T& operator[](size_t i) const { return m_p[i]; }

private:
    T* m_p = nullptr;
    size_t m_n = 0;
};

// An owning list of objects; destroying it deletes every object in it.
template <typename T>
class PCL_Interface_Composite {
public:
    PCL_Interface_Composite() = default;
    PCL_Interface_Composite(const PCL_Interface_Composite&) = delete;
    PCL_Interface_Composite& operator=(const PCL_Interface_Composite&) = delete;
    ~PCL_Interface_Composite() { PCL_DeleteAllObjects(); }

    int PCL_GetObjectCount() const { return static_cast<int>(m_list.size()); }
    T* PCL_GetObject(int i) const {
        return (i >= 0 && i < PCL_GetObjectCount()) ? m_list[i].get() : nullptr;
    }
    // Takes ownership of `p`.
    void PCL_PushObject(T* p) {
        if (p) m_list.emplace_back(p);
    }
    void PCL_PushObject(std::unique_ptr<T> p) {
        if (p) m_list.push_back(std::move(p));
    }
    // Hands ownership of object i back to the caller.
    std::unique_ptr<T> PCL_TakeObject(int i) {
        if (i < 0 || i >= PCL_GetObjectCount()) return nullptr;
        auto p = std::move(m_list[i]);
        m_list.erase(m_list.begin() + i);
        return p;
    }
    void PCL_DeleteAllObjects() { m_list.clear(); }

private:
    std::vector<std::unique_ptr<T>> m_list;
};
