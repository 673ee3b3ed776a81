#include "host/com/com_values.h"

#include "host/com/com_error.h"

#include <oleauto.h>

namespace quillmere::com {

Apartment::Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_FALSE: this thread already has a single-threaded apartment (Qt makes one for drag and
    // drop); it still takes a matching uninitialise.
    m_initialised = SUCCEEDED(hr);
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) ThrowHresult(hr, L"CoInitializeEx");
}

Apartment::~Apartment() {
    if (m_initialised) CoUninitialize();
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&m_value);
        m_value = other.m_value;
        VariantInit(&other.m_value);
    }
    return *this;
}

Variant Variant::text(std::wstring_view text) {
    Variant v;
    v.m_value.vt = VT_BSTR;
    v.m_value.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    if (!v.m_value.bstrVal) ThrowHresult(E_OUTOFMEMORY, L"SysAllocStringLen");
    return v;
}

Variant Variant::boolean(bool value) {
    Variant v;
    v.m_value.vt = VT_BOOL;
    v.m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::integer(long value) {
    Variant v;
    v.m_value.vt = VT_I4;
    v.m_value.lVal = value;
    return v;
}

std::wstring Variant::asText() const {
    if (m_value.vt == VT_EMPTY) return {};
    Variant converted;
    // mingw declares the source without const.
    const HRESULT hr =
        VariantChangeType(converted.get(), const_cast<VARIANT*>(&m_value), 0, VT_BSTR);
    if (FAILED(hr)) ThrowHresult(hr, L"VariantChangeType");
    const BSTR text = converted.m_value.bstrVal;
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

bool Variant::asBoolean() const {
    if (m_value.vt == VT_EMPTY) return false;
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), const_cast<VARIANT*>(&m_value), 0, VT_BOOL)))
        return false;
    return converted.m_value.boolVal != VARIANT_FALSE;
}

long Variant::asInteger() const {
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(&m_value), 0, VT_I4);
    if (FAILED(hr)) ThrowHresult(hr, L"VariantChangeType");
    return converted.m_value.lVal;
}

DispatchRef& DispatchRef::operator=(DispatchRef&& other) noexcept {
    if (this != &other) {
        reset();
        m_dispatch = std::exchange(other.m_dispatch, nullptr);
    }
    return *this;
}

void DispatchRef::reset() {
    if (m_dispatch) std::exchange(m_dispatch, nullptr)->Release();
}

}  // namespace quillmere::com
