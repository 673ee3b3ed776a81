#include "host/com/com_error.h"

#include <algorithm>
#include <cwchar>

namespace quillmere::com {

ComError::ComError(HRESULT hr, std::wstring description)
    : m_hr(hr), m_description(std::move(description)) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, m_description.data(),
                                         int(m_description.size()), nullptr, 0, nullptr, nullptr);
    m_what.resize(size_t(std::max(size, 0)));
    WideCharToMultiByte(CP_UTF8, 0, m_description.data(), int(m_description.size()), m_what.data(),
                        size, nullptr, nullptr);
}

namespace {

struct Named {
    HRESULT hr;
    const wchar_t* name;
};

// The system often has no text for these (wine never has), so they are named here.
const Named kNames[] = {
    {CO_E_CLASSSTRING, L"CO_E_CLASSSTRING"},
    {REGDB_E_CLASSNOTREG, L"REGDB_E_CLASSNOTREG"},
    {CO_E_SERVER_EXEC_FAILURE, L"CO_E_SERVER_EXEC_FAILURE"},
    {CO_E_NOTINITIALIZED, L"CO_E_NOTINITIALIZED"},
    {MK_E_UNAVAILABLE, L"MK_E_UNAVAILABLE"},
    {E_NOINTERFACE, L"E_NOINTERFACE"},
    {E_OUTOFMEMORY, L"E_OUTOFMEMORY"},
    {E_INVALIDARG, L"E_INVALIDARG"},
    {E_FAIL, L"E_FAIL"},
    {E_UNEXPECTED, L"E_UNEXPECTED"},
    {RPC_E_DISCONNECTED, L"RPC_E_DISCONNECTED"},
    {RPC_E_SERVER_DIED, L"RPC_E_SERVER_DIED"},
    {RPC_E_SERVER_DIED_DNE, L"RPC_E_SERVER_DIED_DNE"},
    {RPC_E_CALL_REJECTED, L"RPC_E_CALL_REJECTED"},
    {RPC_E_SERVERCALL_RETRYLATER, L"RPC_E_SERVERCALL_RETRYLATER"},
    {HRESULT(0x800706BA), L"RPC_S_SERVER_UNAVAILABLE"},
    {HRESULT(0x800706BE), L"RPC_S_CALL_FAILED"},
    {RPC_E_SERVERFAULT, L"RPC_E_SERVERFAULT"},
    {DISP_E_UNKNOWNNAME, L"DISP_E_UNKNOWNNAME"},
    {DISP_E_MEMBERNOTFOUND, L"DISP_E_MEMBERNOTFOUND"},
    {DISP_E_PARAMNOTFOUND, L"DISP_E_PARAMNOTFOUND"},
    {DISP_E_TYPEMISMATCH, L"DISP_E_TYPEMISMATCH"},
    {DISP_E_BADPARAMCOUNT, L"DISP_E_BADPARAMCOUNT"},
    {DISP_E_PARAMNOTOPTIONAL, L"DISP_E_PARAMNOTOPTIONAL"},
    {DISP_E_EXCEPTION, L"DISP_E_EXCEPTION"},
    {DISP_E_BADVARTYPE, L"DISP_E_BADVARTYPE"},
    {DISP_E_OVERFLOW, L"DISP_E_OVERFLOW"},
    {DISP_E_NONAMEDARGS, L"DISP_E_NONAMEDARGS"},
};

std::wstring SystemText(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

}  // namespace

std::wstring SymbolicName(HRESULT hr) {
    for (const Named& named : kNames)
        if (named.hr == hr) return named.name;
    return {};
}

std::wstring Describe(HRESULT hr, const std::wstring& where) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = where + L": " + code;
    if (const std::wstring name = SymbolicName(hr); !name.empty()) text += L" " + name;
    if (const std::wstring system = SystemText(hr); !system.empty()) text += L" " + system;
    return text;
}

void ThrowHresult(HRESULT hr, const std::wstring& where) {
    throw ComError(hr, Describe(hr, where));
}

}  // namespace quillmere::com
