#include "graphics/theme_msux_data.h"

#include <algorithm>
#include <cstring>

#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "graphics/sk_compress.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

// The value up to its first separator, for the enumerated properties whose
// values may carry a trailing remark ("dpi, ..." ).
std::string_view FirstWord(std::string_view value) {
  const size_t end = value.find_first_of(" \t(),:;=");
  return Trim(value.substr(0, end));
}

}  // namespace

// ---- value forms -------------------------------------------------------------

bool MsuxBoolean(std::string_view value) {
  const std::string v = Lower(Trim(value));
  return v == "true" || v == "1" || v == "yes";
}

std::vector<int32_t> MsuxIntegers(std::string_view value) {
  std::vector<int32_t> numbers;
  size_t pos = 0;
  while (pos < value.size()) {
    const size_t end = value.find_first_of(" \t\r\n(),:;=", pos);
    const std::string_view token = value.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (!token.empty()) numbers.push_back(StrToInt(token));
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  return numbers;
}

int32_t MsuxInteger(std::string_view value) { return StrToInt(Trim(value)); }

TColor MsuxColor(std::string_view value) {
  const std::vector<int32_t> parts = MsuxIntegers(value);
  auto at = [&](size_t i) { return i < parts.size() ? parts[i] : 0; };
  return RgbColor(at(0), at(1), at(2));
}

TmsuxMargins MsuxMargins(std::string_view value) {
  try {
    const std::vector<int32_t> parts = MsuxIntegers(value);
    if (parts.size() < 4) return {};
    return TmsuxMargins{parts[0], parts[1], parts[2], parts[3]};
  } catch (const EConvertError&) {
    return {};
  }
}

TmsuxFont MsuxFont(std::string_view value) {
  std::vector<std::string_view> fields;
  size_t pos = 0;
  for (;;) {
    const size_t end = value.find(',', pos);
    fields.push_back(Trim(value.substr(pos, end == std::string_view::npos ? end : end - pos)));
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  TmsuxFont font;
  font.Face = std::string(fields[0]);
  if (fields.size() > 1 && !fields[1].empty()) font.Size = StrToInt(fields[1]);
  auto flag = [&](size_t i) { return fields.size() > i && !fields[i].empty(); };
  font.Bold = flag(2);
  font.Italic = flag(3);
  font.Underline = flag(4);
  font.StrikeOut = flag(5);
  return font;
}

std::string MsuxImageName(std::string_view path) {
  std::string name(path);
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\') {
      name[i] = '_';
    } else if (name[i] == '.' && i + 2 < name.size() && (name[i + 1] == 'b' || name[i + 1] == 'B')) {
      name[i] = '_';
    }
  }
  return std::string(Trim(name));
}

TColor MsuxShiftColor(TColor colour, int hue, int brightness) {
  TskPixel pixel = colour == kMsuxNoColor ? 0xFFFFFFFFu : ColorToPixel(colour, 255);
  if (hue != 0) pixel = ShiftHue(pixel, hue);
  if (brightness != 0) pixel = ShiftBrightness(pixel, static_cast<int16_t>(std::clamp(brightness, -32768, 32767)));
  return PixelToColor(pixel);
}

// ---- description -------------------------------------------------------------

void TmsuxDescription::SetText(std::string_view text) {
  sections_.clear();
  TSection* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      auto existing = std::find_if(sections_.begin(), sections_.end(),
                                   [&](const TSection& s) { return SameText(s.Name, name); });
      if (existing != sections_.end()) {
        existing->Lines.clear();
        current = &*existing;
      } else {
        sections_.push_back(TSection{std::string(name), {}});
        current = &sections_.back();
      }
      continue;
    }
    if (current == nullptr) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      current->Lines.push_back(TLine{std::string(), std::string(line)});
    } else {
      current->Lines.push_back(
          TLine{std::string(Trim(line.substr(0, equals))), std::string(Trim(line.substr(equals + 1)))});
    }
  }
}

std::string TmsuxDescription::Text() const {
  std::string text;
  for (const TSection& section : sections_) {
    text += "[" + section.Name + "]\r\n";
    for (const TLine& line : section.Lines) {
      text += line.Key.empty() ? line.Value : line.Key + "=" + line.Value;
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

const TmsuxDescription::TSection* TmsuxDescription::Section(std::string_view name) const {
  for (const TSection& section : sections_) {
    if (SameText(section.Name, name)) return &section;
  }
  return nullptr;
}

std::string TmsuxDescription::ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
  const TSection* s = Section(section);
  if (s != nullptr) {
    for (auto line = s->Lines.rbegin(); line != s->Lines.rend(); ++line) {
      if (!line->Key.empty() && SameText(line->Key, key)) return line->Value;
    }
  }
  return std::string(defaultValue);
}

// ---- painting surface -----------------------------------------------------------

void TmsuxBitmapSurface::FillRect(const TRect& rect, TColor colour) {
  // Filling sets pixels: the target's own blending flag must not turn a fill
  // into a blend of an opaque value.
  const bool blend = target_.AlphaBlend;
  target_.AlphaBlend = false;
  target_.FillRect(rect, ColorToPixel(colour, 255));
  target_.AlphaBlend = blend;
}

void TmsuxBitmapSurface::FrameRect(const TRect& rect, TColor colour) {
  if (IsRectEmpty(rect)) return;
  FillRect(TRect{rect.Left, rect.Top, rect.Right, rect.Top + 1}, colour);
  FillRect(TRect{rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, colour);
  FillRect(TRect{rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, colour);
  FillRect(TRect{rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, colour);
}

void TmsuxBitmapSurface::DrawRect(const TskBitmap& bitmap, const TRect& destination, const TRect& source) {
  bitmap.DrawOnto(target_, destination, source);
}

void TmsuxBitmapSurface::Tile(const TskBitmap& bitmap, const TRect& destination, const TRect& source,
                              const TRect& clip) {
  bitmap.Tile(target_, destination, source, clip);
}

// ---- theme objects ----------------------------------------------------------------

TmsuxThemeObject::TmsuxThemeObject(const TmsuxDescription& description, std::string_view sectionName,
                                   const TmsuxImageSource& images)
    : Name(sectionName) {
  if (const TmsuxDescription::TSection* section = description.Section(sectionName)) {
    for (const TmsuxDescription::TLine& line : section->Lines) {
      if (line.Key.empty()) continue;
      Apply(Lower(line.Key), line.Value, images);
    }
  }

  // Images are keyed out once; a bitmap shared by several objects is then
  // Transparent already and keeps its pixels.
  if (Image.Bitmap != nullptr) {
    TskBitmap& bitmap = *Image.Bitmap;
    if (!bitmap.Transparent) bitmap.KeyOutColor(TransparentColor);
    if (bitmap.Transparent) {
      Transparent = true;
      TransparencyMode = kOwnTransparency;
    }
    if (bitmap.AlphaBlend) TransparencyMode = kOwnTransparency;
  }
  TskBitmapLink* numbered[] = {&Image1, &Image2, &Image3};
  if (GlyphTransparent) {
    if (GlyphImage.Bitmap != nullptr && !GlyphImage.Bitmap->Transparent) {
      GlyphImage.Bitmap->KeyOutColor(TransparentColor);
    }
    for (TskBitmapLink* link : numbered) {
      if (link->Bitmap != nullptr && !link->Bitmap->Transparent) link->Bitmap->KeyOutColor(TransparentColor);
    }
  } else {
    for (TskBitmapLink* link : numbered) {
      if (link->Bitmap == nullptr) continue;
      link->Bitmap->KeyOutColor(TransparentColor);
      if (link->Bitmap->Transparent) {
        Transparent = true;
        TransparencyMode = kOwnTransparency;
      }
    }
  }
}

void TmsuxThemeObject::Apply(const std::string& name, const std::string& value, const TmsuxImageSource& images) {
  auto existing = std::find_if(Properties.begin(), Properties.end(),
                               [&](const TmsuxObjectProp& p) { return p.Name == name; });
  if (existing != Properties.end()) {
    existing->Value = value;
  } else if (static_cast<int>(Properties.size()) < kMaxProperties) {
    Properties.push_back(TmsuxObjectProp{name, value});
  }

  const std::string v = Lower(value);
  if (name == "bgtype") {
    BackgroundType = v == "borderfill" ? TmsuxBackground::BorderFill
                     : v == "imagefile" ? TmsuxBackground::ImageFile
                     : v == "none"      ? TmsuxBackground::None
                                        : TmsuxBackground::Unset;
  } else if (name == "fillcolorhint") {
    FillColorHint = MsuxColor(value);
  } else if (name == "fillcolor") {
    FillColor = MsuxColor(value);
  } else if (name == "textcolor") {
    TextColor = MsuxColor(value);
  } else if (name == "bordercolor") {
    BorderColor = MsuxColor(value);
  } else if (name == "transparentcolor") {
    TransparentColor = MsuxColor(value);
  } else if (name == "transparent") {
    Transparent = MsuxBoolean(value);
  } else if (name == "bordersize") {
    BorderSize = MsuxInteger(value);
  } else if (name == "imageselecttype") {
    const std::string word = Lower(FirstWord(value));
    ImageSelectType = word == "dpi" ? 1 : word == "size" ? 2 : 0;
  } else if (name == "imagefile") {
    ReadImage(Image, value, images, true);
  } else if (name == "imagefile1") {
    ReadImage(Image1, value, images, true);
  } else if (name == "imagefile2") {
    ReadImage(Image2, value, images, true);
  } else if (name == "imagefile3") {
    ReadImage(Image3, value, images, true);
  } else if (name == "imagecount") {
    ImageCount = MsuxInteger(value);
  } else if (name == "imagelayout") {
    HorizontalLayout = v == "horizontal";
  } else if (name == "sizingtype") {
    static constexpr std::pair<std::string_view, TmsuxSizing> kSizing[] = {
        {"tile", TmsuxSizing::Tile},
        {"stretch", TmsuxSizing::Stretch},
        {"tilevertical", TmsuxSizing::TileVertical},
        {"tilehorizontal", TmsuxSizing::TileHorizontal},
        {"truesize", TmsuxSizing::TrueSize},
        {"bordertileclientstretch", TmsuxSizing::BorderTileClientStretch},
        {"borderstretchclienttile", TmsuxSizing::BorderStretchClientTile}};
    SizingType = TmsuxSizing::Tile;
    for (const auto& [text, sizing] : kSizing) {
      if (v == text) SizingType = sizing;
    }
  } else if (name == "sizingmargins") {
    SizingMargins = MsuxMargins(value);
  } else if (name == "glyphtransparent") {
    GlyphTransparent = MsuxBoolean(value);
  } else if (name == "glyphtype") {
    GlyphIsImage = v == "imageglyph";
  } else if (name == "glyphimagefile") {
    ReadImage(GlyphImage, value, images, false);
  } else if (name == "contentalignment") {
    ContentAlignment = v == "center" ? 1 : v == "right" ? 2 : 0;
  } else if (name == "contentmargins") {
    ContentMargins = MsuxMargins(value);
  } else if (name == "captionmargins") {
    CaptionMargins = MsuxMargins(value);
  } else if (name == "textshadowtype") {
    TextShadowType = v == "single" ? 1 : v == "continuous" ? 2 : 0;
  } else if (name == "textshadowcolor") {
    TextShadowColor = MsuxColor(value);
  } else if (name == "textshadowoffset") {
    const std::vector<int32_t> xy = MsuxIntegers(value);
    TextShadowOffsetX = xy.size() > 0 ? xy[0] : 0;
    TextShadowOffsetY = xy.size() > 1 ? xy[1] : 0;
  }
}

void TmsuxThemeObject::ReadImage(TskBitmapLink& link, const std::string& value, const TmsuxImageSource& images,
                                 bool main) {
  TskBitmap* bitmap = images(MsuxImageName(value));
  link.Bitmap = bitmap;
  link.Name = bitmap->Name;
  link.Rect = bitmap->Bounds();
  if (main) {
    BackgroundType = TmsuxBackground::ImageFile;
    if (bitmap->Transparent || bitmap->AlphaBlend) {
      Transparent = true;
      TransparencyMode = kOwnTransparency;
    }
  }
}

const std::string* TmsuxThemeObject::PropertyNamed(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const TmsuxObjectProp& p : Properties) {
    if (p.Name == wanted) return &p.Value;
  }
  return nullptr;
}

void TmsuxThemeObject::ShiftColors(int hue, int brightness) {
  FillColor = MsuxShiftColor(FillColor, hue, brightness);
  BorderColor = MsuxShiftColor(BorderColor, hue, brightness);
  TextColor = MsuxShiftColor(TextColor, hue, brightness);
}

TRect TmsuxThemeObject::FrameRect(const TskBitmap& bitmap, int imageIndex) const {
  const TRect whole = bitmap.Bounds();
  if (ImageCount <= 0 || imageIndex < 1) return whole;
  if (HorizontalLayout) {
    const int32_t w = bitmap.Width() / ImageCount;
    const int64_t left = int64_t{w} * (imageIndex - 1);
    return TRect{static_cast<int32_t>(std::min<int64_t>(left, INT32_MAX - w)), 0,
                 static_cast<int32_t>(std::min<int64_t>(left, INT32_MAX - w)) + w, bitmap.Height()};
  }
  const int32_t h = bitmap.Height() / ImageCount;
  const int64_t top = std::min<int64_t>(int64_t{h} * (imageIndex - 1), INT32_MAX - h);
  return TRect{0, static_cast<int32_t>(top), bitmap.Width(), static_cast<int32_t>(top) + h};
}

void TmsuxThemeObject::PaintObject(TmsuxSurface& surface, const TRect& rect, int imageIndex,
                                   const TRect& clip) const {
  PaintObject(surface, rect, imageIndex, clip, FillColor);
}

void TmsuxThemeObject::PaintObject(TmsuxSurface& surface, const TRect& rect, int imageIndex, const TRect& clip,
                                   TColor fillColor) const {
  auto fill = [&](const TRect& r) {
    // The no-colour value is no brush at all.
    if (fillColor != kMsuxNoColor && !IsRectEmpty(r)) surface.FillRect(r, fillColor);
  };
  switch (BackgroundType) {
    case TmsuxBackground::None:
      return;
    case TmsuxBackground::Unset:
      fill(rect);
      break;
    case TmsuxBackground::BorderFill: {
      TRect r = rect;
      for (int32_t i = 0; i < BorderSize && !IsRectEmpty(r); ++i) {
        surface.FrameRect(r, BorderColor);
        r = Inset(r, TRect{1, 1, 1, 1});
      }
      fill(r);
      break;
    }
    case TmsuxBackground::ImageFile:
      PaintImage(surface, rect, imageIndex, clip);
      break;
  }

  if (!GlyphIsImage) return;
  if (GlyphImage.Bitmap != nullptr && imageIndex >= 1) PaintGlyph(surface, GlyphImage, rect, imageIndex, clip);
  if (ImageSelectType == 1 || ImageSelectType == 2) {
    PaintGlyph(surface, SelectSizedImage(rect), rect, imageIndex, clip);
  }
}

const TskBitmapLink& TmsuxThemeObject::SelectSizedImage(const TRect& rect) const {
  const int64_t room = RectWidth(rect) - ContentMargins.Left - ContentMargins.Right;
  const TskBitmapLink* chosen = &Image1;
  for (const TskBitmapLink* link : {&Image2, &Image3}) {
    if (link->Bitmap != nullptr && link->Bitmap->Width() < room) chosen = link;
  }
  return *chosen;
}

namespace {

// Restores a bitmap's drawing flags when painting with other ones is done.
class TFlagsScope {
 public:
  TFlagsScope(const TskBitmap& bitmap, bool transparent, bool alphaBlend)
      : bitmap_(const_cast<TskBitmap&>(bitmap)), transparent_(bitmap.Transparent), alphaBlend_(bitmap.AlphaBlend) {
    bitmap_.Transparent = transparent;
    bitmap_.AlphaBlend = alphaBlend;
  }
  ~TFlagsScope() {
    bitmap_.Transparent = transparent_;
    bitmap_.AlphaBlend = alphaBlend_;
  }
  TFlagsScope(const TFlagsScope&) = delete;
  TFlagsScope& operator=(const TFlagsScope&) = delete;

 private:
  TskBitmap& bitmap_;
  bool transparent_;
  bool alphaBlend_;
};

TRect SizedAt(const TRect& frame, int32_t left, int32_t top) {
  return TRect{left, top, static_cast<int32_t>(left + RectWidth(frame)), static_cast<int32_t>(top + RectHeight(frame))};
}

}  // namespace

void TmsuxThemeObject::PaintImage(TmsuxSurface& surface, const TRect& rect, int imageIndex, const TRect& clip) const {
  const TskBitmapLink* link = &Image;
  if (ImageSelectType == 1 && !GlyphIsImage) link = &SelectSizedImage(rect);
  if (link->Bitmap == nullptr || link->Bitmap->IsEmpty()) return;
  const TskBitmap& bitmap = *link->Bitmap;
  const TRect frame = FrameRect(bitmap, imageIndex);
  // Negative margins mean none: a part cannot have a negative size.
  const TmsuxMargins m{std::max(SizingMargins.Left, 0), std::max(SizingMargins.Right, 0),
                       std::max(SizingMargins.Top, 0), std::max(SizingMargins.Bottom, 0)};
  const bool fits = RectWidth(frame) >= int64_t{m.Left} + m.Right && RectHeight(frame) >= int64_t{m.Top} + m.Bottom;
  if (SizingType != TmsuxSizing::TrueSize && !fits) return;
  if (SizingType == TmsuxSizing::TileVertical || SizingType == TmsuxSizing::TileHorizontal) return;

  // Mode 0 draws every part opaque; mode 3 with the bitmap's own flags.
  const bool own = TransparencyMode != kOpaque;
  TFlagsScope flags(bitmap, own && bitmap.Transparent, own && bitmap.AlphaBlend);
  auto clipAllows = [&](const TRect& part) { return IsRectEmpty(clip) || Contains(clip, part); };

  if (SizingType == TmsuxSizing::TrueSize) {
    const TRect target = CentreRect(SizedAt(frame, 0, 0), rect);
    if (clipAllows(target)) surface.DrawRect(bitmap, target, frame);
    return;
  }

  // Nine parts: the rectangle's margins equal the frame's. The margins fit
  // the frame, which lies inside the bitmap, so frame arithmetic stays in
  // range; the rectangle's is done in 64 bits and clamped.
  const int32_t fl = frame.Left, ft = frame.Top, fr = frame.Right, fb = frame.Bottom;
  auto clamp32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  const int64_t rl = rect.Left, rt = rect.Top, rr = rect.Right, rb = rect.Bottom;
  auto dest = [&](int64_t l, int64_t t, int64_t r, int64_t b) { return TRect{clamp32(l), clamp32(t), clamp32(r), clamp32(b)}; };
  const bool tileCentre = SizingType == TmsuxSizing::Tile || SizingType == TmsuxSizing::BorderStretchClientTile;
  const bool tileEdges = SizingType == TmsuxSizing::Tile || SizingType == TmsuxSizing::BorderTileClientStretch;
  auto part = [&](const TRect& destination, const TRect& source, bool tile) {
    if (IsRectEmpty(destination) || IsRectEmpty(source) || !clipAllows(destination)) return;
    if (tile) {
      surface.Tile(bitmap, destination, source, TRect{});
    } else {
      surface.DrawRect(bitmap, destination, source);
    }
  };
  part(dest(rl + m.Left, rt + m.Top, rr - m.Right, rb - m.Bottom),
       TRect{fl + m.Left, ft + m.Top, fr - m.Right, fb - m.Bottom}, tileCentre);
  part(dest(rl + m.Left, rt, rr - m.Right, rt + m.Top), TRect{fl + m.Left, ft, fr - m.Right, ft + m.Top}, tileEdges);
  part(dest(rl + m.Left, rb - m.Bottom, rr - m.Right, rb), TRect{fl + m.Left, fb - m.Bottom, fr - m.Right, fb},
       tileEdges);
  part(dest(rl, rt + m.Top, rl + m.Left, rb - m.Bottom), TRect{fl, ft + m.Top, fl + m.Left, fb - m.Bottom},
       tileEdges);
  part(dest(rr - m.Right, rt + m.Top, rr, rb - m.Bottom), TRect{fr - m.Right, ft + m.Top, fr, fb - m.Bottom},
       tileEdges);
  part(dest(rl, rt, rl + m.Left, rt + m.Top), TRect{fl, ft, fl + m.Left, ft + m.Top}, false);
  part(dest(rr - m.Right, rt, rr, rt + m.Top), TRect{fr - m.Right, ft, fr, ft + m.Top}, false);
  part(dest(rl, rb - m.Bottom, rl + m.Left, rb), TRect{fl, fb - m.Bottom, fl + m.Left, fb}, false);
  part(dest(rr - m.Right, rb - m.Bottom, rr, rb), TRect{fr - m.Right, fb - m.Bottom, fr, fb}, false);
}

void TmsuxThemeObject::PaintGlyph(TmsuxSurface& surface, const TskBitmapLink& link, const TRect& rect,
                                  int imageIndex, const TRect& clip) const {
  if (link.Bitmap == nullptr || link.Bitmap->IsEmpty()) return;
  const TskBitmap& bitmap = *link.Bitmap;
  const TRect frame = FrameRect(bitmap, imageIndex);
  const TRect target = CentreRect(SizedAt(frame, 0, 0), rect);
  if (!IsRectEmpty(clip) && !Contains(clip, target)) return;
  TFlagsScope flags(bitmap, GlyphTransparent, bitmap.AlphaBlend);
  surface.DrawRect(bitmap, target, frame);
}

// ---- theme data ------------------------------------------------------------------

const std::array<std::string_view, kMsuxObjectCount> kMsuxObjectSections = {
    "Window", "Window.Caption", "Window.FrameLeft", "Window.FrameRight", "Window.FrameBottom",
    "Window.CloseButton", "Window.HelpButton", "Window.MaxButton", "Window.MinButton", "Window.RestoreButton",
    "Window.SmallCaption", "Window.SmallFrameLeft", "Window.SmallFrameRight", "Window.SmallFrameBottom",
    "Window.SmallCloseButton", "Window.SysButton", "Window.Caption(Active)", "Window.Caption(Inactive)",
    "Window.MDIMinButton", "Window.MDICloseButton", "Window.MDIRestoreButton",
    "Button.Pushbutton", "Button.Pushbutton(Disabled)", "Button.Pushbutton(Defaulted)", "Spin", "Spin.Up",
    "Spin.Down", "Spin.Uphorz", "Spin.Downhorz", "button.checkbox", "Button.checkbox(checkeddisabled)",
    "Button.checkbox(unchecked disabled)", "Button.checkbox(mixeddisabled)", "button.radiobutton",
    "Button.radiobutton(checkeddisabled)", "Button.radiobutton(unchecked disabled)", "ScrollBar.ArrowBtn",
    "ScrollBar.ThumbBtnHorz", "ScrollBar.ThumbBtnVert", "ScrollBar.LowerTrackHorz", "ScrollBar.UpperTrackHorz",
    "ScrollBar.LowerTrackVert", "ScrollBar.UpperTrackVert", "ScrollBar.GripperHorz", "ScrollBar.GripperVert",
    "Progress", "Progress.Bar", "Progress.BarVert", "Progress.Chunk", "Progress.ChunkVert", "TrackBar",
    "TrackBar.Thumb", "TrackBar.ThumbTop", "TrackBar.ThumbBottom", "TrackBar.ThumbVert", "TrackBar.ThumbLeft",
    "TrackBar.ThumbRight", "TrackBar.Track", "TrackBar.TrackVert", "TrackBar.Tics", "button.groupbox", "edit",
    "edit.edittext(disabled)", "edit.edittext(readonly)", "combobox", "combobox(disabled)", "combobox(hot)",
    "Combobox.DropDownButton", "header", "header.headeritem", "status", "status.pane", "status.gripperpane",
    "status.gripper", "rebar", "rebar.band", "rebar.gripper", "rebar.grippervert", "rebar.chevron",
    "rebar.chevronvert", "toolbar", "toolbar.button", "toolbar.separator", "toolbar.dropdownbutton",
    "toolbar.splitbutton", "toolbar.splitbuttondropdown", "tab", "tab.pane", "tab.toptabitem", "tab.body",
    "tab.toptabitemleftedge", "tab.toptabitemrightedge", "explorerbar", "explorerbar.SpecialGroupBackground",
    "explorerbar.NormalGroupCollapse", "explorerbar.NormalGroupExpand", "explorerbar.NormalGroupHead",
    "explorerbar.headerclose", "listview"};

TmsuxThemeData::TmsuxThemeData() = default;
TmsuxThemeData::~TmsuxThemeData() = default;

bool TmsuxThemeData::CanLoadStream(TStream& stream) {
  char magic[7] = {};
  return stream.Read(magic, 7) == 7 && std::string_view(magic, 7) == kMagic;
}

bool TmsuxThemeData::ReadStoredForm(TStream& stream) {
  if (!CanLoadStream(stream)) return false;
  TDecompressionStream unpacked(stream);
  std::string name = ReadStreamString(unpacked);
  const std::string text = ReadStreamString(unpacked);
  const int32_t count = ReadInt32(unpacked);
  if (count < 0) throw EReadError("Stream read error");
  // Nothing is replaced until the whole form has been read, so a damaged
  // stream leaves the theme as it was.
  TskBitmapList images;
  for (int32_t i = 0; i < count; ++i) {
    auto bitmap = std::make_unique<TskBitmap>();
    bitmap->LoadFromStream(unpacked);
    bitmap->Name = ReadStreamString(unpacked);
    uint8_t flags[2] = {};
    unpacked.ReadBuffer(flags, 2);
    bitmap->Transparent = flags[0] != 0;
    bitmap->AlphaBlend = flags[1] != 0;
    images.Add(std::move(bitmap));
  }
  Name = std::move(name);
  Description.SetText(text);
  Images = std::move(images);
  return true;
}

void TmsuxThemeData::WriteStoredForm(TStream& stream) const {
  stream.WriteBuffer(kMagic.data(), static_cast<int64_t>(kMagic.size()));
  TCompressionStream packed(TCompressionLevel::Fastest, stream);
  WriteStreamString(packed, Name);
  WriteStreamString(packed, Description.Text());
  WriteInt32(packed, Images.Count());
  for (int i = 0; i < Images.Count(); ++i) {
    const TskBitmap& bitmap = *Images.Item(i);
    bitmap.SaveToStream(packed);
    WriteStreamString(packed, bitmap.Name);
    const uint8_t flags[2] = {static_cast<uint8_t>(bitmap.Transparent), static_cast<uint8_t>(bitmap.AlphaBlend)};
    packed.WriteBuffer(flags, 2);
  }
  packed.Finish();
}

TskBitmap* TmsuxThemeData::ImageFor(const std::string& imageName) {
  if (TskBitmap* found = Images.FindByName(imageName)) return found;
  auto bitmap = std::make_unique<TskBitmap>();
  const std::string upper = AnsiUpperCase(imageName);
  if (LoadImage) LoadImage(*bitmap, upper);
  bitmap->Name = upper;
  return Images.Add(std::move(bitmap));
}

void TmsuxThemeData::CreateObjects(TmsuxObjectId first, TmsuxObjectId end) {
  const TmsuxImageSource images = [this](const std::string& name) { return ImageFor(name); };
  for (int i = static_cast<int>(first); i < static_cast<int>(end); ++i) {
    objects_[static_cast<size_t>(i)] =
        std::make_unique<TmsuxThemeObject>(Description, kMsuxObjectSections[static_cast<size_t>(i)], images);
  }
}

void TmsuxThemeData::Build(int deltaHue, int deltaBrightness) {
  // The objects point into Images; none may outlive a reload.
  for (auto& object : objects_) object.reset();
  if (Pristine.Size() > 0) {
    Pristine.SetPosition(0);
    ReadStoredForm(Pristine);
  }

  try {
    CreateObjects(TmsuxObjectId::Window, kMsuxFirstObjectAfterMetrics);
    CaptionBarHeight = MsuxInteger(Description.ReadString("SysMetrics", "CaptionBarHeight", "25"));
    SmallCaptionBarHeight = MsuxInteger(Description.ReadString("SysMetrics", "SMCaptionBarHeight", "17"));
    BorderWidth = MsuxInteger(Description.ReadString("SysMetrics", "BorderWidth", "4"));
    SmallBorderWidth = MsuxInteger(Description.ReadString("SysMetrics", "SMBorderWidth", "3"));
    CreateObjects(kMsuxFirstObjectAfterMetrics, TmsuxObjectId::Count);
  } catch (...) {
    // Either every object exists or none does.
    for (auto& object : objects_) object.reset();
    throw;
  }

  if (Pristine.Size() == 0) WriteStoredForm(Pristine);

  if (deltaHue != 0 || deltaBrightness != 0) {
    for (int i = 0; i < Images.Count(); ++i) {
      TskBitmap& bitmap = *Images.Item(i);
      bitmap.ShiftBitmapHue(deltaHue);
      bitmap.ShiftBitmapBrightness(static_cast<int16_t>(std::clamp(deltaBrightness, -32768, 32767)));
    }
    for (auto& object : objects_) {
      if (object->HasProperties()) object->ShiftColors(deltaHue, deltaBrightness);
    }
  }
}

bool TmsuxThemeData::HoldsData() const {
  return Images.Count() > 0 && HasObjects() && Object(TmsuxObjectId::PushButton).HasProperties();
}

TColor TmsuxThemeData::SysMetricColor(std::string_view key, std::string_view defaultValue) const {
  return MsuxColor(Description.ReadString("SysMetrics", key, defaultValue));
}

TmsuxFont TmsuxThemeData::SysMetricFont(std::string_view key, std::string_view defaultValue) const {
  return MsuxFont(Description.ReadString("SysMetrics", key, defaultValue));
}

// ---- family mapping ----------------------------------------------------------------

namespace {

template <size_t N>
int Lookup(const int (&table)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[index] : -1;
}

}  // namespace

int MsuxButtonImage(int state) {
  // normal, hot, pressed, disabled, focused, hot, default, hot, pressed,
  // disabled, pressed, pressed
  static constexpr int kImages[] = {1, 2, 3, 4, 5, 2, 5, 2, 3, 4, 3, 3};
  return Lookup(kImages, state);
}

int MsuxCheckImage(int state) {
  static constexpr int kImages[] = {5, 6, 7, 8, 5, 1, 2, 3, 4, 1, 9, 10, 11, 12, 9};
  return Lookup(kImages, state);
}

int MsuxWindowButtonImage(int state) { return state >= 0 && state <= 3 ? state + 1 : -1; }

int MsuxScrollArrowImage(int code) {
  static constexpr int kBase[] = {1, 3, 2, 4};
  const int base = Lookup(kBase, (code >> 8) & 0xFF);
  if (base < 0) return -1;
  switch (code & 0xFF) {
    case 0: return base;
    case 1: return base + 4;
    case 4: return base + 8;
    case 5: return base + 12;
    default: return -1;
  }
}

int MsuxScrollThumbImage(int state) {
  static constexpr int kBase[] = {1, 3, 2, 4};
  return Lookup(kBase, state);
}

int MsuxTrackThumbImage(int state) { return state >= 0 && state <= 4 ? state + 1 : -1; }

int MsuxHeaderSectionImage(int code) {
  if (code >= 1792) return 0;
  switch ((code >> 8) & 0xFF) {
    case 1: case 5: return 3;
    case 3: case 4: return 2;
    default: return 1;
  }
}

int MsuxTabImage(int code) {
  if (code >= 1536) return 0;
  static constexpr int kImages[] = {1, 2, 4, 3, 3, 4};
  return Lookup(kImages, (code >> 8) & 0xFF);
}

int MsuxTabScrollImage(int state, int part) {
  static constexpr int kBase[] = {1, 2, 3, 4};
  const int base = Lookup(kBase, state);
  if (base < 0) return -1;
  switch (part) {
    case 2: return base + 4;
    case 1: return base + 8;
    case 4: return base + 12;
    default: return base;
  }
}

int MsuxToolItemImage(int state) {
  static constexpr int kImages[] = {1, 2, 3, 4, 5, 5, 6, 3};
  const int image = Lookup(kImages, state);
  return image < 0 ? 0 : image;
}

int MsuxEditButtonImage(int state) {
  static constexpr int kImages[] = {1, 2, 3, 1, 4};
  return Lookup(kImages, state);
}

int MsuxMdiButtonImage(int state) {
  static constexpr int kImages[] = {1, 2, 2, 3};
  return Lookup(kImages, state);
}

TmsuxObjectId MsuxButtonObject(int kind) {
  switch (kind) {
    case 4: return TmsuxObjectId::SpinUp;
    case 5: return TmsuxObjectId::SpinDown;
    case 6: return TmsuxObjectId::SpinUpHorz;
    case 7: return TmsuxObjectId::SpinDownHorz;
    default: return TmsuxObjectId::PushButton;
  }
}

TmsuxObjectId MsuxCheckObject(int kind) {
  return kind == 1 ? TmsuxObjectId::RadioButton : TmsuxObjectId::CheckBox;
}

int MsuxTrackThumbObject(int part) {
  static constexpr TmsuxObjectId kObjects[] = {TmsuxObjectId::TrackBarThumbVert,  TmsuxObjectId::TrackBarThumbRight,
                                               TmsuxObjectId::TrackBarThumbLeft,  TmsuxObjectId::TrackBarThumb,
                                               TmsuxObjectId::TrackBarThumbBottom, TmsuxObjectId::TrackBarThumbTop};
  return part >= 0 && part < 6 ? static_cast<int>(kObjects[part]) : -1;
}

int MsuxProgressObject(int part) {
  static constexpr TmsuxObjectId kObjects[] = {TmsuxObjectId::ProgressBarVert,   TmsuxObjectId::ProgressBar,
                                               TmsuxObjectId::ProgressChunkVert, TmsuxObjectId::ProgressChunk,
                                               TmsuxObjectId::ProgressChunkVert, TmsuxObjectId::ProgressChunk};
  return part >= 0 && part < 6 ? static_cast<int>(kObjects[part]) : -1;
}

int MsuxToolItemObject(int part) {
  switch (part) {
    case 0: case 6: case 7: case 8: return static_cast<int>(TmsuxObjectId::ToolBarButton);
    case 1: return static_cast<int>(TmsuxObjectId::ToolBarSeparator);
    case 3: return static_cast<int>(TmsuxObjectId::ToolBarSplitButton);
    case 4: return static_cast<int>(TmsuxObjectId::ToolBarSplitButtonDropDown);
    case 5: return static_cast<int>(TmsuxObjectId::ToolBarDropDownButton);
    case 13: return static_cast<int>(TmsuxObjectId::RebarGripper);
    case 14: return static_cast<int>(TmsuxObjectId::RebarGripperVert);
    default: return -1;
  }
}
