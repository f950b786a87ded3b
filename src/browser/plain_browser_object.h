// The plain browser object's parts, shared by the files that implement
// it: the COM surface (plain_browser.cpp), navigation, the fetching workers
// and what they bring (plain_browser_navigation.cpp), layout, painting and
// the window procedure (plain_browser_view.cpp), page setup and printing
// (plain_browser_print.cpp). The fetching and the reading of pages are
// portable (plain_fetch, plain_page and its stages); painting and picture
// decoding are plain_paint and plain_picture_decoder.
//
// Windows only; everything but the fetch worker runs on the window thread.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <docobj.h>
#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "browser/com_ptr.h"
#include "browser/plain_browser.h"
#include "browser/plain_fetch.h"
#include "browser/plain_http.h"
#include "browser/plain_page.h"
#include "browser/plain_paint.h"
#include "browser/web_browser_ids.h"

inline constexpr UINT kFetchDone = WM_APP + 0x31;
inline constexpr UINT kRelayout = WM_APP + 0x32;
inline constexpr int kMaxRedirects = 5;
// Pictures fetched at once; how long a page waits for its style sheets
// before it shows without the missing ones.
inline constexpr int kPictureFetches = 4;
inline constexpr UINT kStyleSheetPatienceMs = 3000;
inline constexpr UINT_PTR kStyleSheetTimer = 1;

// This library's module (the DLL, or the program it is linked into).
HINSTANCE PlainBrowserModule();

inline BSTR ToBstr(const std::wstring& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// One fetch of the browser: the page it navigates to, or a style sheet or
// picture of that page. The worker reads the page (for a page) or decodes
// the picture (for a picture) before it reports, so that the window thread
// only places what arrived.
struct TBrowserFetch {
  enum TKind { kPage, kStyleSheet, kPicture };
  TKind Kind = kPage;
  unsigned Serial = 0;  // the page load it belongs to
  size_t Index = 0;     // kPicture: the page's picture address index
  TPlainFetch Fetch;
  TPlainOutcome Outcome;              // kPage
  std::unique_ptr<TskBitmap> Bitmap;  // kPicture, when decoded
};

// The fetch worker: runs the fetch, then posts kFetchDone with its id to the
// browser's window.
void RunFetch(std::shared_ptr<TBrowserFetch> job, HWND window);

class TPlainBrowserObject;
class TPlainDocument;

// The document: the page's command target for page setup and printing.
using TPlainDocumentCom = TComObject<TPlainDocument, TNamelessDispatch<IDispatch>, IOleCommandTarget>;

class TPlainDocument final : public TPlainDocumentCom {
 public:
  static constexpr TInterfaceEntry<TPlainDocument> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TPlainDocument, IDispatch>},
      {&IID_IDispatch, InterfaceOf<TPlainDocument, IDispatch>},
      {&IID_IOleCommandTarget, InterfaceOf<TPlainDocument, IOleCommandTarget>},
  };

  explicit TPlainDocument(TPlainBrowserObject* browser) : browser_(browser) {}
  void Detach() { browser_ = nullptr; }

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
  friend TPlainDocumentCom;
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

using TPlainBrowserCom = TComObject<TPlainBrowserObject, TNamelessDispatch<IWebBrowser2>, IOleObject,
                                    IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl, IConnectionPointContainer>;

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
  std::wstring PageText() const override { return page_ ? page_->Layout().Text() : std::wstring(); }
  const TPlainPage* Page() const override { return page_.get(); }
  bool Loading() const override { return completePending_; }
  const TskBitmap* PictureBitmap(int boxPicture) const override;
  void PaintPage(HDC dc, int top, int height) override;
  int LinkCount() const override { return page_ ? page_->LinkCount() : 0; }
  std::wstring LinkUrl(int index) const override { return page_ ? page_->LinkUrl(index) : std::wstring(); }
  std::wstring LinkTarget(int index) const override { return page_ ? page_->LinkTarget(index) : std::wstring(); }
  RECT LinkRect(int index) const override;
  uint32_t DownloadControl() const override { return downloadControl_; }
  uint32_t HostFlags() const override { return hostFlags_; }
  int ScrollPosition() const override { return scroll_; }
  int PrintCount() const override { return printCount_; }
  int Zoom() const override { return viewFonts_.Zoom(); }

  // ---- IDispatch: property reads by dispatch id
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
  HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID command, OLECMDF* status) override;
  HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in, VARIANT* out) override;
  PB_NOTIMPL(ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*))
  HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override {
    if (state == nullptr) return E_POINTER;
    *state = current_ != nullptr || completePending_ ? READYSTATE_LOADING : READYSTATE_COMPLETE;
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
  HDC PrinterContext(HGLOBAL devNames, HGLOBAL devMode) const;
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
  void CancelResources();
  void JoinWorkers(bool all);
  std::shared_ptr<TBrowserFetch> StartFetch(TBrowserFetch::TKind kind, const std::wstring& url);
  void FetchDone(unsigned id);
  void PageArrived(TBrowserFetch& job);
  void StyleSheetArrived(const TBrowserFetch& job);
  void PictureArrived(TBrowserFetch& job);
  void RequestStyleSheets(TPlainPage& page);
  void ShowArrivingPage();
  void ShowPage(const std::wstring& url, std::unique_ptr<TPlainPage> page, int historyIndex);
  void FetchPictures();
  void CompleteIfDone();
  void FireCommandStates();
  void Fire(DISPID id, VARIANT* args, UINT count);
  // Fires an event whose arguments are this browser and the page's address
  // (NavigateComplete2, DocumentComplete).
  void FireForPage(DISPID id);
  void FollowLink(int index);
  void ScrollToFragment(const std::wstring& url);
  void Layout();
  // The width the page is laid out for: the window's, in page pixels.
  int LayoutWidthFor(const RECT& client) const;
  void SetZoom(int percent);
  void Paint(HDC dc);
  void ScrollTo(int position);
  bool ScrollKey(WPARAM key);
  int LinkAt(POINT point) const;
  // In pixels of the zoomed view, as the scroll position.
  int DocumentHeight() const { return page_ ? viewFonts_.Scale(page_->Layout().Height) : 0; }

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
  std::unique_ptr<TPlainPage> page_;
  TComPtr<TPlainDocument> document_;

  // The page fetch; the page that arrived and waits for its style sheets;
  // the fetches of the style sheets and pictures of the load serial_.
  std::shared_ptr<TBrowserFetch> current_;
  std::unique_ptr<TPlainPage> arriving_;
  std::wstring arrivingUrl_;
  int arrivingHistory_ = -1;
  unsigned serial_ = 0;
  std::map<unsigned, std::shared_ptr<TBrowserFetch>> resources_;
  std::vector<std::pair<unsigned, std::thread>> workers_;
  unsigned nextFetch_ = 1;
  // The shown page's pictures: decoded bitmaps by address index, the next
  // address to ask for, and whether DocumentComplete is still owed.
  std::vector<std::unique_ptr<TskBitmap>> bitmaps_;
  size_t nextPicture_ = 0;
  int picturesRunning_ = 0;
  bool completePending_ = false;
  bool relayoutPosted_ = false;

  // fonts_ are the page's own size (printing); viewFonts_ the window's, at
  // its zoom. The zoom stays from page to page.
  TPlainFonts fonts_;
  TPlainFonts viewFonts_;
  int layoutWidth_ = 0;  // page pixels
  int scroll_ = 0;       // pixels of the zoomed view
  int pressedLink_ = -1;

  uint32_t downloadControl_ = 0;
  uint32_t hostFlags_ = 0;
  TPlainPageSetup pageSetup_;
  int printCount_ = 0;
};

#undef PB_NOTIMPL
