#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace quillmere::com {

// A failed automation call: its HRESULT and a description that is never empty.
class ComError : public std::exception {
  public:
    ComError(HRESULT hr, std::wstring description);
    HRESULT hr() const { return m_hr; }
    const std::wstring& description() const { return m_description; }
    // The description in UTF-8, for whoever reads only what().
    const char* what() const noexcept override { return m_what.c_str(); }

  private:
    HRESULT m_hr;
    std::wstring m_description;
    std::string m_what;
};

// The symbolic name of a COM or automation HRESULT ("CO_E_CLASSSTRING"), or empty.
std::wstring SymbolicName(HRESULT hr);

// "<where>: 0x800401F3 CO_E_CLASSSTRING <the system's text, where it has one>".
std::wstring Describe(HRESULT hr, const std::wstring& where);

[[noreturn]] void ThrowHresult(HRESULT hr, const std::wstring& where);

}  // namespace quillmere::com
