#pragma once

// Holds one reference to a COM interface and releases it when it goes, so
// that every early return gives back what was obtained.
template <class T>
class KXDXComPtr
{
public:
    KXDXComPtr() = default;
    // Takes over a reference the caller owns.
    explicit KXDXComPtr(T* object) : m_object(object) {}
    KXDXComPtr(const KXDXComPtr&) = delete;
    KXDXComPtr& operator=(const KXDXComPtr&) = delete;
    KXDXComPtr(KXDXComPtr&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    KXDXComPtr& operator=(KXDXComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_object = other.m_object;
            other.m_object = nullptr;
        }
        return *this;
    }
    ~KXDXComPtr() { reset(); }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // Releases what is held and gives the address to fill, for the
    // Create and Get calls that hand out a new reference.
    T** out()
    {
        reset();
        return &m_object;
    }
    void reset()
    {
        if (m_object)
            m_object->Release();
        m_object = nullptr;
    }
    // Gives the reference to the caller.
    T* detach()
    {
        T* object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    T* m_object = nullptr;
};
