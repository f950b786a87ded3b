// The skinned window frame: a component that takes over its form's whole
// non-client area.
//
// TSkDefaultForm hooks the form's window (TSkHook), sizes the frame
// (WM_NCCALCSIZE), hit-tests it by zones, paints caption, borders and caption
// buttons, runs moving and sizing itself (the whole window, or a XOR outline
// applied on release), snaps moved windows to the work area's edges, and
// keeps five window states: the platform's normal, maximized and minimized,
// plus rolled up (caption bar only) and hidden behind an icon in the
// notification area. Without a theme it draws a plain frame in system
// colours with platform metrics. TSkForm adds ThemeLink and ThemeObject and
// takes geometry, hit-testing and drawing from the theme's window family
// whenever the theme defines the form's window kind.
//
// Frame zones (ZoneAt) use the codes of TskHitCode plus kfzNone (6) and
// kfzNothingHot (18); ZoneHitTestValue turns a zone into the platform's
// hit-test value.
//
// Windows only; everything runs on the window thread.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/forms.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_effect.h"
#include "skin/frame/sk_hook.h"
#include "skin/menus/sk_menus.h"
#include "skin/sk_blending.h"
#include "skin/sk_theme.h"

class TSkMenuBar;

enum TSkBorderIcon : uint8_t {
  kbiClose,
  kbiSystemMenu,
  kbiMinimize,
  kbiMaximize,
  kbiHelp,
  kbiRollup,
  kbiTray,
  kbiTop,
  kbiCustom,
};
using TSkBorderIcons = unsigned;
constexpr TSkBorderIcons BorderIconBit(TSkBorderIcon icon) { return 1u << icon; }
constexpr TSkBorderIcons kSkDefaultBorderIcons = BorderIconBit(kbiClose) | BorderIconBit(kbiSystemMenu) |
                                                 BorderIconBit(kbiMinimize) | BorderIconBit(kbiMaximize) |
                                                 BorderIconBit(kbiRollup) | BorderIconBit(kbiTray);

enum TSkBorderStyle : uint8_t { kbsNone, kbsBorder, kbsStandard, kbsDialog, kbsToolWindow };
enum TSkFormDragMode : uint8_t { kfdmBorder, kfdmFullDrag, kfdmSystemSettings };
enum TSkFormPerformance : uint8_t { qvfpNoBuffer, qvfpSharedBuffer, qvfpPersistentBuffer, qvfpDoubleBuffer };
enum TSkWindowState : uint8_t { kwsNormal, kwsMaximized, kwsMinimized, kwsRollup, kwsTray };

// Zones beyond the theme's hit codes.
constexpr int kfzNone = 6;
constexpr int kfzNothingHot = 18;

// Messages the frame posts to its own window.
constexpr UINT kSkMsgRestoreCaption = 1389;  // WParam kSkRestoreCaptionCode
constexpr WPARAM kSkRestoreCaptionCode = 13;
constexpr UINT kSkMsgMaximize = 1390;
constexpr UINT kSkMsgApplyState = 1391;  // WParam 1 maximize, 2 minimize, 3 roll up, 4 tray
constexpr UINT kSkMsgTrayCallback = 1388;
// Sent to the window (WParam its own handle) before it goes to the tray; 1
// keeps it out.
constexpr UINT kSkMsgQueryTray = 17684;
// Sent by a theme link to the forms linked to it (LParam: the link) when its
// theme changed: the frame is measured again.
constexpr UINT kSkMsgLinkThemeChanged = SKM_THEMECHANGE + 1;
// The length of the tray tip the frame keeps.
constexpr size_t kSkTrayTipLength = 63;

// The platform hit-test value of a zone.
LRESULT ZoneHitTestValue(int zone, bool moveable, bool sizeable, bool maximized);
// Whether a top-level window has a taskbar button of its own: one without
// an owner, or one given the application-window style. Such a window is
// minimized by the platform (to its button), the others by the frame.
bool HasTaskbarButton(HWND window);
// The theme's window kind of a border style.
uint8_t WindowKindOf(TSkBorderStyle style);
// The caption buttons handed to the theme for a style, icons and state.
TskWindowButtons FrameButtons(TSkBorderStyle style, TSkBorderIcons icons, TSkWindowState state);

// One entry of the system menu; "-" is a separator.
struct TSkSystemMenuEntry {
  std::wstring Caption;
  int ImageIndex = -1;
  std::wstring ShortCut;
  bool operator==(const TSkSystemMenuEntry&) const = default;
};
// The system menu's entries for a state and the border icons.
std::vector<TSkSystemMenuEntry> SystemMenuEntries(TSkWindowState state, TSkBorderIcons icons);

class TSkDragging {
 public:
  bool Moveable = true;
  bool Sizeable = true;
  TSkFormDragMode DragMode = kfdmFullDrag;
};

class TSkGravitation {
 public:
  bool Enabled = true;
  int Size() const { return size_; }
  void SetSize(int value) { size_ = value <= 1 ? 1 : value > 50 ? 50 : value; }

 private:
  int size_ = 20;
};

struct TSkConstraints {
  int MinWidth = 0;
  int MinHeight = 0;
  int MaxWidth = 0;
  int MaxHeight = 0;
};

// Allow starts true; false cancels the action.
using TSkFormActionEvent = std::function<void(TObject* sender, bool& allow)>;

class TSkDefaultForm : public TSkHook, public TskThemeClient {
 public:
  // The owner is the form the frame skins; it is given a sizeable frame
  // with minimize and maximize icons (the platform's frame is never drawn).
  explicit TSkDefaultForm(TComponent* owner);
  ~TSkDefaultForm() override;

  TForm* Form() const { return form_; }

  // ---- stored properties ----
  TSkAnimation& Animation() { return animation_; }
  TSkBlending& Blending() { return blending_; }
  TSkBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TSkBorderIcons value);
  bool HasIcon(TSkBorderIcon icon) const { return (borderIcons_ & BorderIconBit(icon)) != 0; }
  TSkBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TSkBorderStyle value);
  std::wstring Caption() const;
  void SetCaption(const std::wstring& value);
  TSkDragging& Dragging() { return dragging_; }
  TSkGravitation& Gravitation() { return gravitation_; }
  TSkConstraints& Constraints() { return constraints_; }
  TSkMenuBar* MenuBar() const { return menuBar_; }
  void SetMenuBar(TSkMenuBar* value);
  // The look of the system menu and of the tray menu.
  TSkPopupMenuOptions& SystemMenuOptions() { return systemMenuOptions_; }
  TSkPopupMenuOptions& TrayMenuOptions() { return trayMenuOptions_; }
  // A menu shown instead of the system menu, and the menu of the tray icon.
  TSkPopupMenu* SystemMenuLink() const { return systemMenuLink_; }
  void SetSystemMenuLink(TSkPopupMenu* value);
  // The linked menu's items join the system menu instead of replacing it,
  // after its own entries or (MergeAtFirst) before them.
  bool SystemMenuLinkMerge() const { return systemMenuLinkMerge_; }
  void SetSystemMenuLinkMerge(bool value) { systemMenuLinkMerge_ = value; }
  bool SystemMenuLinkMergeAtFirst() const { return systemMenuLinkMergeAtFirst_; }
  void SetSystemMenuLinkMergeAtFirst(bool value) { systemMenuLinkMergeAtFirst_ = value; }
  TSkPopupMenu* TrayMenuLink() const { return trayMenuLink_; }
  void SetTrayMenuLink(TSkPopupMenu* value);
  // The system menu as last built (nullptr before its first showing).
  TSkPopupMenu* SystemMenu() const { return systemMenu_; }
  bool MinimizeApplication() const { return minimizeApplication_; }
  void SetMinimizeApplication(bool value) { minimizeApplication_ = value; }
  TSkFormPerformance Performance() const { return performance_; }
  void SetPerformance(TSkFormPerformance value) { performance_ = value; }
  TSkShadow& Shadow() { return shadow_; }
  bool StayOnTop() const { return stayOnTop_; }
  void SetStayOnTop(bool value);
  bool StretchBackground() const { return stretchBackground_; }
  void SetStretchBackground(bool value) { stretchBackground_ = value; }
  TSkWindowState WindowState() const { return state_; }
  // At run time the matching action; while loading only recorded.
  void SetWindowState(TSkWindowState value);

  TNotifyEvent OnFormShown;
  TNotifyEvent OnCreate;
  TNotifyEvent OnResize;
  TSkFormActionEvent OnClose;
  TSkFormActionEvent OnMinimize;
  TSkFormActionEvent OnMaximize;
  TSkFormActionEvent OnRollup;
  TSkFormActionEvent OnMinToTray;

  // ---- state ----
  TSkWindowState PrevState() const { return prevState_; }
  TSkWindowState PendingState() const { return pendingState_; }
  const TRect& NormalBounds() const { return normalBounds_; }
  bool CaptionActive() const { return captionActive_; }
  int HotZone() const { return hotZone_; }
  int PressedZone() const { return pressedZone_; }
  bool DragActive() const { return dragActive_; }
  bool OutlineMode() const { return outlineMode_; }
  const TRect& OutlineRect() const { return outlineRect_; }
  bool FramePaintEnabled() const { return framePaintEnabled_; }
  // While one of the window's menus makes a pop-up visible the frame does
  // not paint.
  bool PopupShowing() const { return popupShowing_; }
  // The reader can size the window by its frame now (sizeable, normal state).
  bool CanSize() const { return dragging_.Sizeable && state_ == kwsNormal; }
  int WindowWidth() const { return windowWidth_; }
  int WindowHeight() const { return windowHeight_; }
  int FrameWidth() const;
  int FrameHeight() const;
  // The notification-area record (valid while in the tray state and after).
  const NOTIFYICONDATAW& TrayIconData() const { return trayData_; }
  bool TrayIconShown() const { return trayIconShown_; }

  // ---- actions ----
  void CloseForm();
  void RestoreForm();
  void MaximizeForm();
  void MinimizeForm();
  void RollupForm();
  void MinimizeToTray();
  void ShowHelp();
  // Screen coordinates.
  void ShowSystemMenu(TPoint point);
  // What choosing a system-menu entry does: the entry is known by its
  // caption.
  void SystemMenuCommand(const std::wstring& caption);

  // ---- frame operations ----
  virtual void UpdateRegion();
  // The window's region (the caller owns it); nullptr for a rectangle.
  virtual HRGN WindowRegion();
  // Index: 0 close, 1 system menu, 2 minimize, 3 maximize, 4 help, 5 roll-up,
  // 6 tray; window coordinates; empty when the button is not shown.
  virtual TRect ButtonRect(int index);
  // The client rectangle in window coordinates.
  virtual TRect ClientRect();
  virtual TRect RolledUpRect();
  virtual TRect MinimizedRect();
  virtual TRect MaximizedRect();
  virtual TSize MaxTrackSize();
  virtual TSize MinTrackSize();
  virtual TRect SizeGripRect();
  virtual void PaintSizeGrip(TCanvas& canvas);
  // Caption, borders and buttons onto canvas (window coordinates).
  virtual void DrawFrame(TCanvas& canvas);
  virtual void PaintClientBackground(TCanvas& canvas);
  // Window coordinates.
  virtual int ZoneAt(int x, int y);
  // Draws the frame onto the window.
  void PaintFrame();
  // After a change of style, icons or theme: the frame is measured again
  // and the client area keeps its size.
  void ReapplyFrame();
  // The picture the show animation ends on: the frame drawn active, the
  // client background and the child controls; opaque, with the key colour
  // outside the window's region and wherever a colour lies within 5 of it.
  std::unique_ptr<TskBitmap> ComposeShowPicture();
  bool Animating() const { return animating_; }
  // The screen under the window, captured on every move and size while
  // the shadow or blending is on (nullptr before the first capture).
  const TskBitmap* BackgroundImage() const { return backgroundImage_.get(); }
  // The shadow's width right of and below the frame (0 when off or
  // maximized).
  int ShadowSize() const { return shadow_.Enabled() && state_ != kwsMaximized ? shadow_.Size() : 0; }

  void ThemeChanged(TskThemeChange code, intptr_t argument) override;

 protected:
  void Loaded() override;
  void BeforeMessage(TMessage& message) override;
  void AfterMessage(TMessage& message) override;

  // Builds the system menu from its entries and pops it up at point
  // (screen); each entry's click is carried out by SystemMenuCommand.
  virtual void PopupSystemMenu(const std::vector<TSkSystemMenuEntry>& entries, TPoint point);
  void Notification(TComponent* component, TOperation operation) override;

  // The caption and the title of the system-menu icon for drawing.
  HICON SmallIcon() const;
  bool Maximized() const { return state_ == kwsMaximized; }
  // The frame margins: client rectangle against the window size.
  void FrameMargins(int& left, int& top, int& right, int& bottom);
  // Shares the drawing surface choice (see PaintFrame).
  void DrawFrameOn(HDC dc);
  // A point (window coordinates) on the shown size grip of a skinned status
  // bar of the form.
  bool StatusBarGripAt(int x, int y) const;

 private:
  static LRESULT CALLBACK TrayWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void HandleNcCalcSize(TMessage& message);
  void HandleSysCommand(TMessage& message);
  // Records a left press (screen point, when it happened) and tells
  // whether it is the second of a double click: the same zone as the
  // previous press, within the platform's double-click time and distance.
  bool SecondPress(TPoint screen, DWORD time);
  void FrameMouseDown(TPoint screen, bool doubleClick);
  void FrameMouseMove(TPoint screen);
  void FrameMouseUp(TPoint screen, bool right, bool doubleClick);
  void EndDrag();
  void DrawOutline(const TRect& rect);
  TRect ApplyGravitation(TRect bounds);
  TRect WorkArea();
  void SetFormBounds(const TRect& bounds);
  void SaveNormalBounds();
  bool Ask(const TSkFormActionEvent& event);
  void ApplyPendingState(WPARAM code);
  void AddTrayIcon();
  void RemoveTrayIcon();
  void HoverTick();
  void CaptureBackground(const TRect& screenBounds);
  // Lays the shadow band over the background and mixes the frame with it
  // by Blending.Value (buffer: the whole window, frame drawn).
  void ComposeShadowAndBlending(TskBitmap& buffer);
  // Mixes area of picture (window coordinates) with the background by
  // Blending.Value.
  void BlendWithBackground(TskBitmap& picture, const TRect& area);
  bool Composed() const { return blending_.Enabled() || ShadowSize() > 0; }
  // Plays Animation on the screen where the window is about to appear.
  void RunShowAnimation(const TRect& screenBounds);
  // The menu bar's keyboard tracking (the letter that started it waits in
  // the queue as a character).
  void RunMenuBarTracking();
  // Copies of the linked menu's items (and their submenus) into parent;
  // choosing a copy runs the linked item's click.
  void MergeLinkedItems(TSkItem& parent, TSkItem& linked);
  // Shows a linked menu (tray or system) with options at point.
  void PopupLinkedMenu(TSkPopupMenu& menu, const TSkPopupMenuOptions& options, TPoint point, bool foreground);
  // The form's shortcut handling, chained so that the menu bar sees keys
  // first.
  void ChainShortCuts();
  TPoint ToWindow(TPoint screen) const;

  TForm* form_ = nullptr;
  TSkAnimation animation_;
  TSkBlending blending_;
  TSkBorderIcons borderIcons_ = kSkDefaultBorderIcons;
  TSkBorderStyle borderStyle_ = kbsStandard;
  TSkDragging dragging_;
  TSkGravitation gravitation_;
  TSkConstraints constraints_;
  TSkMenuBar* menuBar_ = nullptr;
  TSkPopupMenuOptions systemMenuOptions_;
  TSkPopupMenuOptions trayMenuOptions_;
  TSkPopupMenu* systemMenuLink_ = nullptr;
  bool systemMenuLinkMerge_ = false;
  bool systemMenuLinkMergeAtFirst_ = false;
  TSkPopupMenu* trayMenuLink_ = nullptr;
  TSkPopupMenu* systemMenu_ = nullptr;  // owned through the component list
  // Expires with the frame: handlers it leaves with the form test it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool minimizeApplication_ = true;
  TSkFormPerformance performance_ = qvfpNoBuffer;
  TSkShadow shadow_;
  bool stayOnTop_ = false;
  bool stretchBackground_ = false;

  TSkWindowState state_ = kwsNormal;
  TSkWindowState prevState_ = kwsNormal;
  TSkWindowState pendingState_ = kwsNormal;
  bool applyingPending_ = false;
  TRect normalBounds_;
  bool captionActive_ = false;
  struct TPress {
    bool Valid = false;
    TPoint Point;
    DWORD Time = 0;
    int Zone = kfzNothingHot;
  };
  TPress lastPress_;  // the last left press on the frame
  int hotZone_ = kfzNothingHot;
  int pressedZone_ = kfzNothingHot;
  bool dragActive_ = false;
  bool outlineMode_ = false;
  bool outlineDrawn_ = false;
  TPoint dragStart_;
  TPoint dragLast_;
  TRect dragStartBounds_;
  TRect outlineRect_;
  bool framePaintEnabled_ = true;
  bool popupShowing_ = false;      // a menu's pop-up is being made visible
  bool framePaintMissed_ = false;  // a paint was skipped meanwhile
  bool shown_ = false;
  bool animating_ = false;
  int windowWidth_ = 0;
  int windowHeight_ = 0;
  NOTIFYICONDATAW trayData_{};
  HWND trayWindow_ = nullptr;
  bool trayIconShown_ = false;
  UINT_PTR hoverTimer_ = 0;
  // The frame's own bitmap of qvfpPersistentBuffer, kept at the window's
  // size.
  std::unique_ptr<TskBitmap> persistentBuffer_;
  std::unique_ptr<TskBitmap> backgroundImage_;
};

class TSkForm : public TSkDefaultForm {
 public:
  explicit TSkForm(TComponent* owner);
  ~TSkForm() override;

  TskCustomThemeLink* ThemeLink() const { return themeLink_; }
  void SetThemeLink(TskCustomThemeLink* link);
  const std::string& ThemeObject() const { return themeObject_; }
  void SetThemeObject(const std::string& value);

  // Whether the theme defines the form's window kind for its object.
  bool UsesTheme();
  TskTheme* Theme() const { return ThemeOf(themeLink_); }
  // What the theme is told about the window.
  TskWindowInfo WindowInfo();

  HRGN WindowRegion() override;
  TRect ButtonRect(int index) override;
  TRect ClientRect() override;
  TRect MaximizedRect() override;
  TSize MinTrackSize() override;
  void PaintSizeGrip(TCanvas& canvas) override;
  void DrawFrame(TCanvas& canvas) override;
  void PaintClientBackground(TCanvas& canvas) override;
  int ZoneAt(int x, int y) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void BeforeMessage(TMessage& message) override;

 private:
  void DrawThemedFrame(TCanvas& canvas, TskTheme& theme, const TskWindowInfo& info);

  TskCustomThemeLink* themeLink_ = nullptr;
  std::string themeObject_ = kDefaultObjectName;
};
