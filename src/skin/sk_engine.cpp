#include "skin/sk_engine.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "runtime/ansi.h"
#include "graphics/sk_engine_stream.h"
#include "skin/theme_msux.h"

// ---- theme kinds --------------------------------------------------------------

namespace {

// The skin-file kind's own files begin with these four characters. Its
// filters (plain, compressed, strongly compressed) would add a five-byte
// signature each; none is registered in this build.
constexpr char kPnSignature[4] = {'Q', 'V', 'L', 'Z'};

bool CanLoadPnStream(TStream& stream) {
  char head[sizeof kPnSignature];
  return stream.Read(head, sizeof head) == sizeof head && std::memcmp(head, kPnSignature, sizeof head) == 0;
}

bool SameKindName(const std::string& a, const std::string& b) { return AsciiUpperCase(a) == AsciiUpperCase(b); }

// Size and CRC-32 of a list item's stored bytes (0 for none).
uint64_t StampOf(TMemoryStream& data) {
  const int64_t size = data.Size();
  if (size <= 0) return 0;
  uLong crc = crc32(0, nullptr, 0);
  const auto* bytes = static_cast<const Bytef*>(data.Memory());
  for (int64_t done = 0; done < size;) {
    const auto piece = static_cast<uInt>(std::min<int64_t>(size - done, 1 << 30));
    crc = crc32(crc, bytes + done, piece);
    done += piece;
  }
  return (static_cast<uint64_t>(size) << 32) ^ crc;
}

}  // namespace

const TskThemeClass& TPnTheme::Class() {
  static const TskThemeClass kind{
      "Vellora 3 theme",
      TskThemeConfig{false, true, true, "Vellora 3 theme (*.mskn)|*.mskn", "mskn"},
      CanLoadPnStream,
      [] { return std::unique_ptr<TskTheme>(std::make_unique<TPnTheme>()); },
  };
  return kind;
}

const TskThemeClass& TSkFlatTheme::Class() {
  static const TskThemeClass kind{
      "Flat",
      TskThemeConfig{true, false, false, "", ""},
      nullptr,
      [] { return std::unique_ptr<TskTheme>(std::make_unique<TSkFlatTheme>()); },
  };
  return kind;
}

const TskThemeClass& TSkOfficeXPTheme::Class() {
  static const TskThemeClass kind{
      "OfficeXP",
      TskThemeConfig{true, false, false, "", ""},
      nullptr,
      [] { return std::unique_ptr<TskTheme>(std::make_unique<TSkOfficeXPTheme>()); },
  };
  return kind;
}

void RegisterThemeKinds() {
  TskThemeManager& manager = ThemeManager();
  manager.RegisterThemeKind(TPnTheme::Class());
  manager.RegisterThemeKind(TSkThemeMsStyles::Class());
  manager.RegisterThemeKind(TSkFlatTheme::Class());
  manager.RegisterThemeKind(TSkOfficeXPTheme::Class());
}

// ---- TSkThemeStream ---------------------------------------------------------------

TSkThemeStream::TSkThemeStream() = default;

TSkThemeStream::~TSkThemeStream() = default;

void TSkThemeStream::ReadThemeStream(TStream& stream) {
  if (ReadThemeStreamValue(stream, name_, data_) != kThemeStreamLegacy) return;
  // A legacy value holds the theme's own bytes with no length: only a kind
  // that recognises them knows where they end. The theme is saved again in
  // the current form, so the item writes the current format from now on.
  TskThemeManager& manager = ThemeManager();
  transientTheme_ = manager.LoadThemeFromStream(stream);
  data_.Clear();
  if (transientTheme_ == nullptr) return;
  manager.SaveTheme(transientTheme_.get(), data_);
  data_.SetPosition(0);
  name_ = transientTheme_->Name;
}

void TSkThemeStream::WriteThemeStream(TStream& stream) const { WriteThemeStreamValue(stream, name_, data_); }

std::unique_ptr<TskTheme> TSkThemeStream::LoadTheme() {
  if (data_.Size() == 0) return nullptr;
  data_.SetPosition(0);
  return ThemeManager().LoadThemeFromStream(data_);
}

// ---- TSkThemeCollection, TSkThemeList ------------------------------------------

TSkThemeCollection::TSkThemeCollection(TSkThemeList* owner) : TOwnedCollection<TSkThemeStream>(owner) {}

TSkThemeList* TSkThemeCollection::ThemeList() const { return static_cast<TSkThemeList*>(Owner()); }

TSkThemeList::TSkThemeList(TComponent* owner)
    : TComponent(owner), themes_(std::make_unique<TSkThemeCollection>(this)) {
  RegisterThemeKinds();
}

TSkThemeList::~TSkThemeList() {
  // Before the items go: a driver that answers by selecting another theme
  // must find the list gone, not half destroyed.
  const std::vector<TSkStyleDriver*> drivers = drivers_;
  for (TSkStyleDriver* driver : drivers) driver->ForgetList(this);
}

TSkThemeStream* TSkThemeList::AddStoredTheme(std::span<const uint8_t> value) {
  TSkThemeStream* item = themes_->Add();
  TReadOnlyMemoryStream stream(value);
  try {
    item->ReadThemeStream(stream);
  } catch (...) {
    themes_->Delete(item->Index());
    throw;
  }
  return item;
}

void TSkThemeList::Loaded() {
  TComponent::Loaded();
  for (int i = 0; i < themes_->Count(); ++i) themes_->Items(i)->FreeTransientTheme();
}

void LoadViewerThemeList(TSkThemeList& list) {
  const std::span<const uint8_t> value = StoredThemeResource();
  if (value.empty()) throw Exception("The stored theme \"Skyline\" is missing from the module");
  list.AddStoredTheme(value);
}

// ---- TSkStyleDriver ---------------------------------------------------------------

TSkStyleDriver::TSkStyleDriver(TComponent* owner) : TComponent(owner) {
  RegisterThemeKinds();
  // A theme already current is announced at once (ignored while loading).
  ThemeManager().RegisterClient(this);
}

TSkStyleDriver::~TSkStyleDriver() {
  if (themeList_ != nullptr) std::erase(themeList_->drivers_, this);
  if (pendingThemeList_ != nullptr) std::erase(pendingThemeList_->drivers_, this);
  if (ThemeManagerExists()) ThemeManager().UnregisterClient(this);
}

void TSkStyleDriver::Follow(TSkThemeList* list) {
  if (list == nullptr) return;
  auto& drivers = list->drivers_;
  if (std::find(drivers.begin(), drivers.end(), this) == drivers.end()) drivers.push_back(this);
}

void TSkStyleDriver::Unfollow(TSkThemeList* list) {
  // Still referred to by the other field: it stays followed.
  if (list == nullptr || list == themeList_ || list == pendingThemeList_) return;
  std::erase(list->drivers_, this);
}

void TSkStyleDriver::SetThemeList(TSkThemeList* list) {
  if (IsLoading()) {
    // The properties that follow in the stored order (ThemeIndex) must not
    // see the list yet; Loaded selects the stored theme once everything is
    // read.
    TSkThemeList* previous = std::exchange(pendingThemeList_, list);
    Unfollow(previous);
    Follow(list);
    themeListPending_ = true;
    return;
  }
  TSkThemeList* previous = std::exchange(themeList_, list);
  Unfollow(previous);
  Follow(list);
  if (list == nullptr) SetThemeIndex(-1);
}

void TSkStyleDriver::Loaded() {
  TComponent::Loaded();
  if (themeListPending_) {
    TSkThemeList* previous = std::exchange(themeList_, pendingThemeList_);
    pendingThemeList_ = nullptr;
    themeListPending_ = false;
    Unfollow(previous);
  }
  if (themeList_ != nullptr && themeIndex_ >= 0) {
    // The stored theme may be current already, chosen by another window of
    // the same layout: that window keeps its skin untouched.
    SelectFromList(themeIndex_, true);
  } else if (deltaHue_ != 0 || deltaBrightness_ != 0) {
    // Read while loading, the deltas were only stored; they apply to the
    // theme that is current now.
    SetThemeHueAndBrightness(deltaHue_, deltaBrightness_);
  }
}

void TSkStyleDriver::ForgetList(TSkThemeList* list) {
  if (list == pendingThemeList_) pendingThemeList_ = nullptr;
  std::erase(list->drivers_, this);
  if (list != themeList_) return;
  // Forgotten before anything can call back: whoever answers the removal
  // of the theme (a handler, a client making another theme current) must
  // not reach the list being destroyed.
  themeList_ = nullptr;
  ThemeManager().ClearCurrentTheme();
  SetThemeIndex(-1);
}

void TSkStyleDriver::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != opRemove || component == nullptr) return;
  // A list the driver follows has told it already when it was destroyed;
  // one merely taken out of the owner (not destroyed) is let go here.
  if (component == pendingThemeList_ || component == themeList_) {
    ForgetList(static_cast<TSkThemeList*>(component));
  }
}

void TSkStyleDriver::MakeCurrent(std::unique_ptr<TskTheme> theme) {
  // A new theme starts unshifted: the driver's deltas are applied again
  // after every change of theme.
  ThemeManager().SetCurrentTheme(std::move(theme));
  if (deltaHue_ != 0) SetThemeHue(deltaHue_);
  if (deltaBrightness_ != 0) SetThemeBrightness(deltaBrightness_);
}

void TSkStyleDriver::SetThemeIndex(int32_t value) { SelectFromList(value, false); }

void TSkStyleDriver::SelectFromList(int32_t value, bool keepSameTheme) {
  themeIndex_ = value;
  // While loading the list is not there yet; the stored index is selected
  // at the end of loading. Clearing the current theme now would take it
  // from every window that shows it.
  if (IsLoading()) return;
  if (value >= 0 && themeList_ != nullptr && themeList_->Themes().Count() > 0) {
    const int32_t last = themeList_->Themes().Count() - 1;
    if (themeIndex_ > last) themeIndex_ = last;
    const int32_t selected = themeIndex_;
    TSkThemeStream* item = themeList_->Themes().Items(selected);
    const uint64_t stamp = StampOf(item->Data());
    TskTheme* current = ThemeManager().CurrentTheme();
    if (keepSameTheme && current != nullptr && stamp != 0 && current->StoredStamp == stamp &&
        current->DeltaHue() == deltaHue_ && current->DeltaBrightness() == deltaBrightness_) {
      // The same stored theme is current already: it stays, and nothing is
      // re-skinned.
      themeFile_.clear();
      themeBuilding_ = kNoThemeBuilding;
      return;
    }
    std::unique_ptr<TskTheme> theme = item->LoadTheme();
    // An item no kind can load leaves the current theme and every property
    // as they were (the index keeps the requested value).
    if (theme == nullptr) return;
    theme->StoredStamp = stamp;
    MakeCurrent(std::move(theme));
    // The notification that made the theme current looks the theme up by
    // name, which finds the first of several items of one name; the item
    // chosen here is the one it came from.
    themeIndex_ = selected;
    themeFile_.clear();
    themeBuilding_ = kNoThemeBuilding;
  } else if (themeFile_.empty()) {
    ThemeManager().ClearCurrentTheme();
  }
}

void TSkStyleDriver::SetThemeFile(const std::string& value) {
  themeFile_ = value;
  std::unique_ptr<TskTheme> theme = ThemeManager().LoadThemeFromFile(value);
  if (theme != nullptr) {
    MakeCurrent(std::move(theme));
    // A list item of the theme's name made the notification take the
    // theme for that item and drop the file; it came from the file.
    themeFile_ = value;
    themeIndex_ = -1;
    themeBuilding_ = kNoThemeBuilding;
  } else if (themeIndex_ == -1) {
    ThemeManager().ClearCurrentTheme();
  }
}

void TSkStyleDriver::SetThemeBuilding(const std::string& value) {
  themeBuilding_ = value;
  if (value == kNoThemeBuilding) return;
  TskThemeManager& manager = ThemeManager();
  const TskThemeClass* kind = nullptr;
  for (int i = 0; i < manager.KindCount() && kind == nullptr; ++i) {
    const TskThemeClass* candidate = manager.KindAt(i);
    if (candidate->Config.Builtin && SameKindName(candidate->KindName, value)) kind = candidate;
  }
  if (kind == nullptr) {
    themeBuilding_ = kNoThemeBuilding;
    return;
  }
  if (std::unique_ptr<TskTheme> theme = kind->Create ? kind->Create() : nullptr) {
    MakeCurrent(std::move(theme));
    themeFile_.clear();
    themeIndex_ = -1;
  }
  themeBuilding_ = kind->KindName;
}

void TSkStyleDriver::SetDeltaHue(int32_t value) {
  if (value == deltaHue_) return;
  deltaHue_ = value;
  // While loading only stored: the theme current now may be another
  // window's (see Loaded).
  if (IsLoading()) return;
  if (deltaBrightness_ != 0) {
    SetThemeHueAndBrightness(value, deltaBrightness_);
  } else {
    SetThemeHue(value);
  }
}

void TSkStyleDriver::SetDeltaBrightness(int32_t value) {
  if (value == deltaBrightness_) return;
  deltaBrightness_ = value;
  if (IsLoading()) return;
  if (deltaHue_ != 0) {
    SetThemeHueAndBrightness(deltaHue_, value);
  } else {
    SetThemeBrightness(value);
  }
}

void TSkStyleDriver::RaiseThemeChanged() {
  if (OnThemeChanged) OnThemeChanged(this);
}

void TSkStyleDriver::ThemeChanged(TskThemeChange code, intptr_t) {
  if (IsLoading()) return;
  if (code == tcReplaced || code == tcSet) {
    TskTheme* theme = ThemeManager().CurrentTheme();
    if (theme == nullptr) return;
    if (theme->KindConfig().Builtin) {
      themeBuilding_ = theme->KindName();
      themeIndex_ = -1;
      themeFile_.clear();
    } else {
      themeBuilding_ = kNoThemeBuilding;
      if (themeFile_.empty() && !theme->FileName.empty()) {
        themeFile_ = theme->FileName;
        themeIndex_ = -1;
      } else if (themeList_ != nullptr) {
        // The first item of the same name (exact comparison) is where the
        // theme came from; without one nothing changes.
        const TSkThemeCollection& themes = themeList_->Themes();
        for (int i = 0; i < themes.Count(); ++i) {
          if (themes.Items(i)->Name() == theme->Name) {
            themeIndex_ = i;
            themeFile_.clear();
            break;
          }
        }
      }
    }
    RaiseThemeChanged();
  } else if (code == tcRemoved) {
    themeFile_.clear();
    themeBuilding_ = kNoThemeBuilding;
    themeIndex_ = -1;
    RaiseThemeChanged();
  }
}
