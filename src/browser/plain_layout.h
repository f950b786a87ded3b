// The plain browser's fourth stage: boxes placed on a page of a given
// width. Lines break between words (and inside a word only when it alone is
// wider than the line), list markers stand in the indent beside the first
// line of their item, table columns take their widths from their content
// (the widest word and the unbroken line of each cell), pictures take their
// size from their attributes or their own size, narrowed to the width they
// have. Text is measured through TTextMeasurer: GDI fonts in the browser, a
// fixed-pitch measurer in tests and in the native comparison with a real
// browser.
//
// The result is a list of positioned items in reading order, which painting,
// hit-testing and text extraction all use; layout runs when a page arrives,
// its pictures' sizes become known or the width changes, never per paint.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "browser/plain_boxes.h"

struct TFontKey {
  uint8_t Size = 16;
  bool Bold = false;
  bool Italic = false;
  bool Mono = false;

  bool operator==(const TFontKey&) const = default;
  static TFontKey Of(const TTextStyle& style) {
    return TFontKey{style.Size, style.Has(kTextBold), style.Has(kTextItalic), style.Has(kTextMono)};
  }
  int Index() const { return Size << 3 | (Bold ? 1 : 0) | (Italic ? 2 : 0) | (Mono ? 4 : 0); }
};

struct TFontMetrics {
  int Ascent = 0;
  int Descent = 0;
};

class TTextMeasurer {
 public:
  virtual ~TTextMeasurer() = default;
  virtual int TextWidth(const TFontKey& font, std::wstring_view text) = 0;
  virtual TFontMetrics Metrics(const TFontKey& font) = 0;
};

// Every character as wide as a fixed part of the font size (monospace
// 0.6, else 0.5): layout that tests can reason about, and text extraction
// without a screen.
class TFixedMeasurer final : public TTextMeasurer {
 public:
  int TextWidth(const TFontKey& font, std::wstring_view text) override;
  TFontMetrics Metrics(const TFontKey& font) override;
};

// What layout knows of a page's picture.
struct TPictureState {
  enum TKind : uint8_t { kPending, kReady, kFailed };
  TKind Kind = kPending;
  int Width = 0;  // natural size, when ready
  int Height = 0;
};

struct TLayoutItem {
  enum TKind : uint8_t { kText, kPicture, kMarker, kRule, kFrame };
  TKind Kind = kText;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  int Baseline = 0;  // kText, kMarker: y of the text's baseline
  TTextStyle Style;
  std::wstring Text;
  int Picture = -1;
  int Line = -1;        // the line box the item stands on
  bool Joined = false;  // continues the previous item's word on a new line
};

class TPageLayout {
 public:
  int Width = 0;
  int Height = 0;
  std::vector<TLayoutItem> Items;
  std::unordered_map<std::wstring, int> Anchors;  // name -> y

  // The text a reader sees, in reading order: lines separated by "\n";
  // list markers, pictures and rules left out, a picture's alternative text
  // in its place kept.
  std::wstring Text() const;
  // The items that may be seen between top and bottom: [first, last).
  std::pair<size_t, size_t> ItemsBetween(int top, int bottom) const;
  // The link under a point of the page; -1 for none.
  int LinkAt(int x, int y) const;
  // The first item of a link, or nullptr.
  const TLayoutItem* FirstItemOfLink(int link) const;
  // Pictures laid out (ready and placed), each with its rectangle.
  int PictureCount() const;

  // Built by LayOutPage: prefix maxima of item bottoms and suffix minima
  // of item tops, for ItemsBetween.
  std::vector<int> MaxBottom;
  std::vector<int> MinTopAfter;
};

inline constexpr int kPageMargin = 8;

TPageLayout LayOutPage(const TBoxTree& tree, const std::vector<TPictureState>& pictures, int width,
                       TTextMeasurer& measurer);
