#include "host/com/automation.h"

#include "host/com/call_thread.h"
#include "host/com/com_error.h"

#include <objbase.h>
#include <oleauto.h>

namespace quillmere::com {
namespace {

CLSID ClassOf(const std::wstring& progId) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) ThrowHresult(hr, L"CLSIDFromProgID(" + progId + L")");
    return clsid;
}

std::wstring TakeBstr(BSTR& text) {
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    text = nullptr;
    return result;
}

// The server's own words for a raised exception: source and description, after the deferred
// fill-in; the three strings are freed here.
std::wstring ExceptionText(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    const std::wstring source = TakeBstr(info.bstrSource);
    const std::wstring description = TakeBstr(info.bstrDescription);
    TakeBstr(info.bstrHelpFile);
    if (description.empty()) return source;
    return source.empty() ? description : source + L": " + description;
}

}  // namespace

AutomationObject AutomationObject::Create(const std::wstring& progId) {
    const CLSID clsid = ClassOf(progId);
    IDispatch* dispatch = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                        reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) ThrowHresult(hr, L"CoCreateInstance(" + progId + L")");
    return AutomationObject(DispatchRef(dispatch));
}

AutomationObject AutomationObject::Attach(const std::wstring& progId) {
    const CLSID clsid = ClassOf(progId);
    IUnknown* running = nullptr;
    HRESULT hr = GetActiveObject(clsid, nullptr, &running);
    if (FAILED(hr)) ThrowHresult(hr, L"GetActiveObject(" + progId + L")");
    IDispatch* dispatch = nullptr;
    hr = running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    running->Release();
    if (FAILED(hr)) ThrowHresult(hr, L"QueryInterface(IDispatch)");
    return AutomationObject(DispatchRef(dispatch));
}

Variant AutomationObject::defaultValue() {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, none, L"default property");
}

Variant AutomationObject::property(const std::wstring& name, std::vector<Variant> arguments) {
    std::vector<VARIANTARG> wire;
    for (size_t i = arguments.size(); i-- > 0;) wire.push_back(arguments[i].value());
    DISPPARAMS params{wire.data(), nullptr, UINT(wire.size()), 0};
    return invoke(id(name), DISPATCH_PROPERTYGET, params, name);
}

AutomationObject AutomationObject::object(const std::wstring& name,
                                          std::vector<Variant> arguments) {
    Variant held = property(name, std::move(arguments));
    const VARIANT& value = held.value();
    if (value.vt != VT_DISPATCH || !value.pdispVal)
        ThrowHresult(DISP_E_TYPEMISMATCH, name + L" holds no object");
    value.pdispVal->AddRef();  // held releases its own reference on the way out
    return AutomationObject(DispatchRef(value.pdispVal));
}

void AutomationObject::setProperty(const std::wstring& name, Variant value) {
    DISPID put = DISPID_PROPERTYPUT;
    VARIANTARG wire = value.value();
    DISPPARAMS params{&wire, &put, 1, 1};
    invoke(id(name), DISPATCH_PROPERTYPUT, params, L"put " + name);
}

DISPID AutomationObject::id(const std::wstring& member) {
    LPOLESTR name = const_cast<LPOLESTR>(member.c_str());
    DISPID id = DISPID_UNKNOWN;
    CallThread::BeforeCall();
    const HRESULT hr =
        m_dispatch.get()->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    CallThread::AfterCall();
    if (FAILED(hr)) ThrowHresult(hr, L"GetIDsOfNames(" + member + L")");
    return id;
}

Variant AutomationObject::call(const std::wstring& method, std::vector<Variant> positional,
                               std::vector<NamedArgument> named) {
    // One lookup for the member and all parameter names: ids[1..] are the parameters' DISPIDs.
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(method.c_str())};
    for (const NamedArgument& argument : named)
        names.push_back(const_cast<LPOLESTR>(argument.name.c_str()));
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    CallThread::BeforeCall();
    const HRESULT hr = m_dispatch.get()->GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()),
                                                       LOCALE_USER_DEFAULT, ids.data());
    CallThread::AfterCall();
    if (FAILED(hr)) ThrowHresult(hr, L"GetIDsOfNames(" + method + L")");

    // Named arguments come first on the wire, then the positional ones; each group reversed.
    std::vector<VARIANTARG> wire;
    std::vector<DISPID> namedIds;
    for (size_t i = named.size(); i-- > 0;) {
        wire.push_back(named[i].value.value());
        namedIds.push_back(ids[i + 1]);
    }
    for (size_t i = positional.size(); i-- > 0;) wire.push_back(positional[i].value());
    DISPPARAMS params{wire.data(), namedIds.data(), UINT(wire.size()), UINT(namedIds.size())};
    return invoke(ids[0], DISPATCH_METHOD, params, L"Invoke(" + method + L")");
}

Variant AutomationObject::invoke(DISPID member, WORD flags, DISPPARAMS& params,
                                 const std::wstring& where) {
    Variant result;
    EXCEPINFO info{};
    UINT argumentError = 0;
    CallThread::BeforeCall();  // a call that is abandoned never comes back from AfterCall
    const HRESULT hr = m_dispatch.get()->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags,
                                                &params, result.get(), &info, &argumentError);
    CallThread::AfterCall();
    if (hr == DISP_E_EXCEPTION) {
        const HRESULT code = info.scode ? info.scode : hr;
        std::wstring text = ExceptionText(info);
        if (text.empty()) text = Describe(code, where);
        throw ComError(code, text);
    }
    if (FAILED(hr)) ThrowHresult(hr, where);
    return result;
}

}  // namespace quillmere::com
