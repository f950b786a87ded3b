// What the files of the browser container share: the site's classes (its
// identity and the small class per interface it hands out), and helpers for
// results, exceptions and event arguments. Windows only.
#pragma once

#include <windows.h>
#include <docobj.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <servprov.h>

#include <string>
#include <utility>

#include "browser/com_ptr.h"
#include "browser/embedded_wb.h"

namespace wb {

// Raises EOleSysError for a failed result.
void Check(HRESULT hr);
// Reports what a handler raised through Application->HandleException.
void ReportException(TObject* sender);
// Arguments of an event arrive last first; a by-reference argument may be
// passed for any of them. Null when there is no such argument.
VARIANT* Arg(DISPPARAMS* params, UINT indexFromFirst);
long ArgLong(DISPPARAMS* params, UINT index);
std::wstring ArgString(DISPPARAMS* params, UINT index);
// Set while the next page-setup dialog is to be filled from PrintOptions and
// confirmed (ApplyPageSetup); library-wide, as there is one such dialog.
extern bool pageSetupPending;

}  // namespace wb

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
class TEventSink : public TComObject<TEventSink, TNamelessDispatch<IDispatch>> {
 public:
  static constexpr TInterfaceEntry<TEventSink> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TEventSink, IDispatch>},
      {&IID_IDispatch, InterfaceOf<TEventSink, IDispatch>},
      {&DIID_DWebBrowserEvents2, InterfaceOf<TEventSink, IDispatch>},
  };

  explicit TEventSink(TWBSite& site) : site_(site) {}
  IUnknown& LifetimeOwner();
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
