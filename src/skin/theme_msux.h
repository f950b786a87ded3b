// The style-file theme kind "Microsoft msstyles": draws the skin's elements
// from a visual-style description and the bitmaps it names. Each element
// family maps onto named theme objects (sections of the description); the
// objects are built once at load and at every hue or brightness change, so
// painting only picks a frame and draws it.
//
// The data and the objects are portable (theme_msux_data.h); this unit adds
// the theme interface, device-context painting, fonts, loading from a
// style-file module and the stored theme resource of the viewer.
//
// Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "skin/sk_theme.h"
#include "graphics/theme_msux_data.h"

// The resource that holds the viewer's stored theme (the theme-list value
// themegen writes): type RCDATA, name "SKYLINE".
inline constexpr const wchar_t* kStoredThemeResourceName = L"SKYLINE";

// The bytes of the stored theme resource in the module that contains this
// code (the viewer library, or a test program); empty when that module has
// none. The bytes stay valid while the module is loaded.
std::span<const uint8_t> StoredThemeResource();

class TSkThemeMsStyles : public TskTheme {
 public:
  static constexpr std::string_view kMagic = TmsuxThemeData::kMagic;

  TSkThemeMsStyles();
  ~TSkThemeMsStyles() override;

  // "Microsoft msstyles"; saves, loads .msstyles and .theme files; a stream
  // is recognised by its first seven bytes.
  static const TskThemeClass& Class();
  const TskThemeClass& ClassType() const override { return Class(); }

  // The name from the stored form or the module file.
  std::string SourceName;
  // The module images are loaded from when missing (empty for a stored theme).
  std::string ModuleFile;
  TColor MenuColor = 0;
  TColor MenuBarColor = 0;
  TColor MenuHighlightColor = 0;
  TFont MenuFont;
  TFont StatusFont;
  TFont MessageBoxFont;

  TmsuxThemeData& Data() { return data_; }
  const TmsuxThemeData& Data() const { return data_; }
  const TmsuxThemeObject& Object(TmsuxObjectId id) const { return data_.Object(id); }
  // Objects are built from a description.
  bool Loaded() const { return data_.HasObjects() && !data_.Description.IsEmpty(); }

  // Paints object id's frame image (1-based; 0 the whole image, below 0
  // nothing) into rect.
  void PaintObject(TCanvas& canvas, TmsuxObjectId id, const TRect& rect, int image) const;

  // ---- general operations ----
  void ResetColors() override;
  void ResetSysColors() override;
  void ResetFonts() override;
  // Unpacks the stored form (false, holding no data, for a stream that is
  // not one or is damaged), then rebuilds.
  bool LoadFromStream(TStream& stream) override;
  // The stored form, from the unshifted images.
  bool SaveToStream(TStream& stream) override;
  // A ".theme" file holds the stored form; any other file is a style-file
  // module whose first colour scheme and size are read.
  bool LoadFromFile(const std::string& fileName) override;
  void SaveToFile(const std::string& fileName) override;
  // Rebuilds the objects from the pristine data, shifted by the deltas, then
  // the colour, system-colour and font tables.
  void Reset() override;

  // ---- Window ----
  bool DefinesWindow(int kind, const std::string& objectName) override;
  HRGN WindowRegion(int kind, const TRect& rect, const std::string& objectName) override;
  TskHitCode WindowHitTest(int kind, const TskWindowInfo& info, const std::string& objectName, int x,
                           int y) override;
  TRect WindowContentRect(int kind, const TskWindowInfo& info, const std::string& objectName) override;
  TRect WindowCaptionRect(int kind, const TskWindowInfo& info, const std::string& objectName) override;
  TRect WindowButtonRect(int kind, const TskWindowInfo& info, const std::string& objectName,
                         TskWindowButton button) override;
  void PaintWindow(int kind, TCanvas& canvas, const std::string& objectName, const TskWindowInfo& info) override;
  void PaintWindowClient(int kind, TCanvas& canvas, const std::string& objectName, const TRect& rect) override;
  void PaintWindowCaption(int kind, TCanvas& canvas, const std::string& objectName, const TRect& rect,
                          const TskWindowInfo& info) override;
  void PaintWindowButton(int kind, TCanvas& canvas, const std::string& objectName,
                         const TskPartRecord& record) override;

  // ---- Panel, Spare2, Spare3 ----
  bool DefinesPanel(int kind, const std::string& objectName) override;
  TRect PanelContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintPanel(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  bool DefinesSpare2(int kind, const std::string& objectName) override;
  void PaintSpare2(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  TRect Spare3ContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintSpare3(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;

  // ---- Button, CheckBox ----
  bool DefinesButton(int kind, const std::string& objectName) override;
  bool ButtonTransparent(int kind, const std::string& objectName) override;
  void PaintButton(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  bool DefinesCheckBox(int kind, const std::string& objectName) override;
  bool CheckBoxTransparent(int kind, const std::string& objectName) override;
  void PaintCheckBox(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskStateRecord& record) override;

  // ---- ScrollBar, ProgressBar, TrackBar ----
  bool DefinesScrollBar(int kind, const std::string& objectName) override;
  void PaintScrollBarPart(int kind, TCanvas& canvas, const std::string& objectName,
                          const TskCodedRecord& record) override;
  void PaintScrollBarTrack(int kind, TCanvas& canvas, const std::string& objectName,
                           const TskCodedRecord& record) override;
  bool DefinesProgressBar(int kind, const std::string& objectName) override;
  void PaintProgressBar(int kind, TCanvas& canvas, const std::string& objectName,
                        const TskCodedRecord& record) override;
  bool DefinesTrackBar(int kind, const std::string& objectName) override;
  void PaintTrackBar(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskStateRecord& record) override;
  void PaintTrackBarTrack(int kind, TCanvas& canvas, const std::string& objectName,
                          const TskStateRecord& record) override;
  void PaintTrackBarThumb(int kind, TCanvas& canvas, const std::string& objectName,
                          const TskCodedRecord& record) override;

  // ---- Header, StatusBar ----
  bool DefinesHeader(int kind, const std::string& objectName) override;
  void PaintHeader(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintHeaderSection(int kind, TCanvas& canvas, const std::string& objectName,
                          const TskCodedRecord& record) override;
  bool DefinesStatusBar(int kind, const std::string& objectName) override;
  TRect StatusBarContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintStatusBar(int kind, TCanvas& canvas, const std::string& objectName,
                      const TskStateRecord& record) override;
  void PaintStatusPanel(int kind, TCanvas& canvas, const std::string& objectName,
                        const TskCodedRecord& record) override;

  // ---- Edit, GroupBox, ComboBox ----
  bool DefinesEdit(int kind, const std::string& objectName) override;
  TRect EditContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintEdit(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintEditButton(int kind, TCanvas& canvas, const std::string& objectName,
                       const TskStateRecord& record) override;
  bool DefinesGroupBox(int kind, const std::string& objectName) override;
  bool GroupBoxTransparent(int kind, const std::string& objectName) override;
  void PaintGroupBox(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskGroupBoxRecord& record) override;
  bool DefinesComboBox(int kind, const std::string& objectName) override;
  TRect ComboBoxContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  TRect ComboBoxButtonRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintComboBox(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskStateRecord& record) override;
  void PaintComboBoxButton(int kind, TCanvas& canvas, const std::string& objectName,
                           const TskStateRecord& record) override;

  // ---- Menu, Dock, ToolBar ----
  bool DefinesMenu(int kind, const std::string& objectName) override;
  TRect MenuContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintMenu(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintMenuItem(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskCodedRecord& record) override;
  bool DefinesDock(int kind, const std::string& objectName) override;
  void PaintDock(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  bool DefinesToolBar(int kind, const std::string& objectName) override;
  void PaintToolBar(int kind, TCanvas& canvas, const std::string& objectName,
                    const TskStateRecord& record) override;
  void PaintToolItem(int kind, TCanvas& canvas, const std::string& objectName, const TskPartRecord& record) override;

  // ---- ExplorerBar, Tab ----
  bool DefinesExplorerBar(int kind, const std::string& objectName) override;
  void PaintExplorerBar(int kind, TCanvas& canvas, const std::string& objectName,
                        const TskStateRecord& record) override;
  void PaintExplorerGroupHead(int kind, TCanvas& canvas, const std::string& objectName,
                              const TskStateRecord& record) override;
  void PaintExplorerGroupButton(int kind, TCanvas& canvas, const std::string& objectName,
                                const TskCodedRecord& record) override;
  void PaintExplorerGroup(int kind, TCanvas& canvas, const std::string& objectName,
                          const TskStateRecord& record) override;
  bool DefinesTab(int kind, const std::string& objectName) override;
  TRect TabContentRect(int kind, const TRect& rect, const std::string& objectName) override;
  void PaintTabPane(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintTab(int kind, TCanvas& canvas, const std::string& objectName, const TskCodedRecord& record) override;
  void PaintTabScrollButton(int kind, TCanvas& canvas, const std::string& objectName,
                            const TskCodedRecord& record) override;

  // ---- List, Tree, Grid ----
  bool DefinesList(int kind, const std::string& objectName) override;
  void PaintList(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintListItem(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskCodedRecord& record) override;
  void PaintListItemCheck(int kind, TCanvas& canvas, const std::string& objectName, const TskGlyphRecord& glyph,
                          const TskCodedRecord& record) override;
  bool DefinesTree(int kind, const std::string& objectName) override;
  void PaintTree(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintTreeItem(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskCodedRecord& record) override;
  bool DefinesGrid(int kind, const std::string& objectName) override;
  void PaintGrid(int kind, TCanvas& canvas, const std::string& objectName, const TskStateRecord& record) override;
  void PaintGridCell(int kind, TCanvas& canvas, const std::string& objectName,
                     const TskCodedRecord& record) override;

 private:
  void PaintObject(TCanvas& canvas, const TmsuxThemeObject& object, const TRect& rect, int image,
                   TColor fillColor) const;
  // The edit states of edits and combo boxes.
  void PaintEditState(bool combo, TCanvas& canvas, const TRect& rect, int state);
  void PaintItemFill(TCanvas& canvas, const TRect& rect, int state);
  bool Described(TmsuxObjectId id) const { return Loaded() && data_.Object(id).HasProperties(); }
  TColor SysColor(TColor identifier) { return SysColors().Lookup(identifier); }

  TmsuxThemeData data_;
  // The last rebuild failed (a damaged description): the theme holds nothing.
  bool buildFailed_ = false;
};

// Registers the kind with the theme manager (once; later calls do nothing).
void RegisterMsStylesThemeKind();
