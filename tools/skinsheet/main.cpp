// Pictures of what the skin library draws, for people to look at.
//   skinsheet --list-effects     the selectable effect names, one per line
//   skinsheet --effects OUTDIR   one PNG strip per registered effect: the
//                                frames at 0, 20, 40, 60, 80 and 100 % from a
//                                dark old picture to a light new one
//   skinsheet OUT.png            (Windows) the viewer's theme made current as
//                                the viewer does it, every element family in
//                                each of its states, labelled
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/process.h"
#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"
#include "graphics/sk_effect.h"
#include "graphics/sk_png.h"
#ifdef _WIN32
#include "contact_sheet.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int32_t kFrameWidth = 200;
constexpr int32_t kFrameHeight = 120;
constexpr int32_t kGap = 4;
constexpr int32_t kPercentages[] = {0, 20, 40, 60, 80, 100};
constexpr int32_t kResolution = 4;

// A picture with enough structure to see where an effect moves things: a
// gradient, a frame and a diagonal band.
void PaintPicture(TskBitmap& image, bool light) {
  image.SetSize(kFrameWidth, kFrameHeight);
  for (int32_t y = 0; y < kFrameHeight; ++y) {
    for (int32_t x = 0; x < kFrameWidth; ++x) {
      const uint32_t shade = static_cast<uint32_t>(x * 60 / kFrameWidth + y * 40 / kFrameHeight);
      uint32_t r, g, b;
      if (light) {
        r = 0xF0 - shade / 2, g = 0xF4 - shade / 3, b = 0xFF - shade / 4;
      } else {
        r = 0x18 + shade / 3, g = 0x20 + shade / 3, b = 0x38 + shade / 2;
      }
      const bool border = x < 6 || y < 6 || x >= kFrameWidth - 6 || y >= kFrameHeight - 6;
      const bool band = (x - y * 2 + 400) % 80 < 14;
      if (border || band) light ? (r = 0x1F, g = 0x6F, b = 0xD8) : (r = 0xD8, g = 0x8A, b = 0x2A);
      image.SetPixelAt(x, y, 0xFF000000u | r << 16 | g << 8 | b);
    }
  }
}

std::string FileNameFor(int index, std::string_view name) {
  std::string file = (index < 9 ? "0" : "") + std::to_string(index + 1) + "_";
  bool gap = false;
  for (char c : name) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (word) {
      if (gap && file.back() != '_') file += '-';
      file += c;
    }
    gap = !word;
  }
  return file + ".png";
}

int ListEffects() {
  for (const std::string& name : EffectNameList()) std::cout << name << '\n';
  return 0;
}

int WriteEffectStrips(const std::string& folder) {
  const fs::path out(std::u8string(folder.begin(), folder.end()));
  fs::create_directories(out);
  TskBitmap oldImage, newPicture;
  PaintPicture(oldImage, false);
  PaintPicture(newPicture, true);
  TskAnimationRec settings;
  settings.SetResolution(kResolution);

  const TskProcList& effects = EffectList();
  const int32_t frames = static_cast<int32_t>(std::size(kPercentages));
  for (int32_t i = 0; i < effects.Count(); ++i) {
    const TskProcItem& item = effects.Item(i);
    TskBitmap strip;
    strip.SetSize(frames * kFrameWidth + (frames - 1) * kGap, kFrameHeight);
    strip.Fill(0xFFFFFFFFu);
    for (int32_t f = 0; f < frames; ++f) {
      // Every frame starts from the old picture, as a timer tick does.
      TskBitmap newImage;
      newImage.Assign(newPicture);
      TskEffectSlot slot;
      slot.OldImage = &oldImage;
      slot.NewImage = &newImage;
      slot.AnimationRec = &settings;
      slot.Item = &item;
      PrepareEffectFrames(slot);
      TskBitmap& work = *slot.WorkImage;
      for (int32_t y = 0; y < kFrameHeight; ++y)
        for (int32_t x = 0; x < kFrameWidth; ++x) work.SetPixelAt(x, y, oldImage.PixelAt(x, y));
      ComposeEffectFrame(slot, kPercentages[f]);
      for (int32_t y = 0; y < kFrameHeight; ++y)
        for (int32_t x = 0; x < kFrameWidth; ++x)
          strip.SetPixelAt(f * (kFrameWidth + kGap) + x, y, work.PixelAt(x, y) | 0xFF000000u);
      ReleaseEffectFrames(slot);
    }
    const std::string file = FileNameFor(i, item.Name);
    WriteWholeFile(WideToUtf8((out / file).wstring()), EncodePng(strip));
    std::cout << file << '\t' << item.Name << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  try {
    if (args.size() == 1 && args[0] == "--list-effects") return ListEffects();
    if (args.size() == 2 && args[0] == "--effects") return WriteEffectStrips(args[1]);
#ifdef _WIN32
    if (args.size() == 1 && !args[0].starts_with("--")) return WriteContactSheet(args[0]);
#endif
  } catch (const Exception& e) {
    std::cerr << "skinsheet: " << e.Message << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "skinsheet: " << e.what() << '\n';
    return 1;
  }
#ifdef _WIN32
  std::cerr << "usage: skinsheet --list-effects | --effects OUTDIR | OUT.png\n";
#else
  std::cerr << "usage: skinsheet --list-effects | --effects OUTDIR\n";
#endif
  return 2;
}
