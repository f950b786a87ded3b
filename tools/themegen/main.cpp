// Draws the viewer's theme "Skyline" and writes it out.
//   themegen OUT                 the theme-list value (format 2, name, size,
//                                then the stored style-file form)
//   themegen --module OUT.rc     a resource script for a style-file module,
//                                with the files it names beside it
//   themegen --preview OUT.png   the theme's images, and its objects painted
//                                at typical sizes, for people to look at
// Options may be combined in one run (the build runs the tool once).
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "graphics/sk_png.h"
#include "tools/themegen/skyline.h"

namespace {

int Usage() {
  std::cerr << "usage: themegen [OUT] [--module OUT.rc] [--preview OUT.png]\n";
  return 2;
}

// Every image over a light checkerboard (so transparency shows), then a row
// of objects painted through the theme at control sizes.
void WritePreview(TmsuxThemeData& data, const std::string& fileName) {
  constexpr int kScale = 2;
  int width = 8, height = 0;
  for (int i = 0; i < data.Images.Count(); ++i) {
    width += data.Images.Item(i)->Width() + 8;
    height = std::max(height, data.Images.Item(i)->Height());
  }
  TskBitmap sheet;
  sheet.SetSize(width, height + 16 + 220);
  for (int32_t y = 0; y < sheet.Height(); ++y) {
    for (int32_t x = 0; x < sheet.Width(); ++x) {
      const bool dark = ((x / 4) + (y / 4)) % 2 == 0 && y < height + 16;
      sheet.SetPixelAt(x, y, dark ? 0xFFE4E4E4u : 0xFFFFFFFFu);
    }
  }
  int x = 8;
  for (int i = 0; i < data.Images.Count(); ++i) {
    const TskBitmap& image = *data.Images.Item(i);
    image.DrawOnto(sheet, x, 8);
    x += image.Width() + 8;
  }

  data.Build(0, 0);
  TmsuxBitmapSurface surface(sheet);
  const int top = height + 24;
  auto paint = [&](TmsuxObjectId id, const TRect& rect, int image) {
    data.Object(id).PaintObject(surface, rect, image, TRect{});
  };
  const int capH = data.CaptionBarHeight + data.BorderWidth;
  paint(TmsuxObjectId::Caption, TRect{8, top, 308, top + capH}, 1);
  paint(TmsuxObjectId::FrameLeft, TRect{8, top + capH, 8 + data.BorderWidth, top + 120}, 1);
  paint(TmsuxObjectId::FrameRight, TRect{308 - data.BorderWidth, top + capH, 308, top + 120}, 1);
  paint(TmsuxObjectId::FrameBottom, TRect{8, top + 120, 308, top + 120 + data.BorderWidth}, 1);
  sheet.FillRect(TRect{8 + data.BorderWidth, top + capH, 308 - data.BorderWidth, top + 120}, 0xFFF3F5F9u);
  const int s = data.CaptionBarHeight - data.BorderWidth;
  const int by = top + data.BorderWidth + 1;
  paint(TmsuxObjectId::CloseButton, TRect{308 - data.BorderWidth - 1 - s, by, 308 - data.BorderWidth - 1, by + s}, 2);
  paint(TmsuxObjectId::MaxButton, TRect{308 - data.BorderWidth - 3 - 2 * s, by, 308 - data.BorderWidth - 3 - s, by + s}, 1);
  paint(TmsuxObjectId::MinButton, TRect{308 - data.BorderWidth - 5 - 3 * s, by, 308 - data.BorderWidth - 5 - 2 * s, by + s}, 1);
  paint(TmsuxObjectId::Caption, TRect{8, top + 130, 308, top + 130 + capH}, 2);

  int px = 330;
  for (int state = 1; state <= 5; ++state) {
    paint(TmsuxObjectId::PushButton, TRect{px, top, px + 80, top + 26}, state);
    paint(TmsuxObjectId::CheckBox, TRect{px, top + 34, px + 13, top + 47}, state);
    paint(TmsuxObjectId::CheckBox, TRect{px + 20, top + 34, px + 33, top + 47}, state + 4);
    paint(TmsuxObjectId::CheckBox, TRect{px + 40, top + 34, px + 53, top + 47}, state + 8);
    paint(TmsuxObjectId::RadioButton, TRect{px, top + 54, px + 13, top + 67}, state);
    paint(TmsuxObjectId::RadioButton, TRect{px + 20, top + 54, px + 33, top + 67}, state + 4);
    paint(TmsuxObjectId::ToolBarButton, TRect{px, top + 74, px + 60, top + 98}, state + 1);
    paint(TmsuxObjectId::TabTopTabItem, TRect{px, top + 106, px + 70, top + 128}, state);
    paint(TmsuxObjectId::ScrollArrowBtn, TRect{px, top + 136, px + 17, top + 153}, state);
    paint(TmsuxObjectId::ScrollThumbBtnHorz, TRect{px + 20, top + 136, px + 70, top + 153}, state);
    paint(TmsuxObjectId::SpinUp, TRect{px + 74, top + 136, px + 90, top + 145}, state);
    paint(TmsuxObjectId::SpinDown, TRect{px + 74, top + 145, px + 90, top + 154}, state);
    paint(TmsuxObjectId::TrackBarThumb, TRect{px, top + 160, px + 11, top + 179}, state);
    paint(TmsuxObjectId::ComboBoxDropDownButton, TRect{px + 20, top + 160, px + 37, top + 180}, state);
    paint(TmsuxObjectId::HeaderItem, TRect{px + 40, top + 160, px + 95, top + 184}, state);
    px += 100;
  }
  paint(TmsuxObjectId::Edit, TRect{8, top + 172, 120, top + 194}, 1);
  paint(TmsuxObjectId::ProgressBar, TRect{130, top + 172, 300, top + 190}, 1);
  paint(TmsuxObjectId::ProgressChunk, TRect{132, top + 174, 220, top + 188}, 1);
  paint(TmsuxObjectId::GroupBox, TRect{8, top + 198, 300, top + 216}, 1);
  paint(TmsuxObjectId::Status, TRect{px, top, px + 200, top + 22}, 1);
  paint(TmsuxObjectId::StatusPane, TRect{px, top, px + 100, top + 22}, 1);
  paint(TmsuxObjectId::StatusGripper, TRect{px + 186, top + 10, px + 198, top + 22}, 1);
  paint(TmsuxObjectId::TabPane, TRect{px, top + 40, px + 200, top + 120}, 1);
  paint(TmsuxObjectId::ExplorerNormalGroupHead, TRect{px, top + 130, px + 200, top + 155}, 1);
  paint(TmsuxObjectId::ExplorerSpecialGroupBackground, TRect{px, top + 155, px + 200, top + 200}, 1);
  paint(TmsuxObjectId::ExplorerNormalGroupCollapse, TRect{px + 176, top + 132, px + 196, top + 152}, 2);

  TskBitmap scaled;
  scaled.SetSize(sheet.Width() * kScale, sheet.Height() * kScale);
  sheet.DrawOnto(scaled, scaled.Bounds(), sheet.Bounds());
  const std::vector<uint8_t> png = EncodePng(scaled);
  WriteWholeFile(fileName, png);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, module, preview;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--module" || arg == "--preview") && i + 1 < argc) {
      (arg == "--module" ? module : preview) = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      return Usage();
    }
  }
  if (out.empty() && module.empty() && preview.empty()) return Usage();
  try {
    TmsuxThemeData data;
    themegen::BuildSkyline(data);
    if (!out.empty()) WriteWholeFile(out, themegen::ThemeStreamValue(data));
    if (!module.empty()) themegen::WriteModuleScript(data, module);
    if (!preview.empty()) WritePreview(data, preview);
  } catch (const Exception& e) {
    std::cerr << "themegen: " << e.Message << "\n";
    return 1;
  }
  return 0;
}
