// The portable core of the style-file theme: the visual-style description
// (sections named after a class, an optional part and state, each with
// "property=value" lines), its value forms, the theme objects built from its
// sections, their painting onto an abstract surface, and the theme's stored
// form ("QVMSSTL" followed by a zlib stream of name, text and images).
//
// Everything that is bytes, numbers or pixels lives here so that it is tested
// natively; the theme kind on Windows (theme_msux.h) adds the platform's
// device contexts, fonts and module resources on top.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"

// The colour value that means "no colour": a fill with it paints nothing.
constexpr TColor kMsuxNoColor = 0x1FFFFFFF;

// ---- value forms -------------------------------------------------------------

// True for "true", "1" or "yes" in any case.
bool MsuxBoolean(std::string_view value);
// Integers separated by blanks or any of "(),:;="; an empty value gives none.
// A token that is not an integer raises EConvertError.
std::vector<int32_t> MsuxIntegers(std::string_view value);
// One integer; EConvertError when the trimmed value is not one.
int32_t MsuxInteger(std::string_view value);
// Red, green and blue (missing ones count as 0) as an RGB colour value.
TColor MsuxColor(std::string_view value);

// Margins are written left, right, top, bottom.
struct TmsuxMargins {
  int32_t Left = 0;
  int32_t Right = 0;
  int32_t Top = 0;
  int32_t Bottom = 0;
  friend bool operator==(const TmsuxMargins&, const TmsuxMargins&) = default;
};
// Four integers; anything that does not parse as four gives all zero.
TmsuxMargins MsuxMargins(std::string_view value);

// "Face, size" and up to four further fields that set bold, italic,
// underline and strikeout by position when present and not empty.
struct TmsuxFont {
  std::string Face;
  int32_t Size = 8;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TmsuxFont&, const TmsuxFont&) = default;
};
TmsuxFont MsuxFont(std::string_view value);

// A path such as "Blue\BUTTON.bmp" as an image name: "\" becomes "_", a "."
// followed by a "B" (any case) and at least one more character becomes "_",
// and the result is trimmed. Images compare ignoring case.
std::string MsuxImageName(std::string_view path);

// ---- description -------------------------------------------------------------

struct TmsuxObjectProp {
  std::string Name;  // lower-cased
  std::string Value;
};

// The description text held as sections of trimmed lines. Lines end at CR LF,
// LF or CR; empty lines and lines beginning with ";" are dropped, so are
// lines before the first section; "key = value" is kept as "key=value". A
// repeated section replaces the earlier one. Section names and keys compare
// ignoring case.
class TmsuxDescription {
 public:
  struct TLine {
    std::string Key;    // empty for a line without "="
    std::string Value;  // the whole line when there is no "="
  };
  struct TSection {
    std::string Name;
    std::vector<TLine> Lines;
  };

  void SetText(std::string_view text);
  // Section headers in square brackets and key=value lines, each ending in
  // CR LF, with an empty line after each section; SetText(Text()) gives the
  // same description back.
  std::string Text() const;
  void Clear() { sections_.clear(); }
  bool IsEmpty() const { return sections_.empty(); }

  // nullptr when the section does not exist.
  const TSection* Section(std::string_view name) const;
  // The last value of key in section, else defaultValue.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  const std::vector<TSection>& Sections() const { return sections_; }

 private:
  std::vector<TSection> sections_;
};

// ---- painting surface -----------------------------------------------------------

// Where a theme object paints: a TskBitmap here, a device context on Windows.
// Bitmaps are drawn with their own flags (AlphaBlend, Transparent).
class TmsuxSurface {
 public:
  virtual ~TmsuxSurface() = default;
  virtual void FillRect(const TRect& rect, TColor colour) = 0;
  // A one-pixel outline just inside rect.
  virtual void FrameRect(const TRect& rect, TColor colour) = 0;
  virtual void DrawRect(const TskBitmap& bitmap, const TRect& destination, const TRect& source) = 0;
  virtual void Tile(const TskBitmap& bitmap, const TRect& destination, const TRect& source, const TRect& clip) = 0;
};

class TmsuxBitmapSurface : public TmsuxSurface {
 public:
  explicit TmsuxBitmapSurface(TskBitmap& target) : target_(target) {}
  void FillRect(const TRect& rect, TColor colour) override;
  void FrameRect(const TRect& rect, TColor colour) override;
  void DrawRect(const TskBitmap& bitmap, const TRect& destination, const TRect& source) override;
  void Tile(const TskBitmap& bitmap, const TRect& destination, const TRect& source, const TRect& clip) override;

 private:
  TskBitmap& target_;
};

// ---- theme objects ----------------------------------------------------------------

enum class TmsuxBackground : uint8_t { Unset = 0, BorderFill = 1, ImageFile = 2, None = 3 };
enum class TmsuxSizing : uint8_t {
  Tile = 0,
  Stretch = 1,
  TileVertical = 2,
  TileHorizontal = 3,
  TrueSize = 4,
  BorderTileClientStretch = 5,
  BorderStretchClientTile = 6
};

// Gives the theme's image of a name (already made an image name), creating
// an empty one (and loading it from wherever the theme's images come from)
// when the theme has none yet. Never nullptr.
using TmsuxImageSource = std::function<TskBitmap*(const std::string& imageName)>;

// One section of the description with its parsed properties and images; it
// paints itself into a rectangle for an image index.
class TmsuxThemeObject {
 public:
  static constexpr int kMaxProperties = 51;
  static constexpr int kOpaque = 0;
  static constexpr int kOwnTransparency = 3;

  // Reads the section (absent: no properties) and prepares the images'
  // transparency. EConvertError for an integer property that is not one.
  TmsuxThemeObject(const TmsuxDescription& description, std::string_view sectionName,
                   const TmsuxImageSource& images);
  TmsuxThemeObject(const TmsuxThemeObject&) = delete;
  TmsuxThemeObject& operator=(const TmsuxThemeObject&) = delete;

  std::string Name;
  std::vector<TmsuxObjectProp> Properties;

  TmsuxBackground BackgroundType = TmsuxBackground::Unset;
  TColor FillColorHint = 0;
  TColor FillColor = kMsuxNoColor;
  TColor TextColor = 0;
  TColor BorderColor = 0;
  TColor TransparentColor = 0x00FF00FF;
  bool Transparent = false;
  int32_t BorderSize = 0;
  int ImageSelectType = 0;  // 1 "dpi", 2 "size"
  TskBitmapLink Image, Image1, Image2, Image3, GlyphImage;
  int32_t ImageCount = 1;
  bool HorizontalLayout = true;
  TmsuxSizing SizingType = TmsuxSizing::Stretch;
  TmsuxMargins SizingMargins;
  bool GlyphTransparent = false;
  bool GlyphIsImage = false;
  int ContentAlignment = 0;  // 0 left, 1 centre, 2 right
  TmsuxMargins ContentMargins;
  TmsuxMargins CaptionMargins;
  int TextShadowType = 0;  // 0 none, 1 single, 2 continuous
  TColor TextShadowColor = 0x00282828;
  int32_t TextShadowOffsetX = 0;
  int32_t TextShadowOffsetY = 0;
  int TransparencyMode = kOpaque;

  bool HasProperties() const { return !Properties.empty(); }
  // The value of a property (name in any case), or nullptr.
  const std::string* PropertyNamed(std::string_view name) const;
  // FillColor, BorderColor and TextColor shifted by hue, then brightness;
  // a FillColor without colour is shifted as white.
  void ShiftColors(int hue, int brightness);

  // imageIndex counts from 1; below 1 paints the whole image. A part is
  // painted only when clip is empty or lies entirely inside that part.
  void PaintObject(TmsuxSurface& surface, const TRect& rect, int imageIndex, const TRect& clip) const;
  // Same, with FillColor replaced (edits in a derived state).
  void PaintObject(TmsuxSurface& surface, const TRect& rect, int imageIndex, const TRect& clip,
                   TColor fillColor) const;

  // The source rectangle of frame imageIndex (1-based) of bitmap under this
  // object's ImageCount and layout; the whole bitmap for an index below 1.
  TRect FrameRect(const TskBitmap& bitmap, int imageIndex) const;

 private:
  void Apply(const std::string& name, const std::string& value, const TmsuxImageSource& images);
  void ReadImage(TskBitmapLink& link, const std::string& value, const TmsuxImageSource& images, bool main);
  // Image1..Image3 under the "dpi"/"size" rule: the last one narrower than
  // the rectangle less the content margins.
  const TskBitmapLink& SelectSizedImage(const TRect& rect) const;
  void PaintImage(TmsuxSurface& surface, const TRect& rect, int imageIndex, const TRect& clip) const;
  void PaintGlyph(TmsuxSurface& surface, const TskBitmapLink& link, const TRect& rect, int imageIndex,
                  const TRect& clip) const;
};

// ---- theme data ------------------------------------------------------------------

// The sections the theme builds an object for, in build order. The section
// "TrackBar.Tics" is read twice by the build order of the format; a second
// read changes nothing, so it has one object here.
enum class TmsuxObjectId : int {
  Window, Caption, FrameLeft, FrameRight, FrameBottom, CloseButton, HelpButton, MaxButton, MinButton,
  RestoreButton, SmallCaption, SmallFrameLeft, SmallFrameRight, SmallFrameBottom, SmallCloseButton, SysButton,
  CaptionActive, CaptionInactive, MdiMinButton, MdiCloseButton, MdiRestoreButton,
  // After the metrics.
  PushButton, PushButtonDisabled, PushButtonDefaulted, Spin, SpinUp, SpinDown, SpinUpHorz, SpinDownHorz,
  CheckBox, CheckBoxCheckedDisabled, CheckBoxUncheckedDisabled, CheckBoxMixedDisabled, RadioButton,
  RadioButtonCheckedDisabled, RadioButtonUncheckedDisabled, ScrollArrowBtn, ScrollThumbBtnHorz,
  ScrollThumbBtnVert, ScrollLowerTrackHorz, ScrollUpperTrackHorz, ScrollLowerTrackVert, ScrollUpperTrackVert,
  ScrollGripperHorz, ScrollGripperVert, Progress, ProgressBar, ProgressBarVert, ProgressChunk,
  ProgressChunkVert, TrackBar, TrackBarThumb, TrackBarThumbTop, TrackBarThumbBottom, TrackBarThumbVert,
  TrackBarThumbLeft, TrackBarThumbRight, TrackBarTrack, TrackBarTrackVert, TrackBarTics, GroupBox, Edit,
  EditDisabled, EditReadOnly, ComboBox, ComboBoxDisabled, ComboBoxHot, ComboBoxDropDownButton, Header,
  HeaderItem, Status, StatusPane, StatusGripperPane, StatusGripper, Rebar, RebarBand, RebarGripper,
  RebarGripperVert, RebarChevron, RebarChevronVert, ToolBar, ToolBarButton, ToolBarSeparator,
  ToolBarDropDownButton, ToolBarSplitButton, ToolBarSplitButtonDropDown, Tab, TabPane, TabTopTabItem, TabBody,
  TabTopTabItemLeftEdge, TabTopTabItemRightEdge, ExplorerBar, ExplorerSpecialGroupBackground,
  ExplorerNormalGroupCollapse, ExplorerNormalGroupExpand, ExplorerNormalGroupHead, ExplorerHeaderClose,
  ListView,
  Count
};
constexpr int kMsuxObjectCount = static_cast<int>(TmsuxObjectId::Count);
// The section names, indexed by TmsuxObjectId.
extern const std::array<std::string_view, kMsuxObjectCount> kMsuxObjectSections;
// Objects before this one are built before the metrics are read.
constexpr TmsuxObjectId kMsuxFirstObjectAfterMetrics = TmsuxObjectId::PushButton;

// The theme's data: name, description, images and the objects built from
// them, with the pristine stored form that colour shifts start again from.
class TmsuxThemeData {
 public:
  static constexpr std::string_view kMagic = "QVMSSTL";

  TmsuxThemeData();
  ~TmsuxThemeData();
  TmsuxThemeData(const TmsuxThemeData&) = delete;
  TmsuxThemeData& operator=(const TmsuxThemeData&) = delete;

  std::string Name;
  std::string SourceName;
  TmsuxDescription Description;
  TskBitmapList Images;
  TMemoryStream Pristine;
  int32_t CaptionBarHeight = 25;
  int32_t SmallCaptionBarHeight = 17;
  int32_t BorderWidth = 4;
  int32_t SmallBorderWidth = 3;
  // Loads a missing image by name (from the module file on Windows); may
  // leave the bitmap empty. Unset: images that are not stored stay empty.
  std::function<void(TskBitmap& bitmap, const std::string& imageName)> LoadImage;

  // Reads seven bytes and compares them with the magic.
  static bool CanLoadStream(TStream& stream);
  // Unpacks the stored form when the magic matches (Images cleared first,
  // Description replaced) and returns true; false, holding nothing new, when
  // it does not. Read errors of a damaged stream raise.
  bool ReadStoredForm(TStream& stream);
  // The magic, then through a compression stream of the fastest level the
  // name, the description text, the image count and every image (record,
  // name, Transparent, AlphaBlend).
  void WriteStoredForm(TStream& stream) const;

  // Rebuilds every object from the current data (from Pristine when it is
  // not empty, so shifts never accumulate), reads the metrics, takes the
  // pristine copy after the first build, then shifts images and object
  // colours by the deltas. A description value that does not convert raises
  // EConvertError and leaves no objects.
  void Build(int deltaHue, int deltaBrightness);

  // The image of that name, made (and loaded through LoadImage) when absent.
  TskBitmap* ImageFor(const std::string& imageName);

  const TmsuxThemeObject& Object(TmsuxObjectId id) const { return *objects_[static_cast<size_t>(id)]; }
  TmsuxThemeObject& Object(TmsuxObjectId id) { return *objects_[static_cast<size_t>(id)]; }
  bool HasObjects() const { return objects_[0] != nullptr; }
  // The theme holds data: images exist and the push button is described.
  bool HoldsData() const;

  // "SysMetrics" values with the defaults of the format.
  TColor SysMetricColor(std::string_view key, std::string_view defaultValue = "100 100 100") const;
  TmsuxFont SysMetricFont(std::string_view key, std::string_view defaultValue = "Tahoma, 8") const;

 private:
  void CreateObjects(TmsuxObjectId first, TmsuxObjectId end);

  std::array<std::unique_ptr<TmsuxThemeObject>, kMsuxObjectCount> objects_;
};

// A colour shifted by hue, then by brightness (a zero delta is skipped);
// the no-colour value counts as white. The result is a plain RGB value.
TColor MsuxShiftColor(TColor colour, int hue, int brightness);

// ---- family mapping ----------------------------------------------------------------
// The image each element state paints (imageIndex of PaintObject): 0 is the
// whole image, -1 paints nothing.

// Push buttons and spin arrows by button state.
int MsuxButtonImage(int state);
// Check boxes and radio buttons by check state.
int MsuxCheckImage(int state);
// Caption buttons by button state (normal, hot, pressed, disabled).
int MsuxWindowButtonImage(int state);
// Scroll-bar arrows and thumbs: code high byte (state), low byte (part).
int MsuxScrollArrowImage(int code);
int MsuxScrollThumbImage(int state);
// Track-bar thumbs by state.
int MsuxTrackThumbImage(int state);
// Header sections by code.
int MsuxHeaderSectionImage(int code);
// Tabs by code, and the tab scroll buttons by state and part.
int MsuxTabImage(int code);
int MsuxTabScrollImage(int state, int part);
// Tool-bar items by state.
int MsuxToolItemImage(int state);
// Edit and combo-box buttons by state.
int MsuxEditButtonImage(int state);
// The MDI buttons of a menu bar by item state.
int MsuxMdiButtonImage(int state);

// The object a button kind paints with; check kinds likewise.
TmsuxObjectId MsuxButtonObject(int kind);
TmsuxObjectId MsuxCheckObject(int kind);
// Track-bar thumbs by part, progress-bar parts and tool-bar items by part,
// as a TmsuxObjectId, or -1 for a part that paints nothing.
int MsuxTrackThumbObject(int part);
int MsuxProgressObject(int part);
int MsuxToolItemObject(int part);
