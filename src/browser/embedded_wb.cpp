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
#include <mshtml.h>
#include <ocidl.h>
#include <olectl.h>

#include <cwchar>
#include <map>
#include <vector>

#include "browser/embedded_wb_site.h"
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

// The floating-point control word the host had when the library was
// loaded comes back when it is unloaded. (OLE is the caller's: ShowEbook
// initialises it on its own thread for the length of the call.)
struct TControlWordRestore {
  ~TControlWordRestore() { LoadControlWord(savedControlWord); }
};
TControlWordRestore controlWordRestore;

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

}  // namespace

namespace wb {

bool pageSetupPending = false;

void Check(HRESULT hr) {
  if (FAILED(hr)) throw EOleSysError(SysErrorMessage(hr), hr);
}

void ReportException(TObject* sender) {
  if (Application != nullptr) Application->HandleException(sender);
}

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

}  // namespace wb

using wb::Check;

uint16_t CurrentFpuControlWord() { return ReadControlWord(); }
uint16_t SavedFpuControlWord() { return savedControlWord; }

const wchar_t* const TEmbeddedWB::kUserAgentKey =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

// ---- TEmbeddedWB -------------------------------------------------------------------

TEmbeddedWB::TEmbeddedWB(TComponent* owner) : TWinControl(owner) {
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

bool TEmbeddedWB::SetZoom(int percent) {
  if (browser_ == nullptr) return false;
  VARIANT in;
  VARIANT out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_I4;
  in.lVal = percent;
  const HRESULT hr = browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, &out);
  VariantClear(&out);
  return SUCCEEDED(hr);
}

int TEmbeddedWB::Zoom() {
  if (browser_ == nullptr) return 100;
  VARIANT out;
  VariantInit(&out);
  const HRESULT hr = browser_->ExecWB(OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, &out);
  const int zoom = SUCCEEDED(hr) && out.vt == VT_I4 ? static_cast<int>(out.lVal) : 100;
  VariantClear(&out);
  return zoom;
}

// The platform's document tells its focused element; the plain browser
// shows no fields, and its document has no such interface.
bool TEmbeddedWB::FocusInPageField() {
  try {
    const TComPtr<IDispatch> document = PropertyDispatch(kDispidDocument, true);
    const auto html = document.Query<IHTMLDocument2>(__uuidof(IHTMLDocument2));
    if (!html) return false;
    TComPtr<IHTMLElement> element;
    if (FAILED(html->get_activeElement(element.Put())) || !element) return false;
    if (const auto editable = element.Query<IHTMLElement3>(__uuidof(IHTMLElement3))) {
      VARIANT_BOOL content = VARIANT_FALSE;
      if (SUCCEEDED(editable->get_isContentEditable(&content)) && content != VARIANT_FALSE) return true;
    }
    BSTR tag = nullptr;
    if (FAILED(element->get_tagName(&tag)) || tag == nullptr) return false;
    const std::wstring name(tag, SysStringLen(tag));
    SysFreeString(tag);
    if (_wcsicmp(name.c_str(), L"TEXTAREA") == 0) return true;
    if (_wcsicmp(name.c_str(), L"INPUT") != 0) return false;
    const auto input = element.Query<IHTMLInputElement>(__uuidof(IHTMLInputElement));
    if (!input) return true;
    BSTR type = nullptr;
    if (FAILED(input->get_type(&type)) || type == nullptr) return true;
    const std::wstring kind(type, SysStringLen(type));
    SysFreeString(type);
    // Buttons and boxes take no typing; every other kind of input does.
    for (const wchar_t* button : {L"button", L"submit", L"reset", L"checkbox", L"radio", L"image", L"file", L"hidden"}) {
      if (_wcsicmp(kind.c_str(), button) == 0) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
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
