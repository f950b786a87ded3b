// The site's interfaces: in-place activation, the host's say over the
// browser's user interface, commands, services, ambient properties and the
// event sink. See embedded_wb.cpp for why they are one object.
#include <windows.h>
#include <olectl.h>

#include <cwchar>

#include "browser/embedded_wb_site.h"
#include "browser/web_browser_ids.h"
#include "runtime/ansi.h"

using wb::Arg;
using wb::ArgLong;
using wb::ArgString;
using wb::ReportException;

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
