// The theme interface and the theme manager (sk_theme.cpp, sk_theme_manager.cpp).
//
// Every skinned control paints by asking a theme. TskTheme declares one
// family of operations per kind of screen element (Defines…, …Transparent,
// …ContentRect, Paint…, …Text, …Glyph), always with the element kind first
// and the control's object name (its ThemeObject, "default" unless set):
// a theme may define several named looks for an element, and a name it does
// not know must be painted like "default". The base class answers false to
// every Defines, leaves rectangles as they are and paints plain placeholder
// shapes, so a kind overrides only what it supports and the controls fall
// back to their classic drawing for the rest.
//
// The one process-wide TskThemeManager registers the theme kinds, owns the
// current theme and tells its clients (every skinned control and the style
// driver) when the theme is set, replaced, removed or recoloured, with the
// SKM_THEMECHANGE message and a TskThemeChange code:
//   set where there was none:   tcChanging, tcSet, tcChanged
//   replaced:                   tcChanging, tcReplaced, tcChanged
//                               (the old theme is freed before tcReplaced)
//   removed:                    tcChanging, tcRemoved, tcChanged
//   recoloured:                 tcColors (visible controls and non-control
//                               clients)
//
// Lifetime: ThemeManager() creates the manager on first use (registering
// the base kind and the group-box background painter); FreeThemeLibrary()
// frees it with the current theme, the painters, the remembered fonts and
// the scratch glyph bitmap, and the next ThemeManager() starts afresh. The
// library's start-up calls ThemeManager() and its shutdown
// FreeThemeLibrary(); tests call FreeThemeLibrary() between cases. Theme-kind
// units register their kinds after the manager exists (RegisterThemeKind).
//
// Windows only; all of it runs on the window thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "forms/components.h"
#include "forms/controls.h"
#include "forms/graphics.h"
#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_theme_tables.h"

class TImageList;
class TskTheme;

// The theme-change notification: WParam the TskThemeChange code, LParam the
// argument.
constexpr UINT SKM_THEMECHANGE = 2048;

// The object name every control uses unless told otherwise.
inline const std::string kDefaultObjectName = "default";

// ---- element records -------------------------------------------------------

// Rect and a state byte.
struct TskStateRecord {
  TRect Rect;
  uint8_t State = 0;
};

// Rect, a part and its state; window buttons add their glyph (the
// system-menu icon), which may be null.
struct TskPartRecord {
  TRect Rect;
  uint8_t Part = 0;
  uint8_t State = 0;
  const TskBitmap* Glyph = nullptr;
};

// Rect and a 16-bit code: low byte a state or part, high byte a sub-kind.
struct TskCodedRecord {
  TRect Rect;
  uint16_t Code = 0;
  uint8_t Low() const { return static_cast<uint8_t>(Code & 0xFF); }
  uint8_t High() const { return static_cast<uint8_t>(Code >> 8); }
};

// An image beside a caption: Kind gk* (check mark, radio dot, sub-menu
// arrow, or Bitmap itself); State a further state byte for some families.
struct TskGlyphRecord {
  TRect Rect;
  const TskBitmap* Bitmap = nullptr;
  uint8_t Kind = gkBitmap;
  uint8_t State = 0;
};

// A group box: the frame rectangle and the caption's rectangle (empty when
// it has no caption), so the frame line can leave a gap behind the caption.
struct TskGroupBoxRecord {
  TRect Rect;
  TRect CaptionRect;
  uint8_t State = 0;
};

inline TskStateRecord MakeStateRecord(const TRect& rect, uint8_t state) { return TskStateRecord{rect, state}; }
inline TskPartRecord MakePartRecord(const TRect& rect, uint8_t part, uint8_t state,
                                    const TskBitmap* glyph = nullptr) {
  return TskPartRecord{rect, part, state, glyph};
}
inline TskCodedRecord MakeCodedRecord(const TRect& rect, uint8_t low, uint8_t high) {
  return TskCodedRecord{rect, static_cast<uint16_t>(low | (high << 8))};
}
inline TskGlyphRecord MakeGlyphRecord(const TRect& rect, const TskBitmap* bitmap, uint8_t kind,
                                      uint8_t state = 0) {
  return TskGlyphRecord{rect, bitmap, kind, state};
}
// A glyph record of image index of the list: the image is drawn into the
// shared scratch bitmap (of the list's size, filled with the key colour
// first and marked transparent when transparent is set), which is replaced
// by the next call. A bad index gives a record without a bitmap.
TskGlyphRecord MakeImageListGlyphRecord(const TRect& rect, const TImageList& list, int index, bool transparent,
                                        uint8_t state = 0);

// ---- theme kinds -----------------------------------------------------------

// A theme kind: what the class of a theme tells about itself, and its
// virtual constructor. Descriptors live as long as the program (function
// statics); the manager keeps pointers to them.
struct TskThemeClass {
  std::string KindName;
  TskThemeConfig Config;
  // Whether the stream at its position holds data of this kind; may move the
  // position (the caller restores it). Null: never.
  std::function<bool(TStream&)> CanLoadStream;
  std::function<std::unique_ptr<TskTheme>()> Create;
};

// ---- fonts -----------------------------------------------------------------

class TskThemeFonts {
 public:
  explicit TskThemeFonts(TskTheme* theme);

  TskTheme* Theme() const { return theme_; }
  TFont& Font(int index) { return *fonts_[static_cast<size_t>(index)]; }
  const TFont& Font(int index) const { return *fonts_[static_cast<size_t>(index)]; }

  // The font to paint object objectName's text with: the stored font itself
  // for "default" (exact case) or without a theme; otherwise a copy adapted
  // by the theme's GetObjectFont, valid until the next call.
  TFont& FontFor(int index, const std::string& objectName);

  void Assign(const TskThemeFonts& source);
  TskFontRecord Record(int index) const;
  void SetRecord(int index, const TskFontRecord& record);

  void WriteToStream(TStream& stream) const;
  void ReadFromStream(TStream& stream);

 private:
  TskTheme* theme_;
  std::vector<std::unique_ptr<TFont>> fonts_;
  TFont scratch_;
};

// ---- the theme -------------------------------------------------------------

class TskTheme : public TObject {
 public:
  // Builds the helper objects (Colors, SysColors, Fonts, Metrics, Drawing,
  // Options) and runs Reset. Note: Reset runs from this constructor, so a
  // derived kind's overrides are not yet in effect; a kind calls Reset again
  // from its own constructor when it overrides the Reset family.
  TskTheme();
  ~TskTheme() override;
  TskTheme(const TskTheme&) = delete;
  TskTheme& operator=(const TskTheme&) = delete;

  // The descriptor of the base kind "Default" and of this object's kind.
  static const TskThemeClass& BaseClass();
  virtual const TskThemeClass& ClassType() const { return BaseClass(); }
  const std::string& KindName() const { return ClassType().KindName; }
  const TskThemeConfig& KindConfig() const { return ClassType().Config; }

  TskThemeColors& Colors() { return *colors_; }
  TskThemeSysColors& SysColors() { return *sysColors_; }
  TskThemeFonts& Fonts() { return *fonts_; }
  TskThemeOptions& Options() { return *options_; }
  TskThemeDrawing& Drawing() { return *drawing_; }
  TskThemeMetrics& Metrics() { return *metrics_; }

  std::string Name = "Default theme";
  // The file the theme came from; empty when it came from a stream.
  std::string FileName;
  // The stored bytes it was made from, when a style driver made it from a
  // theme list's item: their size and CRC-32 (0 otherwise). A driver asked
  // for the same bytes with the same hue and brightness keeps this theme
  // rather than make it anew, so that the windows already skinned with it
  // see no change.
  uint64_t StoredStamp = 0;

  int DeltaHue() const { return deltaHue_; }
  int DeltaBrightness() const { return deltaBrightness_; }
  // Store the value(s); Reset runs when a value actually changed. Return
  // whether one did.
  bool SetDeltaHue(int value);
  bool SetDeltaBrightness(int value);
  bool SetDeltaHueAndBrightness(int hue, int brightness);

  // ---- general operations ----
  // Copies Name, Colors, SysColors, Fonts and Options.
  virtual void Assign(const TskTheme& source);
  virtual void ResetColors();
  virtual void ResetSysColors();
  virtual void ResetFonts();
  // font := font index, adapted to objectName by kinds that can.
  virtual void GetObjectFont(TFont& font, int fontIndex, const std::string& objectName);
  virtual bool LoadFromStream(TStream& stream);
  virtual bool SaveToStream(TStream& stream);
  virtual bool LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName);
  // ResetColors, ResetSysColors, ResetFonts.
  virtual void Reset();
  // The common text renderer: horizontal text at any of the nine
  // alignments, rotated text at top-left or centre.
  virtual void DrawText(TCanvas& canvas, const TskTextInfo& info);

  // ---- Window (kind: TskWindowKind) ----
  virtual bool DefinesWindow(int kind, const std::string& objectName);
  // The window's region (the caller owns it), or nullptr for a rectangle.
  virtual HRGN WindowRegion(int kind, const TRect& rect, const std::string& objectName);
  virtual TskHitCode WindowHitTest(int kind, const TskWindowInfo& info, const std::string& objectName, int x, int y);
  virtual TRect WindowContentRect(int kind, const TskWindowInfo& info, const std::string& objectName);
  virtual TRect WindowCaptionRect(int kind, const TskWindowInfo& info, const std::string& objectName);
  virtual TRect WindowButtonRect(int kind, const TskWindowInfo& info, const std::string& objectName,
                                 TskWindowButton button);
  virtual void PaintWindow(int kind, TCanvas& canvas, const std::string& objectName, const TskWindowInfo& info);
  virtual void PaintWindowClient(int kind, TCanvas& canvas, const std::string& objectName, const TRect& rect);
  virtual void PaintWindowCaption(int kind, TCanvas& canvas, const std::string& objectName, const TRect& rect,
                                  const TskWindowInfo& info);
  // Part = TskWindowButton, State = TskButtonState, Glyph = the icon.
  virtual void PaintWindowButton(int kind, TCanvas& canvas, const std::string& objectName,
                                 const TskPartRecord& record);
  // State: non-zero when the form is sizeable.
  virtual void PaintWindowSizeGrip(int kind, TCanvas& canvas, const std::string& objectName,
                                   const TskStateRecord& record);

  // ---- Spare1 ----
  virtual bool DefinesSpare1(int kind, const std::string& objectName);
  virtual TRect Spare1ContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintSpare1(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);

  // ---- Label ----
  virtual bool DefinesLabel(int kind, const std::string& objectName);
  virtual bool LabelTransparent(int kind, const std::string& objectName);
  virtual void PaintLabelText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info);

  // ---- Panel (kind: pk*) ----
  virtual bool DefinesPanel(int kind, const std::string& objectName);
  virtual bool PanelTransparent(int kind, const std::string& objectName);
  virtual TRect PanelContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintPanel(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintPanelPart(int kind, TCanvas& canvas, const std::string& objectName,
                              const TskCodedRecord& record);
  virtual void PaintPanelText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                              const TskStateRecord& record);

  // ---- Button (kind: bk*; state: TskButtonState) ----
  virtual bool DefinesButton(int kind, const std::string& objectName);
  virtual bool ButtonTransparent(int kind, const std::string& objectName);
  virtual void PaintButton(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintButtonText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                               const TskStateRecord& record);
  virtual void PaintButtonGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                const TskGlyphRecord& glyph, const TskStateRecord& record);

  // ---- CheckBox (kind: ck*; state: TskCheckState) ----
  virtual bool DefinesCheckBox(int kind, const std::string& objectName);
  virtual bool CheckBoxTransparent(int kind, const std::string& objectName);
  virtual void PaintCheckBox(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskStateRecord& record);
  virtual void PaintCheckBoxText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskStateRecord& record);
  virtual TSize CheckBoxSize(int kind);

  // ---- Spare2 ----
  virtual bool DefinesSpare2(int kind, const std::string& objectName);
  virtual bool Spare2Transparent(int kind, const std::string& objectName);
  virtual void PaintSpare2(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);

  // ---- ScrollBar (code: low byte part and state, high byte sub-kind) ----
  virtual bool DefinesScrollBar(int kind, const std::string& objectName);
  virtual bool ScrollBarTransparent(int kind, const std::string& objectName);
  virtual TRect ScrollBarContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintScrollBarPart(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskCodedRecord& record);
  virtual void PaintScrollBarTrack(int kind, TCanvas& canvas, const std::string& objectName,
                                   const TskCodedRecord& record);

  // ---- ProgressBar ----
  virtual bool DefinesProgressBar(int kind, const std::string& objectName);
  virtual bool ProgressBarTransparent(int kind, const std::string& objectName);
  virtual TRect ProgressBarContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintProgressBar(int kind, TCanvas& canvas, const std::string& objectName,
                                const TskCodedRecord& record);

  // ---- TrackBar ----
  virtual bool DefinesTrackBar(int kind, const std::string& objectName);
  virtual bool TrackBarTransparent(int kind, const std::string& objectName);
  virtual void PaintTrackBar(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskStateRecord& record);
  virtual void PaintTrackBarTrack(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskStateRecord& record);
  // Low byte: the thumb's part; high byte: its state.
  virtual void PaintTrackBarThumb(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskCodedRecord& record);

  // ---- Header ----
  virtual bool DefinesHeader(int kind, const std::string& objectName);
  virtual bool HeaderTransparent(int kind, const std::string& objectName);
  virtual void PaintHeader(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintHeaderSection(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskCodedRecord& record);
  virtual void PaintHeaderSectionText(int kind, TCanvas& canvas, const std::string& objectName,
                                      const TskTextInfo& info, const TskCodedRecord& record);
  virtual void PaintHeaderSectionGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                       const TskGlyphRecord& glyph, const TskCodedRecord& record);

  // ---- StatusBar ----
  virtual bool DefinesStatusBar(int kind, const std::string& objectName);
  virtual bool StatusBarTransparent(int kind, const std::string& objectName);
  virtual TRect StatusBarContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintStatusBar(int kind, TCanvas& canvas, const std::string& objectName,
                              const TskStateRecord& record);
  // Low byte: the panel's state or part (0/1 pane, 2 gripper pane, 3 gripper).
  virtual void PaintStatusPanel(int kind, TCanvas& canvas, const std::string& objectName,
                                const TskCodedRecord& record);
  virtual void PaintStatusPanelText(int kind, TCanvas& canvas, const std::string& objectName,
                                    const TskTextInfo& info, const TskCodedRecord& record);
  virtual void PaintStatusPanelGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                     const TskGlyphRecord& glyph, const TskCodedRecord& record);

  // ---- Edit (kind: where its button sits) ----
  virtual bool DefinesEdit(int kind, const std::string& objectName);
  virtual bool EditTransparent(int kind, const std::string& objectName);
  virtual TRect EditContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintEdit(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintEditButton(int kind, TCanvas& canvas, const std::string& objectName,
                               const TskStateRecord& record);

  // ---- GroupBox ----
  virtual bool DefinesGroupBox(int kind, const std::string& objectName);
  virtual bool GroupBoxTransparent(int kind, const std::string& objectName);
  virtual TRect GroupBoxContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintGroupBox(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskGroupBoxRecord& record);
  virtual void PaintGroupBoxText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskStateRecord& record);

  // ---- ComboBox (kind: button left or right) ----
  virtual bool DefinesComboBox(int kind, const std::string& objectName);
  virtual bool ComboBoxTransparent(int kind, const std::string& objectName);
  virtual TRect ComboBoxContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintComboBox(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskStateRecord& record);
  virtual bool ComboBoxQuery1(int kind, const std::string& objectName);
  virtual bool ComboBoxQuery2(int kind, const std::string& objectName);
  virtual TRect ComboBoxButtonRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintComboBoxButton(int kind, TCanvas& canvas, const std::string& objectName,
                                   const TskStateRecord& record);

  // ---- Menu (menu bars and pop-up menus) ----
  virtual bool DefinesMenu(int kind, const std::string& objectName);
  virtual bool MenuTransparent(int kind, const std::string& objectName);
  virtual TRect MenuContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintMenu(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  // Low byte: mik* (theme kinds add further values); high
  // byte: the item state.
  virtual void PaintMenuItem(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskCodedRecord& record);
  virtual void PaintMenuItemText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskCodedRecord& record);
  virtual void PaintMenuItemGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskGlyphRecord& glyph, const TskCodedRecord& record);

  // ---- Dock ----
  virtual bool DefinesDock(int kind, const std::string& objectName);
  virtual TRect DockContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintDock(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);

  // ---- ToolBar (item part: tip*) ----
  virtual bool DefinesToolBar(int kind, const std::string& objectName);
  virtual TRect ToolBarContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintToolBar(int kind, TCanvas& canvas, const std::string& objectName,
                            const TskStateRecord& record);
  virtual void PaintToolItem(int kind, TCanvas& canvas, const std::string& objectName, const TskPartRecord& record);
  virtual void PaintToolItemText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskPartRecord& record);
  virtual void PaintToolItemGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskGlyphRecord& glyph, const TskPartRecord& record);

  // ---- Spare3 ----
  virtual bool DefinesSpare3(int kind, const std::string& objectName);
  virtual TRect Spare3ContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintSpare3(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);

  // ---- ExplorerBar ----
  virtual bool DefinesExplorerBar(int kind, const std::string& objectName);
  virtual bool ExplorerBarTransparent(int kind, const std::string& objectName);
  virtual TRect ExplorerBarContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintExplorerBar(int kind, TCanvas& canvas, const std::string& objectName,
                                const TskStateRecord& record);
  virtual void PaintExplorerGroupHead(int kind, TCanvas& canvas, const std::string& objectName,
                                      const TskStateRecord& record);
  // High byte: 1 collapse, 2 expand, other close.
  virtual void PaintExplorerGroupButton(int kind, TCanvas& canvas, const std::string& objectName,
                                        const TskCodedRecord& record);
  virtual void PaintExplorerGroup(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskStateRecord& record);
  virtual void PaintExplorerText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskStateRecord& record);

  // ---- Tab ----
  virtual bool DefinesTab(int kind, const std::string& objectName);
  virtual bool TabTransparent(int kind, const std::string& objectName);
  virtual TRect TabContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintTabPane(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintTab(int kind, TCanvas& canvas, const std::string& objectName, const TskCodedRecord& record);
  virtual void PaintTabScrollButton(int kind, TCanvas& canvas, const std::string& objectName,
                                    const TskCodedRecord& record);
  virtual void PaintTabText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                            const TskCodedRecord& record);
  virtual void PaintTabGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskGlyphRecord& glyph, const TskCodedRecord& record);

  // ---- List (item code: lis*) ----
  virtual bool DefinesList(int kind, const std::string& objectName);
  virtual bool ListTransparent(int kind, const std::string& objectName);
  virtual TRect ListContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintList(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintListPart(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskCodedRecord& record);
  virtual void PaintListItem(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskCodedRecord& record);
  virtual void PaintListItemText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskCodedRecord& record);
  // Glyph kind: 0 checked, 1 unchecked, 2 mixed, 3 the bitmap.
  virtual void PaintListItemCheck(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskGlyphRecord& glyph, const TskCodedRecord& record);

  // ---- Tree ----
  virtual bool DefinesTree(int kind, const std::string& objectName);
  virtual bool TreeTransparent(int kind, const std::string& objectName);
  virtual TRect TreeContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintTree(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintTreeItem(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskCodedRecord& record);
  virtual void PaintTreeItemText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskCodedRecord& record);
  virtual void PaintTreeButton(int kind, TCanvas& canvas, const std::string& objectName,
                               const TskCodedRecord& record);

  // ---- Grid (cell: low byte lis*, high byte gck*) ----
  virtual bool DefinesGrid(int kind, const std::string& objectName);
  virtual bool GridTransparent(int kind, const std::string& objectName);
  virtual TRect GridContentRect(int kind, const TRect& rect, const std::string& objectName);
  virtual void PaintGrid(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record);
  virtual void PaintGridCell(int kind, TCanvas& canvas, const std::string& objectName,
                             const TskCodedRecord& record);
  virtual void PaintGridCellText(int kind, TCanvas& canvas, const std::string& objectName, const TskTextInfo& info,
                                 const TskCodedRecord& record);
  virtual void PaintGridCellGlyph(int kind, TCanvas& canvas, const std::string& objectName,
                                  const TskGlyphRecord& glyph, const TskCodedRecord& record);

 private:
  std::unique_ptr<TskThemeColors> colors_;
  std::unique_ptr<TskThemeSysColors> sysColors_;
  std::unique_ptr<TskThemeFonts> fonts_;
  std::unique_ptr<TskThemeMetrics> metrics_;
  std::unique_ptr<TskThemeDrawing> drawing_;
  std::unique_ptr<TskThemeOptions> options_;
  int deltaHue_ = 0;
  int deltaBrightness_ = 0;
};

// ---- theme links -----------------------------------------------------------

// Names the theme a group of controls paints with instead of the current
// one (a control's ThemeLink).
class TskCustomThemeLink : public TComponent {
 public:
  using TComponent::TComponent;
  // The linked theme, or nullptr.
  virtual TskTheme* Theme() = 0;
};

// ---- clients ---------------------------------------------------------------

// A client that is not a control receives the notification through this
// interface (controls receive SKM_THEMECHANGE through Perform).
class TskThemeClient {
 public:
  virtual void ThemeChanged(TskThemeChange code, intptr_t argument) = 0;

 protected:
  ~TskThemeClient() = default;
};

// ---- the manager -----------------------------------------------------------

class TskThemeManager : public TComponent {
 public:
  TskThemeManager();
  ~TskThemeManager() override;

  // Appends a kind (its descriptor must outlive the manager). A kind already
  // registered is not added again.
  void RegisterThemeKind(const TskThemeClass& kind);
  int KindCount() const { return static_cast<int>(kinds_.size()); }
  // nullptr out of range.
  const TskThemeClass* KindAt(int index) const;

  // Appends the client and returns 0; when a theme is current the client
  // gets tcSet at once. A client already registered is not added again: the
  // result is its position plus one. Clients are TControls (notified with
  // SKM_THEMECHANGE through Perform) or implement TskThemeClient.
  int RegisterClient(TObject* client);
  void UnregisterClient(TObject* client);
  int ClientCount() const { return static_cast<int>(clients_.size()); }

  // The first kind that loads files whose filter lists the name's extension.
  const TskThemeClass* FindKindForFile(const std::string& fileName) const;
  // A theme from a file: a missing relative name is looked for beside the
  // host executable. nullptr when nothing could be loaded (nothing is
  // reported; the caller keeps its theme).
  std::unique_ptr<TskTheme> LoadThemeFromFile(const std::string& fileName);
  // A theme of the first kind that recognises the stream's content;
  // nullptr when none does (the position is then where it was) or the
  // kind's loader fails.
  std::unique_ptr<TskTheme> LoadThemeFromStream(TStream& stream);
  // When the theme's kind can save: its SaveToStream.
  bool SaveTheme(TskTheme* theme, TStream& stream);

  TskTheme* CurrentTheme() const { return current_.get(); }
  bool IsCurrent(const TskTheme* theme) const { return theme != nullptr && theme == current_.get(); }
  // Takes ownership. Notifies tcChanging, frees the previous theme, then
  // tcReplaced (or tcSet when there was none), then tcChanged. A null theme
  // clears the current one.
  void SetCurrentTheme(std::unique_ptr<TskTheme> theme);
  // tcChanging, free, tcRemoved, tcChanged; nothing when no theme is current.
  void ClearCurrentTheme();

  // Every client in registration order; tcColors only reaches visible
  // controls and the clients that are not controls. A client unregistered
  // by an earlier one's handler is skipped.
  void Broadcast(TskThemeChange code, intptr_t argument);

  HWND UtilityWindow() const { return window_; }

 private:
  static LRESULT CALLBACK UtilityWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void Deliver(TObject* client, TskThemeChange code, intptr_t argument);
  bool IsClient(const TObject* client) const;

  std::vector<const TskThemeClass*> kinds_;
  std::vector<TObject*> clients_;
  std::unique_ptr<TskTheme> current_;
  HWND window_ = nullptr;
};

// The process-wide manager, created on first use.
TskThemeManager& ThemeManager();
// Whether the manager exists (without creating it).
bool ThemeManagerExists();
// Unregisters a client when the manager exists; never creates one (a control
// freed after the library ended must not bring the manager back).
void UnregisterThemeClient(TObject* client);
// Library end: frees the manager (its current theme and hidden window), the
// background painters, the remembered fonts and the scratch glyph bitmap.
void FreeThemeLibrary();

// Hue and brightness of the current theme: the theme stores the value(s)
// and rebuilds its tables, then every client gets tcColors with argument 1.
// Nothing happens without a current theme or when the values are those the
// theme already has.
void SetThemeHue(int delta);
void SetThemeBrightness(int delta);
void SetThemeHueAndBrightness(int hue, int brightness);

// ---- what controls ask before painting -------------------------------------

// The link's theme when there is one, otherwise the current theme (may be
// nullptr: then the control paints classically).
TskTheme* ThemeOf(TskCustomThemeLink* link);

// Whether the link's theme, or else the current theme, defines the element
// for objectName; the current theme falls back to "default".
bool DefinesWindowObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesLabelObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesPanelObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesButtonObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesCheckBoxObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesScrollBarObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesStatusBarObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesEditObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesGroupBoxObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesMenuObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesToolBarObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesTabObject(int kind, const std::string& objectName, TskCustomThemeLink* link);
bool DefinesListObject(int kind, const std::string& objectName, TskCustomThemeLink* link);

// ---- parent background -----------------------------------------------------

struct TskBackgroundInfo {
  TRect Bounds;      // the control's bounds in its parent
  TRect ClipBounds;  // the same rectangle
  TControl* Control = nullptr;
  TWinControl* Parent = nullptr;
};
// Paints the parent's background under a control; the canvas's origin is
// the parent's client origin.
using TskBackgroundPainter = std::function<void(TCanvas& canvas, const TskBackgroundInfo& info)>;

// A class of controls for the painter registry: whether a control is one,
// and whether the class derives from another registered class.
//
// Derivation between two type-erased classes is decided the way the
// language decides it for exceptions: a null T* thrown is caught by a
// handler for U* exactly when T is U or derives from it. It runs only when
// two registered classes both match one parent.
class TskControlClass {
 public:
  virtual ~TskControlClass() = default;
  virtual bool IsInstance(const TControl& control) const = 0;
  // True when this class is other or derives from it.
  bool InheritsFrom(const TskControlClass& other) const {
    return &other == this || other.CatchesNullOf(*this);
  }
  // Throws a null pointer of the class.
  virtual void ThrowNull() const = 0;
  // Whether a null pointer thrown by source is caught as a pointer of this
  // class.
  virtual bool CatchesNullOf(const TskControlClass& source) const = 0;
};

template <class T>
class TskControlClassOf final : public TskControlClass {
 public:
  bool IsInstance(const TControl& control) const override { return dynamic_cast<const T*>(&control) != nullptr; }
  void ThrowNull() const override { throw static_cast<T*>(nullptr); }
  bool CatchesNullOf(const TskControlClass& source) const override {
    try {
      source.ThrowNull();
    } catch (T*) {
      return true;
    } catch (...) {
      return false;
    }
    return false;
  }
};

// Registers painter for parents of class T; the most derived registered
// class that a parent belongs to wins (the last registered among equals).
void RegisterBackgroundPainter(std::shared_ptr<const TskControlClass> controlClass, TskBackgroundPainter painter);
template <class T>
void RegisterBackgroundPainter(TskBackgroundPainter painter) {
  RegisterBackgroundPainter(std::make_shared<TskControlClassOf<T>>(), std::move(painter));
}
// Whether a painter is registered for exactly this class descriptor.
bool IsBackgroundPainterRegistered(const TskControlClass& controlClass);
// The painter PaintParentBackground would use for parent (empty when none).
TskBackgroundPainter FindBackgroundPainter(const TWinControl& parent);

// Paints what lies under a transparent control into dc (which has the
// control's origin): the parent's registered background painter, or else
// the parent itself. Does nothing without a parent, for an empty control,
// or while the control is already painting a copy of itself.
void PaintParentBackground(TControl* control, HDC dc);
// Whether control is being painted as a copy (its parent's background is
// being painted under it); a control may skip its own drawing then.
bool IsPaintingCopy(const TControl* control);

// ---- remembered fonts ------------------------------------------------------

// A copy of font to give back later (refreshed when already remembered).
void RememberFont(TFont* font);
// Frees the copy.
void ForgetFont(TFont* font);
// Assigns the copy back; nothing when the font is not remembered.
void RestoreFont(TFont* font);
void FreeRememberedFonts();
bool IsFontRemembered(const TFont* font);
