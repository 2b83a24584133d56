#pragma once

#include <utility>

// The reference holder of the program and of the drivers alike, beside the
// interfaces it holds.
//
// Holds one reference to a driver object and releases it when it goes, so no
// path out of a function can forget a Release. Moves hand the reference on;
// share gives a second holder a reference of its own.
template <class T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    // Lets go of the object held so far.
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over the reference the caller holds, as of an object just created.
    static ComPtr adopt(T* object) { return ComPtr(object); }
    // Holds object with a reference of its own; the caller keeps its reference.
    static ComPtr share(T* object)
    {
        if (object)
            object->AddRef();
        return ComPtr(object);
    }

    // Lets go of the object held, if any.
    void reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->Release();
    }

    // For calls that hand out an object through an out parameter: the object
    // held so far is let go, the one handed out is held with its reference.
    T** receive()
    {
        reset();
        return &m_object;
    }
    void** receiveAny() { return reinterpret_cast<void**>(receive()); }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    explicit ComPtr(T* object) : m_object(object) {}

    T* m_object = nullptr;
};
