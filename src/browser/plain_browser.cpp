#include "browser/plain_browser.h"

#include <commdlg.h>
#include <windowsx.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <docobj.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "browser/com_ptr.h"
#include "browser/plain_html.h"
#include "browser/web_browser_ids.h"
#include "forms/graphics.h"
#include "runtime/ansi.h"
#include "runtime/scope_exit.h"
#include "runtime/sockets.h"

namespace {

constexpr UINT kFetchDone = WM_APP + 0x31;
constexpr int kConnectTimeoutMs = 10000;
constexpr int kReceiveTimeoutMs = 30000;
constexpr int kMargin = 8;
constexpr int kMaxRedirects = 5;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

BSTR ToBstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// One fetch over HTTP, shared by the window thread and its worker. The
// worker owns the socket; the window thread may only shut it down, under the
// lock, while the worker has it published.
struct TFetch {
  unsigned Id = 0;
  std::wstring Url;
  int HistoryIndex = -1;  // -1: a new history entry; else the entry it shows
  int Redirects = 0;
  bool Utf8 = true;

  std::mutex Lock;
  TSocket* Socket = nullptr;
  bool Cancelled = false;

  bool Failed = false;
  std::string Error;
  THttpAnswer Answer;

  void Cancel() {
    std::lock_guard<std::mutex> guard(Lock);
    Cancelled = true;
    if (Socket != nullptr) Socket->Shutdown();
  }
};

void RunFetch(std::shared_ptr<TFetch> fetch, HWND window) {
  try {
    THttpUrl url;
    if (!ParseHttpUrl(fetch->Url, fetch->Utf8, url)) throw Exception("Not an HTTP address");
    TSocket socket = TSocket::Connect(url.Host, url.Port, kConnectTimeoutMs);
    {
      std::lock_guard<std::mutex> guard(fetch->Lock);
      if (fetch->Cancelled) throw Exception("Cancelled");
      fetch->Socket = &socket;
    }
    std::string answer;
    try {
      const std::string request = "GET " + url.Path + " HTTP/1.0\r\nHost: " + url.Host + ":" +
                                  std::to_string(url.Port) +
                                  "\r\nAccept: */*\r\nUser-Agent: PlainBrowser/1.0\r\nConnection: close\r\n\r\n";
      socket.SendAll(request.data(), request.size(), kReceiveTimeoutMs);
      char buffer[8192];
      for (;;) {
        size_t got = 0;
        try {
          got = socket.Receive(buffer, sizeof buffer, kReceiveTimeoutMs);
        } catch (const ESocketError& e) {
          // A reset after the answer still leaves the answer.
          if (e.Kind != TSocketErrorKind::Reset || answer.empty()) throw;
        }
        if (got == 0) break;
        answer.append(buffer, got);
      }
    } catch (...) {
      std::lock_guard<std::mutex> guard(fetch->Lock);
      fetch->Socket = nullptr;
      throw;
    }
    {
      std::lock_guard<std::mutex> guard(fetch->Lock);
      fetch->Socket = nullptr;
    }
    socket.Close();
    if (!ParseHttpAnswer(answer, fetch->Answer)) throw Exception("The server sent no HTTP answer");
  } catch (const Exception& e) {
    fetch->Failed = true;
    fetch->Error = e.Message;
  } catch (const std::exception& e) {
    fetch->Failed = true;
    fetch->Error = e.what();
  } catch (...) {
    fetch->Failed = true;
    fetch->Error = "Unknown error";
  }
  PostMessageW(window, kFetchDone, 0, static_cast<LPARAM>(fetch->Id));
}

// A piece of laid-out text in document coordinates.
struct TFragment {
  RECT Rect{};
  std::wstring Text;
  int Font = 0;
  int Link = -1;
  bool Highlight = false;
  int Line = 0;
};

class TPlainBrowserObject;

// The document: the page's command target for page setup and printing.
class TPlainDocument final : public TComObject<TPlainDocument, IDispatch, IOleCommandTarget> {
 public:
  static constexpr TInterfaceEntry<TPlainDocument> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TPlainDocument, IDispatch>},
      {&IID_IDispatch, InterfaceOf<TPlainDocument, IDispatch>},
      {&IID_IOleCommandTarget, InterfaceOf<TPlainDocument, IOleCommandTarget>},
  };

  explicit TPlainDocument(TPlainBrowserObject* browser) : browser_(browser) {}
  void Detach() { browser_ = nullptr; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT*) override {
    if (group != nullptr) return OLECMDERR_E_UNKNOWNGROUP;
    for (ULONG i = 0; i < count; ++i) {
      const ULONG id = commands[i].cmdID;
      commands[i].cmdf = (id == OLECMDID_PAGESETUP || id == OLECMDID_PRINT) ? OLECMDF_SUPPORTED | OLECMDF_ENABLED : 0;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD option, VARIANT* in, VARIANT* out) override;

 private:
  friend class TComObject<TPlainDocument, IDispatch, IOleCommandTarget>;
  ~TPlainDocument() = default;
  TPlainBrowserObject* browser_;
};

// Part of the browser object: its references are the browser's.
class TPlainConnectionPoint final : public TComObject<TPlainConnectionPoint, IConnectionPoint> {
 public:
  static constexpr TInterfaceEntry<TPlainConnectionPoint> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TPlainConnectionPoint, IConnectionPoint>},
      {&IID_IConnectionPoint, InterfaceOf<TPlainConnectionPoint, IConnectionPoint>},
  };

  explicit TPlainConnectionPoint(TPlainBrowserObject& browser) : browser_(browser) {}
  IUnknown& LifetimeOwner();
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (iid == nullptr) return E_POINTER;
    *iid = DIID_DWebBrowserEvents2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
    if (connections != nullptr) *connections = nullptr;
    return E_NOTIMPL;
  }

 private:
  TPlainBrowserObject& browser_;
};

#define PB_NOTIMPL(signature) \
  HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }

using TPlainBrowserCom = TComObject<TPlainBrowserObject, IWebBrowser2, IOleObject, IOleInPlaceObject,
                                    IOleInPlaceActiveObject, IOleControl, IConnectionPointContainer>;

class TPlainBrowserObject final : public TPlainBrowser, public TPlainBrowserCom {
 public:
  static constexpr TInterfaceEntry<TPlainBrowserObject> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TPlainBrowserObject, IWebBrowser2>},
      {&IID_IDispatch, InterfaceOf<TPlainBrowserObject, IWebBrowser2>},
      {&IID_IWebBrowser, InterfaceOf<TPlainBrowserObject, IWebBrowser2>},
      {&IID_IWebBrowserApp, InterfaceOf<TPlainBrowserObject, IWebBrowser2>},
      {&IID_IWebBrowser2, InterfaceOf<TPlainBrowserObject, IWebBrowser2>},
      {&IID_IOleObject, InterfaceOf<TPlainBrowserObject, IOleObject>},
      {&IID_IOleWindow, InterfaceOf<TPlainBrowserObject, IOleInPlaceObject>},
      {&IID_IOleInPlaceObject, InterfaceOf<TPlainBrowserObject, IOleInPlaceObject>},
      {&IID_IOleInPlaceActiveObject, InterfaceOf<TPlainBrowserObject, IOleInPlaceActiveObject>},
      {&IID_IOleControl, InterfaceOf<TPlainBrowserObject, IOleControl>},
      {&IID_IConnectionPointContainer, InterfaceOf<TPlainBrowserObject, IConnectionPointContainer>},
  };

  TPlainBrowserObject() : point_(*this) {}

  // ---- TPlainBrowser
  HWND Window() const override { return window_; }
  const TPlainPageSetup& PageSetup() const override { return pageSetup_; }
  std::wstring PageText() const override;
  int LinkCount() const override { return static_cast<int>(page_.Links.size()); }
  std::wstring LinkUrl(int index) const override {
    return index >= 0 && index < LinkCount() ? ResolveUrl(url_, page_.Links[static_cast<size_t>(index)].Href)
                                             : std::wstring();
  }
  std::wstring LinkTarget(int index) const override {
    return index >= 0 && index < LinkCount() ? page_.Links[static_cast<size_t>(index)].Target : std::wstring();
  }
  RECT LinkRect(int index) const override;
  uint32_t DownloadControl() const override { return downloadControl_; }
  uint32_t HostFlags() const override { return hostFlags_; }
  int ScrollPosition() const override { return scroll_; }
  int PrintCount() const override { return printCount_; }

  // ---- IDispatch: property reads by dispatch id
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override;

  // ---- IWebBrowser
  HRESULT STDMETHODCALLTYPE GoBack() override;
  HRESULT STDMETHODCALLTYPE GoForward() override;
  PB_NOTIMPL(GoHome())
  PB_NOTIMPL(GoSearch())
  HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
  HRESULT STDMETHODCALLTYPE Refresh() override;
  HRESULT STDMETHODCALLTYPE Refresh2(VARIANT*) override { return Refresh(); }
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE get_Application(IDispatch** object) override {
    if (object == nullptr) return E_POINTER;
    *object = KeepAlive().Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** object) override { return get_Application(object); }
  HRESULT STDMETHODCALLTYPE get_Container(IDispatch** object) override {
    if (object != nullptr) *object = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** object) override {
    if (object == nullptr) return E_POINTER;
    *object = TComPtr<IDispatch>(document_.Get()).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL* value) override {
    if (value == nullptr) return E_POINTER;
    *value = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Type(BSTR* type) override {
    if (type == nullptr) return E_POINTER;
    *type = ToBstr(L"HTML Document");
    return S_OK;
  }
  PB_NOTIMPL(get_Left(LONG*))
  PB_NOTIMPL(put_Left(LONG))
  PB_NOTIMPL(get_Top(LONG*))
  PB_NOTIMPL(put_Top(LONG))
  PB_NOTIMPL(get_Width(LONG*))
  PB_NOTIMPL(put_Width(LONG))
  PB_NOTIMPL(get_Height(LONG*))
  PB_NOTIMPL(put_Height(LONG))
  HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = ToBstr(title_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override {
    if (url == nullptr) return E_POINTER;
    *url = ToBstr(url_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* busy) override {
    if (busy == nullptr) return E_POINTER;
    *busy = current_ != nullptr ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  // ---- IWebBrowserApp
  PB_NOTIMPL(Quit())
  PB_NOTIMPL(ClientToWindow(int*, int*))
  PB_NOTIMPL(PutProperty(BSTR, VARIANT))
  PB_NOTIMPL(GetProperty(BSTR, VARIANT*))
  PB_NOTIMPL(get_Name(BSTR*))
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override {
    if (window == nullptr) return E_POINTER;
    *window = reinterpret_cast<SHANDLE_PTR>(window_);
    return S_OK;
  }
  PB_NOTIMPL(get_FullName(BSTR*))
  PB_NOTIMPL(get_Path(BSTR*))
  PB_NOTIMPL(get_Visible(VARIANT_BOOL*))
  PB_NOTIMPL(put_Visible(VARIANT_BOOL))
  PB_NOTIMPL(get_StatusBar(VARIANT_BOOL*))
  PB_NOTIMPL(put_StatusBar(VARIANT_BOOL))
  PB_NOTIMPL(get_StatusText(BSTR*))
  PB_NOTIMPL(put_StatusText(BSTR))
  PB_NOTIMPL(get_ToolBar(int*))
  PB_NOTIMPL(put_ToolBar(int))
  PB_NOTIMPL(get_MenuBar(VARIANT_BOOL*))
  PB_NOTIMPL(put_MenuBar(VARIANT_BOOL))
  PB_NOTIMPL(get_FullScreen(VARIANT_BOOL*))
  PB_NOTIMPL(put_FullScreen(VARIANT_BOOL))
  // ---- IWebBrowser2
  HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* post,
                                      VARIANT* headers) override {
    if (url == nullptr || url->vt != VT_BSTR) return E_INVALIDARG;
    return Navigate(url->bstrVal, flags, target, post, headers);
  }
  PB_NOTIMPL(QueryStatusWB(OLECMDID, OLECMDF*))
  PB_NOTIMPL(ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*))
  PB_NOTIMPL(ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*))
  HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override {
    if (state == nullptr) return E_POINTER;
    *state = current_ != nullptr ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    return S_OK;
  }
  PB_NOTIMPL(get_Offline(VARIANT_BOOL*))
  PB_NOTIMPL(put_Offline(VARIANT_BOOL))
  PB_NOTIMPL(get_Silent(VARIANT_BOOL*))
  PB_NOTIMPL(put_Silent(VARIANT_BOOL))
  PB_NOTIMPL(get_RegisterAsBrowser(VARIANT_BOOL*))
  PB_NOTIMPL(put_RegisterAsBrowser(VARIANT_BOOL))
  PB_NOTIMPL(get_RegisterAsDropTarget(VARIANT_BOOL*))
  PB_NOTIMPL(put_RegisterAsDropTarget(VARIANT_BOOL))
  PB_NOTIMPL(get_TheaterMode(VARIANT_BOOL*))
  PB_NOTIMPL(put_TheaterMode(VARIANT_BOOL))
  PB_NOTIMPL(get_AddressBar(VARIANT_BOOL*))
  PB_NOTIMPL(put_AddressBar(VARIANT_BOOL))
  PB_NOTIMPL(get_Resizable(VARIANT_BOOL*))
  PB_NOTIMPL(put_Resizable(VARIANT_BOOL))

  // ---- IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    if (site == nullptr) return E_POINTER;
    *site = TComPtr<IOleClientSite>(site_).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override;
  PB_NOTIMPL(SetMoniker(DWORD, IMoniker*))
  PB_NOTIMPL(GetMoniker(DWORD, DWORD, IMoniker**))
  PB_NOTIMPL(InitFromData(IDataObject*, BOOL, DWORD))
  PB_NOTIMPL(GetClipboardData(DWORD, IDataObject**))
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                   LPCRECT position) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return OLEOBJ_E_NOVERBS; }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override {
    if (id == nullptr) return E_POINTER;
    *id = CLSID_WebBrowser;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override {
    if (size != nullptr) extent_ = *size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
    if (size == nullptr) return E_POINTER;
    *size = extent_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    if (status == nullptr) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE |
              OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
    return S_OK;
  }
  PB_NOTIMPL(SetColorScheme(LOGPALETTE*))

  // ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return window_ != nullptr ? S_OK : E_FAIL;
  }
  PB_NOTIMPL(ContextSensitiveHelp(BOOL))
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
    if (position != nullptr && window_ != nullptr) {
      MoveWindow(window_, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
    }
    return S_OK;
  }
  PB_NOTIMPL(ReactivateAndUndo())
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

  // ---- IOleControl
  PB_NOTIMPL(GetControlInfo(CONTROLINFO*))
  PB_NOTIMPL(OnMnemonic(MSG*))
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override {
    if (id == kDispidAmbientDlControl || id == DISPID_UNKNOWN) ReadDownloadControl();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override {
    frozen_ += freeze ? 1 : -1;
    if (frozen_ < 0) frozen_ = 0;
    return S_OK;
  }

  // ---- IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points != nullptr) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *point = TComPtr<IConnectionPoint>(&point_).Detach();
    return S_OK;
  }

  // ---- used by the connection point and the document
  HRESULT AddSink(IUnknown* sink, DWORD* cookie);
  HRESULT RemoveSink(DWORD cookie);
  HRESULT PageSetupDialog();
  HRESULT Print(DWORD option);

 private:
  friend TPlainBrowserCom;
  ~TPlainBrowserObject();

  // A reference that keeps the browser alive while it calls out (a handler
  // may free the host and with it the host's reference).
  TComPtr<IWebBrowser2> KeepAlive() { return TComPtr<IWebBrowser2>(this); }

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  void ReadDownloadControl();
  void ReadHostFlags();
  HRESULT Activate(HWND parent, const RECT* position);
  void StartNavigation(const std::wstring& url, int historyIndex, int redirects);
  void CancelFetch();
  void JoinWorkers(bool all);
  void FetchDone(unsigned id);
  void ShowPage(const std::wstring& url, THtmlPage page, int historyIndex);
  void FireCommandStates();
  void Fire(DISPID id, VARIANT* args, UINT count);
  void FollowLink(int index);
  void Layout();
  void Paint(HDC dc);
  void ScrollTo(int position);
  bool ScrollKey(WPARAM key);
  int LinkAt(POINT point) const;
  HFONT FontFor(int index);

  TPlainConnectionPoint point_;
  TComPtr<IOleClientSite> site_;
  TComPtr<IOleInPlaceSite> inPlaceSite_;
  HWND window_ = nullptr;
  SIZEL extent_{};
  int frozen_ = 0;
  std::map<DWORD, TComPtr<IDispatch>> sinks_;
  DWORD nextCookie_ = 1;

  std::vector<std::wstring> history_;
  int index_ = -1;
  std::wstring url_;
  std::wstring title_;
  THtmlPage page_;
  TComPtr<TPlainDocument> document_;

  std::shared_ptr<TFetch> current_;
  std::vector<std::pair<unsigned, std::thread>> workers_;
  unsigned nextFetch_ = 1;

  std::vector<TFragment> fragments_;
  int documentHeight_ = 0;
  int scroll_ = 0;
  int pressedLink_ = -1;
  HFONT fonts_[8] = {};  // normal, bold, h1..h6

  uint32_t downloadControl_ = 0;
  uint32_t hostFlags_ = 0;
  TPlainPageSetup pageSetup_;
  int printCount_ = 0;
};

// ---- connection point

IUnknown& TPlainConnectionPoint::LifetimeOwner() { return static_cast<IWebBrowser2&>(browser_); }
HRESULT TPlainConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  return static_cast<IWebBrowser2&>(browser_).QueryInterface(IID_IConnectionPointContainer,
                                                             reinterpret_cast<void**>(container));
}
HRESULT TPlainConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) { return browser_.AddSink(sink, cookie); }
HRESULT TPlainConnectionPoint::Unadvise(DWORD cookie) { return browser_.RemoveSink(cookie); }

HRESULT TPlainDocument::Exec(const GUID* group, DWORD id, DWORD option, VARIANT*, VARIANT*) {
  if (group != nullptr) return OLECMDERR_E_UNKNOWNGROUP;
  if (browser_ == nullptr) return E_FAIL;
  switch (id) {
    case OLECMDID_PAGESETUP:
      return browser_->PageSetupDialog();
    case OLECMDID_PRINT:
      return browser_->Print(option);
    default:
      return OLECMDERR_E_NOTSUPPORTED;
  }
}

// ---- the browser

TPlainBrowserObject::~TPlainBrowserObject() {
  CancelFetch();
  JoinWorkers(true);
  if (window_ != nullptr) {
    HWND window = window_;
    window_ = nullptr;  // no message reaches this object any more
    DestroyWindow(window);
  }
  sinks_.clear();
  if (document_) {
    document_->Detach();
    document_.Reset();
  }
  inPlaceSite_.Reset();
  site_.Reset();
  for (HFONT font : fonts_) {
    if (font != nullptr) DeleteObject(font);
  }
}

HRESULT TPlainBrowserObject::AddSink(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  TComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, dispatch.PutVoid())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.PutVoid()))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  *cookie = nextCookie_++;
  sinks_[*cookie] = std::move(dispatch);
  return S_OK;
}

HRESULT TPlainBrowserObject::RemoveSink(DWORD cookie) {
  auto found = sinks_.find(cookie);
  if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
  const TComPtr<IDispatch> sink = std::move(found->second);  // released after the list forgot it
  sinks_.erase(found);
  return S_OK;
}

// Events go to a copy of the sink list (a handler may unadvise), with the
// browser kept alive while they run (a handler may free the host).
void TPlainBrowserObject::Fire(DISPID id, VARIANT* args, UINT count) {
  if (frozen_ > 0 || sinks_.empty()) return;
  std::vector<TComPtr<IDispatch>> sinks;
  for (auto& [cookie, sink] : sinks_) sinks.push_back(sink);
  DISPPARAMS params{args, nullptr, count, 0};
  for (TComPtr<IDispatch>& sink : sinks) {
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    sink.Reset();
  }
}

void TPlainBrowserObject::FireCommandStates() {
  const bool canForward = index_ >= 0 && index_ + 1 < static_cast<int>(history_.size());
  const bool canBack = index_ > 0;
  for (auto [command, enable] : {std::pair{CSC_NAVIGATEFORWARD, canForward}, std::pair{CSC_NAVIGATEBACK, canBack}}) {
    VARIANT args[2];
    args[1].vt = VT_I4;  // Command (arguments are passed last first)
    args[1].lVal = command;
    args[0].vt = VT_BOOL;
    args[0].boolVal = enable ? VARIANT_TRUE : VARIANT_FALSE;
    Fire(DISPID_COMMANDSTATECHANGE, args, 2);
  }
}

HRESULT TPlainBrowserObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                    UINT*) {
  if ((flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
  if (result == nullptr) return E_POINTER;
  VariantInit(result);
  switch (id) {
    case kDispidApplication:
      result->vt = VT_DISPATCH;
      return get_Application(&result->pdispVal);
    case kDispidDocument:
      result->vt = VT_DISPATCH;
      return get_Document(&result->pdispVal);
    case kDispidLocationName:
      result->vt = VT_BSTR;
      return get_LocationName(&result->bstrVal);
    case kDispidLocationURL:
      result->vt = VT_BSTR;
      return get_LocationURL(&result->bstrVal);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

void TPlainBrowserObject::ReadDownloadControl() {
  const auto ambient = site_.Query<IDispatch>(IID_IDispatch);
  if (!ambient) return;
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (SUCCEEDED(ambient->Invoke(kDispidAmbientDlControl, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                &value, nullptr, nullptr)) &&
      value.vt == VT_I4) {
    downloadControl_ = static_cast<uint32_t>(value.lVal);
  }
  VariantClear(&value);
}

void TPlainBrowserObject::ReadHostFlags() {
  const auto handler = site_.Query<IDocHostUIHandler>(IID_IDocHostUIHandler);
  if (!handler) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  if (SUCCEEDED(handler->GetHostInfo(&info))) hostFlags_ = info.dwFlags;
}

HRESULT TPlainBrowserObject::SetClientSite(IOleClientSite* site) {
  TComPtr<IOleClientSite> newSite(site);
  inPlaceSite_.Reset();
  site_ = std::move(newSite);
  if (site_) {
    inPlaceSite_ = site_.Query<IOleInPlaceSite>(IID_IOleInPlaceSite);
    ReadDownloadControl();
  }
  return S_OK;
}

HRESULT TPlainBrowserObject::Close(DWORD) {
  CancelFetch();
  JoinWorkers(true);
  InPlaceDeactivate();
  return S_OK;
}

HRESULT TPlainBrowserObject::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
  if (site != nullptr && site != site_.Get()) SetClientSite(site);
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return Activate(parent, position);
    case OLEIVERB_HIDE:
      if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT TPlainBrowserObject::Activate(HWND parent, const RECT* position) {
  if (window_ != nullptr) {
    ShowWindow(window_, SW_SHOW);
    return S_OK;
  }
  if (inPlaceSite_ == nullptr) return E_UNEXPECTED;
  if (inPlaceSite_->CanInPlaceActivate() != S_OK) return E_FAIL;
  inPlaceSite_->OnInPlaceActivate();
  if (parent == nullptr && FAILED(inPlaceSite_->GetWindow(&parent))) return E_FAIL;
  TComPtr<IOleInPlaceFrame> frame;
  TComPtr<IOleInPlaceUIWindow> document;
  RECT where{};
  RECT clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof info;
  if (SUCCEEDED(inPlaceSite_->GetWindowContext(frame.Put(), document.Put(), &where, &clip, &info)) && frame) {
    frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"PlainBrowser");
  }
  if (position != nullptr) where = *position;
  ReadHostFlags();

  static const bool registered = [] {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = &TPlainBrowserObject::WindowProcedure;
    cls.hInstance = ThisModule();
    cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    cls.hbrBackground = nullptr;
    cls.lpszClassName = L"EbookPlainBrowser";
    return RegisterClassExW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  if (!registered) return E_FAIL;
  window_ = CreateWindowExW(0, L"EbookPlainBrowser", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS,
                            where.left, where.top, where.right - where.left, where.bottom - where.top, parent, nullptr,
                            ThisModule(), static_cast<IWebBrowser2*>(this));
  if (window_ == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  inPlaceSite_->OnUIActivate();
  Layout();
  return S_OK;
}

HRESULT TPlainBrowserObject::InPlaceDeactivate() {
  if (window_ == nullptr) return S_OK;
  HWND window = window_;
  window_ = nullptr;
  DestroyWindow(window);
  if (inPlaceSite_ != nullptr) inPlaceSite_->OnInPlaceDeactivate();
  return S_OK;
}

// ---- navigation

HRESULT TPlainBrowserObject::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (url == nullptr) return E_INVALIDARG;
  const std::wstring address(url, SysStringLen(url));
  if (IsWindowCloseScript(address)) {
    // The page asks to close its window: the container decides.
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    return S_OK;
  }
  StartNavigation(address, -1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::GoBack() {
  if (index_ <= 0) return E_FAIL;
  StartNavigation(history_[static_cast<size_t>(index_ - 1)], index_ - 1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::GoForward() {
  if (index_ < 0 || index_ + 1 >= static_cast<int>(history_.size())) return E_FAIL;
  StartNavigation(history_[static_cast<size_t>(index_ + 1)], index_ + 1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::Refresh() {
  if (index_ < 0) return S_OK;
  StartNavigation(history_[static_cast<size_t>(index_)], index_, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::Stop() {
  CancelFetch();
  return S_OK;
}

void TPlainBrowserObject::CancelFetch() {
  if (current_ != nullptr) {
    current_->Cancel();
    current_.reset();
  }
}

// Finished workers are joined as their answers arrive; all of them when the
// browser closes (their sockets were shut down, so they end at once).
void TPlainBrowserObject::JoinWorkers(bool all) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (all) {
      if (it->second.joinable()) it->second.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void TPlainBrowserObject::StartNavigation(const std::wstring& url, int historyIndex, int redirects) {
  CancelFetch();
  const std::wstring lower = [&] {
    std::wstring l = url.substr(0, 12);
    for (wchar_t& c : l) c = static_cast<wchar_t>(towlower(c));
    return l;
  }();
  if (lower.rfind(L"about:", 0) == 0) {
    ShowPage(url, THtmlPage{}, historyIndex);
    return;
  }
  if (lower.rfind(L"javascript:", 0) == 0) return;  // scripts do not run here
  if (lower.rfind(L"http://", 0) != 0 || window_ == nullptr) {
    THtmlPage page;
    THtmlItem item;
    item.Text = L"This page cannot be displayed: " + url;
    page.Items.push_back(item);
    ShowPage(url, std::move(page), historyIndex);
    return;
  }
  auto fetch = std::make_shared<TFetch>();
  fetch->Id = nextFetch_++;
  fetch->Url = url;
  fetch->HistoryIndex = historyIndex;
  fetch->Redirects = redirects;
  fetch->Utf8 = (hostFlags_ & DOCHOSTUIFLAG_URL_ENCODING_ENABLE_UTF8) != 0;
  current_ = fetch;
  workers_.emplace_back(fetch->Id, std::thread(RunFetch, fetch, window_));
}

void TPlainBrowserObject::FetchDone(unsigned id) {
  for (auto it = workers_.begin(); it != workers_.end(); ++it) {
    if (it->first == id) {
      if (it->second.joinable()) it->second.join();
      workers_.erase(it);
      break;
    }
  }
  if (current_ == nullptr || current_->Id != id) return;  // stopped or superseded
  std::shared_ptr<TFetch> fetch = std::move(current_);
  current_.reset();
  if (fetch->Failed) {
    THtmlPage page;
    page.Title = fetch->Url;
    THtmlItem item;
    item.Text = L"This page cannot be displayed: " + AnsiToWide(fetch->Error);
    page.Items.push_back(item);
    ShowPage(fetch->Url, std::move(page), fetch->HistoryIndex);
    return;
  }
  const THttpAnswer& answer = fetch->Answer;
  if (answer.StatusCode >= 300 && answer.StatusCode < 400 && !answer.Location.empty() &&
      fetch->Redirects < kMaxRedirects) {
    StartNavigation(ResolveUrl(fetch->Url, AnsiToWide(answer.Location)), fetch->HistoryIndex, fetch->Redirects + 1);
    return;
  }
  // Every status shows its body, as a browser does with a server's error
  // page.
  std::string type = answer.ContentType;
  for (char& c : type) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const bool utf8 = type.find("charset=utf-8") != std::string::npos;
  const std::wstring text = utf8 ? Utf8ToWide(answer.Body) : AnsiToWide(answer.Body);
  THtmlPage page;
  if (type.empty() || type.rfind("text/html", 0) == 0) {
    page = ParseHtml(text);
  } else if (type.rfind("text/", 0) == 0) {
    page = PlainTextPage(text);
  } else {
    THtmlItem item;
    item.Text = AnsiToWide(answer.ContentType) + L" (" + std::to_wstring(answer.Body.size()) + L" bytes)";
    page.Items.push_back(item);
  }
  ShowPage(fetch->Url, std::move(page), fetch->HistoryIndex);
}

void TPlainBrowserObject::ShowPage(const std::wstring& url, THtmlPage page, int historyIndex) {
  if (historyIndex < 0) {
    if (index_ + 1 < static_cast<int>(history_.size())) history_.resize(static_cast<size_t>(index_ + 1));
    history_.push_back(url);
    index_ = static_cast<int>(history_.size()) - 1;
  } else {
    index_ = historyIndex;
    history_[static_cast<size_t>(index_)] = url;
  }
  url_ = url;
  page_ = std::move(page);
  title_ = page_.Title.empty() ? url_ : page_.Title;
  if (!document_) document_ = TComPtr<TPlainDocument>::Adopt(new TPlainDocument(this));
  scroll_ = 0;
  pressedLink_ = -1;
  Layout();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);

  // The events, in the order the platform's browser raises them.
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  FireCommandStates();
  {
    VARIANT args[1];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = ToBstr(title_);
    Fire(DISPID_TITLECHANGE, args, 1);
    SysFreeString(args[0].bstrVal);
  }
  for (DISPID id : {DISPID(DISPID_NAVIGATECOMPLETE2), DISPID(DISPID_DOCUMENTCOMPLETE)}) {
    VARIANT address;
    address.vt = VT_BSTR;
    address.bstrVal = ToBstr(url_);
    VARIANT args[2];
    args[1].vt = VT_DISPATCH;  // pDisp
    args[1].pdispVal = static_cast<IWebBrowser2*>(this);
    args[0].vt = VT_BYREF | VT_VARIANT;  // URL
    args[0].pvarVal = &address;
    Fire(id, args, 2);
    SysFreeString(address.bstrVal);
  }
}

void TPlainBrowserObject::FollowLink(int index) {
  if (index < 0 || index >= LinkCount()) return;
  const std::wstring href = page_.Links[static_cast<size_t>(index)].Href;
  const std::wstring url = ResolveUrl(url_, href);
  std::wstring target = page_.Links[static_cast<size_t>(index)].Target;
  for (wchar_t& c : target) c = static_cast<wchar_t>(towlower(c));
  if (IsWindowCloseScript(url)) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (!href.empty() && href[0] == L'#') return;  // same page
  if (!target.empty() && target != L"_self" && target != L"_top" && target != L"_parent") {
    // Ask the container for the browser of the new window.
    TComPtr<IDispatch> other;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    args[1].vt = VT_BYREF | VT_DISPATCH;  // ppDisp
    args[1].ppdispVal = other.Put();
    args[0].vt = VT_BYREF | VT_BOOL;  // Cancel
    args[0].pboolVal = &cancel;
    {
      const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
      Fire(DISPID_NEWWINDOW2, args, 2);
      if (cancel != VARIANT_FALSE) return;
      if (other) {
        if (const auto browser = other.Query<IWebBrowser2>(IID_IWebBrowser2)) {
          BSTR text = ToBstr(url);
          VARIANT empty;
          VariantInit(&empty);
          browser->Navigate(text, &empty, &empty, &empty, &empty);
          SysFreeString(text);
        }
        return;
      }
    }
    // Without a new window the page opens here.
  }
  StartNavigation(url, -1, 0);
}

// ---- keys

HRESULT TPlainBrowserObject::TranslateAccelerator(LPMSG message) {
  if (message == nullptr) return E_INVALIDARG;
  // The container has the first say over every accelerator.
  if (const auto handler = site_.Query<IDocHostUIHandler>(IID_IDocHostUIHandler)) {
    if (handler->TranslateAccelerator(message, &CGID_MSHTML, 0) == S_OK) return S_OK;
  }
  if (message->message == WM_KEYDOWN && ScrollKey(message->wParam)) return S_OK;
  return S_FALSE;
}

bool TPlainBrowserObject::ScrollKey(WPARAM key) {
  if (window_ == nullptr) return false;
  RECT client{};
  GetClientRect(window_, &client);
  const int page = std::max(1, static_cast<int>(client.bottom) - 20);
  switch (key) {
    case VK_UP:
      ScrollTo(scroll_ - 20);
      return true;
    case VK_DOWN:
      ScrollTo(scroll_ + 20);
      return true;
    case VK_PRIOR:
      ScrollTo(scroll_ - page);
      return true;
    case VK_NEXT:
    case VK_SPACE:
      ScrollTo(scroll_ + page);
      return true;
    case VK_HOME:
      ScrollTo(0);
      return true;
    case VK_END:
      ScrollTo(documentHeight_);
      return true;
    default:
      return false;
  }
}

// ---- layout and painting

HFONT TPlainBrowserObject::FontFor(int index) {
  if (fonts_[index] == nullptr) {
    static const int heights[8] = {16, 16, 30, 24, 20, 18, 16, 14};
    fonts_[index] = CreateFontW(-heights[index], 0, 0, 0, index == 0 ? FW_NORMAL : FW_BOLD, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                VARIABLE_PITCH | FF_SWISS, L"Arial");
  }
  return fonts_[index];
}

void TPlainBrowserObject::Layout() {
  fragments_.clear();
  documentHeight_ = 0;
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  const int right = std::max(static_cast<int>(client.right) - kMargin, kMargin + 40);
  HDC dc = GetDC(window_);
  const TScopeExit releaseDc([this, dc] { ReleaseDC(window_, dc); });
  const TSelectObject selectFont(dc, FontFor(0));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int normalHeight = static_cast<int>(metrics.tmHeight);

  int x = kMargin;
  int y = kMargin;
  int line = 0;
  int lineHeight = 0;
  size_t lineStart = 0;
  auto endLine = [&](int minimum) {
    const int height = std::max(lineHeight, minimum);
    // Pieces of one line stand on a common bottom.
    for (size_t i = lineStart; i < fragments_.size(); ++i) {
      const int h = fragments_[i].Rect.bottom - fragments_[i].Rect.top;
      fragments_[i].Rect.top = y + height - h;
      fragments_[i].Rect.bottom = y + height;
    }
    y += height;
    x = kMargin;
    lineHeight = 0;
    lineStart = fragments_.size();
    ++line;
  };
  for (const THtmlItem& item : page_.Items) {
    if (item.Kind == THtmlItem::kLineBreak) {
      endLine(normalHeight);
      continue;
    }
    if (item.Kind == THtmlItem::kParagraph) {
      if (x > kMargin || lineHeight > 0) endLine(0);
      if (y > kMargin) y += normalHeight / 2;
      continue;
    }
    const int font = item.Heading > 0 ? 1 + item.Heading : (item.Bold ? 1 : 0);
    SelectObject(dc, FontFor(font));
    GetTextMetricsW(dc, &metrics);
    const int height = static_cast<int>(metrics.tmHeight);
    // Words with their following spaces; a line breaks between words only.
    size_t at = 0;
    const std::wstring& text = item.Text;
    while (at < text.size()) {
      size_t end = text.find(L' ', at);
      end = end == std::wstring::npos ? text.size() : end + 1;
      std::wstring word = text.substr(at, end - at);
      at = end;
      if (x == kMargin && word == L" ") continue;
      SIZE size{};
      GetTextExtentPoint32W(dc, word.c_str(), static_cast<int>(word.size()), &size);
      if (x > kMargin && x + size.cx > right) {
        endLine(0);
        if (word == L" ") continue;
      }
      TFragment* last = fragments_.size() > lineStart ? &fragments_.back() : nullptr;
      if (last != nullptr && last->Font == font && last->Link == item.Link && last->Highlight == item.Highlight &&
          last->Rect.right == x) {
        last->Text += word;
        GetTextExtentPoint32W(dc, last->Text.c_str(), static_cast<int>(last->Text.size()), &size);
        last->Rect.right = last->Rect.left + size.cx;
        x = last->Rect.right;
      } else {
        TFragment fragment;
        fragment.Rect = RECT{x, y, x + size.cx, y + height};
        fragment.Text = word;
        fragment.Font = font;
        fragment.Link = item.Link;
        fragment.Highlight = item.Highlight;
        fragment.Line = line;
        fragments_.push_back(std::move(fragment));
        x += size.cx;
      }
      lineHeight = std::max(lineHeight, height);
    }
  }
  if (x > kMargin || lineHeight > 0) endLine(0);
  documentHeight_ = y + kMargin;

  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = 0;
  info.nMax = documentHeight_;
  info.nPage = static_cast<UINT>(client.bottom + 1);
  scroll_ = std::clamp(scroll_, 0, std::max(0, documentHeight_ - static_cast<int>(client.bottom)));
  info.nPos = scroll_;
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

void TPlainBrowserObject::ScrollTo(int position) {
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  position = std::clamp(position, 0, std::max(0, documentHeight_ - static_cast<int>(client.bottom)));
  if (position == scroll_) return;
  scroll_ = position;
  SetScrollPos(window_, SB_VERT, scroll_, TRUE);
  InvalidateRect(window_, nullptr, TRUE);
}

void TPlainBrowserObject::Paint(HDC dc) {
  RECT client{};
  GetClientRect(window_, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  const TGdiBrush highlight = SolidBrush(RGB(255, 255, 0));
  const TGdiBrush linkInk = SolidBrush(RGB(0, 0, 238));
  const TSelectObject selectFont(dc, FontFor(0));
  for (const TFragment& fragment : fragments_) {
    RECT r = fragment.Rect;
    OffsetRect(&r, 0, -scroll_);
    if (r.bottom < 0 || r.top > client.bottom) continue;
    if (fragment.Highlight) FillRect(dc, &r, highlight.Get());
    SelectObject(dc, FontFor(fragment.Font));
    SetTextColor(dc, fragment.Link >= 0 ? RGB(0, 0, 238) : RGB(0, 0, 0));
    TextOutW(dc, r.left, r.top, fragment.Text.c_str(), static_cast<int>(fragment.Text.size()));
    if (fragment.Link >= 0) {
      RECT underline{r.left, r.bottom - 2, r.right, r.bottom - 1};
      FillRect(dc, &underline, linkInk.Get());
    }
  }
}

std::wstring TPlainBrowserObject::PageText() const {
  std::wstring text;
  int line = -1;
  for (const TFragment& fragment : fragments_) {
    if (line >= 0 && fragment.Line != line) text += L"\n";
    line = fragment.Line;
    text += fragment.Text;
  }
  return text;
}

RECT TPlainBrowserObject::LinkRect(int index) const {
  for (const TFragment& fragment : fragments_) {
    if (fragment.Link == index) {
      RECT r = fragment.Rect;
      OffsetRect(&r, 0, -scroll_);
      return r;
    }
  }
  return RECT{};
}

int TPlainBrowserObject::LinkAt(POINT point) const {
  point.y += scroll_;
  for (const TFragment& fragment : fragments_) {
    if (fragment.Link >= 0 && PtInRect(&fragment.Rect, point)) return fragment.Link;
  }
  return -1;
}

// ---- the window

LRESULT CALLBACK TPlainBrowserObject::WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<TPlainBrowserObject*>(static_cast<IWebBrowser2*>(create->lpCreateParams))->window_ = window;
  }
  auto* browser = static_cast<TPlainBrowserObject*>(
      reinterpret_cast<IWebBrowser2*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
  if (browser == nullptr || browser->window_ != window) {
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  try {
    return browser->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    // Nothing may escape into the platform's dispatch; a failure inside
    // the plain browser leaves its page as it is.
    return 0;
  }
}

LRESULT TPlainBrowserObject::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      Paint(dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Layout();
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      GetScrollInfo(window, SB_VERT, &info);
      switch (LOWORD(wParam)) {
        case SB_LINEUP:
          ScrollTo(scroll_ - 20);
          break;
        case SB_LINEDOWN:
          ScrollTo(scroll_ + 20);
          break;
        case SB_PAGEUP:
          ScrollTo(scroll_ - static_cast<int>(info.nPage));
          break;
        case SB_PAGEDOWN:
          ScrollTo(scroll_ + static_cast<int>(info.nPage));
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          ScrollTo(info.nTrackPos);
          break;
        case SB_TOP:
          ScrollTo(0);
          break;
        case SB_BOTTOM:
          ScrollTo(documentHeight_);
          break;
        default:
          break;
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(scroll_ - GET_WHEEL_DELTA_WPARAM(wParam) * 60 / WHEEL_DELTA);
      return 0;
    case WM_KEYDOWN:
      // Keys the container did not offer as accelerators.
      ScrollKey(wParam);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN: {
      SetFocus(window);
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      pressedLink_ = LinkAt(point);
      return 0;
    }
    case WM_LBUTTONUP: {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const int link = LinkAt(point);
      const bool follow = link >= 0 && link == pressedLink_;
      pressedLink_ = -1;
      if (follow) {
        const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
        FollowLink(link);
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(window, &point);
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(LinkAt(point) >= 0 ? IDC_HAND : IDC_ARROW)));
        return TRUE;
      }
      break;
    case kFetchDone: {
      const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
      FetchDone(static_cast<unsigned>(lParam));
      return 0;
    }
    case WM_DESTROY:
      // Closed from outside (a page's close request the container let
      // through): the browser has no window any more.
      CancelFetch();
      window_ = nullptr;
      if (inPlaceSite_ != nullptr) inPlaceSite_->OnInPlaceDeactivate();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

// ---- page setup and printing

// Header and footer fields added to the platform's page-setup dialog, under
// the ids the browser's own page-setup dialog uses for them.
constexpr int kHeaderId = 8147;
constexpr int kFooterId = 8149;

struct TPageSetupHookData {
  std::wstring Header;
  std::wstring Footer;
};

UINT_PTR CALLBACK PageSetupHook(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    if (msg == WM_INITDIALOG) {
      auto* setup = reinterpret_cast<PAGESETUPDLGW*>(lParam);
      auto* data = reinterpret_cast<TPageSetupHookData*>(setup->lCustData);
      SetPropW(dialog, L"EbookPageSetup", data);
      // Grow the dialog and put the two fields in the new band.
      RECT r{};
      GetWindowRect(dialog, &r);
      const int band = 64;
      SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + band, SWP_NOMOVE | SWP_NOZORDER);
      RECT client{};
      GetClientRect(dialog, &client);
      HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
      const int top = client.bottom - band + 6;
      const struct {
        const wchar_t* Label;
        int Id;
        const std::wstring* Text;
        int Y;
      } fields[] = {{L"&Header:", kHeaderId, &data->Header, top}, {L"&Footer:", kFooterId, &data->Footer, top + 28}};
      for (const auto& field : fields) {
        HWND label = CreateWindowExW(0, L"Static", field.Label, WS_CHILD | WS_VISIBLE, 12, field.Y + 3, 60, 20, dialog,
                                     nullptr, ThisModule(), nullptr);
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", field.Text->c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 76, field.Y,
                                    client.right - 88, 22, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(field.Id)),
                                    ThisModule(), nullptr);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      }
      return FALSE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
      if (auto* data = static_cast<TPageSetupHookData*>(GetPropW(dialog, L"EbookPageSetup"))) {
        wchar_t text[512];
        GetDlgItemTextW(dialog, kHeaderId, text, 512);
        data->Header = text;
        GetDlgItemTextW(dialog, kFooterId, text, 512);
        data->Footer = text;
      }
      return FALSE;  // the dialog goes on with its own confirmation
    }
    if (msg == WM_DESTROY) RemovePropW(dialog, L"EbookPageSetup");
  } catch (...) {
  }
  return FALSE;
}

HRESULT TPlainBrowserObject::PageSetupDialog() {
  TPageSetupHookData data{pageSetup_.Header, pageSetup_.Footer};
  PAGESETUPDLGW setup{};
  setup.lStructSize = sizeof setup;
  setup.hwndOwner = window_ != nullptr ? GetAncestor(window_, GA_ROOT) : nullptr;
  setup.Flags = PSD_MARGINS | PSD_INHUNDREDTHSOFMILLIMETERS | PSD_ENABLEPAGESETUPHOOK;
  setup.rtMargin = RECT{static_cast<LONG>(pageSetup_.Left * 100 + 0.5), static_cast<LONG>(pageSetup_.Top * 100 + 0.5),
                        static_cast<LONG>(pageSetup_.Right * 100 + 0.5),
                        static_cast<LONG>(pageSetup_.Bottom * 100 + 0.5)};
  setup.lpfnPageSetupHook = &PageSetupHook;
  setup.lCustData = reinterpret_cast<LPARAM>(&data);
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  const BOOL confirmed = PageSetupDlgW(&setup);
  if (confirmed) {
    // The dialog answers in the unit it was asked for, except where it
    // kept the locale's own; thousandths of an inch come back flagged.
    const double scale = (setup.Flags & PSD_INTHOUSANDTHSOFINCHES) ? 0.0254 : 0.01;
    pageSetup_.Left = setup.rtMargin.left * scale;
    pageSetup_.Top = setup.rtMargin.top * scale;
    pageSetup_.Right = setup.rtMargin.right * scale;
    pageSetup_.Bottom = setup.rtMargin.bottom * scale;
    pageSetup_.Header = data.Header;
    pageSetup_.Footer = data.Footer;
    if (setup.hDevMode != nullptr) {
      if (auto* mode = static_cast<DEVMODEW*>(GlobalLock(setup.hDevMode))) {
        if (mode->dmFields & DM_ORIENTATION) pageSetup_.Landscape = mode->dmOrientation == DMORIENT_LANDSCAPE;
        GlobalUnlock(setup.hDevMode);
      }
    }
    ++pageSetup_.Confirmed;
  }
  if (setup.hDevMode != nullptr) GlobalFree(setup.hDevMode);
  if (setup.hDevNames != nullptr) GlobalFree(setup.hDevNames);
  return confirmed ? S_OK : OLECMDERR_E_CANCELED;
}

// Prints the page's text, one line of the layout per printed line, on the
// default printer (option 2: no dialog) or on the one the user picks.
HRESULT TPlainBrowserObject::Print(DWORD option) {
  PRINTDLGW print{};
  print.lStructSize = sizeof print;
  print.hwndOwner = window_ != nullptr ? GetAncestor(window_, GA_ROOT) : nullptr;
  print.Flags = PD_RETURNDC | (option == OLECMDEXECOPT_DONTPROMPTUSER ? PD_RETURNDEFAULT : 0);
  if (!PrintDlgW(&print) || print.hDC == nullptr) {
    if (print.hDevMode != nullptr) GlobalFree(print.hDevMode);
    if (print.hDevNames != nullptr) GlobalFree(print.hDevNames);
    return E_FAIL;  // no printer, or the user cancelled
  }
  HDC dc = print.hDC;
  const std::wstring text = PageText();
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title_.c_str();
  HRESULT result = S_OK;
  if (StartDocW(dc, &info) > 0) {
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    const int pageHeight = GetDeviceCaps(dc, VERTRES);
    const int left = static_cast<int>(pageSetup_.Left / 25.4 * GetDeviceCaps(dc, LOGPIXELSX));
    const int top = static_cast<int>(pageSetup_.Top / 25.4 * dpi);
    const int bottom = pageHeight - static_cast<int>(pageSetup_.Bottom / 25.4 * dpi);
    const TGdiFont font(CreateFontW(-MulDiv(11, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    VARIABLE_PITCH | FF_SWISS, L"Arial"));
    const int lineHeight = MulDiv(14, dpi, 72);
    size_t start = 0;
    bool pageOpen = false;
    int y = top;
    while (start <= text.size()) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring::npos) end = text.size();
      if (!pageOpen) {
        StartPage(dc);
        SelectObject(dc, font.Get());
        pageOpen = true;
        y = top;
      }
      TextOutW(dc, left, y, text.data() + start, static_cast<int>(end - start));
      y += lineHeight;
      if (y + lineHeight > bottom) {
        EndPage(dc);
        pageOpen = false;
      }
      start = end + 1;
    }
    if (pageOpen) EndPage(dc);
    EndDoc(dc);
    ++printCount_;
  } else {
    result = E_FAIL;
  }
  DeleteDC(dc);
  if (print.hDevMode != nullptr) GlobalFree(print.hDevMode);
  if (print.hDevNames != nullptr) GlobalFree(print.hDevNames);
  return result;
}

}  // namespace

// The platform's HTML document class.
const CLSID kHtmlDocumentClass = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

bool PlatformBrowserRenders() {
  static const bool renders = [] {
    TComPtr<IUnknown> document;
    return SUCCEEDED(
        CoCreateInstance(kHtmlDocumentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, document.PutVoid()));
  }();
  return renders;
}

HRESULT CreatePlainBrowser(TPlainBrowser** browser, IOleObject** object) {
  if (browser == nullptr || object == nullptr) return E_POINTER;
  auto* created = new (std::nothrow) TPlainBrowserObject();
  if (created == nullptr) return E_OUTOFMEMORY;
  *browser = created;
  *object = static_cast<IOleObject*>(created);  // the creation reference
  return S_OK;
}
