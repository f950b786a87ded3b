#include "tools/themegen/skyline.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "tools/themegen/skyline_paint.h"

namespace themegen {

namespace {

// ---- palette ---------------------------------------------------------------

const TRgba kAccent = Rgb(43, 108, 212);
const TRgba kAccentHot = Rgb(70, 136, 234);
const TRgba kAccentPressed = Rgb(29, 84, 172);
const TRgba kInk = Rgb(31, 41, 55);
const TRgba kMutedInk = Rgb(96, 108, 126);
const TRgba kDisabledInk = Rgb(178, 185, 196);
const TRgba kLine = Rgb(196, 204, 216);
const TRgba kSoftLine = Rgb(218, 224, 233);
const TRgba kFace = Rgb(243, 245, 249);
const TRgba kStatusTop = Rgb(38, 94, 182);
const TRgba kStatusBottom = Rgb(29, 78, 158);
const TRgba kWhite = Rgb(255, 255, 255);
const TRgba kTrack = Rgb(238, 241, 245);
const TRgba kHoverFill = Rgb(222, 232, 248);
const TRgba kPressFill = Rgb(200, 216, 242);
const TRgba kClear = Rgb(0, 0, 0, 0);

// The metrics the frame images are drawn for.
constexpr int kCaptionBarHeight = 28;
constexpr int kBorderWidth = 4;
constexpr int kSmallCaptionBarHeight = 20;
constexpr int kSmallBorderWidth = 3;
constexpr int kButtonBox = kCaptionBarHeight - kBorderWidth;   // caption buttons
constexpr int kSmallButtonBox = kSmallCaptionBarHeight - 2;    // tool-window close

// Normal, hot, pressed, disabled: the common order of state frames.
enum TState { sNormal, sHot, sPressed, sDisabled, sStateCount };

TRect FrameAt(int32_t width, int32_t height, int index) { return TRect{0, index * height, width, (index + 1) * height}; }

class TSkylineImages {
 public:
  explicit TSkylineImages(TmsuxThemeData& data) : data_(data) {}

  // A new image of frames stacked vertically; path is how the description
  // names it.
  TskBitmap& Add(const std::string& path, int32_t width, int32_t frameHeight, int frames) {
    auto bitmap = std::make_unique<TskBitmap>();
    bitmap->SetSize(width, frameHeight * frames);
    bitmap->Name = AnsiUpperCase(MsuxImageName(path));
    return *data_.Images.Add(std::move(bitmap));
  }

 private:
  TmsuxThemeData& data_;
};

// ---- glyphs ------------------------------------------------------------------

TShape CrossGlyph(double cx, double cy, double half, double width) {
  return Union(Stroke({{cx - half, cy - half}, {cx + half, cy + half}}, width),
               Stroke({{cx - half, cy + half}, {cx + half, cy - half}}, width));
}

// A chevron pointing in direction (dx, dy) (one of the four axes).
TShape Chevron(double cx, double cy, double size, int dx, int dy, double width) {
  // As wide as size across the direction, half as deep along it.
  const double half = size / 2, depth = size / 4;
  if (dy != 0) {
    const double tip = cy + dy * depth, base = cy - dy * depth;
    return Stroke({{cx - half, base}, {cx, tip}, {cx + half, base}}, width);
  }
  const double tip = cx + dx * depth, base = cx - dx * depth;
  return Stroke({{base, cy - half}, {tip, cy}, {base, cy + half}}, width);
}

TShape QuestionGlyph(double cx, double cy) {
  TPoints arc;
  for (int i = 0; i <= 12; ++i) {
    const double angle = std::numbers::pi * (1.05 - 1.45 * i / 12.0);
    arc.emplace_back(cx + 2.8 * std::cos(angle), cy - 2.2 - 2.8 * std::sin(angle));
  }
  arc.emplace_back(cx, cy + 1.6);
  return Union(Stroke(arc, 1.4), Circle(cx, cy + 4.3, 0.95));
}

// ---- window frame ------------------------------------------------------------------

void DrawCaption(TskBitmap& image, int32_t width, int32_t height) {
  for (int active = 0; active < 2; ++active) {
    const TRect f = FrameAt(width, height, active);
    const TRgba border = active == 0 ? Rgb(92, 133, 199) : Rgb(186, 194, 206);
    const TRgba top = active == 0 ? Rgb(252, 253, 255) : Rgb(249, 250, 251);
    const TRgba bottom = active == 0 ? Rgb(233, 239, 248) : Rgb(240, 242, 245);
    Draw(image, f, RoundRect(f.Left, f.Top, f.Right, f.Bottom, 0),
         VerticalGradient(top, bottom, f.Top, f.Bottom));
    FillRectOpaque(image, TRect{f.Left, f.Top, f.Right, f.Top + 1}, border);
    FillRectOpaque(image, TRect{f.Left, f.Top, f.Left + 1, f.Bottom}, border);
    FillRectOpaque(image, TRect{f.Right - 1, f.Top, f.Right, f.Bottom}, border);
    // A thin accent line under the top edge marks the active window.
    if (active == 0) FillRectOpaque(image, TRect{f.Left + 1, f.Top + 1, f.Right - 1, f.Top + 2}, Rgb(120, 163, 229));
    FillRectOpaque(image, TRect{f.Left + 1, f.Bottom - 1, f.Right - 1, f.Bottom}, active == 0 ? Rgb(214, 223, 237) : kSoftLine);
  }
}

void DrawSideFrame(TskBitmap& image, int32_t width, int32_t height, bool left) {
  for (int active = 0; active < 2; ++active) {
    const TRect f = FrameAt(width, height, active);
    FillRectOpaque(image, f, active == 0 ? Rgb(233, 239, 248) : Rgb(240, 242, 245));
    const TRgba border = active == 0 ? Rgb(92, 133, 199) : Rgb(186, 194, 206);
    const int32_t x = left ? f.Left : f.Right - 1;
    FillRectOpaque(image, TRect{x, f.Top, x + 1, f.Bottom}, border);
    // The inner edge meets the client area with a soft line.
    const int32_t inner = left ? f.Right - 1 : f.Left;
    FillRectOpaque(image, TRect{inner, f.Top, inner + 1, f.Bottom}, active == 0 ? Rgb(214, 223, 237) : kSoftLine);
  }
}

void DrawBottomFrame(TskBitmap& image, int32_t width, int32_t height) {
  for (int active = 0; active < 2; ++active) {
    const TRect f = FrameAt(width, height, active);
    FillRectOpaque(image, f, active == 0 ? Rgb(233, 239, 248) : Rgb(240, 242, 245));
    const TRgba border = active == 0 ? Rgb(92, 133, 199) : Rgb(186, 194, 206);
    FillRectOpaque(image, TRect{f.Left, f.Bottom - 1, f.Right, f.Bottom}, border);
    FillRectOpaque(image, TRect{f.Left, f.Top, f.Left + 1, f.Bottom}, border);
    FillRectOpaque(image, TRect{f.Right - 1, f.Top, f.Right, f.Bottom}, border);
  }
}

enum class TCaptionGlyph { Close, Max, Min, Restore, Help };

void DrawCaptionButton(TskBitmap& image, int32_t box, TCaptionGlyph glyph, int frames, bool small) {
  for (int state = 0; state < frames; ++state) {
    // Three-frame images (the MDI buttons) have normal, hot and disabled.
    const int look = frames == 3 && state == 2 ? sDisabled : state;
    const TRect f = FrameAt(box, box, state);
    const bool close = glyph == TCaptionGlyph::Close;
    if (look == sHot || look == sPressed) {
      const TRgba fill = close ? (look == sHot ? Rgb(226, 62, 62) : Rgb(188, 40, 40))
                               : (look == sHot ? kHoverFill : kPressFill);
      Draw(image, f, RoundRect(f.Left + 1, f.Top + 1, f.Right - 1, f.Bottom - 1, small ? 3 : 4), Solid(fill));
    }
    const TRgba ink = look == sDisabled ? kDisabledInk : (close && (look == sHot || look == sPressed)) ? kWhite : kInk;
    const double cx = f.Left + box / 2.0, cy = f.Top + box / 2.0;
    const double h = small ? 3.5 : 4.5;  // half the glyph's size
    TShape shape;
    switch (glyph) {
      case TCaptionGlyph::Close:
        shape = CrossGlyph(cx, cy, h, 1.5);
        break;
      case TCaptionGlyph::Max:
        shape = Ring(RoundRect(cx - h, cy - h, cx + h, cy + h, 1), 1.2);
        break;
      case TCaptionGlyph::Min:
        shape = Stroke({{cx - h, cy + 0.5}, {cx + h, cy + 0.5}}, 1.3);
        break;
      case TCaptionGlyph::Restore:
        shape = Union(Ring(RoundRect(cx - h, cy - h + 2.5, cx + h - 2.5, cy + h, 1), 1.2),
                      Stroke({{cx - h + 2.5, cy - h}, {cx + h, cy - h}, {cx + h, cy + h - 2.5}}, 1.2));
        break;
      case TCaptionGlyph::Help:
        shape = QuestionGlyph(cx, cy);
        break;
    }
    Draw(image, f, shape, Solid(ink));
  }
}

// ---- buttons ------------------------------------------------------------------

void DrawPushButton(TskBitmap& image) {
  // normal, hot, pressed, disabled, default
  for (int state = 0; state < 5; ++state) {
    const TRect f = FrameAt(29, 29, state);
    TRgba border = kLine, top = kWhite, bottom = Rgb(240, 243, 248);
    if (state == sHot) border = Rgb(112, 155, 224), top = Rgb(246, 250, 255), bottom = Rgb(226, 236, 251);
    if (state == sPressed) border = kAccent, top = Rgb(212, 226, 248), bottom = Rgb(220, 232, 250);
    if (state == sDisabled) border = Rgb(218, 222, 229), top = Rgb(246, 247, 249), bottom = Rgb(243, 244, 246);
    Box(image, f, 0.5, 4, border, VerticalGradient(top, bottom, f.Top, f.Bottom));
    if (state == 4) {
      // The default button: an accent outline inside the frame.
      Draw(image, f, Ring(RoundRect(f.Left + 1.5, f.Top + 1.5, f.Right - 1.5, f.Bottom - 1.5, 3), 1.0), Solid(kAccent));
      Draw(image, f, Ring(RoundRect(f.Left + 0.5, f.Top + 0.5, f.Right - 0.5, f.Bottom - 0.5, 4), 1.0), Solid(kAccent));
    }
  }
}

// The common background of spin arrows, tool-bar items and the like:
// transparent when normal (or flat), a soft rounded fill when hot/pressed.
void DrawHoverBackground(TskBitmap& image, int32_t width, int32_t height, int frames, bool boxed) {
  for (int state = 0; state < frames; ++state) {
    const TRect f = FrameAt(width, height, state);
    const int look = state % sStateCount;
    if (boxed) {
      TRgba border = kLine, fill = kWhite;
      if (look == sHot) border = Rgb(112, 155, 224), fill = Rgb(240, 246, 255);
      if (look == sPressed) border = kAccent, fill = kPressFill;
      if (look == sDisabled) border = Rgb(218, 222, 229), fill = Rgb(246, 247, 249);
      Box(image, f, 0.5, 3, border, Solid(fill));
    } else if (look == sHot || look == sPressed) {
      Draw(image, f, RoundRect(f.Left + 1, f.Top + 1, f.Right - 1, f.Bottom - 1, 3),
           Solid(look == sHot ? kHoverFill : kPressFill));
    }
  }
}

void DrawChevrons(TskBitmap& image, int32_t width, int32_t height, int frames, int dx, int dy, double size) {
  for (int state = 0; state < frames; ++state) {
    const TRect f = FrameAt(width, height, state);
    const int look = state % sStateCount;
    const TRgba ink = look == sDisabled ? kDisabledInk : look == sNormal ? kMutedInk : kInk;
    Draw(image, f, Chevron(f.Left + width / 2.0, f.Top + height / 2.0, size, dx, dy, 1.5), Solid(ink));
  }
}

void DrawCheckBox(TskBitmap& image) {
  // unchecked ×4, checked ×4, mixed ×4; each normal, hot, pressed, disabled.
  for (int i = 0; i < 12; ++i) {
    const TRect f = FrameAt(13, 13, i);
    const int look = i % 4, kind = i / 4;
    const double l = f.Left, t = f.Top;
    if (kind == 1) {
      const TRgba fill = look == sHot ? kAccentHot : look == sPressed ? kAccentPressed
                         : look == sDisabled ? Rgb(196, 203, 214) : kAccent;
      Draw(image, f, RoundRect(l + 0.5, t + 0.5, l + 12.5, t + 12.5, 3), Solid(fill));
      Draw(image, f, Stroke({{l + 3.2, t + 6.6}, {l + 5.4, t + 8.8}, {l + 9.8, t + 4.2}}, 1.7), Solid(kWhite));
      continue;
    }
    TRgba border = Rgb(140, 153, 173), fill = kWhite;
    if (look == sHot) border = kAccent, fill = Rgb(240, 246, 255);
    if (look == sPressed) border = kAccentPressed, fill = kPressFill;
    if (look == sDisabled) border = Rgb(204, 210, 219), fill = Rgb(244, 245, 247);
    Box(image, f, 0.5, 3, border, Solid(fill));
    if (kind == 2) {
      const TRgba mark = look == sDisabled ? Rgb(196, 203, 214) : kAccent;
      Draw(image, f, RoundRect(l + 3.5, t + 3.5, l + 9.5, t + 9.5, 1.5), Solid(mark));
    }
  }
}

void DrawRadioButton(TskBitmap& image) {
  // unchecked ×4, checked ×4.
  for (int i = 0; i < 8; ++i) {
    const TRect f = FrameAt(13, 13, i);
    const int look = i % 4;
    const double cx = f.Left + 6.5, cy = f.Top + 6.5;
    if (i >= 4) {
      const TRgba ring = look == sHot ? kAccentHot : look == sPressed ? kAccentPressed
                         : look == sDisabled ? Rgb(196, 203, 214) : kAccent;
      Draw(image, f, Circle(cx, cy, 6), Solid(ring));
      Draw(image, f, Circle(cx, cy, 2.6), Solid(kWhite));
      continue;
    }
    TRgba border = Rgb(140, 153, 173), fill = kWhite;
    if (look == sHot) border = kAccent, fill = Rgb(240, 246, 255);
    if (look == sPressed) border = kAccentPressed, fill = kPressFill;
    if (look == sDisabled) border = Rgb(204, 210, 219), fill = Rgb(244, 245, 247);
    Draw(image, f, Circle(cx, cy, 6), Solid(border));
    Draw(image, f, Circle(cx, cy, 5), Solid(fill));
  }
}

// ---- scroll bars ------------------------------------------------------------------

void DrawScrollArrowBack(TskBitmap& image) {
  for (int i = 0; i < 16; ++i) {
    const TRect f = FrameAt(17, 17, i);
    FillRectOpaque(image, f, kTrack);
    const int look = i % 4;
    if (look == sHot || look == sPressed) {
      Draw(image, f, RoundRect(f.Left + 1, f.Top + 1, f.Right - 1, f.Bottom - 1, 3),
           Solid(look == sHot ? Rgb(221, 227, 236) : Rgb(196, 206, 221)));
    }
  }
}

void DrawScrollArrowGlyph(TskBitmap& image) {
  // up, down, left, right; four states each.
  static constexpr int kDirections[4][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
  for (int i = 0; i < 16; ++i) {
    const TRect f = FrameAt(9, 9, i);
    const int look = i % 4;
    const TRgba ink = look == sDisabled ? Rgb(200, 206, 214) : look == sNormal ? Rgb(120, 131, 148) : kInk;
    Draw(image, f, Chevron(f.Left + 4.5, f.Top + 4.5, 7, kDirections[i / 4][0], kDirections[i / 4][1], 1.5),
         Solid(ink));
  }
}

void DrawScrollThumb(TskBitmap& image, bool horizontal) {
  for (int state = 0; state < 4; ++state) {
    const TRect f = FrameAt(17, 17, state);
    FillRectOpaque(image, f, kTrack);
    const TRgba fill = state == sHot ? Rgb(158, 170, 188) : state == sPressed ? Rgb(124, 138, 160)
                       : state == sDisabled ? Rgb(222, 226, 232) : Rgb(190, 198, 210);
    const double l = f.Left, t = f.Top;
    if (horizontal) {
      Draw(image, f, RoundRect(l + 1, t + 4, l + 16, t + 13, 4.5), Solid(fill));
    } else {
      Draw(image, f, RoundRect(l + 4, t + 1, l + 13, t + 16, 4.5), Solid(fill));
    }
  }
}

void DrawScrollGripper(TskBitmap& image, bool horizontal) {
  for (int state = 0; state < 4; ++state) {
    const TRect f = FrameAt(8, 8, state);
    const TRgba ink = state == sPressed ? Rgb(230, 234, 240, 0.9) : Rgb(250, 251, 253, 0.85);
    for (int k = 0; k < 3; ++k) {
      const double o = 1.5 + 2.5 * k;
      if (horizontal) {
        Draw(image, f, Stroke({{f.Left + o, f.Top + 2.5}, {f.Left + o, f.Top + 5.5}}, 1.0), Solid(ink));
      } else {
        Draw(image, f, Stroke({{f.Left + 2.5, f.Top + o}, {f.Left + 5.5, f.Top + o}}, 1.0), Solid(ink));
      }
    }
  }
}

// ---- other controls ------------------------------------------------------------------

void DrawTrackBarThumb(TskBitmap& image, int32_t width, int32_t height) {
  // normal, hot, pressed, focused, disabled
  for (int state = 0; state < 5; ++state) {
    const TRect f = FrameAt(width, height, state);
    TRgba border = kAccent, fill = kWhite;
    if (state == 1) fill = Rgb(232, 241, 255);
    if (state == 2) fill = kAccent, border = kAccentPressed;
    if (state == 4) border = Rgb(196, 203, 214), fill = Rgb(244, 245, 247);
    const double r = std::min(width, height) / 2.0 - 0.5;
    Box(image, f, 0.5, r, border, Solid(fill), state == 3 ? 2 : 1.2);
  }
}

void DrawTab(TskBitmap& image) {
  // normal, hot, selected, disabled
  for (int state = 0; state < 4; ++state) {
    const TRect f = FrameAt(16, 22, state);
    TRgba border = Rgb(205, 212, 223), fill = Rgb(236, 240, 246);
    if (state == 1) fill = Rgb(247, 249, 252);
    if (state == 2) fill = kWhite, border = Rgb(190, 199, 212);
    if (state == 3) fill = Rgb(243, 245, 248), border = Rgb(222, 226, 232);
    // The rounded box runs past the frame's bottom, so the tab is open there.
    Draw(image, f, RoundRect(f.Left + 0.5, f.Top + 0.5, f.Right - 0.5, f.Bottom + 6, 4), Solid(border));
    Draw(image, f, RoundRect(f.Left + 1.5, f.Top + 1.5, f.Right - 1.5, f.Bottom + 6, 3), Solid(fill));
    if (state == 2) {
      Draw(image, f, RoundRect(f.Left + 1.5, f.Top + 1.5, f.Right - 1.5, f.Top + 4.5, 2), Solid(kAccent));
    }
    if (state != 2) FillRectOpaque(image, TRect{f.Left, f.Bottom - 1, f.Right, f.Bottom}, Rgb(205, 212, 223));
  }
}

void DrawToolButton(TskBitmap& image, int32_t width, int32_t height) {
  // normal, hot, pressed, disabled, checked, hot and checked
  for (int state = 0; state < 6; ++state) {
    const TRect f = FrameAt(width, height, state);
    TRgba border = kClear, fill = kClear;
    if (state == 1) border = Rgb(176, 200, 238), fill = kHoverFill;
    if (state == 2) border = Rgb(130, 166, 226), fill = kPressFill;
    if (state == 4) border = Rgb(150, 180, 230), fill = Rgb(214, 227, 248);
    if (state == 5) border = Rgb(112, 155, 224), fill = Rgb(200, 218, 246);
    if (fill.A > 0) Box(image, f, 0.5, 3, border, Solid(fill));
  }
}

void DrawGroupButton(TskBitmap& image, int dy, bool close) {
  for (int state = 0; state < 3; ++state) {
    const TRect f = FrameAt(20, 20, state);
    const double cx = f.Left + 10, cy = f.Top + 10;
    const TRgba fill = state == 0 ? kWhite : state == 1 ? Rgb(236, 243, 255) : kHoverFill;
    Draw(image, f, Circle(cx, cy, 8.5), Solid(state == 0 ? kLine : Rgb(130, 166, 226)));
    Draw(image, f, Circle(cx, cy, 7.5), Solid(fill));
    const TRgba ink = state == 0 ? kMutedInk : kAccent;
    if (close) {
      Draw(image, f, CrossGlyph(cx, cy, 3, 1.5), Solid(ink));
    } else {
      Draw(image, f, Chevron(cx, cy - 2, 7, 0, dy, 1.5), Solid(ink));
      Draw(image, f, Chevron(cx, cy + 2, 7, 0, dy, 1.5), Solid(ink));
    }
  }
}

// ---- description ------------------------------------------------------------------

class TText {
 public:
  TText& Section(const std::string& name) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += "[" + name + "]\r\n";
    return *this;
  }
  TText& Key(const std::string& key, const std::string& value) {
    text_ += key + " = " + value + "\r\n";
    return *this;
  }
  // An image section: file, frame count, vertical layout, sizing.
  TText& Image(const std::string& path, int frames, const std::string& sizing, const std::string& margins) {
    Key("BgType", "ImageFile").Key("ImageFile", path).Key("ImageCount", std::to_string(frames));
    Key("ImageLayout", "Vertical").Key("SizingType", sizing);
    if (!margins.empty()) Key("SizingMargins", margins);
    return *this;
  }
  TText& Glyph(const std::string& path) {
    return Key("GlyphType", "ImageGlyph").Key("GlyphImageFile", path).Key("GlyphTransparent", "True");
  }
  TText& BorderFill(const std::string& border, const std::string& fill) {
    return Key("BgType", "BorderFill").Key("BorderSize", "1").Key("BorderColor", border).Key("FillColor", fill);
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

std::string DescriptionText() {
  TText d;
  const std::string ink = "31 41 55";
  d.Section("Documentation").Key("Name", "Skyline").Key("Description", "A light theme with a blue accent");

  d.Section("SysMetrics")
      .Key("CaptionBarHeight", std::to_string(kCaptionBarHeight))
      .Key("SMCaptionBarHeight", std::to_string(kSmallCaptionBarHeight))
      .Key("BorderWidth", std::to_string(kBorderWidth))
      .Key("SMBorderWidth", std::to_string(kSmallBorderWidth))
      .Key("CaptionFont", "Tahoma, 9")
      .Key("SMCaptionFont", "Tahoma, 8, bold")
      .Key("MenuFont", "Tahoma, 8")
      .Key("StatusFont", "Tahoma, 8")
      .Key("MsgBoxFont", "Tahoma, 8")
      .Key("CaptionText", ink)
      .Key("InactiveCaptionText", "140 150 165")
      .Key("Window", "255 255 255")
      .Key("WindowText", ink)
      .Key("BtnFace", "243 245 249")
      .Key("BtnText", ink)
      .Key("BtnShadow", "160 170 185")
      .Key("Highlight", "204 222 250")
      .Key("HighlightText", "18 38 78")
      .Key("Menu", "252 253 254")
      .Key("MenuBar", "243 245 249")
      .Key("MenuHilight", "214 228 250")
      .Key("MenuText", ink)
      .Key("GrayText", "150 158 170");

  d.Section("Window").Key("FillColor", "243 245 249").Key("TextColor", ink);
  d.Section("Window.Caption")
      .Image("Blue\\FRAMECAPTION.bmp", 2, "Stretch", "6, 6, 4, 2")
      .Key("ContentAlignment", "Left")
      .Key("CaptionMargins", "8, 8, 0, 0")
      .Key("TextShadowColor", "255 255 255");
  d.Section("Window.Caption(Active)").Key("TextShadowType", "None").Key("TextColor", ink);
  d.Section("Window.Caption(Inactive)").Key("TextShadowType", "None").Key("TextColor", "140 150 165");
  d.Section("Window.FrameLeft").Image("Blue\\FRAMELEFT.bmp", 2, "Stretch", "0, 0, 0, 0");
  d.Section("Window.FrameRight").Image("Blue\\FRAMERIGHT.bmp", 2, "Stretch", "0, 0, 0, 0");
  d.Section("Window.FrameBottom").Image("Blue\\FRAMEBOTTOM.bmp", 2, "Stretch", "4, 4, 0, 0");
  d.Section("Window.SmallCaption")
      .Image("Blue\\SMALLFRAMECAPTION.bmp", 2, "Stretch", "6, 6, 4, 2")
      .Key("ContentAlignment", "Left")
      .Key("CaptionMargins", "6, 6, 0, 0");
  d.Section("Window.SmallFrameLeft").Image("Blue\\SMALLFRAMELEFT.bmp", 2, "Stretch", "0, 0, 0, 0");
  d.Section("Window.SmallFrameRight").Image("Blue\\SMALLFRAMERIGHT.bmp", 2, "Stretch", "0, 0, 0, 0");
  d.Section("Window.SmallFrameBottom").Image("Blue\\SMALLFRAMEBOTTOM.bmp", 2, "Stretch", "3, 3, 0, 0");
  d.Section("Window.CloseButton").Image("Blue\\CLOSEBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.HelpButton").Image("Blue\\HELPBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.MaxButton").Image("Blue\\MAXBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.MinButton").Image("Blue\\MINBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.RestoreButton").Image("Blue\\RESTOREBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.SmallCloseButton").Image("Blue\\SMALLCLOSEBUTTON.bmp", 4, "TrueSize", "");
  d.Section("Window.SysButton").Key("BgType", "None");
  d.Section("Window.MDIMinButton").Image("Blue\\MDIMINBUTTON.bmp", 3, "TrueSize", "");
  d.Section("Window.MDICloseButton").Image("Blue\\MDICLOSEBUTTON.bmp", 3, "TrueSize", "");
  d.Section("Window.MDIRestoreButton").Image("Blue\\MDIRESTOREBUTTON.bmp", 3, "TrueSize", "");

  d.Section("Button.Pushbutton")
      .Image("Blue\\BUTTON.bmp", 5, "Stretch", "5, 5, 5, 5")
      .Key("ContentMargins", "6, 6, 3, 3")
      .Key("FillColorHint", "241 244 249")
      .Key("TextColor", ink);
  d.Section("Button.Pushbutton(Disabled)").Key("TextColor", "160 166 176");
  d.Section("Button.Pushbutton(Defaulted)").Key("TextColor", ink);
  d.Section("Spin").Key("BgType", "None");
  d.Section("Spin.Up").Image("Blue\\SPINBUTTON.bmp", 5, "Stretch", "3, 3, 3, 3").Glyph("Blue\\SPINUPGLYPH.bmp");
  d.Section("Spin.Down").Image("Blue\\SPINBUTTON.bmp", 5, "Stretch", "3, 3, 3, 3").Glyph("Blue\\SPINDOWNGLYPH.bmp");
  d.Section("Spin.Uphorz").Image("Blue\\SPINBUTTON.bmp", 5, "Stretch", "3, 3, 3, 3").Glyph("Blue\\SPINRIGHTGLYPH.bmp");
  d.Section("Spin.Downhorz").Image("Blue\\SPINBUTTON.bmp", 5, "Stretch", "3, 3, 3, 3").Glyph("Blue\\SPINLEFTGLYPH.bmp");
  d.Section("Button.CheckBox").Image("Blue\\CHECKBOX13.bmp", 12, "TrueSize", "").Key("TextColor", ink);
  d.Section("Button.CheckBox(CheckedDisabled)").Key("TextColor", "160 166 176");
  d.Section("Button.CheckBox(Unchecked Disabled)").Key("TextColor", "160 166 176");
  d.Section("Button.CheckBox(MixedDisabled)").Key("TextColor", "160 166 176");
  d.Section("Button.RadioButton").Image("Blue\\RADIOBUTTON13.bmp", 8, "TrueSize", "").Key("TextColor", ink);
  d.Section("Button.RadioButton(CheckedDisabled)").Key("TextColor", "160 166 176");
  d.Section("Button.RadioButton(Unchecked Disabled)").Key("TextColor", "160 166 176");
  d.Section("Button.GroupBox").Image("Blue\\GROUPBOX.bmp", 1, "Stretch", "5, 5, 5, 5").Key("TextColor", "43 108 212");

  d.Section("ScrollBar.ArrowBtn")
      .Image("Blue\\SCROLLARROWBACK.bmp", 16, "Stretch", "4, 4, 4, 4")
      .Glyph("Blue\\SCROLLARROWGLYPH.bmp");
  d.Section("ScrollBar.ThumbBtnHorz").Image("Blue\\SCROLLTHUMBHORZ.bmp", 4, "Stretch", "6, 6, 6, 6");
  d.Section("ScrollBar.ThumbBtnVert").Image("Blue\\SCROLLTHUMBVERT.bmp", 4, "Stretch", "6, 6, 6, 6");
  d.Section("ScrollBar.LowerTrackHorz").Image("Blue\\SCROLLTRACK.bmp", 4, "Stretch", "0, 0, 0, 0");
  d.Section("ScrollBar.UpperTrackHorz").Image("Blue\\SCROLLTRACK.bmp", 4, "Stretch", "0, 0, 0, 0");
  d.Section("ScrollBar.LowerTrackVert").Image("Blue\\SCROLLTRACK.bmp", 4, "Stretch", "0, 0, 0, 0");
  d.Section("ScrollBar.UpperTrackVert").Image("Blue\\SCROLLTRACK.bmp", 4, "Stretch", "0, 0, 0, 0");
  d.Section("ScrollBar.GripperHorz").Image("Blue\\SCROLLGRIPPERHORZ.bmp", 4, "TrueSize", "");
  d.Section("ScrollBar.GripperVert").Image("Blue\\SCROLLGRIPPERVERT.bmp", 4, "TrueSize", "");

  d.Section("Progress").Key("FillColor", "233 237 243");
  d.Section("Progress.Bar").Image("Blue\\PROGRESSTRACK.bmp", 1, "Stretch", "5, 5, 5, 5").Key("ContentMargins", "2, 2, 2, 2");
  d.Section("Progress.BarVert").Image("Blue\\PROGRESSTRACK.bmp", 1, "Stretch", "5, 5, 5, 5").Key("ContentMargins", "2, 2, 2, 2");
  d.Section("Progress.Chunk").Image("Blue\\PROGRESSCHUNK.bmp", 1, "Stretch", "0, 0, 0, 0");
  d.Section("Progress.ChunkVert").Image("Blue\\PROGRESSCHUNKVERT.bmp", 1, "Stretch", "0, 0, 0, 0");

  d.Section("TrackBar").Key("BgType", "None");
  d.Section("TrackBar.Track").Image("Blue\\TRACKBARTRACK.bmp", 1, "Stretch", "3, 3, 1, 1");
  d.Section("TrackBar.TrackVert").Image("Blue\\TRACKBARTRACKVERT.bmp", 1, "Stretch", "1, 1, 3, 3");
  d.Section("TrackBar.Thumb").Image("Blue\\TRACKBARTHUMB.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.ThumbTop").Image("Blue\\TRACKBARTHUMB.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.ThumbBottom").Image("Blue\\TRACKBARTHUMB.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.ThumbVert").Image("Blue\\TRACKBARTHUMBVERT.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.ThumbLeft").Image("Blue\\TRACKBARTHUMBVERT.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.ThumbRight").Image("Blue\\TRACKBARTHUMBVERT.bmp", 5, "TrueSize", "");
  d.Section("TrackBar.Tics").Key("BgType", "None").Key("TextColor", "160 170 185");

  d.Section("Edit").BorderFill("185 195 210", "255 255 255").Key("TextColor", ink);
  d.Section("Edit.EditText(Disabled)").Key("FillColor", "244 245 247").Key("TextColor", "160 166 176");
  d.Section("Edit.EditText(ReadOnly)").Key("FillColor", "248 249 251");
  d.Section("ComboBox").BorderFill("185 195 210", "255 255 255").Key("TextColor", ink);
  d.Section("ComboBox(Disabled)").Key("FillColor", "244 245 247");
  d.Section("ComboBox(Hot)").Key("BorderColor", "112 155 224");
  d.Section("ComboBox.DropDownButton")
      .Image("Blue\\DROPDOWNBUTTON.bmp", 4, "Stretch", "3, 3, 3, 3")
      .Glyph("Blue\\DROPDOWNGLYPH.bmp");

  d.Section("Header").Image("Blue\\HEADER.bmp", 1, "Stretch", "0, 0, 0, 1");
  d.Section("Header.HeaderItem").Image("Blue\\HEADERITEM.bmp", 3, "Stretch", "2, 2, 2, 2").Key("TextColor", ink);
  // The status line is a band of the accent colour with light text: the
  // viewer's stored layout writes its status texts in white.
  d.Section("Status").Image("Blue\\STATUS.bmp", 1, "Stretch", "0, 0, 1, 0").Key("TextColor", "255 255 255");
  d.Section("Status.Pane").Image("Blue\\STATUSPANE.bmp", 1, "Stretch", "0, 3, 4, 4");
  d.Section("Status.GripperPane").Key("BgType", "None");
  d.Section("Status.Gripper").Image("Blue\\STATUSGRIPPER.bmp", 1, "TrueSize", "");

  d.Section("Rebar").Image("Blue\\REBAR.bmp", 1, "Stretch", "0, 0, 0, 0");
  d.Section("Rebar.Band").Image("Blue\\REBAR.bmp", 1, "Stretch", "0, 0, 0, 0");
  d.Section("Rebar.Gripper").Image("Blue\\REBARGRIPPER.bmp", 1, "Tile", "0, 0, 0, 0");
  d.Section("Rebar.GripperVert").Image("Blue\\REBARGRIPPERVERT.bmp", 1, "Tile", "0, 0, 0, 0");
  d.Section("Rebar.Chevron").Image("Blue\\REBARCHEVRON.bmp", 3, "TrueSize", "");
  d.Section("Rebar.ChevronVert").Image("Blue\\REBARCHEVRONVERT.bmp", 3, "TrueSize", "");
  d.Section("Toolbar").Key("FillColor", "243 245 249");
  d.Section("Toolbar.Button").Image("Blue\\TOOLBUTTON.bmp", 6, "Stretch", "4, 4, 4, 4").Key("TextColor", ink);
  d.Section("Toolbar.Separator").Image("Blue\\TOOLSEPARATOR.bmp", 1, "TrueSize", "");
  d.Section("Toolbar.DropDownButton").Image("Blue\\TOOLBUTTON.bmp", 6, "Stretch", "4, 4, 4, 4");
  d.Section("Toolbar.SplitButton").Image("Blue\\TOOLBUTTON.bmp", 6, "Stretch", "4, 4, 4, 4");
  d.Section("Toolbar.SplitButtonDropDown")
      .Image("Blue\\TOOLDROPBUTTON.bmp", 6, "Stretch", "3, 3, 4, 4")
      .Glyph("Blue\\TOOLDROPGLYPH.bmp");

  d.Section("Tab").Key("FillColor", "243 245 249");
  d.Section("Tab.Pane").Image("Blue\\TABPANE.bmp", 1, "Stretch", "2, 2, 2, 2");
  d.Section("Tab.Body").Key("BgType", "BorderFill").Key("BorderSize", "0").Key("FillColor", "255 255 255");
  d.Section("Tab.TopTabItem").Image("Blue\\TABITEM.bmp", 4, "Stretch", "5, 5, 5, 2").Key("TextColor", ink);
  d.Section("Tab.TopTabItemLeftEdge").Image("Blue\\TABITEM.bmp", 4, "Stretch", "5, 5, 5, 2").Key("TextColor", ink);
  d.Section("Tab.TopTabItemRightEdge").Image("Blue\\TABITEM.bmp", 4, "Stretch", "5, 5, 5, 2").Key("TextColor", ink);

  d.Section("ExplorerBar").Key("BgType", "BorderFill").Key("BorderSize", "0").Key("FillColor", "232 238 247");
  d.Section("ExplorerBar.SpecialGroupBackground").Image("Blue\\EXPLORERGROUP.bmp", 1, "Stretch", "5, 5, 2, 5");
  d.Section("ExplorerBar.NormalGroupHead").Image("Blue\\EXPLORERHEAD.bmp", 1, "Stretch", "5, 5, 5, 2").Key("TextColor", ink);
  d.Section("ExplorerBar.NormalGroupCollapse").Image("Blue\\EXPLORERCOLLAPSE.bmp", 3, "TrueSize", "");
  d.Section("ExplorerBar.NormalGroupExpand").Image("Blue\\EXPLOREREXPAND.bmp", 3, "TrueSize", "");
  d.Section("ExplorerBar.HeaderClose").Image("Blue\\EXPLORERCLOSE.bmp", 3, "TrueSize", "");

  d.Section("ListView").BorderFill("185 195 210", "255 255 255").Key("TextColor", ink);
  return d.Text();
}

void DrawImages(TmsuxThemeData& data) {
  TSkylineImages images(data);
  const int capH = kCaptionBarHeight + kBorderWidth;
  const int smallCapH = kSmallCaptionBarHeight + kSmallBorderWidth;

  DrawCaption(images.Add("Blue\\FRAMECAPTION.bmp", 40, capH, 2), 40, capH);
  DrawSideFrame(images.Add("Blue\\FRAMELEFT.bmp", kBorderWidth, 8, 2), kBorderWidth, 8, true);
  DrawSideFrame(images.Add("Blue\\FRAMERIGHT.bmp", kBorderWidth, 8, 2), kBorderWidth, 8, false);
  DrawBottomFrame(images.Add("Blue\\FRAMEBOTTOM.bmp", 16, kBorderWidth, 2), 16, kBorderWidth);
  DrawCaption(images.Add("Blue\\SMALLFRAMECAPTION.bmp", 40, smallCapH, 2), 40, smallCapH);
  DrawSideFrame(images.Add("Blue\\SMALLFRAMELEFT.bmp", kSmallBorderWidth, 8, 2), kSmallBorderWidth, 8, true);
  DrawSideFrame(images.Add("Blue\\SMALLFRAMERIGHT.bmp", kSmallBorderWidth, 8, 2), kSmallBorderWidth, 8, false);
  DrawBottomFrame(images.Add("Blue\\SMALLFRAMEBOTTOM.bmp", 16, kSmallBorderWidth, 2), 16, kSmallBorderWidth);

  const std::pair<const char*, TCaptionGlyph> buttons[] = {{"Blue\\CLOSEBUTTON.bmp", TCaptionGlyph::Close},
                                                           {"Blue\\HELPBUTTON.bmp", TCaptionGlyph::Help},
                                                           {"Blue\\MAXBUTTON.bmp", TCaptionGlyph::Max},
                                                           {"Blue\\MINBUTTON.bmp", TCaptionGlyph::Min},
                                                           {"Blue\\RESTOREBUTTON.bmp", TCaptionGlyph::Restore}};
  for (const auto& [path, glyph] : buttons) {
    DrawCaptionButton(images.Add(path, kButtonBox, kButtonBox, 4), kButtonBox, glyph, 4, false);
  }
  DrawCaptionButton(images.Add("Blue\\SMALLCLOSEBUTTON.bmp", kSmallButtonBox, kSmallButtonBox, 4), kSmallButtonBox,
                    TCaptionGlyph::Close, 4, true);
  DrawCaptionButton(images.Add("Blue\\MDIMINBUTTON.bmp", 16, 16, 3), 16, TCaptionGlyph::Min, 3, true);
  DrawCaptionButton(images.Add("Blue\\MDICLOSEBUTTON.bmp", 16, 16, 3), 16, TCaptionGlyph::Close, 3, true);
  DrawCaptionButton(images.Add("Blue\\MDIRESTOREBUTTON.bmp", 16, 16, 3), 16, TCaptionGlyph::Restore, 3, true);

  DrawPushButton(images.Add("Blue\\BUTTON.bmp", 29, 29, 5));
  DrawHoverBackground(images.Add("Blue\\SPINBUTTON.bmp", 16, 12, 5), 16, 12, 5, true);
  DrawChevrons(images.Add("Blue\\SPINUPGLYPH.bmp", 9, 6, 5), 9, 6, 5, 0, -1, 7);
  DrawChevrons(images.Add("Blue\\SPINDOWNGLYPH.bmp", 9, 6, 5), 9, 6, 5, 0, 1, 7);
  DrawChevrons(images.Add("Blue\\SPINLEFTGLYPH.bmp", 6, 9, 5), 6, 9, 5, -1, 0, 7);
  DrawChevrons(images.Add("Blue\\SPINRIGHTGLYPH.bmp", 6, 9, 5), 6, 9, 5, 1, 0, 7);
  DrawCheckBox(images.Add("Blue\\CHECKBOX13.bmp", 13, 13, 12));
  DrawRadioButton(images.Add("Blue\\RADIOBUTTON13.bmp", 13, 13, 8));
  {
    TskBitmap& group = images.Add("Blue\\GROUPBOX.bmp", 16, 16, 1);
    Draw(group, group.Bounds(), Ring(RoundRect(0.5, 0.5, 15.5, 15.5, 4), 1.0), Solid(Rgb(205, 212, 223)));
  }

  DrawScrollArrowBack(images.Add("Blue\\SCROLLARROWBACK.bmp", 17, 17, 16));
  DrawScrollArrowGlyph(images.Add("Blue\\SCROLLARROWGLYPH.bmp", 9, 9, 16));
  DrawScrollThumb(images.Add("Blue\\SCROLLTHUMBHORZ.bmp", 17, 17, 4), true);
  DrawScrollThumb(images.Add("Blue\\SCROLLTHUMBVERT.bmp", 17, 17, 4), false);
  {
    TskBitmap& track = images.Add("Blue\\SCROLLTRACK.bmp", 17, 17, 4);
    for (int i = 0; i < 4; ++i) FillRectOpaque(track, FrameAt(17, 17, i), i == sPressed ? Rgb(226, 231, 238) : kTrack);
  }
  DrawScrollGripper(images.Add("Blue\\SCROLLGRIPPERHORZ.bmp", 8, 8, 4), true);
  DrawScrollGripper(images.Add("Blue\\SCROLLGRIPPERVERT.bmp", 8, 8, 4), false);

  {
    TskBitmap& track = images.Add("Blue\\PROGRESSTRACK.bmp", 16, 16, 1);
    Box(track, track.Bounds(), 0.5, 4, kLine, Solid(Rgb(233, 237, 243)));
    TskBitmap& chunk = images.Add("Blue\\PROGRESSCHUNK.bmp", 8, 16, 1);
    Draw(chunk, chunk.Bounds(), RoundRect(0, 0, 8, 16, 0), VerticalGradient(kAccentHot, kAccent, 0, 16));
    TskBitmap& chunkVert = images.Add("Blue\\PROGRESSCHUNKVERT.bmp", 16, 8, 1);
    Draw(chunkVert, chunkVert.Bounds(), RoundRect(0, 0, 16, 8, 0), HorizontalGradient(kAccentHot, kAccent, 0, 16));
  }
  {
    TskBitmap& track = images.Add("Blue\\TRACKBARTRACK.bmp", 16, 4, 1);
    Draw(track, track.Bounds(), RoundRect(0, 0, 16, 4, 2), Solid(Rgb(200, 208, 221)));
    TskBitmap& trackVert = images.Add("Blue\\TRACKBARTRACKVERT.bmp", 4, 16, 1);
    Draw(trackVert, trackVert.Bounds(), RoundRect(0, 0, 4, 16, 2), Solid(Rgb(200, 208, 221)));
  }
  DrawTrackBarThumb(images.Add("Blue\\TRACKBARTHUMB.bmp", 11, 19, 5), 11, 19);
  DrawTrackBarThumb(images.Add("Blue\\TRACKBARTHUMBVERT.bmp", 19, 11, 5), 19, 11);

  DrawHoverBackground(images.Add("Blue\\DROPDOWNBUTTON.bmp", 17, 20, 4), 17, 20, 4, false);
  DrawChevrons(images.Add("Blue\\DROPDOWNGLYPH.bmp", 9, 6, 4), 9, 6, 4, 0, 1, 7);

  {
    TskBitmap& header = images.Add("Blue\\HEADER.bmp", 16, 24, 1);
    Draw(header, header.Bounds(), RoundRect(0, 0, 16, 24, 0), VerticalGradient(kWhite, Rgb(246, 248, 251), 0, 24));
    FillRectOpaque(header, TRect{0, 23, 16, 24}, Rgb(213, 219, 228));
    TskBitmap& item = images.Add("Blue\\HEADERITEM.bmp", 16, 24, 3);
    const TRgba tops[] = {kWhite, Rgb(244, 248, 255), Rgb(224, 233, 247)};
    const TRgba bottoms[] = {Rgb(246, 248, 251), Rgb(232, 240, 252), Rgb(214, 226, 245)};
    for (int i = 0; i < 3; ++i) {
      const TRect f = FrameAt(16, 24, i);
      Draw(item, f, RoundRect(f.Left, f.Top, f.Right, f.Bottom, 0), VerticalGradient(tops[i], bottoms[i], f.Top, f.Bottom));
      FillRectOpaque(item, TRect{f.Right - 1, f.Top + 5, f.Right, f.Bottom - 5}, Rgb(215, 221, 230));
      FillRectOpaque(item, TRect{f.Left, f.Bottom - 1, f.Right, f.Bottom}, Rgb(213, 219, 228));
    }
  }
  {
    // Dark enough, once the viewer brightens the theme by 10, for white
    // text at a contrast of more than 5:1 over the whole band.
    TskBitmap& status = images.Add("Blue\\STATUS.bmp", 16, 22, 1);
    Draw(status, status.Bounds(), RoundRect(0, 0, 16, 22, 0), VerticalGradient(kStatusTop, kStatusBottom, 0, 22));
    FillRectOpaque(status, TRect{0, 0, 16, 1}, kAccentPressed);
    TskBitmap& pane = images.Add("Blue\\STATUSPANE.bmp", 16, 22, 1);
    FillRectOpaque(pane, TRect{14, 4, 15, 18}, Rgb(88, 136, 210));
    TskBitmap& gripper = images.Add("Blue\\STATUSGRIPPER.bmp", 12, 12, 1);
    for (int row = 0; row < 3; ++row) {
      for (int col = 2 - row; col < 3; ++col) {
        Draw(gripper, gripper.Bounds(), Circle(2.5 + 3.5 * col, 2.5 + 3.5 * row, 1.0), Solid(Rgb(160, 190, 235)));
      }
    }
  }
  {
    TskBitmap& rebar = images.Add("Blue\\REBAR.bmp", 16, 16, 1);
    FillRectOpaque(rebar, rebar.Bounds(), kFace);
    TskBitmap& gripper = images.Add("Blue\\REBARGRIPPER.bmp", 5, 4, 1);
    Draw(gripper, gripper.Bounds(), Circle(2.5, 2, 0.95), Solid(Rgb(160, 170, 186)));
    TskBitmap& gripperVert = images.Add("Blue\\REBARGRIPPERVERT.bmp", 4, 5, 1);
    Draw(gripperVert, gripperVert.Bounds(), Circle(2, 2.5, 0.95), Solid(Rgb(160, 170, 186)));
    for (int vertical = 0; vertical < 2; ++vertical) {
      TskBitmap& chevron = images.Add(vertical ? "Blue\\REBARCHEVRONVERT.bmp" : "Blue\\REBARCHEVRON.bmp", 12, 12, 3);
      DrawHoverBackground(chevron, 12, 12, 3, false);
      for (int i = 0; i < 3; ++i) {
        const TRect f = FrameAt(12, 12, i);
        const int dx = vertical ? 0 : 1, dy = vertical ? 1 : 0;
        const double sx = vertical ? 0 : 2, sy = vertical ? 2 : 0;
        Draw(chevron, f, Chevron(f.Left + 6 - sx, f.Top + 6 - sy, 6, dx, dy, 1.3), Solid(kInk));
        Draw(chevron, f, Chevron(f.Left + 6 + sx, f.Top + 6 + sy, 6, dx, dy, 1.3), Solid(kInk));
      }
    }
  }
  DrawToolButton(images.Add("Blue\\TOOLBUTTON.bmp", 24, 22, 6), 24, 22);
  DrawToolButton(images.Add("Blue\\TOOLDROPBUTTON.bmp", 12, 22, 6), 12, 22);
  DrawChevrons(images.Add("Blue\\TOOLDROPGLYPH.bmp", 7, 5, 6), 7, 5, 6, 0, 1, 6);
  {
    TskBitmap& separator = images.Add("Blue\\TOOLSEPARATOR.bmp", 6, 22, 1);
    FillRectOpaque(separator, TRect{2, 3, 3, 19}, Rgb(205, 212, 223));
  }

  DrawTab(images.Add("Blue\\TABITEM.bmp", 16, 22, 4));
  {
    TskBitmap& pane = images.Add("Blue\\TABPANE.bmp", 16, 16, 1);
    FillRectOpaque(pane, pane.Bounds(), Rgb(190, 199, 212));
    FillRectOpaque(pane, TRect{1, 1, 15, 15}, kWhite);
  }
  {
    TskBitmap& group = images.Add("Blue\\EXPLORERGROUP.bmp", 16, 16, 1);
    Draw(group, group.Bounds(), RoundRect(0.5, -6, 15.5, 15.5, 4), Solid(Rgb(205, 214, 228)));
    Draw(group, group.Bounds(), RoundRect(1.5, -6, 14.5, 14.5, 3), Solid(kWhite));
    TskBitmap& head = images.Add("Blue\\EXPLORERHEAD.bmp", 16, 25, 1);
    Box(head, TRect{0, 0, 16, 31}, 0.5, 5, Rgb(190, 202, 222), VerticalGradient(kWhite, Rgb(230, 238, 250), 0, 25));
    DrawGroupButton(images.Add("Blue\\EXPLORERCOLLAPSE.bmp", 20, 20, 3), -1, false);
    DrawGroupButton(images.Add("Blue\\EXPLOREREXPAND.bmp", 20, 20, 3), 1, false);
    DrawGroupButton(images.Add("Blue\\EXPLORERCLOSE.bmp", 20, 20, 3), 0, true);
  }

  for (int i = 0; i < data.Images.Count(); ++i) Finish(*data.Images.Item(i));
}

void PutInt32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutInt16(std::vector<uint8_t>& bytes, uint16_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

// Zero-terminated UTF-16 names, one after the other.
std::vector<uint8_t> NameList(std::initializer_list<const char*> names) {
  std::vector<uint8_t> bytes;
  for (const char* name : names) {
    for (const char* c = name; *c != 0; ++c) PutInt16(bytes, static_cast<uint8_t>(*c));
    PutInt16(bytes, 0);
  }
  return bytes;
}

}  // namespace

void BuildSkyline(TmsuxThemeData& data) {
  data.Name = kSkylineName;
  data.SourceName = kSkylineName;
  data.Images.Clear();
  data.Description.SetText(DescriptionText());
  DrawImages(data);
}

std::vector<uint8_t> ThemeStreamValue(const TmsuxThemeData& data) {
  TMemoryStream stored;
  data.WriteStoredForm(stored);
  std::vector<uint8_t> value;
  value.push_back(2);
  PutInt32(value, static_cast<uint32_t>(data.Name.size()));
  value.insert(value.end(), data.Name.begin(), data.Name.end());
  PutInt32(value, static_cast<uint32_t>(stored.Size()));
  PutInt32(value, 0);
  value.insert(value.end(), stored.Bytes().begin(), stored.Bytes().end());
  return value;
}

std::vector<uint8_t> BitmapFile(const TskBitmap& bitmap) {
  const uint32_t pixels = static_cast<uint32_t>(bitmap.Width()) * static_cast<uint32_t>(bitmap.Height()) * 4;
  std::vector<uint8_t> bytes;
  bytes.push_back('B');
  bytes.push_back('M');
  PutInt32(bytes, 14 + 40 + pixels);
  PutInt32(bytes, 0);
  PutInt32(bytes, 14 + 40);
  PutInt32(bytes, 40);
  PutInt32(bytes, static_cast<uint32_t>(bitmap.Width()));
  PutInt32(bytes, static_cast<uint32_t>(bitmap.Height()));  // bottom-up
  PutInt16(bytes, 1);
  PutInt16(bytes, 32);
  PutInt32(bytes, 0);  // uncompressed
  PutInt32(bytes, pixels);
  PutInt32(bytes, 2835);
  PutInt32(bytes, 2835);
  PutInt32(bytes, 0);
  PutInt32(bytes, 0);
  for (int32_t y = bitmap.Height() - 1; y >= 0; --y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      TskPixel p = bitmap.PixelAt(x, y);
      // Style files key transparency with magenta.
      if (p == kKeyPixel) p = 0x00FF00FF;
      PutInt32(bytes, p);
    }
  }
  return bytes;
}

void WriteModuleScript(const TmsuxThemeData& data, const std::string& rcPath) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(rcPath).parent_path();
  if (!dir.empty()) fs::create_directories(dir);
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteWholeFile((dir / name).string(), bytes);
  };

  std::string script =
      "// A style-file module holding the theme \"Skyline\": the name lists, the\n"
      "// description and the images it names. Written by themegen.\n";
  write("colornames.bin", NameList({"NormalColor"}));
  write("sizenames.bin", NameList({"NormalSize"}));
  write("fileresnames.bin", NameList({"NORMALBLUE_INI"}));
  script += "1 COLORNAMES \"colornames.bin\"\n1 SIZENAMES \"sizenames.bin\"\n1 FILERESNAMES \"fileresnames.bin\"\n";

  // The description as UTF-16 with "key = value" lines; a reader drops the
  // last three characters, which here end the text.
  std::string text;
  for (const TmsuxDescription::TSection& section : data.Description.Sections()) {
    text += "[" + section.Name + "]\r\n";
    for (const TmsuxDescription::TLine& line : section.Lines) {
      text += line.Key.empty() ? line.Value : line.Key + " = " + line.Value;
      text += "\r\n";
    }
    text += "\r\n";
  }
  text += "\r\n";
  text.push_back('\0');
  std::vector<uint8_t> utf16;
  for (char c : text) PutInt16(utf16, static_cast<uint8_t>(c));
  write("normalblue.ini", utf16);
  script += "NORMALBLUE_INI TEXTFILE \"normalblue.ini\"\n";

  for (int i = 0; i < data.Images.Count(); ++i) {
    const TskBitmap& bitmap = *data.Images.Item(i);
    const std::string file = bitmap.Name + ".bmp";
    write(file, BitmapFile(bitmap));
    script += bitmap.Name + " BITMAP \"" + file + "\"\n";
  }
  WriteWholeFile(rcPath, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(script.data()), script.size()));
}

}  // namespace themegen
