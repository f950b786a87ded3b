// The plain browser's COM surface: the object's identity and lifetime, its
// event connection point and sinks, the document's command target, the
// client site, in-place activation and the keyboard accelerators.
#include "browser/plain_browser_object.h"

#include <new>
#include <utility>

#include "forms/forms_internal.h"
#include "runtime/ansi.h"

HINSTANCE PlainBrowserModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&PlainBrowserModule), &module);
  return module;
}

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
  CancelResources();
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
  CancelResources();
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

  // Registered with the framework's classes, so that it goes with them
  // when the viewer ends.
  try {
    RegisterFrameworkClass(L"EbookPlainBrowser", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                           &TPlainBrowserObject::WindowProcedure);
  } catch (...) {
    return E_FAIL;
  }
  window_ = CreateWindowExW(0, L"EbookPlainBrowser", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS,
                            where.left, where.top, where.right - where.left, where.bottom - where.top, parent, nullptr,
                            PlainBrowserModule(), static_cast<IWebBrowser2*>(this));
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
