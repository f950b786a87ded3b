#include "graphics/sk_theme_tables.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "graphics/sk_bitmap.h"

namespace {

struct TColorName {
  TColor Value;
  const char* Name;
};

// The platform's colour names in the order its colour-to-text conversion
// searches them: the first name with the value wins.
constexpr TColorName kColorNames[] = {
    {0x000000, "clBlack"},
    {0x000080, "clMaroon"},
    {0x008000, "clGreen"},
    {0x008080, "clOlive"},
    {0x800000, "clNavy"},
    {0x800080, "clPurple"},
    {0x808000, "clTeal"},
    {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},
    {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},
    {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},
    {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {SkSystemColor(sciActiveBorder), "clActiveBorder"},
    {SkSystemColor(sciActiveCaption), "clActiveCaption"},
    {SkSystemColor(sciAppWorkSpace), "clAppWorkSpace"},
    {SkSystemColor(sciBackground), "clBackground"},
    {SkSystemColor(sciBtnFace), "clBtnFace"},
    {SkSystemColor(sciBtnHighlight), "clBtnHighlight"},
    {SkSystemColor(sciBtnShadow), "clBtnShadow"},
    {SkSystemColor(sciBtnText), "clBtnText"},
    {SkSystemColor(sciCaptionText), "clCaptionText"},
    {kSkDefaultColor, "clDefault"},
    {SkSystemColor(27), "clGradientActiveCaption"},
    {SkSystemColor(28), "clGradientInactiveCaption"},
    {SkSystemColor(sciGrayText), "clGrayText"},
    {SkSystemColor(sciHighlight), "clHighlight"},
    {SkSystemColor(sciHighlightText), "clHighlightText"},
    {SkSystemColor(26), "clHotLight"},
    {SkSystemColor(sciInactiveBorder), "clInactiveBorder"},
    {SkSystemColor(sciInactiveCaption), "clInactiveCaption"},
    {SkSystemColor(sciInactiveCaptionText), "clInactiveCaptionText"},
    {SkSystemColor(sciInfoBk), "clInfoBk"},
    {SkSystemColor(sciInfoText), "clInfoText"},
    {SkSystemColor(sciMenu), "clMenu"},
    {SkSystemColor(30), "clMenuBar"},
    {SkSystemColor(29), "clMenuHighlight"},
    {SkSystemColor(sciMenuText), "clMenuText"},
    {kSkNoColor, "clNone"},
    {SkSystemColor(sciScrollBar), "clScrollBar"},
    {SkSystemColor(sci3DDkShadow), "cl3DDkShadow"},
    {SkSystemColor(sci3DLight), "cl3DLight"},
    {SkSystemColor(sciWindow), "clWindow"},
    {SkSystemColor(sciWindowFrame), "clWindowFrame"},
    {SkSystemColor(sciWindowText), "clWindowText"},
};

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Delta values beyond a full channel all clamp the same way; keep them in
// the 16-bit range the pixel helper takes.
int16_t BrightnessArgument(int delta) { return static_cast<int16_t>(std::clamp(delta, -1000, 1000)); }

uint8_t ReadByte(TStream& stream) {
  uint8_t value = 0;
  stream.ReadBuffer(&value, 1);
  return value;
}

void WriteEntry(TStream& stream, std::string_view name, std::string_view value) {
  WriteStreamString(stream, name);
  WriteStreamString(stream, ":");
  WriteStreamString(stream, value);
}

// One entry of a text-form table: name, separator, value. Only the value
// matters: entries are assigned by position.
std::string ReadEntryValue(TStream& stream) {
  ReadStreamString(stream);
  ReadStreamString(stream);
  return ReadStreamString(stream);
}

}  // namespace

// ---- colour values ---------------------------------------------------------

std::string SkColorToString(TColor colour) {
  for (const TColorName& entry : kColorNames) {
    if (entry.Value == colour) return entry.Name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(colour));
  return text;
}

TColor SkStringToColor(std::string_view text) {
  for (const TColorName& entry : kColorNames) {
    if (SameTextAscii(entry.Name, text)) return entry.Value;
  }
  return StrToInt(text);
}

TColor ShiftThemeColor(TColor colour, int hueDelta, int brightnessDelta) {
  if (hueDelta == 0 && brightnessDelta == 0) return colour;
  TskPixel pixel = ColorToPixel(colour, 255);
  if (hueDelta != 0) pixel = ShiftHue(pixel, hueDelta);
  if (brightnessDelta != 0) pixel = ShiftBrightness(pixel, BrightnessArgument(brightnessDelta));
  return PixelToColor(pixel);
}

TColor ShiftFontColor(TColor colour, int hueDelta, int brightnessDelta) {
  const TskPixel pixel = ShiftHue(ColorToPixel(colour, 255), hueDelta);
  return PixelToColor(ShiftBrightness(pixel, BrightnessArgument(brightnessDelta)));
}

// ---- text geometry ---------------------------------------------------------

TskTextInfo MakeTextInfo(const TRect& rect, std::wstring_view text, unsigned formatFlags) {
  TskTextInfo info;
  info.Rect = rect;
  info.Text.assign(text);
  const bool centre = (formatFlags & kDtCenter) != 0;
  const bool right = (formatFlags & kDtRight) != 0;
  // Columns: left, centre, right; rows: top, middle, bottom.
  const uint8_t column = centre ? 1 : right ? 2 : 0;
  const uint8_t row = (formatFlags & kDtVCenter) != 0 ? 1 : (formatFlags & kDtBottom) != 0 ? 2 : 0;
  info.Align = static_cast<uint8_t>(column * 3 + row);
  if ((formatFlags & kDtRtlReading) != 0) info.Options |= txoRtlReading;
  if ((formatFlags & kDtNoPrefix) != 0) info.Options |= txoNoPrefix;
  if ((formatFlags & kDtSingleLine) != 0) info.Options |= txoSingleLine;
  if ((formatFlags & kDtWordBreak) != 0) info.Options |= txoWordBreak;
  info.Orientation = torHorizontal;
  return info;
}

TRect AlignTextBox(const TRect& rect, int32_t measuredWidth, int32_t measuredHeight, uint8_t align) {
  if (align == talTopLeft || align > talBottomRight) return rect;
  TRect box{rect.Left, rect.Top, rect.Left + measuredWidth, rect.Top + measuredHeight};
  const int64_t dh = RectHeight(rect) - measuredHeight;
  const int64_t dw = RectWidth(rect) - measuredWidth;
  const int row = align % 3;     // 0 top, 1 middle, 2 bottom
  const int column = align / 3;  // 0 left, 1 centre, 2 right
  // Integer division truncates: halves are rounded toward zero.
  const int64_t dy = row == 1 ? dh / 2 : row == 2 ? dh : 0;
  const int64_t dx = column == 1 ? dw / 2 : column == 2 ? dw : 0;
  return OffsetRect(box, static_cast<int32_t>(dx), static_cast<int32_t>(dy));
}

TRect CentreRotatedTextBox(const TRect& rect, int32_t measuredWidth, int32_t measuredHeight) {
  const TRect box{rect.Left, rect.Top, rect.Left + measuredHeight, rect.Top + measuredWidth};
  TRect centred = CentreRect(box, rect);
  centred.Top -= 2;
  centred.Bottom += 2;
  return centred;
}

void RotateTextPixels(const TskBitmap& source, TskBitmap& target, uint8_t orientation) {
  if (source.IsEmpty() || target.IsEmpty()) return;
  if (orientation != torDownward && orientation != torUpward) return;
  const int32_t w = target.Width();
  const int32_t h = target.Height();
  for (int32_t y = 0; y < source.Height(); ++y) {
    const TskPixel* row = source.Row(y);
    for (int32_t x = 0; x < source.Width(); ++x) {
      const TskPixel p = row[x];
      if ((p & 0xFFFFFF) == kKeyColor) continue;
      if (orientation == torDownward) {
        target.SetPixelAt(w - y, x, p);
      } else {
        target.SetPixelAt(y, h - x, p);
      }
    }
  }
}

// ---- frame geometry --------------------------------------------------------

TRect BaseWindowContentRect(const TRect& window) {
  return TRect{window.Left + 4, window.Top + 22, window.Right - 4, window.Bottom - 4};
}

TRect BaseWindowCaptionRect(const TRect& content) { return TRect{content.Left, 3, content.Right, content.Top}; }

TRect BaseWindowButtonRect(const TRect& content, TskWindowButtons buttons, TskWindowButton button) {
  const TRect box{content.Right - 23, 4, content.Right - 1, content.Top - 1};
  auto shown = [buttons](TskWindowButton b) { return (buttons & WindowButtonBit(b)) != 0; };
  if (!shown(button)) return box;
  const bool close = shown(wbClose);
  const bool maximize = shown(wbMaximize) || shown(wbRestoreMax);
  const bool minimize = shown(wbMinimize) || shown(wbRestoreMin);
  const bool roll = shown(wbRollUp) || shown(wbRollDown);
  const bool tray = shown(wbTray);
  // Each button is pushed one box to the left by every button that stands
  // to its right.
  int slots = 0;
  switch (button) {
    case wbSysMenu:
      return TRect{content.Left, 4, content.Left + 22, content.Top - 1};
    case wbClose:
      break;
    case wbMaximize:
    case wbRestoreMax:
      slots = close;
      break;
    case wbMinimize:
    case wbRestoreMin:
      slots = close + maximize;
      break;
    case wbRollUp:
    case wbRollDown:
      slots = close + maximize + minimize;
      break;
    case wbTray:
      slots = close + maximize + minimize + roll;
      break;
    case wbHelp:
      slots = close + maximize + minimize + roll + tray;
      break;
  }
  return OffsetRect(box, -22 * slots, 0);
}

TskHitCode HitTestFrame(uint8_t kind, const TskFrameGeometry& geometry, int32_t x, int32_t y) {
  if (kind != wkStandard && kind != wkDialog && kind != wkSingle && kind != wkToolWindow) return hcClient;
  const TRect& w = geometry.Window;
  const TRect& c = geometry.Content;
  auto inside = [x, y](const TRect& r) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; };
  const bool left = inside(TRect{w.Left, w.Top, c.Left, w.Bottom});
  const bool top = inside(TRect{w.Left, w.Top, w.Right, c.Top});
  const bool right = inside(TRect{c.Right, w.Top, w.Right, w.Bottom});
  const bool bottom = inside(TRect{w.Left, c.Bottom, w.Right, w.Bottom});
  TskHitCode code = hcClient;
  if (left) code = hcLeft;
  if (top) code = hcTop;
  if (right) code = hcRight;
  if (bottom) code = hcBottom;
  if (left && top) code = hcTopLeft;
  if (right && top) code = hcTopRight;
  if (left && bottom) code = hcBottomLeft;
  if (right && bottom) code = hcBottomRight;
  if (inside(geometry.Caption)) code = hcCaption;
  if (geometry.ButtonRect) {
    static constexpr TskHitCode kButtonCodes[] = {hcSysMenu,  hcClose,    hcHelp,     hcMinimize, hcMinimize,
                                                  hcMaximize, hcMaximize, hcRoll,     hcRoll,     hcTray};
    for (int b = wbSysMenu; b <= wbTray; ++b) {
      const auto button = static_cast<TskWindowButton>(b);
      if (!geometry.Shown(button)) continue;
      if (inside(geometry.ButtonRect(button))) return kButtonCodes[b];
    }
  }
  return code;
}

// ---- colour tables ---------------------------------------------------------

const std::array<const char*, kThemeColorCount> kThemeColorNames = {
    "CaptionNormal", "CaptionInactive", "WindowBorder", "Window",        "Border",         "PanelNormal",
    "PanelDisabled", "ButtonNormal",    "ButtonHot",    "ButtonPressed", "ButtonFocused",  "ButtonDisabled",
    "EditNormal",    "EditHot",         "EditFocused",  "EditDisabled",  "EditSelection",  "Hint",
    "List",          "Tree",            "Grid",         "BarDock"};

void TskThemeColors::SetDefaults() {
  const TColor face = SkSystemColor(sciBtnFace);
  const TColor window = SkSystemColor(sciWindow);
  colors_[ciCaptionNormal] = 0xFF0000;  // blue
  colors_[ciCaptionInactive] = 0xC0C0C0;
  colors_[ciWindowBorder] = 0x808080;
  colors_[ciWindow] = 0xC0C0C0;
  for (int i : {ciPanelNormal, ciPanelDisabled, ciButtonNormal, ciButtonHot, ciButtonPressed, ciButtonFocused,
                ciButtonDisabled, ciEditDisabled, ciBarDock}) {
    colors_[static_cast<size_t>(i)] = face;
  }
  for (int i : {ciEditNormal, ciEditHot, ciEditFocused, ciList, ciTree, ciGrid}) {
    colors_[static_cast<size_t>(i)] = window;
  }
  colors_[ciEditSelection] = SkSystemColor(sciHighlight);
  colors_[ciHint] = SkSystemColor(sciInfoBk);
  if (colors_[ciBorder] == borderAfterShift_) colors_[ciBorder] = borderBeforeShift_;
}

void TskThemeColors::Shift(int hueDelta, int brightnessDelta) {
  borderBeforeShift_ = colors_[ciBorder];
  for (TColor& c : colors_) c = ShiftThemeColor(c, hueDelta, brightnessDelta);
  borderAfterShift_ = colors_[ciBorder];
}

void TskThemeColors::WriteToStream(TStream& stream) const {
  const uint8_t countLess1 = kThemeColorCount - 1;
  stream.WriteBuffer(&countLess1, 1);
  for (int i = 0; i < kThemeColorCount; ++i) {
    WriteEntry(stream, kThemeColorNames[static_cast<size_t>(i)], SkColorToString(colors_[static_cast<size_t>(i)]));
  }
}

void TskThemeColors::ReadFromStream(TStream& stream) {
  const int count = ReadByte(stream) + 1;
  for (int i = 0; i < count; ++i) {
    const TColor value = SkStringToColor(ReadEntryValue(stream));
    if (i < kThemeColorCount) colors_[static_cast<size_t>(i)] = value;
  }
}

const std::array<const char*, kThemeSysColorCount> kThemeSysColorNames = {
    "clActiveBorder",   "clActiveCaption", "clAppWorkSpace",   "clBackground",      "clBtnFace",
    "clBtnHighlight",   "clBtnShadow",     "clBtnText",        "clCaptionText",     "clDefault",
    "clActiveCaption",  "clGrayText",      "clHighlight",      "clHighlightText",   "clInactiveBorder",
    "clInactiveCaption", "clInactiveCaptionText", "clInfoBk",  "clInfoText",        "clMenu",
    "clMenuText",       "clScrollBar",     "cl3DDkShadow",     "cl3DLight",         "clWindow",
    "clWindowFrame"};

const std::array<TColor, kThemeSysColorCount> kThemeSysColorIdents = {
    SkSystemColor(sciActiveBorder),   SkSystemColor(sciActiveCaption),      SkSystemColor(sciAppWorkSpace),
    SkSystemColor(sciBackground),     SkSystemColor(sciBtnFace),            SkSystemColor(sciBtnHighlight),
    SkSystemColor(sciBtnShadow),      SkSystemColor(sciBtnText),            SkSystemColor(sciCaptionText),
    kSkDefaultColor,                  SkSystemColor(sciActiveCaption),      SkSystemColor(sciGrayText),
    SkSystemColor(sciHighlight),      SkSystemColor(sciHighlightText),      SkSystemColor(sciInactiveBorder),
    SkSystemColor(sciInactiveCaption), SkSystemColor(sciInactiveCaptionText), SkSystemColor(sciInfoBk),
    SkSystemColor(sciInfoText),       SkSystemColor(sciMenu),               SkSystemColor(sciMenuText),
    SkSystemColor(sciScrollBar),      SkSystemColor(sci3DDkShadow),         SkSystemColor(sci3DLight),
    SkSystemColor(sciWindow),         SkSystemColor(sciWindowFrame)};

TskThemeSysColors::TskThemeSysColors(TskTheme* theme) : theme_(theme) {
  for (size_t i = 0; i < base_.size(); ++i) base_[i] = ColorToRGB(kThemeSysColorIdents[i]);
  values_ = base_;
}

TColor TskThemeSysColors::Lookup(TColor identifier) const {
  for (size_t i = 0; i < kThemeSysColorIdents.size(); ++i) {
    if (kThemeSysColorIdents[i] == identifier) return values_[i];
  }
  return kSkNoColor;
}

void TskThemeSysColors::Store(TColor identifier, TColor value) {
  for (size_t i = 0; i < kThemeSysColorIdents.size(); ++i) {
    if (kThemeSysColorIdents[i] == identifier) {
      base_[i] = value;
      values_[i] = value;
      return;
    }
  }
}

void TskThemeSysColors::Shift(int hueDelta, int brightnessDelta) {
  for (size_t i = 0; i < base_.size(); ++i) values_[i] = ShiftThemeColor(base_[i], hueDelta, brightnessDelta);
}

void TskThemeSysColors::Assign(const TskThemeSysColors& source) {
  base_ = source.base_;
  values_ = source.values_;
}

void TskThemeSysColors::WriteToStream(TStream& stream) const {
  WriteInt32(stream, kThemeSysColorCount);
  for (size_t i = 0; i < values_.size(); ++i) WriteEntry(stream, kThemeSysColorNames[i], SkColorToString(values_[i]));
}

void TskThemeSysColors::ReadFromStream(TStream& stream) {
  const int32_t count = ReadInt32(stream);
  // A count the stream cannot hold ends with a read error on the way.
  for (int32_t i = 0; i < count; ++i) {
    const TColor value = SkStringToColor(ReadEntryValue(stream));
    if (i < kThemeSysColorCount) {
      base_[static_cast<size_t>(i)] = value;
      values_[static_cast<size_t>(i)] = value;
    }
  }
}

// ---- fonts -----------------------------------------------------------------

const std::array<const char*, kThemeFontCount> kThemeFontNames = {
    "CaptionTextNormal",        "CaptionTextInactive",       "SmCaptionTextNormal",
    "SmCaptionTextInactive",    "StaticTextNormal",          "StaticTextHot",
    "StaticTextFocused",        "StaticTextDisabled",        "PanelTextNormal",
    "PanelTextDisabled",        "ButtonTextNormal",          "ButtonTextPressed",
    "ButtonTextHot",            "ButtonTextFocused",         "ButtonTextDisabled",
    "CheckBoxTextNormal",       "CheckBoxTextPressed",       "CheckBoxTextHot",
    "CheckBoxTextFocused",      "CheckBoxTextDisabled",      "RadioButtonTextNormal",
    "RadioButtonTextPressed",   "RadioButtonTextHot",        "RadioButtonTextFocused",
    "RadioButtonTextDisabled",  "GroupBoxTextNormal",        "GroupBoxTextDisabled",
    "WindowTextNormal",         "WindowTextDisabled",        "EditBoxTextNormal",
    "EditBoxTextFocused",       "EditBoxTextHot",            "EditBoxTextDisabled",
    "EditBoxTextSelected",      "MenuItemTextNormal",        "MenuItemTextSelected",
    "MenuItemTextHot",          "MenuItemTextDisabled",      "ToolItemTextNormal",
    "ToolItemTextSelected",     "ToolItemTextHot",           "ToolItemTextDisabled",
    "HeaderSectionTextNormal",  "HeaderSectionTextPressed",  "HeaderSectionTextDraggedOut",
    "HeaderSectionTextDragging", "HeaderSectionTextHot",     "HeaderSectionTextUnderDrag",
    "HeaderSectionTextDisabled", "StatusPanelTextNormal",    "StatusPanelTextDisabled",
    "TabTextInactiveNormal",    "TabTextInactiveHot",        "TabTextInactiveDisabled",
    "TabTextActiveNormal",      "TabTextActiveHot",          "TabTextActiveDisabled",
    "ListItemTextNormal",       "ListItemTextHot",           "ListItemTextSelected",
    "ListItemTextFocused",      "ListItemTextDisabled",      "PopupMenuItemTextNormal",
    "PopupMenuItemTextSelected", "PopupMenuItemTextHot",     "PopupMenuItemTextDisabled"};

TskFontRecord ConstructionFont() { return TskFontRecord{}; }

TskFontRecord DefaultThemeFont(int index) {
  TskFontRecord font = ConstructionFont();
  auto set = [&font](int size, TColor colour, unsigned style) {
    font.Size = size;
    font.Color = colour;
    font.Style = style;
  };
  switch (index) {
    case 0: set(10, 0xFFFFFF, fstBold); break;
    case 1: set(10, 0xC0C0C0, fstBold); break;
    case 2: set(8, 0xFFFFFF, fstBold); break;
    case 3: set(8, 0xC0C0C0, fstBold); break;
    case 33: set(8, 0xFFFFFF, 0); break;
    case 14: case 26: case 28: case 32: case 37: case 41: case 65:
      set(8, SkSystemColor(sciBtnShadow), 0);
      break;
    default:
      if ((index >= 4 && index <= 7) || (index >= 10 && index <= 13) || (index >= 15 && index <= 25) ||
          index == 27 || (index >= 29 && index <= 31) || index == 46) {
        set(8, 0x000000, 0);
      }
      break;
  }
  return font;
}

std::string FontToText(const TskFontRecord& font) {
  const auto rgb = static_cast<uint32_t>(ColorToRGB(font.Color));
  std::string text = font.Face + "," + IntToStr(font.Size) + "," + IntToStr(font.Charset) + "," +
                     IntToStr(rgb & 0xFF) + "," + IntToStr((rgb >> 8) & 0xFF) + "," + IntToStr((rgb >> 16) & 0xFF);
  if ((font.Style & fstBold) != 0) text += ",bold";
  if ((font.Style & fstItalic) != 0) text += ",italic";
  if ((font.Style & fstUnderline) != 0) text += ",underline";
  if ((font.Style & fstStrikeOut) != 0) text += ",strikeout";
  return text;
}

TskFontRecord FontFromText(std::string_view text, const TskFontRecord& base) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',' || text[i] == ';') {
      fields.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  auto field = [&fields](size_t number) -> std::string_view {
    return number <= fields.size() ? fields[number - 1] : std::string_view{};
  };
  TskFontRecord font = base;
  if (!field(1).empty()) font.Face = std::string(field(1));
  int32_t size = 0;
  if (TryStrToInt(field(2), size)) font.Size = size;
  int32_t r = 0, g = 0, b = 0;
  if (TryStrToInt(field(4), r) && TryStrToInt(field(5), g) && TryStrToInt(field(6), b)) {
    font.Color = RgbColor(r, g, b);
  }
  static constexpr struct {
    const char* Name;
    unsigned Style;
  } kStyles[] = {{"bold", fstBold}, {"italic", fstItalic}, {"underline", fstUnderline}, {"strikeout", fstStrikeOut}};
  font.Style = 0;
  for (size_t position = 0; position < 4; ++position) {
    const std::string_view value = field(7 + position);
    if (value.empty()) continue;
    unsigned style = kStyles[position].Style;
    for (const auto& named : kStyles) {
      if (SameTextAscii(value, named.Name)) style = named.Style;
    }
    font.Style |= style;
  }
  return font;
}

void WriteFontTable(TStream& stream, const std::vector<TskFontRecord>& fonts) {
  const auto count = static_cast<int>(std::min<size_t>(fonts.size(), kThemeFontCount));
  if (count == 0) return;
  const auto countLess1 = static_cast<uint8_t>(count - 1);
  stream.WriteBuffer(&countLess1, 1);
  for (int i = 0; i < count; ++i) {
    WriteEntry(stream, kThemeFontNames[static_cast<size_t>(i)], FontToText(fonts[static_cast<size_t>(i)]));
  }
}

std::vector<TskFontRecord> ReadFontTable(TStream& stream, const std::vector<TskFontRecord>& current) {
  std::vector<TskFontRecord> fonts = current;
  const int count = ReadByte(stream) + 1;
  for (int i = 0; i < count; ++i) {
    const std::string value = ReadEntryValue(stream);
    if (i < static_cast<int>(fonts.size())) fonts[static_cast<size_t>(i)] = FontFromText(value, fonts[static_cast<size_t>(i)]);
  }
  return fonts;
}
