#pragma once

#include "host/com/com_values.h"

#include <string>
#include <vector>

namespace quillmere::com {

struct NamedArgument {
    std::wstring name;
    Variant value;
};

// An automation object reached through IDispatch by member and parameter names.
class AutomationObject {
  public:
    // A new instance of the class (CLSIDFromProgID, CoCreateInstance with CLSCTX_SERVER).
    static AutomationObject Create(const std::wstring& progId);
    // The running instance registered for the class (GetActiveObject).
    static AutomationObject Attach(const std::wstring& progId);

    // The default property (DISPID_VALUE), read without arguments.
    Variant defaultValue();
    // A property's value; arguments (an index, say) in call order.
    Variant property(const std::wstring& name, std::vector<Variant> arguments = {});
    // The object that a property holds; throws ComError when it holds none.
    AutomationObject object(const std::wstring& name, std::vector<Variant> arguments = {});
    // Sets a property (DISPATCH_PROPERTYPUT, the value as the one named argument
    // DISPID_PROPERTYPUT); throws ComError when the server refuses it.
    void setProperty(const std::wstring& name, Variant value);
    // Calls a method; positional arguments in call order, then the named ones. Throws ComError
    // with EXCEPINFO's description (or the HRESULT's) when the call fails.
    Variant call(const std::wstring& method, std::vector<Variant> positional,
                 std::vector<NamedArgument> named = {});

  private:
    explicit AutomationObject(DispatchRef dispatch) : m_dispatch(std::move(dispatch)) {}
    DISPID id(const std::wstring& member);
    Variant invoke(DISPID member, WORD flags, DISPPARAMS& params, const std::wstring& where);

    DispatchRef m_dispatch;
};

}  // namespace quillmere::com
