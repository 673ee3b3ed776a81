// A fake "MSProject.Application" automation server for tests under wine: an out-of-process
// server that implements IDispatch by name, logs every call with the raw types and order of its
// arguments, and really replaces text in a plain text file.
//
// Each instance holds projects as Project does: a private instance starts with an empty project
// "Project1", the user's instance with the user's unsaved "UserPlan". FileOpen adds a project and
// makes it active (closing "Project1" while nothing was done to it), or only makes the project
// active when that file is already open; it returns True. Replace, FileSaveAs and FileClose act
// on the active project, and every such act is logged as DOC METHOD "PROJECT". ActiveProject and
// Projects.Item(index from 1) hand out a project object (Name, FullName, Activate); Projects also
// has Count. Quit logs each project still open as STILL OPEN "PROJECT" text="TEXT". A private
// instance is hidden, as one that automation starts is, and like Project then raises an error on
// every Activate.
//
//   fake_project_server /regserver /log LOG   register under HKLM (wine ignores HKCU)
//   fake_project_server -Embedding /log LOG   started by COM: one private instance
//   fake_project_server /standalone /log LOG  "the user's running instance": in the Running
//                                             Object Table, handed to every client
//   ... /standalone /unlisted /log LOG        the same, still starting: handed to every client,
//                                             but not yet in the Running Object Table
//
// Before each call the server reads LOG.control, lines of:
//   fail METHOD [FIRST-ARGUMENT]   raise an exception through EXCEPINFO
//   false METHOD                   return False, doing nothing
//   name TEXT                      answer TEXT as the default property
//   user-switches-after METHOD     after each METHOD, the user makes their own project (the
//                                  one the instance started with) active again
//   fail Activate                  the user's instance, too, refuses Activate
//   hang METHOD                    METHOD does not return while this line stays (as a modal
//                                  prompt nobody answers), for at most two minutes
//   busy N                         the next N calls to the instance's objects are refused as a
//                                  busy Project refuses them (see BusyFilter)
//   activate-ignored               a project's Activate returns but leaves the active one as is
//   open-late N                    FileOpen's project shows in ActiveProject and Projects only
//                                  N ms after FileOpen returned
//   die METHOD                     the server process exits inside METHOD, as a crash would
//   linger-after-quit N            a private server goes on running N s after its object was
//                                  released, its class still registered: a creation meanwhile
//                                  is handed this dying process (with "shared")
//   linger-shows                   with linger-after-quit: the lingering process shows a window
//   shared                         read when a private server starts: its class is registered
//                                  for many uses (REGCLS_MULTIPLEUSE), as Project is one shared
//                                  server; every creation gets its one instance while that lives
//
// Someone else at work in the instance (Project hands its one instance to everyone), taken in at
// the start of the application's next call:
//   user-opens FILE                the user double-clicks FILE: it opens here and is active, and
//                                  the instance shows (Visible and UserControl True, a window)
//   user-opens-hidden FILE         the same, but the instance stays hidden, nobody controlling it
//   user-shows                     the user brings the instance up: it shows, under their control
//   other-client-opens FILE        another program's automation opens FILE here; the instance
//                                  stays hidden, and that program's reference keeps it running
// and, from the message loop at any time:
//   user-quits                     the user closes Project: logs USER QUITS and STILL OPEN lines
//                                  for what is open, and the process ends
//
// The application has Visible and UserControl, to get and put (logged as PUT NAME=VALUE):
// False in a private instance, True in the user's. A private instance that nobody controls ends
// when its client lets it go; one under the user's control stays. Visible True shows a top-level
// window.

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "wide_text.h"

#include <cstdio>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using quillmere::testing::Utf8;
using quillmere::testing::Wide;

// {6A3C2F0E-8D1B-4C57-9E2A-51B7D4C0A913}
const CLSID kClsid = {0x6a3c2f0e, 0x8d1b, 0x4c57, {0x9e, 0x2a, 0x51, 0xb7, 0xd4, 0xc0, 0xa9, 0x13}};
const wchar_t kClsidText[] = L"{6A3C2F0E-8D1B-4C57-9E2A-51B7D4C0A913}";
const wchar_t kProgId[] = L"MSProject.Application";

std::wstring g_log;
bool g_standalone = false;
bool g_unlisted = false;
bool g_shared = false;  // "shared": one private instance for every creation

std::wstring ProcessTag() {
    return (g_standalone ? L"standalone pid=" : L"private pid=") +
           std::to_wstring(GetCurrentProcessId());
}

// Whole-file reads and appends by wide path, so that any file name works.
bool ReadFile(const std::wstring& path, std::string& bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    fclose(file);
    return true;
}

bool WriteFile(const std::wstring& path, const std::string& bytes, const wchar_t* mode) {
    FILE* file = _wfopen(path.c_str(), mode);
    if (!file) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

void Log(const std::wstring& line) {
    WriteFile(g_log, Utf8(line) + "\n", L"ab");
}

std::vector<std::wstring> ControlLines() {
    std::string bytes;
    ReadFile(g_log + L".control", bytes);
    std::vector<std::wstring> lines;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(Wide(line));
    }
    return lines;
}

bool IEquals(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

std::wstring TypeName(VARTYPE vt) {
    std::wstring prefix = (vt & VT_BYREF) ? L"BYREF|" : L"";
    switch (vt & ~VT_BYREF) {
        case VT_EMPTY:
            return prefix + L"VT_EMPTY";
        case VT_BSTR:
            return prefix + L"VT_BSTR";
        case VT_BOOL:
            return prefix + L"VT_BOOL";
        case VT_I2:
            return prefix + L"VT_I2";
        case VT_I4:
            return prefix + L"VT_I4";
        case VT_ERROR:
            return prefix + L"VT_ERROR";
        default:
            return prefix + L"VT_" + std::to_wstring(vt & ~VT_BYREF);
    }
}

std::wstring Raw(const VARIANT& v) {
    const VARIANT& value = (v.vt & VT_BYREF) && v.pvarVal ? *v.pvarVal : v;
    std::wstring text = TypeName(v.vt) + L":";
    switch (value.vt) {
        case VT_BSTR:
            return text + L"\"" +
                   (value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal))
                                  : L"") +
                   L"\"";
        case VT_BOOL:
            return text + std::to_wstring(value.boolVal);
        case VT_I2:
            return text + std::to_wstring(value.iVal);
        case VT_I4:
            return text + std::to_wstring(value.lVal);
        default:
            return text + L"?";
    }
}

std::wstring AsText(VARIANT* v) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, v, 0, VT_BSTR))) return {};
    std::wstring text =
        converted.bstrVal ? std::wstring(converted.bstrVal, SysStringLen(converted.bstrVal)) : L"";
    VariantClear(&converted);
    return text;
}

bool AsBool(VARIANT* v) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, v, 0, VT_BOOL))) return false;
    return converted.boolVal != VARIANT_FALSE;
}

HRESULT ReturnBool(VARIANT* result, bool value) {
    if (result) {
        result->vt = VT_BOOL;
        result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

HRESULT Raise(EXCEPINFO* info, const std::wstring& description) {
    Log(L"FAIL " + description);
    if (info) {
        *info = EXCEPINFO{};
        info->wCode = 1004;
        info->bstrSource = SysAllocString(L"FakeProject");
        info->bstrDescription = SysAllocStringLen(description.data(), UINT(description.size()));
    }
    return DISP_E_EXCEPTION;
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring FileName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool Controlled(const std::wstring& line) {
    for (const std::wstring& control : ControlLines())
        if (control == line) return true;
    return false;
}

// Holds a call while the control asks for it to hang.
void Hang(const std::wstring& method) {
    const std::wstring line = L"hang " + method;
    if (!Controlled(line)) return;
    Log(L"HANG " + method + L" " + ProcessTag());
    for (int i = 0; i < 1200 && Controlled(line); ++i) Sleep(100);
    Log(L"RELEASED HANG " + method);
}

// die METHOD: the process ends inside the call, without answering it.
void Die(const std::wstring& method) {
    if (!Controlled(L"die " + method)) return;
    Log(L"DIE " + method + L" " + ProcessTag());
    ExitProcess(3);
}

// The number after a control line's prefix ("open-late 1500"), or -1 without such a line.
long ControlNumber(const std::wstring& prefix) {
    for (const std::wstring& control : ControlLines())
        if (control.rfind(prefix + L" ", 0) == 0)
            return std::wcstol(control.c_str() + prefix.size() + 1, nullptr, 10);
    return -1;
}

struct Document {
    std::wstring name;
    std::wstring text;
    std::wstring path;       // the file it was opened from or saved to; empty when none
    bool untouched = false;  // a new empty project nothing was done to: FileOpen closes it
};
using DocumentPtr = std::shared_ptr<Document>;

// The projects open in one instance, and which of them is active.
struct Workspace {
    DocumentPtr initial;  // the one the instance started with
    std::vector<DocumentPtr> open;
    DocumentPtr active;
    bool visible = false;
    bool userControl = false;

    void add(DocumentPtr document) {
        open.push_back(document);
        active = std::move(document);
    }
    bool isOpen(const DocumentPtr& document) const {
        for (const DocumentPtr& d : open)
            if (d == document) return true;
        return false;
    }
    DocumentPtr find(const std::wstring& path) const {
        for (const DocumentPtr& d : open)
            if (!d->path.empty() && _wcsicmp(d->path.c_str(), path.c_str()) == 0) return d;
        return nullptr;
    }
    void close(DocumentPtr document) {
        std::erase(open, document);
        if (active == document) active = open.empty() ? nullptr : open.back();
    }

    // open-late: what a FileOpen still has to do to show its project, and from when on.
    std::function<void()> pendingOpen;
    ULONGLONG pendingFrom = 0;
    // Shows a pending project once its time came; called before every answer.
    void settle() {
        if (pendingOpen && GetTickCount64() >= pendingFrom) std::exchange(pendingOpen, {})();
    }
};
using WorkspacePtr = std::shared_ptr<Workspace>;

void LogDocument(const std::wstring& method, const Document& document) {
    Log(L"DOC " + method + L" " + Quoted(document.name));
}

// COM interfaces have no virtual destructor: their objects delete themselves in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// IUnknown and the type-library-less part of IDispatch, shared by the fake's objects.
class DispatchObject : public IDispatch {
  public:
    virtual ~DispatchObject() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return ULONG(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  private:
    LONG m_refs = 1;
};

#pragma GCC diagnostic pop

// GetIDsOfNames for an object whose members take no named arguments; logs NAMES OBJECT.MEMBER=ID.
HRESULT MemberIds(const wchar_t* object,
                  std::initializer_list<std::pair<const wchar_t*, DISPID>> members, LPOLESTR* names,
                  UINT count, DISPID* ids) {
    ids[0] = DISPID_UNKNOWN;
    for (const auto& [member, id] : members)
        if (IEquals(names[0], member)) ids[0] = id;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    Log(L"NAMES " + std::wstring(object) + L"." + names[0] + L"=" + std::to_wstring(ids[0]));
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    return S_OK;
}

// A project as ActiveProject and Projects.Item hand it out: its name, full name and Activate,
// bound to that project even after another one became active.
class FakeProject : public DispatchObject {
  public:
    FakeProject(WorkspacePtr workspace, DocumentPtr document)
        : m_workspace(std::move(workspace)), m_document(std::move(document)) {}

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return MemberIds(L"Project", {{L"Name", DISPID_VALUE}, {L"Activate", 1}, {L"FullName", 2}},
                         names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        m_workspace->settle();
        if (params->cArgs) return DISP_E_BADPARAMCOUNT;
        if (!m_workspace->isOpen(m_document)) return Raise(info, L"The project was closed.");
        if (id == DISPID_VALUE && result) return ReturnText(result, m_document->name);
        if (id == 2 && result)
            return ReturnText(result,
                              m_document->path.empty() ? m_document->name : m_document->path);
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        // An instance started by automation is hidden, and a hidden Project refuses Activate.
        if (!m_workspace->visible || Controlled(L"fail Activate"))
            return Raise(info, L"An unexpected error occurred with the method.");
        if (Controlled(L"activate-ignored")) {
            Log(L"IGNORED Activate " + Quoted(m_document->name));
            return S_OK;
        }
        m_workspace->active = m_document;
        LogDocument(L"Activate", *m_document);
        return S_OK;
    }

  private:
    WorkspacePtr m_workspace;
    DocumentPtr m_document;
};

// Application.Projects: Count, and Item by index from 1. Counts what is open at each call.
class FakeProjects : public DispatchObject {
  public:
    explicit FakeProjects(WorkspacePtr workspace) : m_workspace(std::move(workspace)) {}

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return MemberIds(L"Projects", {{L"Item", DISPID_VALUE}, {L"Count", 1}}, names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        m_workspace->settle();
        const std::vector<DocumentPtr>& open = m_workspace->open;
        if (!result) return E_INVALIDARG;
        if (id == 1 && params->cArgs == 0) {
            result->vt = VT_I4;
            result->lVal = LONG(open.size());
            return S_OK;
        }
        if (id != DISPID_VALUE || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT index;
        VariantInit(&index);
        if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        if (index.lVal < 1 || size_t(index.lVal) > open.size())
            return Raise(info, L"No project has the index " + std::to_wstring(index.lVal) + L".");
        result->vt = VT_DISPATCH;
        result->pdispVal = new FakeProject(m_workspace, open[size_t(index.lVal) - 1]);
        return S_OK;
    }

  private:
    WorkspacePtr m_workspace;
};

const DISPID kActiveProject = 6;
const DISPID kProjects = 7;
const DISPID kVisible = 8;
const DISPID kUserControl = 9;

struct Member {
    const wchar_t* name;
    DISPID id;
    std::vector<const wchar_t*> parameters;
};

const std::vector<Member>& Members() {
    static const std::vector<Member> members{
        {L"Name", DISPID_VALUE, {}},
        {L"FileOpen", 1, {L"Name"}},
        {L"Replace",
         2,
         {L"Field", L"Test", L"Value", L"Replacement", L"ReplaceAll", L"Next", L"MatchCase"}},
        {L"FileSaveAs", 3, {L"Name"}},
        {L"Quit", 4, {L"SaveChanges"}},
        {L"FileClose", 5, {L"Save", L"NoAuto"}},
        {L"ActiveProject", kActiveProject, {}},
        {L"Projects", kProjects, {}},
        {L"Visible", kVisible, {}},
        {L"UserControl", kUserControl, {}},
    };
    return members;
}

const Member* MemberById(DISPID id) {
    for (const Member& m : Members())
        if (m.id == id) return &m;
    return nullptr;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& find, const std::wstring& with,
                        bool all, bool matchCase) {
    if (find.empty()) return text;
    auto lower = [](std::wstring s) {
        CharLowerBuffW(s.data(), DWORD(s.size()));
        return s;
    };
    const std::wstring haystackKey = matchCase ? text : lower(text);
    const std::wstring needle = matchCase ? find : lower(find);
    std::wstring out;
    size_t at = 0;
    while (true) {
        const size_t hit = haystackKey.find(needle, at);
        if (hit == std::wstring::npos) break;
        out += text.substr(at, hit - at) + with;
        at = hit + find.size();
        if (!all) break;
    }
    return out + text.substr(at);
}

void LogStillOpen(const Workspace& workspace) {
    for (const DocumentPtr& document : workspace.open)
        Log(L"STILL OPEN " + Quoted(document->name) + L" text=" + Quoted(document->text));
}

// --- Someone else in the instance: the user, or another program -------------------------------

// The instance's projects, which outlive its automation object in an instance the user controls.
WorkspacePtr g_workspace;
HWND g_window = nullptr;

// The instance's main window, shown while it is visible.
void ShowMainWindow(bool shown) {
    if (shown && !g_window) {
        WNDCLASSW type{};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"FakeProjectMain";
        RegisterClassW(&type);
        g_window = CreateWindowExW(0, type.lpszClassName, L"Fake Project", WS_OVERLAPPEDWINDOW, 0,
                                   0, 320, 200, nullptr, nullptr, type.hInstance, nullptr);
    }
    if (g_window) ShowWindow(g_window, shown ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void Shows(Workspace& workspace) {
    workspace.visible = true;
    workspace.userControl = true;
    ShowMainWindow(true);
}

// Opens path for someone else, active, unless it is open already; false then.
bool OpensForSomeoneElse(Workspace& workspace, const std::wstring& path, const wchar_t* who) {
    if (workspace.find(path)) return false;
    std::string bytes;
    ReadFile(path, bytes);
    workspace.add(std::make_shared<Document>(Document{FileName(path), Wide(bytes), path, false}));
    Log(std::wstring(who) + L" OPENS " + Quoted(FileName(path)));
    return true;
}

// What the control asks someone else to have done meanwhile; holder is the application, which
// another program's reference keeps alive.
void SomeoneElseActs(Workspace& workspace, IDispatch* holder) {
    for (const std::wstring& control : ControlLines()) {
        if (control.rfind(L"user-opens ", 0) == 0) {
            if (OpensForSomeoneElse(workspace, control.substr(11), L"USER")) Shows(workspace);
        } else if (control.rfind(L"user-opens-hidden ", 0) == 0) {
            OpensForSomeoneElse(workspace, control.substr(18), L"USER");
        } else if (control == L"user-shows" && !workspace.userControl) {
            Log(L"USER SHOWS");
            Shows(workspace);
        } else if (control.rfind(L"other-client-opens ", 0) == 0) {
            if (OpensForSomeoneElse(workspace, control.substr(19), L"OTHER CLIENT"))
                holder->AddRef();  // never released: the other program holds on
        }
    }
}

// From the message loop: the user closes Project.
bool UserQuits() {
    if (!Controlled(L"user-quits")) return false;
    Log(L"USER QUITS " + ProcessTag());
    if (g_workspace) LogStillOpen(*g_workspace);
    return true;
}

// Visible and UserControl, put; nothing else can be.
HRESULT PutProperty(Workspace& workspace, DISPID id, DISPPARAMS* params) {
    if (params->cArgs != 1 || params->cNamedArgs != 1 ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
    if (id != kVisible && id != kUserControl) return DISP_E_MEMBERNOTFOUND;
    VARIANT& value = params->rgvarg[0];
    Log(L"PUT " + std::wstring(id == kVisible ? L"Visible" : L"UserControl") + L"=" + Raw(value));
    if (id == kUserControl) {
        workspace.userControl = AsBool(&value);
    } else {
        workspace.visible = AsBool(&value);
        ShowMainWindow(workspace.visible);
    }
    return S_OK;
}

// ----------------------------------------------------------------------------------------------

class FakeApplication : public DispatchObject {
  public:
    explicit FakeApplication(Document initial) : m_workspace(std::make_shared<Workspace>()) {
        m_workspace->initial = std::make_shared<Document>(std::move(initial));
        m_workspace->add(m_workspace->initial);
        m_workspace->visible = m_workspace->userControl = g_standalone;
        g_workspace = m_workspace;
    }
    ~FakeApplication() override;

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        const Member* member = nullptr;
        for (const Member& m : Members())
            if (IEquals(names[0], m.name)) member = &m;
        std::wstring line = L"NAMES";
        HRESULT hr = S_OK;
        ids[0] = member ? member->id : DISPID_UNKNOWN;
        line += L" " + std::wstring(names[0]) + L"=" + std::to_wstring(ids[0]);
        if (!member) hr = DISP_E_UNKNOWNNAME;
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (member)
                for (size_t p = 0; p < member->parameters.size(); ++p)
                    if (IEquals(names[i], member->parameters[p])) ids[i] = DISPID(p);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
            line += L" " + std::wstring(names[i]) + L"=" + std::to_wstring(ids[i]);
        }
        Log(line);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        m_workspace->settle();
        const Member* member = MemberById(id);
        if (!member) return DISP_E_MEMBERNOTFOUND;
        SomeoneElseActs(*m_workspace, this);
        if (flags & DISPATCH_PROPERTYPUT) return PutProperty(*m_workspace, id, params);
        std::vector<VARIANT*> slots(member->parameters.size(), nullptr);
        const UINT named = params->cNamedArgs;
        const UINT positional = params->cArgs - named;
        if (positional > slots.size()) return DISP_E_BADPARAMCOUNT;
        std::wstring wire;
        for (UINT i = 0; i < named; ++i) {
            const DISPID p = params->rgdispidNamedArgs[i];
            if (p < 0 || size_t(p) >= slots.size() || slots[size_t(p)]) return DISP_E_PARAMNOTFOUND;
            slots[size_t(p)] = &params->rgvarg[i];
            wire += (wire.empty() ? L"" : L",") + std::wstring(member->parameters[size_t(p)]);
        }
        for (UINT k = 0; k < positional; ++k) {
            if (slots[k]) return DISP_E_PARAMNOTFOUND;
            slots[k] = &params->rgvarg[params->cArgs - 1 - k];
        }
        for (UINT k = positional; k-- > 0;)
            wire += (wire.empty() ? L"" : L",") + std::wstring(L"#") + std::to_wstring(k);
        std::wstring line = L"CALL " + std::wstring(member->name) + L" positional=" +
                            std::to_wstring(positional) + L" named=" + std::to_wstring(named) +
                            L" wire=" + wire + L" |";
        for (size_t p = 0; p < slots.size(); ++p)
            if (slots[p])
                line += L" " + std::wstring(member->parameters[p]) + L"=" + Raw(*slots[p]);
        Log(line);
        Hang(member->name);
        Die(member->name);

        const std::wstring first = slots.empty() || !slots[0] ? L"" : AsText(slots[0]);
        for (const std::wstring& control : ControlLines()) {
            if (control == L"fail " + std::wstring(member->name) ||
                control == L"fail " + std::wstring(member->name) + L" " + first)
                return Raise(info, L"Injected failure in " + std::wstring(member->name) + L".");
            if (control == L"false " + std::wstring(member->name)) return ReturnBool(result, false);
        }
        if (id == kVisible || id == kUserControl) {
            if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
            return ReturnBool(result,
                              id == kVisible ? m_workspace->visible : m_workspace->userControl);
        }
        if (id == DISPID_VALUE || id == kActiveProject || id == kProjects) {
            if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
            if (id == kActiveProject) return ActiveProject(result, info);
            if (id == kProjects) {
                result->vt = VT_DISPATCH;
                result->pdispVal = new FakeProjects(m_workspace);
                return S_OK;
            }
            std::wstring name = L"Microsoft Project";
            for (const std::wstring& control : ControlLines())
                if (control.rfind(L"name ", 0) == 0) name = control.substr(5);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(name.data(), UINT(name.size()));
            return S_OK;
        }
        return Act(*member, slots, result, info);
    }

  private:
    HRESULT ActiveProject(VARIANT* result, EXCEPINFO* info) {
        if (!m_workspace->active) return Raise(info, L"No project is open.");
        result->vt = VT_DISPATCH;
        result->pdispVal = new FakeProject(m_workspace, m_workspace->active);
        return S_OK;
    }

    HRESULT FileOpen(const std::wstring& path, VARIANT* result, EXCEPINFO* info) {
        Workspace& workspace = *m_workspace;
        if (DocumentPtr open = workspace.find(path)) {
            workspace.active = open;
            LogDocument(L"FileOpen-activates", *open);
            return ReturnBool(result, true);
        }
        std::string bytes;
        if (!ReadFile(path, bytes))
            return Raise(info, L"The file \"" + path + L"\" could not be found.");
        auto show = [&workspace, path, text = Wide(bytes)] {
            if (workspace.isOpen(workspace.initial) && workspace.initial->untouched) {
                LogDocument(L"FileOpen-closes", *workspace.initial);
                workspace.close(workspace.initial);
            }
            workspace.add(std::make_shared<Document>(Document{FileName(path), text, path, false}));
            LogDocument(L"FileOpen", *workspace.active);
        };
        if (const long late = ControlNumber(L"open-late"); late >= 0) {
            workspace.pendingOpen = show;
            workspace.pendingFrom = GetTickCount64() + ULONGLONG(late);
        } else {
            show();
        }
        return ReturnBool(result, true);
    }

    HRESULT Act(const Member& member, std::vector<VARIANT*>& slots, VARIANT* result,
                EXCEPINFO* info) {
        const std::wstring name = member.name;
        Workspace& workspace = *m_workspace;
        if (name == L"Quit") {
            Log(L"QUIT " + ProcessTag());
            LogStillOpen(workspace);
            // A private instance ends when its client lets go of it, as Project does: ending it
            // here could end the process before this call's answer reached the client.
            if (g_standalone) PostQuitMessage(0);
            return S_OK;
        }
        if (name == L"FileOpen") return FileOpen(AsText(slots[0]), result, info);
        if (!workspace.active) return Raise(info, L"No project is open.");
        Document& document = *workspace.active;
        document.untouched = false;
        if (name == L"Replace") {
            for (size_t p = 0; p < slots.size(); ++p)
                if (!slots[p] && p != 5) return DISP_E_PARAMNOTOPTIONAL;
            const std::wstring before = document.text;
            if (AsText(slots[0]) == L"Name")
                document.text = ReplaceAll(document.text, AsText(slots[2]), AsText(slots[3]),
                                           AsBool(slots[4]), AsBool(slots[6]));
            if (result) {
                result->vt = VT_BOOL;
                result->boolVal = before != document.text ? VARIANT_TRUE : VARIANT_FALSE;
            }
        } else if (name == L"FileSaveAs") {
            const std::wstring path = AsText(slots[0]);
            if (!WriteFile(path, Utf8(document.text), L"wb"))
                return Raise(info, L"Cannot write " + path);
            document.name = FileName(path);  // the project now carries the saved file's name
            document.path = path;
        }
        LogDocument(name, document);
        if (name == L"FileClose") workspace.close(workspace.active);
        if (Controlled(L"user-switches-after " + name) && workspace.isOpen(workspace.initial)) {
            workspace.active = workspace.initial;
            Log(L"SWITCH " + Quoted(workspace.initial->name));
        }
        return S_OK;
    }

    WorkspacePtr m_workspace;
};

// The private instance a "shared" server hands to every creation, while it lives.
FakeApplication* g_served = nullptr;
UINT_PTR g_lingerTimer = 0;

FakeApplication::~FakeApplication() {
    Log(L"RELEASED " + ProcessTag());
    if (g_served == this) g_served = nullptr;
    // An instance under the user's control stays when its clients let go of it.
    if (m_workspace->userControl && !g_standalone) return;
    // linger-after-quit N: the process stays, its class still registered, as a Project that
    // takes its time to exit.
    if (const long seconds = ControlNumber(L"linger-after-quit"); seconds >= 0 && !g_standalone) {
        Log(L"LINGER " + ProcessTag());
        if (Controlled(L"linger-shows")) ShowMainWindow(true);
        g_lingerTimer = SetTimer(nullptr, 0, UINT(seconds * 1000), nullptr);
        return;
    }
    PostQuitMessage(0);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class Factory : public IClassFactory {
  public:
    explicit Factory(IDispatch* shared) : m_shared(shared) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        // The user's running instance is handed to every client, as Project does.
        if (m_shared) return m_shared->QueryInterface(riid, out);
        if (g_served) return g_served->QueryInterface(riid, out);
        auto* app = new FakeApplication({L"Project1", L"", L"", true});
        if (g_shared) g_served = app;
        const HRESULT hr = app->QueryInterface(riid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    IDispatch* m_shared;
};

#pragma GCC diagnostic pop

// Busy refusals. A Project that is starting or shows a dialog refuses incoming calls through
// its message filter with SERVERCALL_RETRYLATER; the client's COM then asks the client's own
// filter whether to retry. wine 8 models neither half: it runs a call refused with RETRYLATER as
// though it were handled (a FIXME in its combase), and never asks the client's filter; each
// refusal is still logged as BUSY, so a test sees that it was made.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class BusyFilter : public IMessageFilter {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        // Only the automation objects' calls: COM's own (reference counts) are never refused.
        if (!call || call->iid != IID_IDispatch) return SERVERCALL_ISHANDLED;
        std::wstring line;
        for (const std::wstring& control : ControlLines())
            if (control.rfind(L"busy ", 0) == 0) line = control;
        if (line != m_line) {  // a new count: the next calls are refused
            m_line = line;
            m_refused = 0;
        }
        if (line.empty() || m_refused >= _wtoi(line.c_str() + 5)) return SERVERCALL_ISHANDLED;
        ++m_refused;
        Log(L"BUSY refused " + std::to_wstring(m_refused) + L" " + ProcessTag());
        return SERVERCALL_RETRYLATER;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

  private:
    std::wstring m_line;
    int m_refused = 0;
};

#pragma GCC diagnostic pop

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

int Register() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring command = L"\"" + std::wstring(exe) + L"\" /log \"" + g_log + L"\"";
    const bool ok =
        SetValue(HKEY_LOCAL_MACHINE, classes + kProgId + L"\\CLSID", nullptr, kClsidText) &&
        SetValue(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + kClsidText, nullptr, L"Fake Project") &&
        SetValue(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + kClsidText + L"\\ProgID", nullptr,
                 kProgId) &&
        SetValue(HKEY_LOCAL_MACHINE, classes + L"CLSID\\" + kClsidText + L"\\LocalServer32",
                 nullptr, command);
    return ok ? 0 : 1;
}

// Ends the process once its message loop is over. A call that reaches the server after that (a
// client's release of its reference, racing Quit) waits for this thread, which no longer takes
// calls; CoUninitialize in turn waits for that call, so the process would never end, and the
// client would wait forever for its answer. So the user's instance is cut off from its clients,
// and the process ends without CoUninitialize: calls still on their way fail at the clients.
[[noreturn]] void Leave(FakeApplication* shared) {
    if (shared) {
        CoDisconnectObject(static_cast<IDispatch*>(shared), 0);
        shared->Release();
    }
    Log(L"EXIT " + ProcessTag());
    ExitProcess(0);
}

int Serve() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Log(L"START " + ProcessTag());
    // A watchdog, so that a client that never quits or releases fails its test instead of
    // stalling it.
    const UINT_PTR watchdog = SetTimer(nullptr, 0, 60000, nullptr);
    const UINT_PTR userPoll = SetTimer(nullptr, 0, 100, nullptr);
    FakeApplication* shared =
        g_standalone
            ? new FakeApplication({L"UserPlan", L"Alpha in the user's unsaved plan", L"", false})
            : nullptr;
    BusyFilter busy;
    CoRegisterMessageFilter(&busy, nullptr);
    Factory factory(shared);
    g_shared = !g_standalone && Controlled(L"shared");
    DWORD classCookie = 0;
    CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER,
                          g_standalone || g_shared ? REGCLS_MULTIPLEUSE : REGCLS_SINGLEUSE,
                          &classCookie);
    DWORD rotCookie = 0;
    if (shared && !g_unlisted)
        RegisterActiveObject(shared, kClsid, ACTIVEOBJECT_STRONG, &rotCookie);
    Log(L"READY " + ProcessTag());  // clients are served from now on
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == userPoll) {
            if (UserQuits()) break;
            continue;
        }
        if (message.message == WM_TIMER && g_lingerTimer && message.wParam == g_lingerTimer)
            break;  // lingered long enough
        if (message.message == WM_TIMER && message.wParam == watchdog) {
            Log(L"WATCHDOG " + ProcessTag());
            break;
        }
        DispatchMessageW(&message);
    }
    if (rotCookie) RevokeActiveObject(rotCookie, nullptr);
    CoRevokeClassObject(classCookie);
    CoRegisterMessageFilter(nullptr, nullptr);
    Leave(shared);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool registering = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"/log" && i + 1 < argc) g_log = argv[++i];
        if (arg == L"/regserver") registering = true;
        if (arg == L"/standalone") g_standalone = true;
        if (arg == L"/unlisted") g_unlisted = true;
    }
    if (g_log.empty()) return 2;
    return registering ? Register() : Serve();
}
