#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace quillmere::com {

// One COM apartment (single-threaded) for the thread that creates it.
class Apartment {
  public:
    Apartment();
    ~Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

  private:
    bool m_initialised = false;
};

// An owned VARIANT. Booleans only come from boolean(), which writes VARIANT_TRUE (-1): a plain
// bool constructor would also accept a string literal.
class Variant {
  public:
    Variant() { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(Variant&& other) noexcept : m_value(other.m_value) { VariantInit(&other.m_value); }
    Variant& operator=(Variant&& other) noexcept;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    static Variant text(std::wstring_view text);
    static Variant boolean(bool value);
    static Variant integer(long value);

    VARIANT* get() { return &m_value; }
    const VARIANT& value() const { return m_value; }
    // The value as text (an empty text for VT_EMPTY); throws ComError when it has none.
    std::wstring asText() const;
    bool asBoolean() const;
    // The value as a whole number; throws ComError when it has none.
    long asInteger() const;

  private:
    VARIANT m_value;
};

// An owned IDispatch reference, released on every way out.
class DispatchRef {
  public:
    DispatchRef() = default;
    explicit DispatchRef(IDispatch* dispatch) : m_dispatch(dispatch) {}
    ~DispatchRef() { reset(); }
    DispatchRef(DispatchRef&& other) noexcept
        : m_dispatch(std::exchange(other.m_dispatch, nullptr)) {}
    DispatchRef& operator=(DispatchRef&& other) noexcept;
    DispatchRef(const DispatchRef&) = delete;
    DispatchRef& operator=(const DispatchRef&) = delete;

    IDispatch* get() const { return m_dispatch; }
    explicit operator bool() const { return m_dispatch != nullptr; }
    void reset();

  private:
    IDispatch* m_dispatch = nullptr;
};

}  // namespace quillmere::com
