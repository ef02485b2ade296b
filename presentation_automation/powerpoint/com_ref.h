#pragma once

#include "presentation_automation/powerpoint/win32.h"

#include <utility>

namespace pa::powerpoint {

// Owns one reference to a COM interface and releases it when replaced or destroyed.
template<class T> class ComRef
{
public:
    ComRef() = default;
    ComRef(std::nullptr_t) {}
    ~ComRef() { reset(); }

    // Takes over a reference the caller already owns (an out-parameter, a creation result).
    static ComRef adopt(T *p)
    {
        ComRef r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own to a borrowed pointer.
    static ComRef share(T *p)
    {
        if (p) {
            p->AddRef();
        }
        return adopt(p);
    }

    ComRef(const ComRef &other) : m_p(other.m_p)
    {
        if (m_p) {
            m_p->AddRef();
        }
    }
    ComRef(ComRef &&other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComRef &operator=(ComRef other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }

    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters: releases what is held and hands out the slot.
    T **put()
    {
        reset();
        return &m_p;
    }
    T *detach() { return std::exchange(m_p, nullptr); }
    void reset()
    {
        if (T *p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }

private:
    T *m_p = nullptr;
};

} // namespace pa::powerpoint
