#include "skin/theme_msux.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "graphics/sk_utils.h"

namespace {

// A theme object's surface on a device context.
class TDcSurface : public TmsuxSurface {
 public:
  explicit TDcSurface(HDC dc) : dc_(dc) {}
  void FillRect(const TRect& rect, TColor colour) override { FillRectColor(dc_, rect, colour); }
  void FrameRect(const TRect& rect, TColor colour) override { FrameRectColor(dc_, rect, colour); }
  void DrawRect(const TskBitmap& bitmap, const TRect& destination, const TRect& source) override {
    bitmap.DrawRect(dc_, destination, source);
  }
  void Tile(const TskBitmap& bitmap, const TRect& destination, const TRect& source, const TRect& clip) override {
    bitmap.Tile(dc_, destination, source, clip);
  }

 private:
  HDC dc_;
};

TRect Shrink(const TRect& rect, int32_t by) { return Inset(rect, TRect{by, by, by, by}); }

// The frame geometry adds the description's metrics and margins, which may
// be any 32-bit values, to the window's coordinates: the sums are taken in
// 64 bits and kept within the 32-bit range.
TRect Rect64(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  auto clamp = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return TRect{clamp(left), clamp(top), clamp(right), clamp(bottom)};
}

bool IsToolWindow(int kind) { return kind == wkToolWindow; }
bool HasFrame(int kind) { return kind == wkStandard || kind == wkDialog || kind == wkToolWindow; }

void ApplyFont(TFont& font, const TmsuxFont& value) {
  font.SetName(AnsiToWide(value.Face));
  font.SetSize(value.Size);
  font.SetStyle((value.Bold ? fsBold : 0u) | (value.Italic ? fsItalic : 0u) | (value.Underline ? fsUnderline : 0u) |
                (value.StrikeOut ? fsStrikeOut : 0u));
}

unsigned FontStyle(const TmsuxFont& value) {
  return (value.Bold ? fstBold : 0u) | (value.Italic ? fstItalic : 0u) | (value.Underline ? fstUnderline : 0u) |
         (value.StrikeOut ? fstStrikeOut : 0u);
}

// The extension with its dot, lower-cased.
std::string LowerExtension(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// ---- module resources ---------------------------------------------------------

// A module loaded as data only, freed with the object.
class TDataModule {
 public:
  explicit TDataModule(const std::string& fileName)
      : module_(LoadLibraryExW(Utf8ToWide(fileName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~TDataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  TDataModule(const TDataModule&) = delete;
  TDataModule& operator=(const TDataModule&) = delete;

  bool Loaded() const { return module_ != nullptr; }

  // The resource's bytes; empty when there is none.
  std::span<const uint8_t> Resource(LPCWSTR name, LPCWSTR type) const {
    HRSRC info = FindResourceW(module_, name, type);
    if (info == nullptr) return {};
    HGLOBAL handle = LoadResource(module_, info);
    const void* bytes = handle != nullptr ? LockResource(handle) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const uint8_t*>(bytes), SizeofResource(module_, info)};
  }

 private:
  HMODULE module_;
};

// The zero-terminated UTF-16 names of a name-list resource.
std::vector<std::wstring> NameList(std::span<const uint8_t> bytes) {
  std::vector<std::wstring> names;
  std::wstring current;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == 0) {
      if (!current.empty()) names.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) names.push_back(current);
  return names;
}

// The description text of a module: UTF-16 taken character by character as
// 8-bit, " = " written as "=", and its last three characters (the end of
// the text resource) dropped.
std::string ModuleDescriptionText(std::span<const uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char>(bytes[i] | (bytes[i + 1] << 8)));
  }
  std::string joined;
  joined.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, " = ") == 0) {
      joined.push_back('=');
      i += 2;
    } else {
      joined.push_back(text[i]);
    }
  }
  joined.resize(joined.size() >= 3 ? joined.size() - 3 : 0);
  return joined;
}

}  // namespace

// ---- the stored theme resource ------------------------------------------------

std::span<const uint8_t> StoredThemeResource() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&StoredThemeResource), &module)) {
    return {};
  }
  HRSRC info = FindResourceW(module, kStoredThemeResourceName, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (info == nullptr) return {};
  HGLOBAL handle = LoadResource(module, info);
  const void* bytes = handle != nullptr ? LockResource(handle) : nullptr;
  if (bytes == nullptr) return {};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(module, info)};
}

// ---- the kind ---------------------------------------------------------------------

TSkThemeMsStyles::TSkThemeMsStyles() {
  // The base constructor ran its own Reset; this kind's tables start from
  // its own defaults (there is no data yet).
  Reset();
}

TSkThemeMsStyles::~TSkThemeMsStyles() = default;

const TskThemeClass& TSkThemeMsStyles::Class() {
  static const TskThemeClass kind{
      "Microsoft msstyles",
      TskThemeConfig{false, true, true, "Microsoft msstyles (*.msstyles)|*.msstyles|StyleDriver themes (*.theme)|*.theme",
                     "msstyles"},
      [](TStream& stream) { return TmsuxThemeData::CanLoadStream(stream); },
      [] { return std::make_unique<TSkThemeMsStyles>(); }};
  return kind;
}

void RegisterMsStylesThemeKind() { ThemeManager().RegisterThemeKind(TSkThemeMsStyles::Class()); }

void TSkThemeMsStyles::Reset() {
  buildFailed_ = false;
  if (!data_.Description.IsEmpty() || data_.Pristine.Size() > 0) {
    try {
      data_.Build(DeltaHue(), DeltaBrightness());
    } catch (const Exception&) {
      // A description this kind cannot read leaves a theme without data:
      // every family then answers "not defined" and controls draw their own
      // look. Theme operations never fail.
      buildFailed_ = true;
      data_.Description.Clear();
      data_.Images.Clear();
      data_.Pristine.Clear();
      data_.Build(0, 0);
    }
  }
  TskTheme::Reset();
}

void TSkThemeMsStyles::ResetColors() {
  Colors().SetDefaults();
  if (data_.HoldsData()) {
    // The values as the description states them, so that the one shift
    // below is the only one.
    Colors()[ciButtonNormal] = Object(TmsuxObjectId::PushButton).FillColorHint;
    if (const std::string* fill = Object(TmsuxObjectId::ListView).PropertyNamed("fillcolor")) {
      const TColor list = MsuxColor(*fill);
      for (int index : {ciList, ciTree, ciGrid, ciBarDock}) Colors()[index] = list;
    }
  }
  Colors().Shift(DeltaHue(), DeltaBrightness());
}

void TSkThemeMsStyles::ResetSysColors() {
  if (data_.HoldsData()) {
    static constexpr std::pair<const char*, TColor> kSysMetrics[] = {{"Window", clWindow},
                                                                      {"BtnFace", clBtnFace},
                                                                      {"Highlight", clHighlight},
                                                                      {"BtnShadow", clBtnShadow},
                                                                      {"HighlightText", clHighlightText}};
    for (const auto& [key, identifier] : kSysMetrics) SysColors().Store(identifier, data_.SysMetricColor(key));
  }
  MenuColor = ShiftThemeColor(data_.SysMetricColor("Menu"), DeltaHue(), DeltaBrightness());
  MenuBarColor = ShiftThemeColor(data_.SysMetricColor("MenuBar"), DeltaHue(), DeltaBrightness());
  MenuHighlightColor = ShiftThemeColor(data_.SysMetricColor("MenuHilight"), DeltaHue(), DeltaBrightness());
  TskTheme::ResetSysColors();
}

void TSkThemeMsStyles::ResetFonts() {
  TskTheme::ResetFonts();
  ApplyFont(MenuFont, data_.SysMetricFont("MenuFont"));
  ApplyFont(StatusFont, data_.SysMetricFont("StatusFont"));
  const TmsuxFont messageBox = data_.SysMetricFont("MsgBoxFont");
  ApplyFont(MessageBoxFont, messageBox);
  if (!data_.HoldsData()) return;

  auto shifted = [&](TColor colour) { return ShiftFontColor(colour, DeltaHue(), DeltaBrightness()); };
  const TmsuxFont caption = data_.SysMetricFont("CaptionFont", "Tahoma,10");
  for (int index : {fiCaptionTextNormal, fiCaptionTextInactive}) {
    TskFontRecord record = Fonts().Record(index);
    record.Face = caption.Face;
    record.Size = caption.Size;
    record.Color = shifted(data_.SysMetricColor(index == fiCaptionTextNormal ? "CaptionText" : "InactiveCaptionText",
                                                "255 255 255"));
    Fonts().SetRecord(index, record);
  }
  const TColor highlightText = shifted(data_.SysMetricColor("HighlightText"));
  for (int index : {fiMenuItemTextSelected, fiMenuItemTextHot, fiPopupMenuItemTextSelected, fiPopupMenuItemTextHot}) {
    TskFontRecord record = Fonts().Record(index);
    record.Color = highlightText;
    Fonts().SetRecord(index, record);
  }
  if (Object(TmsuxObjectId::PushButton).HasProperties()) {
    // The objects' colours are shifted by the build already.
    for (int index = fiButtonTextNormal; index <= fiButtonTextDisabled; ++index) {
      TskFontRecord record = Fonts().Record(index);
      record.Face = messageBox.Face;
      record.Size = messageBox.Size;
      record.Style = FontStyle(messageBox);
      record.Color = index == fiButtonTextDisabled ? Object(TmsuxObjectId::PushButtonDisabled).TextColor
                                                   : Object(TmsuxObjectId::PushButton).TextColor;
      Fonts().SetRecord(index, record);
    }
  }
}

bool TSkThemeMsStyles::LoadFromStream(TStream& stream) {
  bool read = false;
  try {
    read = data_.ReadStoredForm(stream);
  } catch (const Exception&) {
    read = false;
  }
  if (!read) {
    // Not a stored form, or a damaged one: this theme holds nothing.
    data_.Description.Clear();
    data_.Images.Clear();
  }
  Name = data_.Name;
  SourceName = data_.Name;
  data_.Pristine.Clear();
  Reset();
  return read && !buildFailed_;
}

bool TSkThemeMsStyles::SaveToStream(TStream& stream) {
  try {
    if (data_.Pristine.Size() > 0) {
      // Shifted images are a view of the pristine ones: the stored form
      // always holds the originals, so a later shift starts from them.
      TmsuxThemeData original;
      data_.Pristine.SetPosition(0);
      original.ReadStoredForm(data_.Pristine);
      original.Name = Name;
      original.WriteStoredForm(stream);
    } else {
      data_.Name = Name;
      data_.WriteStoredForm(stream);
    }
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool TSkThemeMsStyles::LoadFromFile(const std::string& fileName) {
  ModuleFile = fileName;
  FileName = fileName;
  if (LowerExtension(fileName) == ".theme") {
    try {
      TFileStream file(fileName, TFileMode::OpenRead);
      return LoadFromStream(file);
    } catch (const Exception&) {
      return false;
    }
  }

  TDataModule module(fileName);
  if (!module.Loaded()) return false;
  std::string name = std::filesystem::path(fileName).filename().string();
  name = name.substr(0, name.find('.'));
  const std::vector<std::wstring> colours = NameList(module.Resource(MAKEINTRESOURCEW(1), L"COLORNAMES"));
  const std::vector<std::wstring> sizes = NameList(module.Resource(MAKEINTRESOURCEW(1), L"SIZENAMES"));
  const std::vector<std::wstring> files = NameList(module.Resource(MAKEINTRESOURCEW(1), L"FILERESNAMES"));
  // The first colour scheme in its first size.
  const size_t colourIndex = 0, sizeIndex = 0;
  const size_t entry = sizes.size() * colourIndex + sizeIndex;
  if (colours.empty() || sizes.empty() || files.empty() || entry >= files.size()) return false;
  const std::span<const uint8_t> text = module.Resource(files[entry].c_str(), L"TEXTFILE");

  SourceName = name;
  Name = name;
  data_.Name = name;
  data_.Images.Clear();
  data_.Description.SetText(ModuleDescriptionText(text));
  data_.Pristine.Clear();
  const std::string moduleFile = ModuleFile;
  data_.LoadImage = [moduleFile](TskBitmap& bitmap, const std::string& imageName) {
    try {
      bitmap.LoadFromResource(moduleFile, imageName);
    } catch (const Exception&) {
      // A missing or unreadable image stays empty and paints nothing.
    }
  };
  Reset();
  data_.LoadImage = nullptr;
  return !buildFailed_;
}

void TSkThemeMsStyles::SaveToFile(const std::string& fileName) {
  const std::string target = std::filesystem::path(fileName).replace_extension(".theme").string();
  TMemoryStream stream;
  if (SaveToStream(stream)) stream.SaveToFile(target);
}

// ---- painting helpers -------------------------------------------------------------

void TSkThemeMsStyles::PaintObject(TCanvas& canvas, const TmsuxThemeObject& object, const TRect& rect, int image,
                                   TColor fillColor) const {
  if (image < 0 || !Loaded() || IsRectEmpty(rect)) return;
  canvas.WithHandle([&](HDC dc) {
    TDcSurface surface(dc);
    object.PaintObject(surface, rect, image, TRect{}, fillColor);
  });
}

void TSkThemeMsStyles::PaintObject(TCanvas& canvas, TmsuxObjectId id, const TRect& rect, int image) const {
  if (!Loaded()) return;
  const TmsuxThemeObject& object = Object(id);
  PaintObject(canvas, object, rect, image, object.FillColor);
}

// ---- Window ------------------------------------------------------------------------

bool TSkThemeMsStyles::DefinesWindow(int, const std::string&) { return Loaded(); }

TRect TSkThemeMsStyles::WindowContentRect(int kind, const TskWindowInfo& info, const std::string&) {
  const TRect& r = info.Rect;
  if (kind == wkStandard || kind == wkDialog) {
    const int64_t b = data_.BorderWidth;
    return Rect64(r.Left + b, r.Top + data_.CaptionBarHeight + b, r.Right - b, r.Bottom - b);
  }
  if (IsToolWindow(kind)) {
    const int64_t b = data_.SmallBorderWidth;
    return Rect64(r.Left + b, r.Top + data_.SmallCaptionBarHeight + b, r.Right - b, r.Bottom - b);
  }
  return r;
}

TRect TSkThemeMsStyles::WindowCaptionRect(int kind, const TskWindowInfo& info, const std::string& objectName) {
  const TRect content = WindowContentRect(kind, info, objectName);
  const TmsuxMargins margins =
      Loaded() ? Object(TmsuxObjectId::Caption).CaptionMargins : TmsuxMargins{};
  int64_t left = int64_t{content.Left} + margins.Left;
  const int64_t top = int64_t{info.Rect.Top} + (IsToolWindow(kind) ? data_.SmallBorderWidth : data_.BorderWidth);
  const int64_t right = int64_t{content.Right} - margins.Right;
  if ((kind == wkStandard || kind == wkDialog) && info.Shows(wbSysMenu)) left += data_.CaptionBarHeight;
  return Rect64(left, top, right, content.Top);
}

TRect TSkThemeMsStyles::WindowButtonRect(int kind, const TskWindowInfo& info, const std::string& objectName,
                                         TskWindowButton button) {
  if (!HasFrame(kind) || !info.Shows(button)) return TRect{};
  const bool tool = IsToolWindow(kind);
  if (tool && button != wbClose) return TRect{};
  const int64_t s = tool ? int64_t{data_.SmallCaptionBarHeight} - 2 : int64_t{data_.CaptionBarHeight} - data_.BorderWidth;
  const int64_t b = tool ? data_.SmallBorderWidth : data_.BorderWidth;
  const int64_t right = info.Rect.Right, top = info.Rect.Top;
  // The close box, moved left by steps boxes and their gaps.
  auto moved = [&](int steps) {
    const int64_t shift = steps * (s + 2);
    return Rect64(right - b - 1 - s - shift, b + 1, right - b - 1 - shift, top + b + 1 + s);
  };
  const TRect box = moved(0);
  const bool close = info.Shows(wbClose);
  const bool max = info.Shows(wbMaximize) || info.Shows(wbRestoreMax);
  const bool min = info.Shows(wbMinimize) || info.Shows(wbRestoreMin);
  switch (button) {
    case wbClose: return box;
    case wbMaximize:
    case wbRestoreMax: return moved(close ? 1 : 0);
    case wbMinimize:
    case wbRestoreMin: return moved((close ? 1 : 0) + (max ? 1 : 0));
    case wbHelp: return moved((close ? 1 : 0) + (max ? 1 : 0) + (min ? 1 : 0));
    case wbSysMenu: {
      const TRect content = WindowContentRect(kind, info, objectName);
      return Rect64(content.Left, 5, content.Left + s, 5 + s);
    }
    default: return TRect{};  // roll-up, roll-down and tray are not shown by this kind
  }
}

TskHitCode TSkThemeMsStyles::WindowHitTest(int kind, const TskWindowInfo& info, const std::string& objectName, int x,
                                           int y) {
  const TskHitCode code = TskTheme::WindowHitTest(kind, info, objectName, x, y);
  if (code != hcTop && code != hcClient) return code;
  // The caption band lies between the borders, below the top border.
  const int64_t b = IsToolWindow(kind) ? data_.SmallBorderWidth : data_.BorderWidth;
  const TRect content = WindowContentRect(kind, info, objectName);
  const TRect band = Rect64(info.Rect.Left + b, info.Rect.Top + b, info.Rect.Right - b, content.Top);
  if (HasFrame(kind) && x >= band.Left && x < band.Right && y >= band.Top && y < band.Bottom) return hcCaption;
  return code;
}

HRGN TSkThemeMsStyles::WindowRegion(int kind, const TRect& rect, const std::string& objectName) {
  if (!Loaded() || !HasFrame(kind) || IsRectEmpty(rect)) return nullptr;
  TskWindowInfo info;
  info.Rect = TRect{0, 0, static_cast<int32_t>(RectWidth(rect)), static_cast<int32_t>(RectHeight(rect))};
  info.Active = 1;
  const TRect content = WindowContentRect(kind, info, objectName);
  // The frame parts are painted over the key colour; whatever they leave
  // key-coloured is outside the window. The client area is inside.
  TskBitmap shape;
  shape.SetSize(info.Rect.Right, info.Rect.Bottom);
  shape.Fill(kKeyPixel);
  shape.FillRect(content, 0xFF000000u);
  const bool tool = IsToolWindow(kind);
  TmsuxBitmapSurface surface(shape);
  auto part = [&](TmsuxObjectId id, const TRect& r) { Object(id).PaintObject(surface, r, 1, TRect{}); };
  part(tool ? TmsuxObjectId::SmallCaption : TmsuxObjectId::Caption, TRect{0, 0, info.Rect.Right, content.Top});
  part(tool ? TmsuxObjectId::SmallFrameLeft : TmsuxObjectId::FrameLeft, TRect{0, content.Top, content.Left, content.Bottom});
  part(tool ? TmsuxObjectId::SmallFrameRight : TmsuxObjectId::FrameRight,
       TRect{content.Right, content.Top, info.Rect.Right, content.Bottom});
  part(tool ? TmsuxObjectId::SmallFrameBottom : TmsuxObjectId::FrameBottom,
       TRect{0, content.Bottom, info.Rect.Right, info.Rect.Bottom});
  return RegionFromBitmap(shape, rect.Left, rect.Top);
}

void TSkThemeMsStyles::PaintWindow(int kind, TCanvas& canvas, const std::string& objectName,
                                   const TskWindowInfo& info) {
  if (!Loaded() || !HasFrame(kind)) return;
  const bool tool = IsToolWindow(kind);
  const int image = info.IsActive() ? 1 : 2;
  const TRect r = info.Rect;
  const TRect c = WindowContentRect(kind, info, objectName);
  const bool captionOnly = !IsRectEmpty(info.PaintRect) && info.PaintRect.Top != 0;
  if (!captionOnly) {
    PaintObject(canvas, tool ? TmsuxObjectId::SmallCaption : TmsuxObjectId::Caption, TRect{r.Left, r.Top, r.Right, c.Top},
                image);
  }
  PaintObject(canvas, tool ? TmsuxObjectId::SmallFrameLeft : TmsuxObjectId::FrameLeft,
              TRect{r.Left, c.Top, c.Left, c.Bottom}, image);
  PaintObject(canvas, tool ? TmsuxObjectId::SmallFrameRight : TmsuxObjectId::FrameRight,
              TRect{c.Right, c.Top, r.Right, c.Bottom}, image);
  PaintObject(canvas, tool ? TmsuxObjectId::SmallFrameBottom : TmsuxObjectId::FrameBottom,
              TRect{r.Left, c.Bottom, r.Right, r.Bottom}, image);
}

void TSkThemeMsStyles::PaintWindowClient(int, TCanvas& canvas, const std::string&, const TRect& rect) {
  const TColor face = SysColor(clBtnFace);
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, rect, face); });
}

void TSkThemeMsStyles::PaintWindowCaption(int kind, TCanvas& canvas, const std::string&, const TRect& rect,
                                          const TskWindowInfo& info) {
  if (!Loaded()) return;
  const bool active = info.IsActive();
  const TmsuxThemeObject& caption = Object(IsToolWindow(kind) ? TmsuxObjectId::SmallCaption : TmsuxObjectId::Caption);
  TRect r = rect;
  if (kind == wkStandard || kind == wkDialog) {
    int shown = 0;
    if (info.Shows(wbClose)) ++shown;
    if (info.Shows(wbMaximize) || info.Shows(wbRestoreMax)) ++shown;
    if (info.Shows(wbMinimize) || info.Shows(wbRestoreMin)) ++shown;
    if (info.Shows(wbHelp)) ++shown;
    if (info.Shows(wbTray)) ++shown;
    if (info.Shows(wbRollUp) || info.Shows(wbRollDown)) ++shown;
    const int64_t limit = RectWidth(info.Rect) - 2 * int64_t{data_.BorderWidth} - int64_t{data_.CaptionBarHeight} * shown;
    if (limit < r.Right) r.Right = static_cast<int32_t>(limit);
  }
  if (IsRectEmpty(r)) return;

  canvas.Font().Assign(Fonts().Font(active ? fiCaptionTextNormal : fiCaptionTextInactive));
  const TColor textColour = canvas.Font().Color();
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  format |= caption.ContentAlignment == 1 ? DT_CENTER : caption.ContentAlignment == 2 ? DT_RIGHT : DT_LEFT;
  std::wstring text;
  canvas.WithHandle([&](HDC dc) { text = EllipsizeText(dc, info.Caption, static_cast<int>(RectWidth(r))); });

  const TmsuxThemeObject& state = Object(active ? TmsuxObjectId::CaptionActive : TmsuxObjectId::CaptionInactive);
  if (active && state.TextShadowType == 1) {
    TRect shadow = OffsetRect(r, state.TextShadowOffsetX, state.TextShadowOffsetY);
    canvas.Font().SetColor(Object(TmsuxObjectId::Caption).TextShadowColor);
    canvas.DrawText(text, shadow, format);
    canvas.Font().SetColor(textColour);
  }
  canvas.DrawText(text, r, format);
}

void TSkThemeMsStyles::PaintWindowButton(int kind, TCanvas& canvas, const std::string& objectName,
                                         const TskPartRecord& record) {
  if (record.Part == wbSysMenu || !Loaded()) {
    TskTheme::PaintWindowButton(kind, canvas, objectName, record);
    return;
  }
  TmsuxObjectId id;
  switch (record.Part) {
    case wbClose: id = IsToolWindow(kind) ? TmsuxObjectId::SmallCloseButton : TmsuxObjectId::CloseButton; break;
    case wbHelp: id = TmsuxObjectId::HelpButton; break;
    case wbMinimize: id = TmsuxObjectId::MinButton; break;
    case wbMaximize: id = TmsuxObjectId::MaxButton; break;
    case wbRestoreMin:
    case wbRestoreMax:
    case wbRollDown: id = TmsuxObjectId::RestoreButton; break;
    default: return;
  }
  PaintObject(canvas, id, record.Rect, MsuxWindowButtonImage(record.State));
}

// ---- Panel, Spare2, Spare3 -------------------------------------------------------------

bool TSkThemeMsStyles::DefinesPanel(int, const std::string&) { return true; }

TRect TSkThemeMsStyles::PanelContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

void TSkThemeMsStyles::PaintPanel(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TColor face = SysColor(clBtnFace);
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, record.Rect, face);
    Edge3D(dc, record.Rect, LightenColor(face, 30), LightenColor(face, -30));
  });
}

bool TSkThemeMsStyles::DefinesSpare2(int, const std::string&) { return true; }

void TSkThemeMsStyles::PaintSpare2(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TColor face = SysColor(clBtnFace);
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, record.Rect, face); });
}

TRect TSkThemeMsStyles::Spare3ContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

void TSkThemeMsStyles::PaintSpare3(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  const TColor face = SysColor(clBtnFace);
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, record.Rect, face);
    Edge3D(dc, record.Rect, LightenColor(face, -30), LightenColor(face, 30));
  });
}

// ---- Button, CheckBox --------------------------------------------------------------------

bool TSkThemeMsStyles::DefinesButton(int, const std::string&) { return Loaded(); }

bool TSkThemeMsStyles::ButtonTransparent(int, const std::string&) {
  return Loaded() && Object(TmsuxObjectId::PushButton).Transparent;
}

void TSkThemeMsStyles::PaintButton(int kind, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, MsuxButtonObject(kind), record.Rect, MsuxButtonImage(record.State));
}

bool TSkThemeMsStyles::DefinesCheckBox(int, const std::string&) { return Loaded(); }

bool TSkThemeMsStyles::CheckBoxTransparent(int, const std::string&) { return true; }

void TSkThemeMsStyles::PaintCheckBox(int kind, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, MsuxCheckObject(kind), record.Rect, MsuxCheckImage(record.State));
}

// ---- ScrollBar, ProgressBar, TrackBar --------------------------------------------------------

bool TSkThemeMsStyles::DefinesScrollBar(int, const std::string&) { return Loaded(); }

void TSkThemeMsStyles::PaintScrollBarPart(int kind, TCanvas& canvas, const std::string&,
                                          const TskCodedRecord& record) {
  if (kind != 0 || !Loaded()) return;
  const int part = record.Low();
  if (part == 8 || part == 9) {
    const int image = MsuxScrollThumbImage(record.High());
    const bool horizontal = part == 8;
    PaintObject(canvas, horizontal ? TmsuxObjectId::ScrollThumbBtnHorz : TmsuxObjectId::ScrollThumbBtnVert,
                record.Rect, image);
    // The gripper only when it fits inside the thumb.
    const TmsuxThemeObject& gripper =
        Object(horizontal ? TmsuxObjectId::ScrollGripperHorz : TmsuxObjectId::ScrollGripperVert);
    if (image < 0 || gripper.Image.Bitmap == nullptr || gripper.Image.Bitmap->IsEmpty()) return;
    const TRect frame = gripper.FrameRect(*gripper.Image.Bitmap, image);
    if (RectWidth(frame) <= RectWidth(record.Rect) && RectHeight(frame) <= RectHeight(record.Rect)) {
      PaintObject(canvas, gripper, record.Rect, image, gripper.FillColor);
    }
    return;
  }
  PaintObject(canvas, TmsuxObjectId::ScrollArrowBtn, record.Rect, MsuxScrollArrowImage(record.Code));
}

void TSkThemeMsStyles::PaintScrollBarTrack(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  switch (record.Low()) {
    case 0: PaintObject(canvas, TmsuxObjectId::ScrollUpperTrackVert, record.Rect, 1); break;
    case 1: PaintObject(canvas, TmsuxObjectId::ScrollUpperTrackHorz, record.Rect, 1); break;
    default: break;
  }
}

bool TSkThemeMsStyles::DefinesProgressBar(int, const std::string&) { return Loaded(); }

void TSkThemeMsStyles::PaintProgressBar(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  const int id = MsuxProgressObject(record.Low());
  if (id >= 0) PaintObject(canvas, static_cast<TmsuxObjectId>(id), record.Rect, 1);
}

bool TSkThemeMsStyles::DefinesTrackBar(int, const std::string&) { return Loaded(); }

void TSkThemeMsStyles::PaintTrackBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::TrackBar, record.Rect, 1);
}

void TSkThemeMsStyles::PaintTrackBarTrack(int kind, TCanvas& canvas, const std::string&,
                                          const TskStateRecord& record) {
  PaintObject(canvas, kind == 1 ? TmsuxObjectId::TrackBarTrackVert : TmsuxObjectId::TrackBarTrack, record.Rect, 1);
}

void TSkThemeMsStyles::PaintTrackBarThumb(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  const int id = MsuxTrackThumbObject(record.Low());
  if (id >= 0) PaintObject(canvas, static_cast<TmsuxObjectId>(id), record.Rect, MsuxTrackThumbImage(record.High()));
}

// ---- Header, StatusBar -----------------------------------------------------------------------

bool TSkThemeMsStyles::DefinesHeader(int, const std::string&) { return Described(TmsuxObjectId::Header); }

void TSkThemeMsStyles::PaintHeader(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::Header, record.Rect, 1);
}

void TSkThemeMsStyles::PaintHeaderSection(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  PaintObject(canvas, TmsuxObjectId::HeaderItem, record.Rect, MsuxHeaderSectionImage(record.Code));
}

bool TSkThemeMsStyles::DefinesStatusBar(int, const std::string&) { return Described(TmsuxObjectId::Status); }

TRect TSkThemeMsStyles::StatusBarContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

void TSkThemeMsStyles::PaintStatusBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::Status, record.Rect, 1);
}

void TSkThemeMsStyles::PaintStatusPanel(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  switch (record.Low()) {
    case 0:
    case 1: PaintObject(canvas, TmsuxObjectId::StatusPane, record.Rect, 1); break;
    case 2: PaintObject(canvas, TmsuxObjectId::StatusGripperPane, record.Rect, 1); break;
    case 3: PaintObject(canvas, TmsuxObjectId::StatusGripper, record.Rect, 1); break;
    default: break;
  }
}

// ---- Edit, GroupBox, ComboBox ----------------------------------------------------------------

bool TSkThemeMsStyles::DefinesEdit(int, const std::string&) { return Described(TmsuxObjectId::Edit); }

TRect TSkThemeMsStyles::EditContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 4); }

void TSkThemeMsStyles::PaintEditState(bool combo, TCanvas& canvas, const TRect& rect, int state) {
  if (!Loaded()) return;
  const TmsuxThemeObject& base = Object(combo ? TmsuxObjectId::ComboBox : TmsuxObjectId::Edit);
  switch (state) {
    case 0: case 1: case 2: case 3:
      PaintObject(canvas, base, rect, 1, base.FillColor);
      break;
    case 4:
      // A derived state only overrides a few properties: the base object
      // paints with the state's fill.
      PaintObject(canvas, base, rect, 1,
                  Object(combo ? TmsuxObjectId::ComboBoxDisabled : TmsuxObjectId::EditDisabled).FillColor);
      break;
    case 5:
      if (!combo) PaintObject(canvas, base, rect, 1, Object(TmsuxObjectId::EditReadOnly).FillColor);
      break;
    case 6:
      if (!combo) {
        const TColor highlight = SysColor(clHighlight);
        canvas.WithHandle([&](HDC dc) { FillRectColor(dc, rect, highlight); });
      }
      break;
    default: break;
  }
}

void TSkThemeMsStyles::PaintEdit(int kind, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintEditState(kind >= 4 && kind <= 6, canvas, record.Rect, record.State);
}

void TSkThemeMsStyles::PaintEditButton(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ComboBoxDropDownButton, record.Rect, MsuxEditButtonImage(record.State));
}

bool TSkThemeMsStyles::DefinesGroupBox(int, const std::string&) { return Described(TmsuxObjectId::GroupBox); }

bool TSkThemeMsStyles::GroupBoxTransparent(int, const std::string&) {
  return Loaded() && Object(TmsuxObjectId::GroupBox).Transparent;
}

void TSkThemeMsStyles::PaintGroupBox(int, TCanvas& canvas, const std::string&, const TskGroupBoxRecord& record) {
  if (!Loaded()) return;
  const TRect caption = record.CaptionRect;
  if (IsRectEmpty(caption)) {
    PaintObject(canvas, TmsuxObjectId::GroupBox, record.Rect, 1);
    return;
  }
  // What lies under the caption is kept, so the frame line leaves a gap
  // behind the caption text.
  TskBitmap saved;
  saved.SetSize(static_cast<int32_t>(RectWidth(caption)), static_cast<int32_t>(RectHeight(caption)));
  canvas.WithHandle([&](HDC dc) {
    BitBlt(saved.DC(), 0, 0, saved.Width(), saved.Height(), dc, caption.Left, caption.Top, SRCCOPY);
  });
  PaintObject(canvas, TmsuxObjectId::GroupBox, record.Rect, 1);
  canvas.WithHandle([&](HDC dc) {
    BitBlt(dc, caption.Left, caption.Top, saved.Width(), saved.Height(), saved.DC(), 0, 0, SRCCOPY);
  });
}

bool TSkThemeMsStyles::DefinesComboBox(int, const std::string&) { return Described(TmsuxObjectId::Edit); }

TRect TSkThemeMsStyles::ComboBoxContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

TRect TSkThemeMsStyles::ComboBoxButtonRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

void TSkThemeMsStyles::PaintComboBox(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  if (record.State <= 5) PaintEditState(false, canvas, record.Rect, record.State);
}

void TSkThemeMsStyles::PaintComboBoxButton(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ComboBoxDropDownButton, record.Rect, MsuxEditButtonImage(record.State));
}

// ---- Menu, Dock, ToolBar ---------------------------------------------------------------------

bool TSkThemeMsStyles::DefinesMenu(int, const std::string&) { return true; }

TRect TSkThemeMsStyles::MenuContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 2); }

void TSkThemeMsStyles::PaintMenu(int kind, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  canvas.WithHandle([&](HDC dc) {
    FillRectColor(dc, record.Rect, MenuColor);
    if (kind == 1) FrameRectColor(dc, record.Rect, MenuHighlightColor);
  });
}

void TSkThemeMsStyles::PaintMenuItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  const TRect& r = record.Rect;
  const int state = record.High();
  const bool highlighted = state == 1 || state == 2;
  switch (record.Low()) {
    case 0:
      canvas.WithHandle([&](HDC dc) { FillRectColor(dc, r, highlighted ? MenuHighlightColor : MenuColor); });
      break;
    case 1: {
      // A separator is a thin line across the middle, inset by 5 at the
      // sides, in the menu's text colour faded three quarters into the
      // menu's own: drawn in the selection colour, half the item high, it
      // read as a chosen entry.
      const TColor text = ColorToRGB(Fonts().Font(fiPopupMenuItemTextNormal).Color());
      const TColor menu = ColorToRGB(MenuColor);
      auto mix = [&](int shift) { return (((text >> shift) & 0xFF) + 3 * ((menu >> shift) & 0xFF)) / 4; };
      const TColor line = static_cast<TColor>(mix(0) | (mix(8) << 8) | (mix(16) << 16));
      canvas.WithHandle([&](HDC dc) {
        FillRectColor(dc, r, MenuColor);
        const int32_t top = static_cast<int32_t>(r.Top + RectHeight(r) / 2);
        FillRectColor(dc, TRect{r.Left + 5, top, r.Right - 5, top + 1}, line);
      });
      break;
    }
    case 3:
    case 4: {
      const TColor ink = Fonts().Font(highlighted ? fiMenuItemTextSelected : fiMenuItemTextNormal).Color();
      canvas.WithHandle([&](HDC dc) {
        FillRectColor(dc, r, MenuColor);
        if (highlighted) FrameRectColor(dc, r, MenuHighlightColor);
        const TRect mark = CentreRect(TRect{0, 0, 14, 14}, r);
        DrawFrameGlyph(dc, mark, DFC_MENU, ink, record.Low() == 3 ? DFCS_MENUCHECK : DFCS_MENUBULLET);
      });
      break;
    }
    case 7: PaintObject(canvas, TmsuxObjectId::MdiMinButton, r, MsuxMdiButtonImage(state)); break;
    case 8: PaintObject(canvas, TmsuxObjectId::MdiRestoreButton, r, MsuxMdiButtonImage(state)); break;
    case 9: PaintObject(canvas, TmsuxObjectId::MdiCloseButton, r, MsuxMdiButtonImage(state)); break;
    default: break;
  }
}

bool TSkThemeMsStyles::DefinesDock(int, const std::string&) { return true; }

void TSkThemeMsStyles::PaintDock(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::Rebar, record.Rect, 1);
}

bool TSkThemeMsStyles::DefinesToolBar(int, const std::string&) { return Described(TmsuxObjectId::Rebar); }

void TSkThemeMsStyles::PaintToolBar(int kind, TCanvas& canvas, const std::string& objectName,
                                    const TskStateRecord& record) {
  if (kind == 2) {
    PaintMenu(0, canvas, objectName, record);
    return;
  }
  const TColor face = SysColor(clBtnFace);
  canvas.WithHandle([&](HDC dc) { Edge3D(dc, record.Rect, LightenColor(face, 30), LightenColor(face, -30)); });
}

void TSkThemeMsStyles::PaintToolItem(int, TCanvas& canvas, const std::string&, const TskPartRecord& record) {
  const int id = MsuxToolItemObject(record.Part);
  if (id < 0) return;
  // Grippers have one look; the other items one frame per state.
  const bool gripper = record.Part == 13 || record.Part == 14;
  PaintObject(canvas, static_cast<TmsuxObjectId>(id), record.Rect, gripper ? 1 : MsuxToolItemImage(record.State));
}

// ---- ExplorerBar, Tab --------------------------------------------------------------------------

bool TSkThemeMsStyles::DefinesExplorerBar(int, const std::string&) { return Described(TmsuxObjectId::ExplorerBar); }

void TSkThemeMsStyles::PaintExplorerBar(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ExplorerBar, record.Rect, 1);
}

void TSkThemeMsStyles::PaintExplorerGroupHead(int, TCanvas& canvas, const std::string&,
                                              const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ExplorerNormalGroupHead, Inset(record.Rect, TRect{-1, -1, -1, -1}), 1);
}

void TSkThemeMsStyles::PaintExplorerGroupButton(int, TCanvas& canvas, const std::string&,
                                                const TskCodedRecord& record) {
  // Normal, hot, pressed frames by the low byte.
  const int image = record.Low() <= 2 ? record.Low() + 1 : 1;
  switch (record.High()) {
    case 1: PaintObject(canvas, TmsuxObjectId::ExplorerNormalGroupCollapse, record.Rect, image); break;
    case 2: PaintObject(canvas, TmsuxObjectId::ExplorerNormalGroupExpand, record.Rect, image); break;
    default:
      PaintObject(canvas,
                  Described(TmsuxObjectId::ExplorerHeaderClose) ? TmsuxObjectId::ExplorerHeaderClose
                                                                : TmsuxObjectId::CloseButton,
                  record.Rect, image);
      break;
  }
}

void TSkThemeMsStyles::PaintExplorerGroup(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ExplorerSpecialGroupBackground, record.Rect, 1);
}

bool TSkThemeMsStyles::DefinesTab(int, const std::string&) { return Described(TmsuxObjectId::Tab); }

TRect TSkThemeMsStyles::TabContentRect(int, const TRect& rect, const std::string&) { return Shrink(rect, 1); }

void TSkThemeMsStyles::PaintTabPane(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::TabPane, record.Rect, 1);
}

void TSkThemeMsStyles::PaintTab(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  PaintObject(canvas, record.Low() == 1 ? TmsuxObjectId::TabTopTabItemLeftEdge : TmsuxObjectId::TabTopTabItem,
              record.Rect, MsuxTabImage(record.Code));
}

void TSkThemeMsStyles::PaintTabScrollButton(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ScrollArrowBtn, record.Rect, MsuxTabScrollImage(record.High(), record.Low()));
}

// ---- List, Tree, Grid ---------------------------------------------------------------------------

void TSkThemeMsStyles::PaintItemFill(TCanvas& canvas, const TRect& rect, int state) {
  TColor colour;
  switch (state) {
    case 2: case 3: colour = SysColor(clHighlight); break;
    case 0: case 1: case 4: colour = SysColor(clWindow); break;
    default: return;
  }
  canvas.WithHandle([&](HDC dc) { FillRectColor(dc, rect, colour); });
}

bool TSkThemeMsStyles::DefinesList(int, const std::string&) { return Described(TmsuxObjectId::Edit); }

void TSkThemeMsStyles::PaintList(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ListView, record.Rect, 1);
}

void TSkThemeMsStyles::PaintListItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  PaintItemFill(canvas, record.Rect, record.Low());
}

void TSkThemeMsStyles::PaintListItemCheck(int kind, TCanvas& canvas, const std::string& objectName,
                                          const TskGlyphRecord& glyph, const TskCodedRecord& record) {
  switch (glyph.Kind) {
    case 0: PaintObject(canvas, TmsuxObjectId::CheckBox, glyph.Rect, 5); break;
    case 1: PaintObject(canvas, TmsuxObjectId::CheckBox, glyph.Rect, 1); break;
    case 2: PaintObject(canvas, TmsuxObjectId::CheckBox, glyph.Rect, 9); break;
    default: TskTheme::PaintListItemCheck(kind, canvas, objectName, glyph, record); break;
  }
}

bool TSkThemeMsStyles::DefinesTree(int, const std::string&) { return Described(TmsuxObjectId::Edit); }

void TSkThemeMsStyles::PaintTree(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ListView, record.Rect, 1);
}

void TSkThemeMsStyles::PaintTreeItem(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  PaintItemFill(canvas, record.Rect, record.Low());
}

bool TSkThemeMsStyles::DefinesGrid(int, const std::string&) { return Described(TmsuxObjectId::Edit); }

void TSkThemeMsStyles::PaintGrid(int, TCanvas& canvas, const std::string&, const TskStateRecord& record) {
  PaintObject(canvas, TmsuxObjectId::ListView, record.Rect, 1);
}

void TSkThemeMsStyles::PaintGridCell(int, TCanvas& canvas, const std::string&, const TskCodedRecord& record) {
  if (record.High() == gckFixed) {
    const TColor face = SysColor(clBtnFace);
    canvas.WithHandle([&](HDC dc) {
      FillRectColor(dc, record.Rect, face);
      Edge3D(dc, record.Rect, LightenColor(face, 30), LightenColor(face, -30));
    });
    return;
  }
  if (record.Low() == lisHot) {
    const TColor face = SysColor(clBtnFace);
    canvas.WithHandle([&](HDC dc) { FillRectColor(dc, record.Rect, face); });
    return;
  }
  PaintItemFill(canvas, record.Rect, record.Low() == lisDisabled ? uint8_t{lisNormal} : record.Low());
}
