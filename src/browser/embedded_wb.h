// TEmbeddedWB: the window control that hosts a web browser inside a form.
//
// It places the platform's web-browser ActiveX control in its window and acts
// as that control's container (see embedded_wb.cpp for how the container is
// put together). Where the platform control cannot be created or cannot
// render pages (no HTML engine installed), it hosts the built-in plain
// browser instead (plain_browser.h); both are driven through the same OLE
// interfaces, so everything below works the same with either.
//
// Everything runs on the window thread that created the host, in the
// single-threaded apartment OLE was initialised with there: the caller's to
// set up (ShowEbook does, for the length of its call). On a thread without
// it the platform's control cannot be made and the plain browser is used.
#pragma once

#include <windows.h>
#include <exdisp.h>  // IWebBrowser2
#include <mshtmhst.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "browser/com_ptr.h"
#include "browser/web_browser_ids.h"
#include "forms/controls.h"
#include "forms/forms.h"  // TCloseQueryEvent
#include "runtime/string_list.h"

// A failing result code of the browser, with the platform's text for it.
class EOleSysError : public Exception {
 public:
  EOleSysError(std::string message, HRESULT code) : Exception(std::move(message)), ErrorCode(code) {}
  HRESULT ErrorCode;
};

// ---- print options -----------------------------------------------------------

enum TPrintOrientationOption { poPortrait, poLandscape };

// Page margins in millimetres.
class TMargins {
 public:
  double Left = 0;
  double Right = 0;
  double Top = 0;
  double Bottom = 0;
};

class TPrintOptions {
 public:
  TPrintOptions() { HTMLHeader.Add("<HTML></HTML>"); }
  TMargins Margins;
  std::string Header;
  std::string Footer;
  // Held for callers; page setup and printing do not use it.
  TStringList HTMLHeader;
  TPrintOrientationOption Orientation = poPortrait;
};

// ---- option sets ---------------------------------------------------------------
//
// Each member of a set stands for the platform flag of the same name (with
// the DLCTL_ / DOCHOSTUIFLAG_ prefix, left off here because the platform
// headers claim those names), and its enumerator value is that flag. A set is
// held as the sum of its members' flags, which is exactly the value handed to
// the browser.

enum class TDownloadControlOption : uint32_t {
  DLIMAGES = 0x10,
  VIDEOS = 0x20,
  BGSOUNDS = 0x40,
  NO_SCRIPTS = 0x80,
  NO_JAVA = 0x100,
  NO_RUNACTIVEXCTLS = 0x200,
  NO_DLACTIVEXCTLS = 0x400,
  DOWNLOADONLY = 0x800,
  NO_FRAMEDOWNLOAD = 0x1000,
  RESYNCHRONIZE = 0x2000,
  PRAGMA_NO_CACHE = 0x4000,
  NO_BEHAVIORS = 0x8000,
  NO_METACHARSET = 0x10000,
  URL_ENCODING_DISABLE_UTF8 = 0x20000,
  URL_ENCODING_ENABLE_UTF8 = 0x40000,
  FORCEOFFLINE = 0x10000000,
  NO_CLIENTPULL = 0x20000000,
  SILENT = 0x40000000,
  OFFLINE = 0x80000000,
};

enum class TUserInterfaceOption : uint32_t {
  DIALOG = 0x1,
  DISABLE_HELP_MENU = 0x2,
  NO3DBORDER = 0x4,
  SCROLL_NO = 0x8,
  DISABLE_SCRIPT_INACTIVE = 0x10,
  OPENNEWWIN = 0x20,
  DISABLE_OFFSCREEN = 0x40,
  FLAT_SCROLLBAR = 0x80,
  DIV_BLOCKDEFAULT = 0x100,
  ACTIVATE_CLIENTHIT_ONLY = 0x200,
  OVERRIDEBEHAVIORFACTORY = 0x400,
  CODEPAGELINKEDFONTS = 0x800,
  URL_ENCODING_DISABLE_UTF8 = 0x1000,
  URL_ENCODING_ENABLE_UTF8 = 0x2000,
  ENABLE_FORMS_AUTOCOMPLETE = 0x4000,
  ENABLE_INPLACE_NAVIGATION = 0x10000,
  IME_ENABLE_RECONVERSION = 0x20000,
};

using TDownloadControlOptions = uint32_t;  // sum of TDownloadControlOption flags
using TUserInterfaceOptions = uint32_t;    // sum of TUserInterfaceOption flags

constexpr uint32_t operator|(TDownloadControlOption a, TDownloadControlOption b) {
  return static_cast<uint32_t>(a) | static_cast<uint32_t>(b);
}
constexpr uint32_t operator|(uint32_t a, TDownloadControlOption b) { return a | static_cast<uint32_t>(b); }
constexpr uint32_t operator|(TUserInterfaceOption a, TUserInterfaceOption b) {
  return static_cast<uint32_t>(a) | static_cast<uint32_t>(b);
}
constexpr uint32_t operator|(uint32_t a, TUserInterfaceOption b) { return a | static_cast<uint32_t>(b); }

inline constexpr TDownloadControlOptions kDefaultDownloadOptions =
    TDownloadControlOption::DLIMAGES | TDownloadControlOption::VIDEOS | TDownloadControlOption::BGSOUNDS;
inline constexpr TUserInterfaceOptions kDefaultUserInterfaceOptions =
    static_cast<uint32_t>(TUserInterfaceOption::URL_ENCODING_ENABLE_UTF8);


// ---- events ----------------------------------------------------------------------

using TCommandStateChangeEvent = std::function<void(TObject* sender, long command, bool enable)>;
// ppDisp: hand back the Application object of the browser that is to load
// the new window's page (AddRef'ed; the browser releases it).
using TNewWindow2Event = std::function<void(TObject* sender, IDispatch** ppDisp, bool& cancel)>;
using TDocumentCompleteEvent = std::function<void(TObject* sender)>;
using TTitleChangeEvent = std::function<void(TObject* sender, const std::wstring& text)>;
using TNavigateComplete2Event = std::function<void(TObject* sender, const std::wstring& url)>;

// Optional container handlers: when one is assigned, the container method of
// the same name calls it and answers its result instead of the default.
using TShowContextMenuEvent = std::function<HRESULT(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* object)>;
using TGetHostInfoEvent = std::function<HRESULT(DOCHOSTUIINFO* info)>;
using TShowUIEvent = std::function<HRESULT(DWORD id, IOleInPlaceActiveObject* activeObject,
                                           IOleCommandTarget* commandTarget, IOleInPlaceFrame* frame,
                                           IOleInPlaceUIWindow* document)>;
using THResultEvent = std::function<HRESULT()>;  // HideUI, UpdateUI
using TBoolHResultEvent = std::function<HRESULT(BOOL value)>;  // EnableModeless, On...Activate
using TResizeBorderEvent = std::function<HRESULT(const RECT* border, IOleInPlaceUIWindow* window, BOOL frameWindow)>;
using THostTranslateAcceleratorEvent = std::function<HRESULT(MSG* message, const GUID* group, DWORD commandId)>;
using TGetKeyPathEvent = std::function<HRESULT(LPOLESTR* key, DWORD reserved)>;
using TGetDropTargetEvent = std::function<HRESULT(IDropTarget* dropTarget, IDropTarget** result)>;
using TGetExternalEvent = std::function<HRESULT(IDispatch** external)>;
using TTranslateUrlEvent = std::function<HRESULT(DWORD translate, OLECHAR* url, OLECHAR** result)>;
using TFilterDataObjectEvent = std::function<HRESULT(IDataObject* object, IDataObject** result)>;
using TShowMessageEvent = std::function<HRESULT(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type,
                                                LPOLESTR helpFile, DWORD helpContext, LRESULT* result)>;
using TShowHelpEvent = std::function<HRESULT(HWND window, LPOLESTR helpFile, UINT command, DWORD data,
                                             POINT point, IDispatch* hit)>;
using TGetTypeInfoCountEvent = std::function<HRESULT(UINT* count)>;
using TGetTypeInfoEvent = std::function<HRESULT(UINT index, LCID lcid, ITypeInfo** info)>;
using TGetIDsOfNamesEvent = std::function<HRESULT(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)>;
using TInvokeEvent = std::function<HRESULT(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                           VARIANT* result, EXCEPINFO* exception, UINT* argumentError)>;
using TQueryServiceEvent = std::function<HRESULT(REFGUID service, REFIID iid, void** object)>;
// Exec of the container's command target, for one command of a group
// (refresh, script error, unload, show dialog).
using TCommandEvent = std::function<HRESULT(DWORD option, VARIANT* in, VARIANT* out)>;

class TPlainBrowser;
class TWBSite;

class TEmbeddedWB : public TWinControl {
 public:
  // Creates the browser control (the platform's, or the plain browser where
  // that one cannot render) and sets the defaults: both option sets,
  // fpExceptions true, EnableDDE false, the print options.
  explicit TEmbeddedWB(TComponent* owner);
  ~TEmbeddedWB() override;

  // Navigation. A failing result code raises an Exception whose message is
  // the platform's text for the code.
  void Navigate(const std::wstring& url);
  void GoBack();
  void GoForward();
  void Stop();

  // Property reads through IDispatch by dispatch id (210, 211); a failing
  // result code raises an Exception.
  std::wstring LocationName();
  std::wstring LocationURL();
  // 200 and 203: AddRef'ed interfaces the caller releases; Document may be
  // null (nothing loaded yet).
  IDispatch* Application();
  IDispatch* Document();

  // The control's automation interface, obtained once and kept (not
  // AddRef'ed for the caller).
  IWebBrowser2* DefaultInterface() const { return browser_.Get(); }

  // The view's zoom in percent through the control's own optical zoom
  // (OLECMDID_OPTICAL_ZOOM); both browsers take 10 to 1000. SetZoom answers
  // whether the browser took it (an older platform control has no optical
  // zoom); Zoom reads it back, 100 when the browser cannot tell.
  bool SetZoom(int percent);
  int Zoom();
  // Whether the keyboard focus is in a field of the page that takes typing
  // (a text field, a text area, editable content): keys such as Backspace
  // are then the field's.
  bool FocusInPageField();

  // Page setup and printing through the document's command target.
  TPrintOptions& PrintOptions() { return printOptions_; }
  // fill: the next page-setup dialog a host's owner window sees activated is
  // filled from PrintOptions and confirmed.
  void ApplyPageSetup(bool fill);
  // Prints without a dialog.
  void PrintDocument();
  // Exec on the document's command target, no command group, empty
  // variants; nothing happens without a document, and failures are
  // swallowed.
  void ExecDocumentCommand(int command, int option);

  TDownloadControlOptions DownloadOptions() const { return downloadOptions_; }
  void SetDownloadOptions(TDownloadControlOptions options);
  TUserInterfaceOptions UserInterfaceOptions() const { return userInterfaceOptions_; }
  void SetUserInterfaceOptions(TUserInterfaceOptions options);
  // The values handed to the browser (ambient -5512 and the host info flags).
  uint32_t DownloadControlValue() const { return downloadControlValue_; }
  uint32_t HostUIValue() const { return hostUIValue_; }

  const std::wstring& UserAgent() const { return userAgent_; }
  void SetUserAgent(const std::wstring& value) { userAgent_ = value; }
  bool ReplaceCaption() const { return replaceCaption_; }
  void SetReplaceCaption(bool value) { replaceCaption_ = value; }
  bool EnableDDE() const { return enableDDE_; }
  void SetEnableDDE(bool value) { enableDDE_ = value; }
  const std::wstring& HelpFile() const { return helpFile_; }
  void SetHelpFile(const std::wstring& value) { helpFile_ = value; }
  // true: the floating-point control word saved when the library was loaded;
  // false: every floating-point exception masked (0x133F).
  bool fpExceptions() const { return fpExceptions_; }
  void SetfpExceptions(bool value);

  // True when the built-in plain browser is hosted, and that browser.
  bool UsesPlainBrowser() const { return plain_ != nullptr; }
  TPlainBrowser* PlainBrowser() const { return plain_; }
  // The browser control's own window (the in-place object's), or null.
  HWND ControlWindow() const { return controlWindow_; }
  // The container's client site, AddRef'ed: what the browser talks to.
  IOleClientSite* ClientSite() const;

  // Whether the user's locale measures in inches (read at construction).
  bool MeasuresInInches() const { return inches_; }

  // End of loading: recompute the option values, install the owner and
  // control filters, register the user-agent value.
  void Loaded() override;

  TCommandStateChangeEvent OnCommandStateChange;
  TNewWindow2Event OnNewWindow2;
  TDocumentCompleteEvent OnDocumentComplete;
  TTitleChangeEvent OnTitleChange;
  TNavigateComplete2Event OnNavigateComplete2;
  TCloseQueryEvent OnCloseQuery;

  TShowContextMenuEvent OnShowContextMenu;
  TGetHostInfoEvent OnGetHostInfo;
  TShowUIEvent OnShowUI;
  THResultEvent OnHideUI;
  THResultEvent OnUpdateUI;
  TBoolHResultEvent OnEnableModeless;
  TBoolHResultEvent OnOnDocWindowActivate;
  TBoolHResultEvent OnOnFrameWindowActivate;
  TResizeBorderEvent OnResizeBorder;
  THostTranslateAcceleratorEvent OnTranslateAccelerator;
  TGetKeyPathEvent OnGetOptionKeyPath;
  TGetKeyPathEvent OnGetOverrideKeyPath;
  TGetDropTargetEvent OnGetDropTarget;
  TGetExternalEvent OnGetExternal;
  TTranslateUrlEvent OnTranslateUrl;
  TFilterDataObjectEvent OnFilterDataObject;
  TShowMessageEvent OnShowMessage;
  TShowHelpEvent OnShowHelp;
  TGetTypeInfoCountEvent OnGetTypeInfoCount;
  TGetTypeInfoEvent OnGetTypeInfo;
  TGetIDsOfNamesEvent OnGetIDsOfNames;
  TInvokeEvent OnInvoke;
  TQueryServiceEvent OnQueryService;
  TCommandEvent OnRefresh;
  TCommandEvent OnScriptError;
  TCommandEvent OnUnload;
  TCommandEvent OnShowDialog;

  // The process-wide request to fill the next page-setup dialog.
  static bool PageSetupPending();
  static void SetPageSetupPending(bool value);
  // The margin as the page-setup dialog expects it: millimetres, or inches
  // on a locale that measures in inches; the shortest general form (up to
  // 15 significant digits) with the locale's decimal separator.
  static std::wstring MarginText(double millimetres, bool inches, wchar_t decimalSeparator);
  // The registry key of the user-agent token, under HKEY_CURRENT_USER.
  static const wchar_t* const kUserAgentKey;

 protected:
  void CreateParams(TCreateParams& params) override;
  void HandleCreated() override;
  void WndProc(TMessage& message) override;
  void BoundsChanged(bool sizeChanged) override;

 private:
  friend class TWBSite;

  void CreateControl();
  void ActivateControl();
  void DestroyControl();
  void NotifyDownloadControl();
  void RecomputeValues();
  void HookOwner();
  void UnhookOwner();
  void HookControl();
  void UnhookControl();
  void RegisterUserAgent();
  void UnregisterUserAgent();
  TComPtr<IDispatch> PropertyDispatch(DISPID id, bool mayBeNull);
  std::wstring PropertyString(DISPID id);
  void FillPageSetupDialog(HWND dialog);
  void RebrandDialog(HWND dialog);
  bool OfferKey(MSG& message);
  void ResizeControl();

  static LRESULT CALLBACK OwnerFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlFilter(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  TComPtr<TWBSite> site_;
  TComPtr<IOleObject> oleObject_;  // the control
  TComPtr<IWebBrowser2> browser_;
  TPlainBrowser* plain_ = nullptr;  // the same object as oleObject_ when plain
  TComPtr<IConnectionPoint> eventPoint_;
  DWORD eventCookie_ = 0;
  HWND controlWindow_ = nullptr;
  bool activated_ = false;

  HWND ownerWindow_ = nullptr;
  WNDPROC ownerPrevious_ = nullptr;
  WNDPROC controlPrevious_ = nullptr;
  bool userAgentRegistered_ = false;

  TPrintOptions printOptions_;
  TDownloadControlOptions downloadOptions_ = 0;
  TUserInterfaceOptions userInterfaceOptions_ = 0;
  uint32_t downloadControlValue_ = 0;
  uint32_t hostUIValue_ = 0;
  std::wstring userAgent_;
  bool replaceCaption_ = false;
  bool enableDDE_ = false;
  std::wstring helpFile_;
  bool fpExceptions_ = true;
  bool inches_ = false;
};

// Floating-point control words (x87).
uint16_t CurrentFpuControlWord();
// The control word saved when the library was loaded.
uint16_t SavedFpuControlWord();
