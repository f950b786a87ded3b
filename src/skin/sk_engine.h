// The two non-visual components by which a form carries and chooses its skin:
//
//   TSkThemeList    stores complete themes inside the form's layout, each as
//                   one collection item holding the theme's saved bytes;
//   TSkStyleDriver  picks the theme to use (an item of a list, a file, or a
//                   built-in kind by name), makes it the library's current
//                   theme through the theme manager, applies the hue and
//                   brightness adjustment, and keeps its own properties in
//                   step when the current theme changes for any other reason.
//
// The driver's properties say where the current theme came from: after a
// successful selection exactly one of ThemeIndex >= 0 (from the list),
// ThemeFile non-empty (from a file) or ThemeBuilding != "No theme"
// (built-in) holds, and none of them when no theme is current.
//
// The current theme belongs to the library, not to the driver: destroying the
// driver leaves it current; removing the theme list the driver uses clears it.
//
// This unit also registers the theme kinds a stored stream may hold, in the
// order in which a stream's kind is recognised (RegisterThemeKinds).
//
// Windows only; all of it runs on the window thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "forms/components.h"
#include "runtime/streams.h"
#include "skin/sk_theme.h"

// The driver's ThemeBuilding when no built-in kind is current.
inline const std::string kNoThemeBuilding = "No theme";
// What Version reads on both components, whatever a form stored.
inline const std::string kSkinEngineVersion = "4.52";

// ---- theme kinds without a specification of their own ----------------------

// The skin-file kind: recognised by its signature so that a stream of it is
// claimed by this kind rather than misread by a later one, but this build
// carries no reader for its format, so loading it gives no theme.
class TPnTheme : public TskTheme {
 public:
  static const TskThemeClass& Class();
  const TskThemeClass& ClassType() const override { return Class(); }
};

// Built-in kinds: they need no data and draw with the base class's plain
// shapes.
class TSkFlatTheme : public TskTheme {
 public:
  static const TskThemeClass& Class();
  const TskThemeClass& ClassType() const override { return Class(); }
};

class TSkOfficeXPTheme : public TskTheme {
 public:
  static const TskThemeClass& Class();
  const TskThemeClass& ClassType() const override { return Class(); }
};

// Registers, after the base kind, the skin-file kind, the style-file kind,
// "Flat" and "OfficeXP", in this order: the order in which a stream's kind is
// recognised. Kinds already registered stay where they are. Both components
// call it when created, so a fresh theme manager always knows them.
void RegisterThemeKinds();

// ---- the theme list ---------------------------------------------------------

class TSkThemeList;
class TSkStyleDriver;

// One stored theme: its name and the bytes its kind's SaveToStream wrote.
class TSkThemeStream : public TCollectionItem {
 public:
  TSkThemeStream();
  ~TSkThemeStream() override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  std::string DisplayName() const { return name_; }
  TMemoryStream& Data() { return data_; }
  const TMemoryStream& Data() const { return data_; }
  int32_t Tag = 0;

  // Informative only in a stored layout: reads the name, ignores writes.
  std::string ThemeStore() const { return name_; }
  void SetThemeStore(const std::string&) {}

  // The binary property that carries the name and the data (see
  // sk_engine_stream.h for its layout). A legacy value is handed to the
  // theme manager, which recognises the kind by content; the theme it makes
  // is kept until the list finishes loading and saved back into Data by its
  // kind. Raises EReadError for a value cut short.
  void ReadThemeStream(TStream& stream);
  void WriteThemeStream(TStream& stream) const;

  // A new theme made from Data, or nullptr when Data is empty or no kind
  // loads it. Every call makes a fresh theme.
  std::unique_ptr<TskTheme> LoadTheme();

  // The theme made while reading a legacy value, if any.
  TskTheme* TransientTheme() const { return transientTheme_.get(); }
  void FreeTransientTheme() { transientTheme_.reset(); }

 private:
  std::unique_ptr<TskTheme> transientTheme_;
  TMemoryStream data_;
  std::string name_ = "(empty)";
};

class TSkThemeCollection : public TOwnedCollection<TSkThemeStream> {
 public:
  explicit TSkThemeCollection(TSkThemeList* owner);
  TSkThemeList* ThemeList() const;
};

class TSkThemeList : public TComponent {
 public:
  explicit TSkThemeList(TComponent* owner);
  ~TSkThemeList() override;

  TSkThemeCollection& Themes() { return *themes_; }
  const TSkThemeCollection& Themes() const { return *themes_; }
  const std::string& Version() const { return kSkinEngineVersion; }
  void SetVersion(const std::string&) {}

  // Appends an item read from a stored ThemeStream value (the form
  // streaming of one item).
  TSkThemeStream* AddStoredTheme(std::span<const uint8_t> value);

 protected:
  // Frees every item's transient theme.
  void Loaded() override;

 private:
  friend class TSkStyleDriver;
  // The drivers that refer to this list, whoever owns them: each is told
  // before the list's parts go.
  std::vector<TSkStyleDriver*> drivers_;
  std::unique_ptr<TSkThemeCollection> themes_;
};

// Fills a theme list the way the viewer's stored layout does: one item, the
// theme "Skyline", read from the stored value linked into the module as a
// resource. Raises when the module holds no such resource or the value is
// damaged.
void LoadViewerThemeList(TSkThemeList& list);

// ---- the style driver -------------------------------------------------------

class TSkStyleDriver : public TComponent, public TskThemeClient {
 public:
  explicit TSkStyleDriver(TComponent* owner);
  ~TSkStyleDriver() override;

  // While the driver loads, the list it is given becomes visible only at
  // the end of loading, as a stored reference resolves only then. Setting
  // none selects index -1.
  TSkThemeList* ThemeList() const { return themeList_; }
  void SetThemeList(TSkThemeList* list);

  int32_t ThemeIndex() const { return themeIndex_; }
  void SetThemeIndex(int32_t value);
  const std::string& ThemeFile() const { return themeFile_; }
  void SetThemeFile(const std::string& value);
  const std::string& ThemeBuilding() const { return themeBuilding_; }
  void SetThemeBuilding(const std::string& value);
  int32_t DeltaHue() const { return deltaHue_; }
  void SetDeltaHue(int32_t value);
  int32_t DeltaBrightness() const { return deltaBrightness_; }
  void SetDeltaBrightness(int32_t value);
  const std::string& Version() const { return kSkinEngineVersion; }
  void SetVersion(const std::string&) {}

  // Raised after the driver has brought its properties in step with a new
  // or removed theme.
  TNotifyEvent OnThemeChanged;

  void ThemeChanged(TskThemeChange code, intptr_t argument) override;

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TSkThemeList;
  // SetThemeIndex; with keepSameTheme a current theme made from the very
  // same stored bytes with the driver's deltas stays instead of being made
  // anew.
  void SelectFromList(int32_t value, bool keepSameTheme);
  // Makes theme current and applies the driver's deltas to it.
  void MakeCurrent(std::unique_ptr<TskTheme> theme);
  void RaiseThemeChanged();
  // Joins or leaves a list's drivers.
  void Follow(TSkThemeList* list);
  void Unfollow(TSkThemeList* list);
  // The list is being destroyed.
  void ForgetList(TSkThemeList* list);

  TSkThemeList* themeList_ = nullptr;
  TSkThemeList* pendingThemeList_ = nullptr;  // given while loading
  bool themeListPending_ = false;
  int32_t themeIndex_ = -1;
  std::string themeFile_;
  std::string themeBuilding_ = kNoThemeBuilding;
  int32_t deltaHue_ = 0;
  int32_t deltaBrightness_ = 0;
};
