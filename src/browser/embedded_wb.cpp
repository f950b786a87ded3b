// The browser container.
//
// The web-browser control is an OLE in-place object. Everything it needs from
// its host it finds through the one client site it is given: in-place
// activation (IOleInPlaceSite, whose GetWindowContext hands out the frame),
// the host's say over its user interface (IDocHostUIHandler2,
// IDocHostShowUI), commands it offers the host first (IOleCommandTarget),
// services (IServiceProvider) and ambient properties (IDispatch on the site;
// the browser reads the download-control flags there). Each of those
// interfaces is one small class below, all embedded in one ref-counted
// TWBSite that answers QueryInterface for every one of them, so the browser
// sees a single object. The events come back through a separate sink:
// DWebBrowserEvents2 is a dispatch interface too, so it cannot be the site's
// IDispatch.
//
// The browser may hold the site longer than the host lives (a page being torn
// down, a reference kept by a script engine). The host therefore detaches the
// site when it goes: from then on every method answers as it would with no
// handler assigned and touches no host state.
//
// Nothing may escape into the platform: every COM method and every window
// procedure here catches what a handler throws, reports it through
// Application->HandleException and answers as handled.
#include "browser/embedded_wb.h"

#include <commctrl.h>
#include <docobj.h>
#include <ocidl.h>
#include <olectl.h>

#include <cwchar>
#include <map>
#include <vector>

#include "browser/plain_browser.h"
#include "runtime/ansi.h"

// Interface and command-group ids of the browser's host interfaces that the
// toolchain's uuid library lacks.
extern "C" {
const IID IID_IDocHostUIHandler2 = {0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const IID IID_IDocHostShowUI = {0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const GUID CGID_DocHostCommandHandler = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
const GUID CGID_MSHTML = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
}

namespace {

// ---- library-wide state ----------------------------------------------------------

uint16_t ReadControlWord() {
  uint16_t word = 0;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
#endif
  return word;
}

void LoadControlWord(uint16_t word) {
#if defined(__i386__) || defined(__x86_64__)
  __asm__ __volatile__("fclex\n\tfldcw %0" : : "m"(word));
#endif
}

// Saved when the library is loaded; restored when it is unloaded.
const uint16_t savedControlWord = ReadControlWord();

// OLE is initialised once for the thread that first hosts a browser (the
// window thread) and uninitialised at unload when that same thread unloads.
class TOleInitialisation {
 public:
  ~TOleInitialisation() {
    LoadControlWord(savedControlWord);
    if (initialised_ && GetCurrentThreadId() == thread_) OleUninitialize();
  }
  void Ensure() {
    if (initialised_) return;
    const HRESULT hr = OleInitialize(nullptr);
    // S_FALSE: already initialised on this thread; it still has to be
    // balanced. RPC_E_CHANGED_MODE: a multithreaded apartment; nothing to
    // balance and the browser will refuse to start.
    if (SUCCEEDED(hr)) {
      initialised_ = true;
      thread_ = GetCurrentThreadId();
    }
  }

 private:
  bool initialised_ = false;
  DWORD thread_ = 0;
};
TOleInitialisation oleInitialisation;

bool pageSetupPending = false;

constexpr DWORD kFpuMaskAll = 0x133F;

// The platform's text for a result code, without the trailing line break
// and full stop.
std::string SysErrorMessage(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length != 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  if (text.empty()) return Format("OLE error %08X", static_cast<unsigned>(hr));
  return WideToAnsi(text);
}

void Check(HRESULT hr) {
  if (FAILED(hr)) throw EOleSysError(SysErrorMessage(hr), hr);
}

void ReportException(TObject* sender) {
  if (Application != nullptr) Application->HandleException(sender);
}

// Arguments of an event arrive last first; a by-reference argument may be
// passed for any of them.
VARIANT* Arg(DISPPARAMS* params, UINT indexFromFirst) {
  if (params == nullptr || indexFromFirst >= params->cArgs) return nullptr;
  VARIANT* v = &params->rgvarg[params->cArgs - 1 - indexFromFirst];
  while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
  return v;
}

long ArgLong(DISPPARAMS* params, UINT index) {
  VARIANT* v = Arg(params, index);
  if (v == nullptr) return 0;
  VARIANT copy;
  VariantInit(&copy);
  long value = 0;
  if (SUCCEEDED(VariantChangeType(&copy, v, 0, VT_I4))) value = copy.lVal;
  VariantClear(&copy);
  return value;
}

std::wstring ArgString(DISPPARAMS* params, UINT index) {
  VARIANT* v = Arg(params, index);
  if (v == nullptr) return {};
  VARIANT copy;
  VariantInit(&copy);
  std::wstring value;
  if (SUCCEEDED(VariantChangeType(&copy, v, 0, VT_BSTR)) && copy.bstrVal != nullptr) {
    value.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
  }
  VariantClear(&copy);
  return value;
}

// ---- window procedure replacement --------------------------------------------------
//
// A host replaces the window procedure of its owner window and of its
// control's window. One window may be watched by several hosts (two browsers
// on one form): the filter is installed once per window, the hosts are
// listed with it, and the window gets its original procedure back when the
// last one leaves, unless someone replaced the procedure after us; then our
// filter stays in place, forwarding every message, rather than cut that
// later procedure out.
struct THookedWindow {
  WNDPROC Original = nullptr;
  std::vector<TEmbeddedWB*> Hosts;
};
using THookMap = std::map<HWND, THookedWindow>;

THookMap& OwnerHooks() {
  static THookMap hooks;
  return hooks;
}
THookMap& ControlHooks() {
  static THookMap hooks;
  return hooks;
}

WNDPROC Hook(THookMap& hooks, HWND window, WNDPROC filter, TEmbeddedWB* host) {
  auto found = hooks.find(window);
  if (found == hooks.end()) {
    THookedWindow entry;
    entry.Original =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(filter)));
    found = hooks.emplace(window, entry).first;
  }
  found->second.Hosts.push_back(host);
  return found->second.Original;
}

void Unhook(THookMap& hooks, HWND window, WNDPROC filter, TEmbeddedWB* host) {
  auto found = hooks.find(window);
  if (found == hooks.end()) return;
  auto& hosts = found->second.Hosts;
  std::erase(hosts, host);
  if (!hosts.empty()) return;
  if (!IsWindow(window)) {
    hooks.erase(found);
    return;
  }
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == filter) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.Original));
    hooks.erase(found);
  }
}

}  // namespace

uint16_t CurrentFpuControlWord() { return ReadControlWord(); }
uint16_t SavedFpuControlWord() { return savedControlWord; }

const wchar_t* const TEmbeddedWB::kUserAgentKey =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

// ---- the site and its interfaces ------------------------------------------------------

template <class I>
class TSitePart : public I {
 public:
  explicit TSitePart(TWBSite& site) : site_(site) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

 protected:
  TEmbeddedWB* Host() const;
  TWBSite& site_;
};

class TClientSite : public TSitePart<IOleClientSite> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};

class TInPlaceSite : public TSitePart<IOleInPlaceSite> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return Host() != nullptr ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                             RECT* clip, OLEINPLACEFRAMEINFO* info) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(const RECT* position) override;
};

// The frame is the form the host sits on; the browser merges no menus or
// tool space into it.
class TInPlaceFrame : public TSitePart<IOleInPlaceFrame> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, WORD) override { return S_FALSE; }
};

class TDocHostUIHandler : public TSitePart<IDocHostUIHandler2> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget,
                                            IDispatch* object) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                                   IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) override;
  HRESULT STDMETHODCALLTYPE HideUI() override;
  HRESULT STDMETHODCALLTYPE UpdateUI() override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* group, DWORD commandId) override;
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* dropTarget, IDropTarget** result) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* result) override;
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* object, IDataObject** result) override;
  HRESULT STDMETHODCALLTYPE GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) override;
};

class TDocHostShowUI : public TSitePart<IDocHostShowUI> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR helpFile,
                                        DWORD helpContext, LRESULT* result) override;
  HRESULT STDMETHODCALLTYPE ShowHelp(HWND window, LPOLESTR helpFile, UINT command, DWORD data, POINT point,
                                     IDispatch* hit) override;
};

class TCommandTarget : public TSitePart<IOleCommandTarget> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;
};

class TServiceProvider : public TSitePart<IServiceProvider> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** object) override;
};

class TAmbientDispatch : public TSitePart<IDispatch> {
 public:
  using TSitePart::TSitePart;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) override;
};

// The DWebBrowserEvents2 sink: its own identity (it is a dispatch interface
// like the ambient one), its lifetime the site's.
class TEventSink : public TComObject<TEventSink, IDispatch> {
 public:
  static constexpr TInterfaceEntry<TEventSink> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TEventSink, IDispatch>},
      {&IID_IDispatch, InterfaceOf<TEventSink, IDispatch>},
      {&DIID_DWebBrowserEvents2, InterfaceOf<TEventSink, IDispatch>},
  };

  explicit TEventSink(TWBSite& site) : site_(site) {}
  IUnknown& LifetimeOwner();
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) override;

 private:
  TWBSite& site_;
};

// The site's identity is its client site; its parts share its count.
class TWBSite final : public TComObject<TWBSite, IUnknown> {
 public:
  static const TInterfaceEntry<TWBSite> kInterfaces[12];

  explicit TWBSite(TEmbeddedWB* host)
      : host_(host),
        clientSite_(*this),
        inPlaceSite_(*this),
        frame_(*this),
        uiHandler_(*this),
        showUI_(*this),
        commandTarget_(*this),
        serviceProvider_(*this),
        ambient_(*this),
        sink_(*this) {}

  TEmbeddedWB* Host() const { return host_; }
  void Detach() { host_ = nullptr; }
  IOleClientSite* ClientSite() { return &clientSite_; }
  IDispatch* Sink() { return &sink_; }
  IOleInPlaceFrame* Frame() { return &frame_; }

 private:
  friend class TComObject<TWBSite, IUnknown>;
  ~TWBSite() = default;

  TEmbeddedWB* host_;
  TClientSite clientSite_;
  TInPlaceSite inPlaceSite_;
  TInPlaceFrame frame_;
  TDocHostUIHandler uiHandler_;
  TDocHostShowUI showUI_;
  TCommandTarget commandTarget_;
  TServiceProvider serviceProvider_;
  TAmbientDispatch ambient_;
  TEventSink sink_;
};

const TInterfaceEntry<TWBSite> TWBSite::kInterfaces[12] = {
    {&IID_IUnknown, [](TWBSite& s) -> IUnknown* { return &s.clientSite_; }},
    {&IID_IOleClientSite, [](TWBSite& s) -> IUnknown* { return &s.clientSite_; }},
    {&IID_IOleWindow, [](TWBSite& s) -> IUnknown* { return &s.inPlaceSite_; }},
    {&IID_IOleInPlaceSite, [](TWBSite& s) -> IUnknown* { return &s.inPlaceSite_; }},
    {&IID_IOleInPlaceFrame, [](TWBSite& s) -> IUnknown* { return &s.frame_; }},
    {&IID_IOleInPlaceUIWindow, [](TWBSite& s) -> IUnknown* { return &s.frame_; }},
    {&IID_IDocHostUIHandler, [](TWBSite& s) -> IUnknown* { return &s.uiHandler_; }},
    {&IID_IDocHostUIHandler2, [](TWBSite& s) -> IUnknown* { return &s.uiHandler_; }},
    {&IID_IDocHostShowUI, [](TWBSite& s) -> IUnknown* { return &s.showUI_; }},
    {&IID_IOleCommandTarget, [](TWBSite& s) -> IUnknown* { return &s.commandTarget_; }},
    {&IID_IServiceProvider, [](TWBSite& s) -> IUnknown* { return &s.serviceProvider_; }},
    {&IID_IDispatch, [](TWBSite& s) -> IUnknown* { return &s.ambient_; }},
};

template <class I>
HRESULT STDMETHODCALLTYPE TSitePart<I>::QueryInterface(REFIID iid, void** out) {
  return site_.QueryInterface(iid, out);
}
template <class I>
ULONG STDMETHODCALLTYPE TSitePart<I>::AddRef() {
  return site_.AddRef();
}
template <class I>
ULONG STDMETHODCALLTYPE TSitePart<I>::Release() {
  return site_.Release();
}
template <class I>
TEmbeddedWB* TSitePart<I>::Host() const {
  return site_.Host();
}

// Runs an assigned handler for a container method; a failure it raises is
// reported and answered with the method's default result.
template <class F, class... Args>
HRESULT CallHandler(TEmbeddedWB* host, const F& handler, HRESULT fallback, Args&&... args) {
  try {
    return handler(std::forward<Args>(args)...);
  } catch (...) {
    ReportException(host);
    return fallback;
  }
}

// -- in-place site and frame

HRESULT TInPlaceSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  TEmbeddedWB* host = Host();
  if (host == nullptr || !host->HandleAllocated()) return E_FAIL;
  try {
    *window = host->Handle();
  } catch (...) {
    ReportException(host);
    return E_FAIL;
  }
  return S_OK;
}

HRESULT TInPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                       RECT* clip, OLEINPLACEFRAMEINFO* info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr) {
    return E_POINTER;
  }
  *frame = TComPtr<IOleInPlaceFrame>(site_.Frame()).Detach();
  *document = nullptr;
  RECT client{};
  HWND top = nullptr;
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->HandleAllocated()) {
    HWND window = host->Handle();
    GetClientRect(window, &client);
    top = GetAncestor(window, GA_ROOT);
  }
  *position = client;
  *clip = client;
  info->fMDIApp = FALSE;
  info->hwndFrame = top;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT TInPlaceSite::OnPosRectChange(const RECT* position) {
  TEmbeddedWB* host = Host();
  if (host == nullptr || position == nullptr || host->DefaultInterface() == nullptr) return S_OK;
  TComPtr<IOleInPlaceObject> object;
  if (SUCCEEDED(host->DefaultInterface()->QueryInterface(IID_IOleInPlaceObject, object.PutVoid()))) {
    object->SetObjectRects(position, position);
  }
  return S_OK;
}

HRESULT TInPlaceFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  TEmbeddedWB* host = Host();
  if (host == nullptr || !host->HandleAllocated()) return E_FAIL;
  *window = GetAncestor(host->Handle(), GA_ROOT);
  return S_OK;
}

// -- document host UI

HRESULT TDocHostUIHandler::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnShowContextMenu) {
    return CallHandler(host, host->OnShowContextMenu, S_FALSE, id, point, commandTarget, object);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetHostInfo) return CallHandler(host, host->OnGetHostInfo, E_FAIL, info);
  info->cbSize = sizeof(DOCHOSTUIINFO);
  info->dwFlags = host != nullptr ? host->HostUIValue() : kDefaultUserInterfaceOptions;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT TDocHostUIHandler::ShowUI(DWORD id, IOleInPlaceActiveObject* activeObject, IOleCommandTarget* commandTarget,
                                  IOleInPlaceFrame* frame, IOleInPlaceUIWindow* document) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnShowUI) {
    return CallHandler(host, host->OnShowUI, S_FALSE, id, activeObject, commandTarget, frame, document);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::HideUI() {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnHideUI) return CallHandler(host, host->OnHideUI, S_FALSE);
  return S_FALSE;
}

HRESULT TDocHostUIHandler::UpdateUI() {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnUpdateUI) return CallHandler(host, host->OnUpdateUI, S_FALSE);
  return S_FALSE;
}

HRESULT TDocHostUIHandler::EnableModeless(BOOL enable) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnEnableModeless) return CallHandler(host, host->OnEnableModeless, S_FALSE, enable);
  return S_FALSE;
}

HRESULT TDocHostUIHandler::OnDocWindowActivate(BOOL activate) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnOnDocWindowActivate) {
    return CallHandler(host, host->OnOnDocWindowActivate, S_FALSE, activate);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::OnFrameWindowActivate(BOOL activate) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnOnFrameWindowActivate) {
    return CallHandler(host, host->OnOnFrameWindowActivate, S_FALSE, activate);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnResizeBorder) {
    return CallHandler(host, host->OnResizeBorder, S_FALSE, border, window, frameWindow);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::TranslateAccelerator(LPMSG message, const GUID* group, DWORD commandId) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnTranslateAccelerator) {
    return CallHandler(host, host->OnTranslateAccelerator, S_FALSE, message, group, commandId);
  }
  return S_FALSE;
}

HRESULT TDocHostUIHandler::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetOptionKeyPath) {
    return CallHandler(host, host->OnGetOptionKeyPath, S_FALSE, key, reserved);
  }
  if (key != nullptr) *key = nullptr;
  return S_FALSE;
}

HRESULT TDocHostUIHandler::GetOverrideKeyPath(LPOLESTR* key, DWORD reserved) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetOverrideKeyPath) {
    return CallHandler(host, host->OnGetOverrideKeyPath, S_OK, key, reserved);
  }
  if (key != nullptr) *key = nullptr;
  return S_OK;
}

HRESULT TDocHostUIHandler::GetDropTarget(IDropTarget* dropTarget, IDropTarget** result) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetDropTarget) {
    return CallHandler(host, host->OnGetDropTarget, S_OK, dropTarget, result);
  }
  if (result != nullptr) *result = nullptr;
  return S_OK;
}

HRESULT TDocHostUIHandler::GetExternal(IDispatch** external) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetExternal) return CallHandler(host, host->OnGetExternal, S_FALSE, external);
  if (external != nullptr) *external = nullptr;
  return S_FALSE;
}

HRESULT TDocHostUIHandler::TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* result) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnTranslateUrl) {
    return CallHandler(host, host->OnTranslateUrl, S_FALSE, translate, url, result);
  }
  if (result != nullptr) *result = nullptr;
  return S_FALSE;
}

HRESULT TDocHostUIHandler::FilterDataObject(IDataObject* object, IDataObject** result) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnFilterDataObject) {
    return CallHandler(host, host->OnFilterDataObject, S_FALSE, object, result);
  }
  if (result != nullptr) *result = nullptr;
  return S_FALSE;
}

HRESULT TDocHostShowUI::ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR helpFile,
                                    DWORD helpContext, LRESULT* result) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnShowMessage) {
    return CallHandler(host, host->OnShowMessage, S_FALSE, window, text, caption, type, helpFile, helpContext,
                       result);
  }
  return S_FALSE;
}

HRESULT TDocHostShowUI::ShowHelp(HWND window, LPOLESTR helpFile, UINT command, DWORD data, POINT point,
                                 IDispatch* hit) {
  TEmbeddedWB* host = Host();
  if (host == nullptr) return S_FALSE;
  if (host->OnShowHelp) {
    return CallHandler(host, host->OnShowHelp, S_FALSE, window, helpFile, command, data, point, hit);
  }
  if (host->HelpFile().empty()) return S_FALSE;
  // The host's own help file replaces the browser's.
  WinHelpW(window, host->HelpFile().c_str(), command, data);
  return S_OK;
}

// -- commands, services, ambient properties

HRESULT TCommandTarget::Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) {
  if (group == nullptr) return OLECMDERR_E_UNKNOWNGROUP;
  TEmbeddedWB* host = Host();
  if (host != nullptr && *group == CGID_DocHostCommandHandler) {
    const TCommandEvent* handler = nullptr;
    switch (id) {
      case OLECMDID_SHOWSCRIPTERROR:
        handler = &host->OnScriptError;
        break;
      case OLECMDID_REFRESH:
        handler = &host->OnRefresh;
        break;
      case OLECMDID_ONUNLOAD:
        handler = &host->OnUnload;
        break;
      case OLECMDID_SHOWFIND:
      case OLECMDID_SHOWPAGESETUP:
      case OLECMDID_SHOWPRINT:
      case OLECMDID_PROPERTIES:
        handler = &host->OnShowDialog;
        break;
      default:
        break;
    }
    if (handler != nullptr && *handler) return CallHandler(host, *handler, OLECMDERR_E_NOTSUPPORTED, option, in, out);
  }
  // The browser then handles script errors, refresh and unload itself.
  return OLECMDERR_E_NOTSUPPORTED;
}

HRESULT TServiceProvider::QueryService(REFGUID service, REFIID iid, void** object) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnQueryService) {
    return CallHandler(host, host->OnQueryService, E_NOINTERFACE, service, iid, object);
  }
  if (object != nullptr) *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TAmbientDispatch::GetTypeInfoCount(UINT* count) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetTypeInfoCount) return CallHandler(host, host->OnGetTypeInfoCount, E_NOTIMPL, count);
  if (count != nullptr) *count = 0;
  return E_NOTIMPL;
}

HRESULT TAmbientDispatch::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetTypeInfo) return CallHandler(host, host->OnGetTypeInfo, E_NOTIMPL, index, lcid, info);
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT TAmbientDispatch::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnGetIDsOfNames) {
    return CallHandler(host, host->OnGetIDsOfNames, E_NOTIMPL, iid, names, count, lcid, ids);
  }
  return E_NOTIMPL;
}

HRESULT TAmbientDispatch::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argumentError) {
  TEmbeddedWB* host = Host();
  if (host != nullptr && host->OnInvoke) {
    return CallHandler(host, host->OnInvoke, DISP_E_MEMBERNOTFOUND, id, iid, lcid, flags, params, result, exception,
                       argumentError);
  }
  if ((flags & DISPATCH_PROPERTYGET) == 0 || result == nullptr) return DISP_E_MEMBERNOTFOUND;
  VariantInit(result);
  // The download-control flags, then the ambient properties every control
  // container answers.
  switch (id) {
    case kDispidAmbientDlControl:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(host != nullptr ? host->DownloadControlValue() : kDefaultDownloadOptions);
      return S_OK;
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_AUTOCLIP:
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_TRUE;
      return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_FALSE;
      return S_OK;
    case DISPID_AMBIENT_LOCALEID:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(GetUserDefaultLCID());
      return S_OK;
    case DISPID_AMBIENT_BACKCOLOR:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(GetSysColor(COLOR_WINDOW));
      return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT));
      return S_OK;
    case DISPID_AMBIENT_DISPLAYNAME: {
      const std::wstring name = host != nullptr ? AnsiToWide(host->Name()) : std::wstring();
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

// -- events

IUnknown& TEventSink::LifetimeOwner() { return site_; }

HRESULT TEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  TEmbeddedWB* host = site_.Host();
  if (host == nullptr) return S_OK;
  try {
    switch (id) {
      case DISPID_COMMANDSTATECHANGE:  // CommandStateChange(Command, Enable)
        if (host->OnCommandStateChange) host->OnCommandStateChange(host, ArgLong(params, 0), ArgLong(params, 1) != 0);
        break;
      case DISPID_NEWWINDOW2: {  // NewWindow2(ppDisp, Cancel), both by reference
        VARIANT* dispArg = Arg(params, 0);
        VARIANT* cancelArg = Arg(params, 1);
        if (!host->OnNewWindow2 || dispArg == nullptr || cancelArg == nullptr) break;
        if (dispArg->vt != (VT_BYREF | VT_DISPATCH) || cancelArg->vt != (VT_BYREF | VT_BOOL)) break;
        bool cancel = *cancelArg->pboolVal != VARIANT_FALSE;
        host->OnNewWindow2(host, dispArg->ppdispVal, cancel);
        *cancelArg->pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      }
      case DISPID_NAVIGATECOMPLETE2:  // NavigateComplete2(pDisp, URL)
        if (host->OnNavigateComplete2) host->OnNavigateComplete2(host, ArgString(params, 1));
        break;
      case DISPID_DOCUMENTCOMPLETE:  // DocumentComplete(pDisp, URL)
        if (host->OnDocumentComplete) host->OnDocumentComplete(host);
        break;
      case DISPID_TITLECHANGE:  // TitleChange(Text)
        if (host->OnTitleChange) host->OnTitleChange(host, ArgString(params, 0));
        break;
      default:
        break;
    }
  } catch (...) {
    ReportException(host);
  }
  return S_OK;
}

// ---- TEmbeddedWB -------------------------------------------------------------------

TEmbeddedWB::TEmbeddedWB(TComponent* owner) : TWinControl(owner) {
  oleInitialisation.Ensure();
  SetTabStop(true);
  SetfpExceptions(true);
  site_ = TComPtr<TWBSite>::Adopt(new TWBSite(this));
  try {
    CreateControl();
  } catch (...) {
    DestroyControl();
    throw;
  }
  wchar_t measure[8] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, 8);
  inches_ = std::wcscmp(measure, L"1") == 0;
  SetDownloadOptions(kDefaultDownloadOptions);
  SetUserInterfaceOptions(kDefaultUserInterfaceOptions);
  enableDDE_ = false;
}

TEmbeddedWB::~TEmbeddedWB() {
  DestroyComponents();
  UnhookOwner();
  UnregisterUserAgent();
  DestroyControl();
}

void TEmbeddedWB::CreateControl() {
  if (PlatformBrowserRenders()) {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                oleObject_.PutVoid()))) {
      oleObject_.Reset();
    }
  }
  if (!oleObject_) Check(CreatePlainBrowser(&plain_, oleObject_.Put()));
  Check(oleObject_->QueryInterface(IID_IWebBrowser2, browser_.PutVoid()));
  Check(oleObject_->SetClientSite(site_->ClientSite()));
  if (const auto container = oleObject_.Query<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
    if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, eventPoint_.Put()))) {
      if (FAILED(eventPoint_->Advise(site_->Sink(), &eventCookie_))) eventPoint_.Reset();
    } else {
      eventPoint_.Reset();
    }
  }
}

void TEmbeddedWB::DestroyControl() {
  UnhookControl();
  if (eventPoint_) {
    eventPoint_->Unadvise(eventCookie_);
    eventPoint_.Reset();
  }
  if (oleObject_) {
    if (const auto inPlace = oleObject_.Query<IOleInPlaceObject>(IID_IOleInPlaceObject)) inPlace->InPlaceDeactivate();
    oleObject_->Close(OLECLOSE_NOSAVE);
    oleObject_->SetClientSite(nullptr);
  }
  controlWindow_ = nullptr;
  activated_ = false;
  browser_.Reset();
  oleObject_.Reset();
  plain_ = nullptr;
  if (site_) {
    site_->Detach();
    site_.Reset();
  }
}

IOleClientSite* TEmbeddedWB::ClientSite() const {
  if (!site_) return nullptr;
  return TComPtr<IOleClientSite>(site_->ClientSite()).Detach();
}

void TEmbeddedWB::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style |= WS_CLIPCHILDREN;
  params.ClassName = L"EbookBrowserHost";
}

void TEmbeddedWB::HandleCreated() {
  TWinControl::HandleCreated();
  ActivateControl();
}

// The control lives in the host's window: it is activated in place whenever
// that window exists and goes with it.
void TEmbeddedWB::ActivateControl() {
  if (activated_ || !oleObject_ || !HandleAllocated()) return;
  HWND window = Handle();
  RECT client{};
  GetClientRect(window, &client);
  Check(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_->ClientSite(), 0, window, &client));
  activated_ = true;
  if (const auto inPlace = oleObject_.Query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
    HWND control = nullptr;
    if (SUCCEEDED(inPlace->GetWindow(&control))) controlWindow_ = control;
    inPlace->SetObjectRects(&client, &client);
  }
  if (!IsLoading() && ownerWindow_ != nullptr) HookControl();
}

void TEmbeddedWB::ResizeControl() {
  if (!activated_ || !oleObject_ || !HandleAllocated()) return;
  RECT client{};
  GetClientRect(Handle(), &client);
  if (const auto inPlace = oleObject_.Query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
    inPlace->SetObjectRects(&client, &client);
  }
}

void TEmbeddedWB::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_SIZE:
      TWinControl::WndProc(message);
      ResizeControl();
      return;
    case WM_SETFOCUS:
      // The focus belongs to the browser's own window.
      if (controlWindow_ != nullptr && IsWindow(controlWindow_)) {
        ::SetFocus(controlWindow_);
        return;
      }
      break;
    case WM_DESTROY:
      // The control's window dies with ours; deactivate it first so that it
      // is activated again in a new window.
      UnhookControl();
      if (activated_ && oleObject_) {
        if (const auto inPlace = oleObject_.Query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
          inPlace->InPlaceDeactivate();
        }
      }
      activated_ = false;
      controlWindow_ = nullptr;
      break;
    default:
      break;
  }
  TWinControl::WndProc(message);
}

void TEmbeddedWB::BoundsChanged(bool sizeChanged) {
  TWinControl::BoundsChanged(sizeChanged);
  if (sizeChanged) ResizeControl();
}

// ---- navigation and properties

void TEmbeddedWB::Navigate(const std::wstring& url) {
  if (browser_ == nullptr) throw EOleSysError(SysErrorMessage(E_NOINTERFACE), E_NOINTERFACE);
  VARIANT empty;
  VariantInit(&empty);
  BSTR text = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  const HRESULT hr = browser_->Navigate(text, &empty, &empty, &empty, &empty);
  SysFreeString(text);
  Check(hr);
}

void TEmbeddedWB::GoBack() {
  if (browser_ == nullptr) return;
  Check(browser_->GoBack());
}

void TEmbeddedWB::GoForward() {
  if (browser_ == nullptr) return;
  Check(browser_->GoForward());
}

void TEmbeddedWB::Stop() {
  if (browser_ == nullptr) return;
  Check(browser_->Stop());
}

namespace {

HRESULT GetProperty(IDispatch* object, DISPID id, VARIANT& result) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
}

}  // namespace

std::wstring TEmbeddedWB::PropertyString(DISPID id) {
  if (browser_ == nullptr) return {};
  VARIANT result;
  VariantInit(&result);
  Check(GetProperty(browser_.Get(), id, result));
  std::wstring text;
  VARIANT converted;
  VariantInit(&converted);
  if (SUCCEEDED(VariantChangeType(&converted, &result, 0, VT_BSTR)) && converted.bstrVal != nullptr) {
    text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
  }
  VariantClear(&converted);
  VariantClear(&result);
  return text;
}

TComPtr<IDispatch> TEmbeddedWB::PropertyDispatch(DISPID id, bool mayBeNull) {
  if (!browser_) return nullptr;
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = GetProperty(browser_.Get(), id, result);
  if (FAILED(hr)) {
    if (mayBeNull) return nullptr;
    Check(hr);
  }
  TComPtr<IDispatch> object;
  if (result.vt == VT_DISPATCH && result.pdispVal != nullptr) {
    object = TComPtr<IDispatch>(result.pdispVal);
  } else if (result.vt == VT_UNKNOWN && result.punkVal != nullptr) {
    if (FAILED(result.punkVal->QueryInterface(IID_IDispatch, object.PutVoid()))) object.Reset();
  }
  VariantClear(&result);
  return object;
}

std::wstring TEmbeddedWB::LocationName() { return PropertyString(kDispidLocationName); }
std::wstring TEmbeddedWB::LocationURL() { return PropertyString(kDispidLocationURL); }
IDispatch* TEmbeddedWB::Application() { return PropertyDispatch(kDispidApplication, false).Detach(); }
IDispatch* TEmbeddedWB::Document() { return PropertyDispatch(kDispidDocument, true).Detach(); }

// ---- options

void TEmbeddedWB::RecomputeValues() {
  downloadControlValue_ = downloadOptions_;
  hostUIValue_ = userInterfaceOptions_;
}

// The browser reads the ambient download-control flags again when told
// they changed.
void TEmbeddedWB::NotifyDownloadControl() {
  const TComPtr<IDispatch> application = PropertyDispatch(kDispidApplication, true);
  if (const auto control = application.Query<IOleControl>(IID_IOleControl)) {
    control->OnAmbientPropertyChange(kDispidAmbientDlControl);
  }
}

void TEmbeddedWB::SetDownloadOptions(TDownloadControlOptions options) {
  downloadOptions_ = options;
  RecomputeValues();
  NotifyDownloadControl();
}

void TEmbeddedWB::SetUserInterfaceOptions(TUserInterfaceOptions options) {
  userInterfaceOptions_ = options;
  RecomputeValues();
  NotifyDownloadControl();
}

void TEmbeddedWB::SetfpExceptions(bool value) {
  fpExceptions_ = value;
  LoadControlWord(value ? savedControlWord : kFpuMaskAll);
}

// ---- end of loading: filters and the user-agent value

void TEmbeddedWB::Loaded() {
  TWinControl::Loaded();
  RecomputeValues();
  // A parented host makes its window (and its owner's) now, so that both
  // filters have a window to sit in.
  if (Parent() != nullptr) HandleNeeded();
  HookOwner();
  HookControl();
  RegisterUserAgent();
}

void TEmbeddedWB::HookOwner() {
  auto* owner = dynamic_cast<TWinControl*>(Owner());
  if (owner == nullptr || !owner->HandleAllocated() || ownerWindow_ != nullptr) return;
  ownerWindow_ = owner->Handle();
  ownerPrevious_ = Hook(OwnerHooks(), ownerWindow_, &TEmbeddedWB::OwnerFilter, this);
}

void TEmbeddedWB::UnhookOwner() {
  if (ownerWindow_ == nullptr) return;
  Unhook(OwnerHooks(), ownerWindow_, &TEmbeddedWB::OwnerFilter, this);
  ownerWindow_ = nullptr;
  ownerPrevious_ = nullptr;
}

void TEmbeddedWB::HookControl() {
  if (controlWindow_ == nullptr || controlPrevious_ != nullptr) return;
  controlPrevious_ = Hook(ControlHooks(), controlWindow_, &TEmbeddedWB::ControlFilter, this);
  SetKeyFilter(controlWindow_, [this](MSG& message) { return OfferKey(message); });
}

void TEmbeddedWB::UnhookControl() {
  if (controlWindow_ == nullptr || controlPrevious_ == nullptr) return;
  SetKeyFilter(controlWindow_, {});
  Unhook(ControlHooks(), controlWindow_, &TEmbeddedWB::ControlFilter, this);
  controlPrevious_ = nullptr;
}

void TEmbeddedWB::RegisterUserAgent() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserAgentKey + 1, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const wchar_t empty[1] = {L'\0'};
  RegSetValueExW(key, userAgent_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(empty), sizeof empty);
  RegCloseKey(key);
  userAgentRegistered_ = true;
}

void TEmbeddedWB::UnregisterUserAgent() {
  if (!userAgentRegistered_) return;
  userAgentRegistered_ = false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserAgentKey + 1, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  // The empty name is the key's default value; it is passed as no name at
  // all, which every registry implementation reads that way.
  RegDeleteValueW(key, userAgent_.empty() ? nullptr : userAgent_.c_str());
  RegCloseKey(key);
}

// ---- keys and the control's window

// Backspace and Enter must reach form fields, and the arrow keys with the
// extended bit move the caret there; everything else may be a browser
// accelerator (Ctrl+C copies through it).
bool TEmbeddedWB::OfferKey(MSG& message) {
  if (browser_ == nullptr || controlWindow_ == nullptr) return false;
  const WPARAM key = message.wParam;
  const bool extended = (message.lParam & (1L << 24)) != 0;
  if (key == VK_BACK || key == VK_RETURN || ((key == VK_LEFT || key == VK_RIGHT) && extended)) return false;
  MSG offered{};
  offered.hwnd = controlWindow_;
  offered.message = message.message;
  offered.wParam = message.wParam;
  offered.lParam = message.lParam;
  offered.time = static_cast<DWORD>(GetMessageTime());
  offered.pt = message.pt;
  const TComPtr<IDispatch> application = PropertyDispatch(kDispidApplication, true);
  const auto active = application.Query<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  return active && active->TranslateAccelerator(&offered) == S_OK;
}

LRESULT CALLBACK TEmbeddedWB::ControlFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto found = ControlHooks().find(window);
  if (found == ControlHooks().end()) return DefWindowProcW(window, msg, wParam, lParam);
  const WNDPROC previous = found->second.Original;
  TEmbeddedWB* host = found->second.Hosts.empty() ? nullptr : found->second.Hosts.front();
  if (msg == WM_NCDESTROY) {
    // The control's window is gone (closed by its own default handling):
    // nothing is left to restore.
    std::vector<TEmbeddedWB*> hosts = found->second.Hosts;
    ControlHooks().erase(found);
    SetKeyFilter(window, {});
    for (TEmbeddedWB* h : hosts) {
      h->controlPrevious_ = nullptr;
      h->controlWindow_ = nullptr;
    }
    return CallWindowProcW(previous, window, msg, wParam, lParam);
  }
  if (msg == WM_CLOSE && host != nullptr) {
    bool canClose = true;
    try {
      if (host->OnCloseQuery) host->OnCloseQuery(host, canClose);
    } catch (...) {
      ReportException(host);
      canClose = false;
    }
    if (!canClose) return 0;
  }
  return CallWindowProcW(previous, window, msg, wParam, lParam);
}

// ---- the owner window: the browser's dialogs

void TEmbeddedWB::RebrandDialog(HWND dialog) {
  if (::Application != nullptr && ::Application->Handle() != nullptr) {
    HICON icon = reinterpret_cast<HICON>(SendMessageW(::Application->Handle(), WM_GETICON, ICON_SMALL, 0));
    if (icon == nullptr) icon = reinterpret_cast<HICON>(GetClassLongPtrW(::Application->Handle(), GCLP_HICONSM));
    if (icon != nullptr) SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  const int length = GetWindowTextLengthW(dialog);
  std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
  caption.resize(static_cast<size_t>(GetWindowTextW(dialog, caption.data(), length + 1)));
  const std::wstring maker = L"Microsoft ";
  if (auto at = caption.find(maker); at != std::wstring::npos) caption.erase(at, maker.size());
  const std::wstring product = L"Internet Explorer";
  if (auto at = caption.find(product); at != std::wstring::npos) {
    caption.replace(at, product.size(), ::Application != nullptr ? ::Application->Title() : std::wstring());
  }
  SetWindowTextW(dialog, caption.c_str());
}

std::wstring TEmbeddedWB::MarginText(double millimetres, bool inches, wchar_t decimalSeparator) {
  const double value = inches ? millimetres / 25.4 : millimetres;
  // The shortest of the general forms that reads back as the same value at
  // 15 significant digits.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  std::wstring result;
  for (char c : text) result.push_back(c == '.' ? decimalSeparator : static_cast<wchar_t>(c));
  return result;
}

void TEmbeddedWB::FillPageSetupDialog(HWND dialog) {
  const TPrintOptions& options = printOptions_;
  const int radio = options.Orientation == poPortrait ? 1056 : 1057;
  if (HWND button = GetDlgItem(dialog, radio); button != nullptr) {
    SendMessageW(button, BM_CLICK, 0, 0);
  }
  SetDlgItemTextW(dialog, 8147, AnsiToWide(options.Header).c_str());
  SetDlgItemTextW(dialog, 8149, AnsiToWide(options.Footer).c_str());
  wchar_t separator[4] = L".";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
  const wchar_t decimal = separator[0] != L'\0' ? separator[0] : L'.';
  SetDlgItemTextW(dialog, 1155, MarginText(options.Margins.Left, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, 1156, MarginText(options.Margins.Top, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, 1157, MarginText(options.Margins.Right, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, 1158, MarginText(options.Margins.Bottom, inches_, decimal).c_str());
  // Confirm once the dialog has finished opening. The click goes to the
  // dialog's OK button; a dialog without one gets it on its first button,
  // as the browser's own page-setup dialog expects.
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (ok == nullptr) ok = FindWindowExW(dialog, nullptr, L"Button", nullptr);
    if (ok != nullptr) PostMessageW(ok, BM_CLICK, 0, 0);
  } else {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  }
}

LRESULT CALLBACK TEmbeddedWB::OwnerFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto found = OwnerHooks().find(window);
  if (found == OwnerHooks().end()) return DefWindowProcW(window, msg, wParam, lParam);
  const WNDPROC previous = found->second.Original;
  if (msg == WM_NCDESTROY) {
    std::vector<TEmbeddedWB*> hosts = found->second.Hosts;
    OwnerHooks().erase(found);
    for (TEmbeddedWB* h : hosts) {
      h->ownerWindow_ = nullptr;
      h->ownerPrevious_ = nullptr;
    }
    return CallWindowProcW(previous, window, msg, wParam, lParam);
  }
  if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE && lParam != 0 && !found->second.Hosts.empty()) {
    TEmbeddedWB* host = found->second.Hosts.front();
    try {
      HWND activated = reinterpret_cast<HWND>(lParam);
      wchar_t className[80] = {};
      GetClassNameW(activated, className, 80);
      if (std::wcscmp(className, L"#32770") == 0) {
        if (host->replaceCaption_) host->RebrandDialog(activated);
        if (pageSetupPending) {
          pageSetupPending = false;
          host->FillPageSetupDialog(activated);
        }
      }
    } catch (...) {
      ReportException(host);
    }
  }
  return CallWindowProcW(previous, window, msg, wParam, lParam);
}

// ---- page setup and printing

bool TEmbeddedWB::PageSetupPending() { return pageSetupPending; }
void TEmbeddedWB::SetPageSetupPending(bool value) { pageSetupPending = value; }

void TEmbeddedWB::ExecDocumentCommand(int command, int option) {
  try {
    const TComPtr<IDispatch> document = PropertyDispatch(kDispidDocument, true);
    if (const auto target = document.Query<IOleCommandTarget>(IID_IOleCommandTarget)) {
      VARIANT in;
      VARIANT out;
      VariantInit(&in);
      VariantInit(&out);
      target->Exec(nullptr, static_cast<DWORD>(command), static_cast<DWORD>(option), &in, &out);
      VariantClear(&out);
    }
  } catch (...) {
    // A failing print or page setup is the browser's to report.
  }
}

void TEmbeddedWB::ApplyPageSetup(bool fill) {
  if (fill) pageSetupPending = true;
  ExecDocumentCommand(OLECMDID_PAGESETUP, OLECMDEXECOPT_DODEFAULT);
}

void TEmbeddedWB::PrintDocument() { ExecDocumentCommand(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER); }
