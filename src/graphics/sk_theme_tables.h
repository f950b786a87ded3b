// The parts of the theme interface that are plain data: the enumerations and
// records the controls hand to a theme, the theme's colour and system-colour
// tables, its font defaults as records, the text form these tables are
// stored in, the colour shifting behind hue and brightness adjustments, and
// the base frame geometry with its hit test. Everything here is portable;
// the painting side of the theme lives in sk_theme.h (Windows only).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/streams.h"
#include "graphics/sk_utils.h"

class TskTheme;
class TskBitmap;

// ---- colour values ---------------------------------------------------------

// A system colour identifier: the high bit set and the platform's system
// colour index in the low byte (the same encoding ColorToRGB resolves).
constexpr TColor SkSystemColor(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index));
}

// The platform's system colour indices.
enum TskSysColorIndex : int {
  sciScrollBar = 0,
  sciBackground = 1,
  sciActiveCaption = 2,
  sciInactiveCaption = 3,
  sciMenu = 4,
  sciWindow = 5,
  sciWindowFrame = 6,
  sciMenuText = 7,
  sciWindowText = 8,
  sciCaptionText = 9,
  sciActiveBorder = 10,
  sciInactiveBorder = 11,
  sciAppWorkSpace = 12,
  sciHighlight = 13,
  sciHighlightText = 14,
  sciBtnFace = 15,
  sciBtnShadow = 16,
  sciGrayText = 17,
  sciBtnText = 18,
  sciInactiveCaptionText = 19,
  sciBtnHighlight = 20,
  sci3DDkShadow = 21,
  sci3DLight = 22,
  sciInfoText = 23,
  sciInfoBk = 24,
};

// "No colour": the caller uses the platform colour instead.
constexpr TColor kSkNoColor = 0x1FFFFFFF;
// The "default colour" value of the platform's colour type.
constexpr TColor kSkDefaultColor = 0x20000000;

// The platform's colour-to-text form: a colour name ("clBtnFace", "clRed",
// "clNone") where the value has one, otherwise "$" and eight upper-case
// hexadecimal digits.
std::string SkColorToString(TColor colour);
// The inverse: a colour name (letter case ignored) or an integer in any form
// StrToInt accepts. Fails with EConvertError for anything else.
TColor SkStringToColor(std::string_view text);

// The colour resolved to RGB (system colours to their current value), then
// shifted in hue by hueDelta (1/255ths of the colour circle) when hueDelta is
// not 0, then in brightness when brightnessDelta is not 0. With both deltas 0
// the value is returned as it is, system colour identifiers included.
TColor ShiftThemeColor(TColor colour, int hueDelta, int brightnessDelta);
// Both shifts applied unconditionally: the result is always a plain RGB
// colour, and a hue delta of 0 still rounds the hue to a 1/255 step.
TColor ShiftFontColor(TColor colour, int hueDelta, int brightnessDelta);

// ---- enumerations ----------------------------------------------------------

// Nine text positions inside a rectangle.
enum TskTextAlign : uint8_t {
  talTopLeft = 0,
  talMiddleLeft = 1,
  talBottomLeft = 2,
  talTopCenter = 3,
  talCenter = 4,
  talBottomCenter = 5,
  talTopRight = 6,
  talMiddleRight = 7,
  talBottomRight = 8,
};

// TskTextInfo::Options bits.
enum : uint8_t {
  txoRtlReading = 2,
  txoNoPrefix = 4,
  txoWordBreak = 8,
  txoSingleLine = 16,
};

enum TskTextOrientation : uint8_t {
  torHorizontal = 0,
  torDownward = 1,  // rotated a quarter turn: the text reads top to bottom
  torUpward = 2,    // rotated the other way: the text reads bottom to top
};

// From the form's border style.
enum TskWindowKind : uint8_t {
  wkStandard = 0,  // sizeable frame
  wkDialog = 1,
  wkSingle = 2,
  wkNone = 4,
  wkToolWindow = 6,
};

enum TskWindowButton : uint8_t {
  wbSysMenu = 0,
  wbClose = 1,
  wbHelp = 2,
  wbMinimize = 3,
  wbRestoreMin = 4,  // restore from minimized
  wbMaximize = 5,
  wbRestoreMax = 6,  // restore from maximized
  wbRollUp = 7,
  wbRollDown = 8,
  wbTray = 9,
};
// Bit n set: button n is shown.
using TskWindowButtons = uint16_t;
constexpr TskWindowButtons WindowButtonBit(TskWindowButton button) {
  return static_cast<TskWindowButtons>(1u << button);
}

enum TskHitCode : uint8_t {
  hcClient = 0,
  hcCaption = 1,
  hcLeft = 2,
  hcTop = 3,
  hcRight = 4,
  hcBottom = 5,
  hcTopLeft = 7,
  hcTopRight = 8,
  hcBottomLeft = 9,
  hcBottomRight = 10,
  hcClose = 11,
  hcHelp = 12,
  hcMinimize = 13,  // minimize or its restore
  hcMaximize = 14,  // maximize or its restore
  hcRoll = 15,      // roll-up or roll-down
  hcTray = 16,
  hcSysMenu = 17,
};

// Push buttons and spin buttons. 5 and 7 are drawn like hot, 8, 10 and 11
// like pressed, 9 like disabled.
enum TskButtonState : uint8_t {
  btsNormal = 0,
  btsHot = 1,
  btsPressed = 2,
  btsDisabled = 3,
  btsFocused = 4,
  btsDefault = 6,
};

// Check boxes and radio buttons: five variants each of checked, unchecked
// and mixed (the fifth drawn like the first).
enum TskCheckState : uint8_t {
  chsCheckedNormal = 0,
  chsCheckedHot = 1,
  chsCheckedPressed = 2,
  chsCheckedDisabled = 3,
  chsChecked4 = 4,
  chsUncheckedNormal = 5,
  chsUncheckedHot = 6,
  chsUncheckedPressed = 7,
  chsUncheckedDisabled = 8,
  chsUnchecked4 = 9,
  chsMixedNormal = 10,
  chsMixedHot = 11,
  chsMixedPressed = 12,
  chsMixedDisabled = 13,
  chsMixed4 = 14,
};

// Button kinds: 0..3 push buttons, then the spin arrows.
enum : uint8_t { bkPushButton = 0, bkSpinUp = 4, bkSpinDown = 5, bkSpinUpHorz = 6, bkSpinDownHorz = 7 };
// Check kinds.
enum : uint8_t { ckCheckBox = 0, ckRadioButton = 1 };
// Glyph record kinds.
enum : uint8_t { gkCheckMark = 0, gkRadioDot = 1, gkSubMenuArrow = 2, gkBitmap = 3 };
// Panel kinds.
enum : uint8_t { pkRaised = 0, pkSunken = 1 };
// Menu item records: the low byte's kinds (theme kinds add further values).
enum : uint8_t { mikItem = 0, mikSeparator = 1 };
// Tool bar item parts.
enum : uint8_t { tipButton = 0, tipSeparator = 3, tipDropDown = 4 };
// List, tree and grid item states (the low byte of their records).
enum : uint8_t { lisNormal = 0, lisHot = 1, lisSelected = 2, lisFocused = 3, lisDisabled = 4 };
// Grid cell sub-kinds (the high byte of a cell's record).
enum : uint8_t { gckNormal = 0, gckFixed = 1 };

// What the current theme did; the code of the theme-change notification.
enum TskThemeChange : uint8_t {
  tcReplaced = 0,  // a new current theme replaced an older one (already freed)
  tcChanging = 1,  // the current theme is about to change
  tcChanged = 2,   // the change is complete: repaint now
  tcSet = 3,       // a theme became current where there was none, or the
                   // receiver was just registered while a theme is current
  tcRemoved = 4,   // the current theme was removed: back to the classic look
  tcColors = 5,    // colours changed (argument 1: hue/brightness; 0: platform)
};
// The argument of tcColors: where the colour change came from.
enum : intptr_t { kColorsFromPlatform = 0, kColorsFromHueAndBrightness = 1 };

// ---- records ---------------------------------------------------------------

// The input of every text operation.
struct TskTextInfo {
  TRect Rect;
  std::wstring Text;
  uint8_t Align = talTopLeft;  // TskTextAlign
  uint8_t Options = 0;        // txo* bits
  uint8_t Orientation = torHorizontal;
};

// The platform's text-format flags that MakeTextInfo understands (the
// values of its DT_* constants).
enum : unsigned {
  kDtCenter = 0x1,
  kDtRight = 0x2,
  kDtVCenter = 0x4,
  kDtBottom = 0x8,
  kDtWordBreak = 0x10,
  kDtSingleLine = 0x20,
  kDtNoPrefix = 0x800,
  kDtRtlReading = 0x20000,
};

// A text-info record from a rectangle, a text and text-format flags.
TskTextInfo MakeTextInfo(const TRect& rect, std::wstring_view text, unsigned formatFlags);

// Where horizontal text of the measured size goes for an alignment: the
// measured box at rect's top-left, moved by half (middle, centre) or all
// (bottom, right) of the difference, halves rounded toward zero.
TRect AlignTextBox(const TRect& rect, int32_t measuredWidth, int32_t measuredHeight, uint8_t align);
// The box of rotated text centred in rect: measuredWidth/Height are those of
// the text laid out horizontally; the box is the transposed size centred in
// rect, enlarged by 2 at top and bottom.
TRect CentreRotatedTextBox(const TRect& rect, int32_t measuredWidth, int32_t measuredHeight);
// Copies every non-key pixel of horizontal text in source (width = target's
// height, height = target's width) into target, turned a quarter: (x, y)
// goes to (W - y, x) for torDownward and to (y, H - x) for torUpward, W and
// H being target's size. Positions outside target are dropped.
void RotateTextPixels(const TskBitmap& source, TskBitmap& target, uint8_t orientation);

// The input of the window family.
struct TskWindowInfo {
  TRect Rect;                 // the whole window, in window coordinates
  uint8_t Active = 0;         // bit 0: the window is active
  TskWindowButtons Buttons = 0;
  // When not empty and its top is not 0, only the part below the caption
  // strip is being repainted.
  TRect PaintRect;
  std::wstring Caption;

  bool IsActive() const { return (Active & 1) != 0; }
  bool Shows(TskWindowButton button) const { return (Buttons & WindowButtonBit(button)) != 0; }
};

// ---- base frame geometry ---------------------------------------------------

// The window less 4 at left, right and bottom and 22 at top.
TRect BaseWindowContentRect(const TRect& window);
// Between the content's left and right, from y = 3 down to the content top.
TRect BaseWindowCaptionRect(const TRect& content);
// The 22-pixel boxes from the right of the caption strip: close, then
// maximize/restore, minimize/restore, roll, tray and help, each shown button
// pushing the later ones one box to the left; the system-menu icon at the
// left. A button that is not shown gets the close box.
TRect BaseWindowButtonRect(const TRect& content, TskWindowButtons buttons, TskWindowButton button);

// The shape a hit test runs on: the rectangles a theme computed for one
// window.
struct TskFrameGeometry {
  TRect Window;
  TRect Content;
  TRect Caption;
  TskWindowButtons Buttons = 0;  // the buttons the frame shows
  std::function<TRect(TskWindowButton)> ButtonRect;

  bool Shown(TskWindowButton button) const { return (Buttons & WindowButtonBit(button)) != 0; }
};
// Borders, corners and caption (a later match overrides an earlier one),
// then the first shown caption button whose box holds the point. Only
// standard, dialog, single-border and tool windows are tested; others give
// hcClient. Buttons the frame does not show are never hit: a theme may give
// them any rectangle (the base gives them the close box).
TskHitCode HitTestFrame(uint8_t kind, const TskFrameGeometry& geometry, int32_t x, int32_t y);

// ---- colour tables ---------------------------------------------------------

enum TskColorIndex : int {
  ciCaptionNormal = 0,
  ciCaptionInactive,
  ciWindowBorder,
  ciWindow,
  ciBorder,
  ciPanelNormal,
  ciPanelDisabled,
  ciButtonNormal,
  ciButtonHot,
  ciButtonPressed,
  ciButtonFocused,
  ciButtonDisabled,
  ciEditNormal,
  ciEditHot,
  ciEditFocused,
  ciEditDisabled,
  ciEditSelection,
  ciHint,
  ciList,
  ciTree,
  ciGrid,
  ciBarDock,
};
constexpr int kThemeColorCount = 22;
extern const std::array<const char*, kThemeColorCount> kThemeColorNames;

// The theme's 22 element colours (plain RGB or system colour identifiers).
class TskThemeColors {
 public:
  explicit TskThemeColors(TskTheme* theme) : theme_(theme) {}

  TskTheme* Theme() const { return theme_; }
  // Out of range indices are not checked: callers pass TskColorIndex values.
  TColor operator[](int index) const { return colors_[static_cast<size_t>(index)]; }
  TColor& operator[](int index) { return colors_[static_cast<size_t>(index)]; }

  // The defaults of the base theme; Border keeps its value (the one it had
  // before the last Shift, unless it was written since).
  void SetDefaults();
  // Every entry through ShiftThemeColor (nothing changes with both deltas 0).
  void Shift(int hueDelta, int brightnessDelta);
  void Assign(const TskThemeColors& source) {
    colors_ = source.colors_;
    borderBeforeShift_ = source.borderBeforeShift_;
    borderAfterShift_ = source.borderAfterShift_;
  }

  // Text form: one byte count - 1, then per entry the name, ":" and the
  // colour text (each a stream string). Reading assigns by position; entries
  // beyond the table are read and dropped. A malformed stream fails with
  // EReadError, a colour text that is no colour with EConvertError.
  void WriteToStream(TStream& stream) const;
  void ReadFromStream(TStream& stream);

 private:
  TskTheme* theme_;
  std::array<TColor, kThemeColorCount> colors_{};
  // Border has no default to rebuild it from: SetDefaults puts back its
  // unshifted value, so that repeated adjustments do not add up on it.
  TColor borderBeforeShift_ = 0;
  TColor borderAfterShift_ = 0;
};

// The theme's own RGB value for each platform system colour.
constexpr int kThemeSysColorCount = 26;
extern const std::array<const char*, kThemeSysColorCount> kThemeSysColorNames;
// The identifiers the entries stand for, in table order.
extern const std::array<TColor, kThemeSysColorCount> kThemeSysColorIdents;

class TskThemeSysColors {
 public:
  // Every entry starts as the platform's current value of its colour.
  explicit TskThemeSysColors(TskTheme* theme);

  TskTheme* Theme() const { return theme_; }
  TColor Entry(int index) const { return values_[static_cast<size_t>(index)]; }

  // The value of the first entry for a system colour identifier; kSkNoColor
  // for an identifier the table does not hold and for every other colour.
  TColor Lookup(TColor identifier) const;
  // Writes the first entry for the identifier; others are ignored.
  void Store(TColor identifier, TColor value);

  // Rebuilds the values from the unshifted ones (those read from the
  // platform at construction or stored since) and shifts them; with both
  // deltas 0 they are the unshifted values. Rebuilding, not shifting in
  // place, keeps repeated adjustments from adding up.
  void Shift(int hueDelta, int brightnessDelta);
  void Assign(const TskThemeSysColors& source);

  // Text form: a 32-bit count, then per entry the name, ":" and the colour
  // text. Reading assigns by position (the values become the unshifted
  // ones too); entries beyond the table are read and dropped.
  void WriteToStream(TStream& stream) const;
  void ReadFromStream(TStream& stream);

 private:
  TskTheme* theme_;
  std::array<TColor, kThemeSysColorCount> base_{};
  std::array<TColor, kThemeSysColorCount> values_{};
};

// ---- fonts as data ---------------------------------------------------------

enum TskFontIndex : int {
  fiCaptionTextNormal = 0,
  fiCaptionTextInactive,
  fiSmCaptionTextNormal,
  fiSmCaptionTextInactive,
  fiStaticTextNormal,
  fiStaticTextHot,
  fiStaticTextFocused,
  fiStaticTextDisabled,
  fiPanelTextNormal,
  fiPanelTextDisabled,
  fiButtonTextNormal,
  fiButtonTextPressed,
  fiButtonTextHot,
  fiButtonTextFocused,
  fiButtonTextDisabled,
  fiCheckBoxTextNormal,
  fiCheckBoxTextPressed,
  fiCheckBoxTextHot,
  fiCheckBoxTextFocused,
  fiCheckBoxTextDisabled,
  fiRadioButtonTextNormal,
  fiRadioButtonTextPressed,
  fiRadioButtonTextHot,
  fiRadioButtonTextFocused,
  fiRadioButtonTextDisabled,
  fiGroupBoxTextNormal,
  fiGroupBoxTextDisabled,
  fiWindowTextNormal,
  fiWindowTextDisabled,
  fiEditBoxTextNormal,
  fiEditBoxTextFocused,
  fiEditBoxTextHot,
  fiEditBoxTextDisabled,
  fiEditBoxTextSelected,
  fiMenuItemTextNormal,
  fiMenuItemTextSelected,
  fiMenuItemTextHot,
  fiMenuItemTextDisabled,
  fiToolItemTextNormal,
  fiToolItemTextSelected,
  fiToolItemTextHot,
  fiToolItemTextDisabled,
  fiHeaderSectionTextNormal,
  fiHeaderSectionTextPressed,
  fiHeaderSectionTextDraggedOut,
  fiHeaderSectionTextDragging,
  fiHeaderSectionTextHot,
  fiHeaderSectionTextUnderDrag,
  fiHeaderSectionTextDisabled,
  fiStatusPanelTextNormal,
  fiStatusPanelTextDisabled,
  fiTabTextInactiveNormal,
  fiTabTextInactiveHot,
  fiTabTextInactiveDisabled,
  fiTabTextActiveNormal,
  fiTabTextActiveHot,
  fiTabTextActiveDisabled,
  fiListItemTextNormal,
  fiListItemTextHot,
  fiListItemTextSelected,
  fiListItemTextFocused,
  fiListItemTextDisabled,
  fiPopupMenuItemTextNormal,
  fiPopupMenuItemTextSelected,
  fiPopupMenuItemTextHot,
  fiPopupMenuItemTextDisabled,
};
constexpr int kThemeFontCount = 66;
extern const std::array<const char*, kThemeFontCount> kThemeFontNames;

// Font styles as bits (the same values as the window framework's fs*).
enum : unsigned { fstBold = 1, fstItalic = 2, fstUnderline = 4, fstStrikeOut = 8 };

// A font as the text form and the defaults see it. Size is in points;
// Charset 1 is the platform's default character set.
struct TskFontRecord {
  std::string Face = "Tahoma";
  int32_t Size = 8;
  uint8_t Charset = 1;
  TColor Color = SkSystemColor(sciWindowText);
  unsigned Style = 0;

  friend bool operator==(const TskFontRecord&, const TskFontRecord&) = default;
};

// The font every entry is created with.
TskFontRecord ConstructionFont();
// Font index's default in the base theme (indices the base does not set
// get the construction font).
TskFontRecord DefaultThemeFont(int index);

// One font entry's text: "face,size,charset,r,g,b" and ",bold", ",italic",
// ",underline", ",strikeout" for the styles present. The colour is resolved
// to RGB.
std::string FontToText(const TskFontRecord& font);
// Fields separated by ";" or ",": face = 1, size = 2, colour = RGB(4, 5, 6);
// fields 7 to 10 give the styles. A style field that names a style sets that
// style (so the writer's output, which lists only the styles present, reads
// back exactly); any other non-empty style field sets the style of its
// position. Missing or empty fields leave base's value. The character set
// is not read.
TskFontRecord FontFromText(std::string_view text, const TskFontRecord& base);
// The text form of the font table: one byte count - 1, then per entry the
// name, ":" and FontToText. Reading assigns by position (entries beyond
// count are read and dropped).
void WriteFontTable(TStream& stream, const std::vector<TskFontRecord>& fonts);
std::vector<TskFontRecord> ReadFontTable(TStream& stream, const std::vector<TskFontRecord>& current);

// ---- helper objects without behaviour --------------------------------------

// Two flags nothing in the library reads.
struct TskThemeOptions {
  explicit TskThemeOptions(TskTheme* theme) : Theme(theme) {}
  TskTheme* Theme;
  bool Option1 = false;
  bool Option2 = false;
  void Assign(const TskThemeOptions& source) {
    Option1 = source.Option1;
    Option2 = source.Option2;
  }
};

// Placeholders that only refer back to their theme.
struct TskThemeDrawing {
  explicit TskThemeDrawing(TskTheme* theme) : Theme(theme) {}
  TskTheme* Theme;
};
struct TskThemeMetrics {
  explicit TskThemeMetrics(TskTheme* theme) : Theme(theme) {}
  TskTheme* Theme;
};

// Describes a theme kind.
struct TskThemeConfig {
  bool Builtin = false;      // needs no data; can be created by its kind name
  bool CanSave = false;      // SaveToStream is meaningful
  bool CanLoadFile = false;  // loads files whose extension FileFilter lists
  std::string FileFilter;    // a file-dialog filter text
  std::string DefaultExt;    // without the dot
};
