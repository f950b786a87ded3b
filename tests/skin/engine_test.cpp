// The theme list and the style driver with the real theme manager and the
// viewer's stored theme "Skyline" (linked into this program as a resource,
// as into the viewer library).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "skin/sk_engine.h"
#include "graphics/sk_engine_stream.h"
#include "skin/theme_msux.h"

namespace {

// A client that is not a control: records every notification.
class TRecorder : public TObject, public TskThemeClient {
 public:
  TRecorder() { ThemeManager().RegisterClient(this); }
  ~TRecorder() override {
    if (ThemeManagerExists()) ThemeManager().UnregisterClient(this);
  }
  void ThemeChanged(TskThemeChange code, intptr_t) override { Codes.push_back(code); }
  std::vector<int> Take() { return std::exchange(Codes, {}); }
  std::vector<int> Codes;
};

std::vector<int> Codes(std::initializer_list<int> codes) { return codes; }

std::string DataHead(const TSkThemeStream& item, size_t count) {
  const auto bytes = item.Data().Bytes();
  return std::string(reinterpret_cast<const char*>(bytes.data()), std::min(count, bytes.size()));
}

// A push button of the theme, normal and hot, painted over grey.
std::vector<TskPixel> PaintButtons(TskTheme& theme) {
  TskBitmap bitmap;
  bitmap.SetSize(60, 52);
  bitmap.Fill(0xFF808080u);
  TCanvas canvas;
  canvas.SetHandle(bitmap.DC());
  theme.PaintButton(bkPushButton, canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 0, 60, 26}, btsNormal));
  theme.PaintButton(bkPushButton, canvas, kDefaultObjectName, MakeStateRecord(TRect{0, 26, 60, 52}, btsHot));
  canvas.SetHandle(nullptr);
  GdiFlush();
  return std::vector<TskPixel>(bitmap.Bits(), bitmap.Bits() + 60 * 52);
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    owner_.DestroyComponents();
    FreeThemeLibrary();
  }

  // The viewer's two components, created in its stored order and with its
  // stored values while the owner loads.
  void LoadViewerLayout(const std::function<void()>& whileLoading = nullptr) {
    owner_.LoadComponents([&] {
      list_ = CreateComponent<TSkThemeList>(&owner_);
      LoadViewerThemeList(*list_);
      driver_ = CreateComponent<TSkStyleDriver>(&owner_);
      driver_->SetDeltaHue(0);
      driver_->SetDeltaBrightness(10);
      driver_->SetThemeList(list_);
      driver_->SetThemeIndex(0);
      driver_->SetThemeBuilding(kNoThemeBuilding);
      driver_->SetVersion("4.48");
      if (whileLoading) whileLoading();
    });
  }

  // The same components made in code, outside any loading.
  void CreateUnloaded() {
    list_ = CreateComponent<TSkThemeList>(&owner_);
    LoadViewerThemeList(*list_);
    driver_ = CreateComponent<TSkStyleDriver>(&owner_);
    driver_->OnThemeChanged = [this, driver = driver_](TObject* sender) {
      EXPECT_EQ(sender, driver);
      ++changedEvents_;
    };
  }

  void ExpectFromList(int32_t index) {
    EXPECT_EQ(driver_->ThemeIndex(), index);
    EXPECT_EQ(driver_->ThemeFile(), "");
    EXPECT_EQ(driver_->ThemeBuilding(), "No theme");
  }

  void ExpectNoSource() {
    EXPECT_EQ(driver_->ThemeIndex(), -1);
    EXPECT_EQ(driver_->ThemeFile(), "");
    EXPECT_EQ(driver_->ThemeBuilding(), "No theme");
  }

  TskTheme* Current() { return ThemeManager().CurrentTheme(); }

  TComponent owner_{nullptr};
  TSkThemeList* list_ = nullptr;
  TSkStyleDriver* driver_ = nullptr;
  int changedEvents_ = 0;
};

TEST_F(EngineTest, KindsAreRegisteredInRecognitionOrderWithTheirFlags) {
  TSkThemeList list(nullptr);
  struct TKind {
    const char* name;
    bool builtin, canSave, canLoadFile;
    const char* extension;
  };
  const TKind expected[] = {{"Default", false, false, false, ""},
                            {"Vellora 3 theme", false, true, true, "mskn"},
                            {"Microsoft msstyles", false, true, true, "msstyles"},
                            {"Flat", true, false, false, ""},
                            {"OfficeXP", true, false, false, ""}};
  TskThemeManager& manager = ThemeManager();
  ASSERT_EQ(manager.KindCount(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(expected[i].name);
    const TskThemeClass* kind = manager.KindAt(i);
    EXPECT_EQ(kind->KindName, expected[i].name);
    EXPECT_EQ(kind->Config.Builtin, expected[i].builtin);
    EXPECT_EQ(kind->Config.CanSave, expected[i].canSave);
    EXPECT_EQ(kind->Config.CanLoadFile, expected[i].canLoadFile);
    EXPECT_EQ(kind->Config.DefaultExt, expected[i].extension);
  }

  // Which kind claims a stream by its first bytes.
  struct TSignature {
    std::string bytes;
    int kind;  // -1: none
  };
  for (const TSignature& s : {TSignature{"QVLZ\x01\x02", 1}, TSignature{"QVMSSTL\x78\x01", 2},
                              TSignature{"QVMSST", -1}, TSignature{"QVL", -1}, TSignature{"Flat", -1}}) {
    SCOPED_TRACE(s.bytes);
    int claimedBy = -1;
    for (int i = 0; i < manager.KindCount() && claimedBy < 0; ++i) {
      const TskThemeClass* kind = manager.KindAt(i);
      TReadOnlyMemoryStream stream({reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size()});
      if (kind->CanLoadStream && kind->CanLoadStream(stream)) claimedBy = i;
    }
    EXPECT_EQ(claimedBy, s.kind);
  }
  // A registration after the manager starts afresh keeps the order.
  FreeThemeLibrary();
  TSkStyleDriver driver(nullptr);
  EXPECT_EQ(ThemeManager().KindAt(2)->KindName, "Microsoft msstyles");
  EXPECT_EQ(ThemeManager().KindCount(), 5);
}

TEST_F(EngineTest, StoredValueFromTheResourceLoadsAndWritesBackUnchanged) {
  const std::span<const uint8_t> value = StoredThemeResource();
  ASSERT_GT(value.size(), 20u);
  TSkThemeList list(nullptr);
  LoadViewerThemeList(list);
  ASSERT_EQ(list.Themes().Count(), 1);
  const TSkThemeStream& item = *list.Themes().Items(0);
  EXPECT_EQ(item.Name(), "Skyline");
  EXPECT_EQ(item.ThemeStore(), "Skyline");
  EXPECT_EQ(DataHead(item, 7), "QVMSSTL");
  uint32_t storedSize = 0;
  std::memcpy(&storedSize, value.data() + 1 + 4 + 7, 4);
  EXPECT_EQ(item.Data().Bytes().size(), storedSize);

  TMemoryStream written;
  item.WriteThemeStream(written);
  EXPECT_TRUE(std::equal(value.begin(), value.end(), written.Bytes().begin(), written.Bytes().end()));
  EXPECT_EQ(list.Version(), "4.52");
}

TEST_F(EngineTest, LegacyItemIsLoadedByContentAndSavedInTheCurrentForm) {
  TSkThemeList source(nullptr);
  LoadViewerThemeList(source);
  const auto data = source.Themes().Items(0)->Data().Bytes();
  std::vector<uint8_t> legacy(1 + data.size());
  legacy[0] = kThemeStreamLegacy;
  std::copy(data.begin(), data.end(), legacy.begin() + 1);

  owner_.LoadComponents([&] {
    list_ = CreateComponent<TSkThemeList>(&owner_);
    TSkThemeStream* item = list_->AddStoredTheme(legacy);
    EXPECT_EQ(item->Name(), "Skyline");
    ASSERT_NE(item->TransientTheme(), nullptr);
    EXPECT_EQ(item->TransientTheme()->KindName(), "Microsoft msstyles");
    EXPECT_EQ(DataHead(*item, 7), "QVMSSTL");
  });
  TSkThemeStream* item = list_->Themes().Items(0);
  EXPECT_EQ(item->TransientTheme(), nullptr);  // freed when the list finished loading
  std::unique_ptr<TskTheme> again = item->LoadTheme();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Name, "Skyline");
  TMemoryStream written;
  item->WriteThemeStream(written);
  EXPECT_EQ(written.Memory()[0], kThemeStreamCurrent);
}

TEST_F(EngineTest, FormLoadingAppliesTheStoredThemeOnceAtTheEnd) {
  TRecorder recorder;
  LoadViewerLayout([&] {
    // Every stored property is set, yet nothing is applied before Loaded.
    EXPECT_EQ(Current(), nullptr);
    EXPECT_TRUE(recorder.Codes.empty());
    EXPECT_EQ(driver_->ThemeList(), nullptr);
    EXPECT_EQ(driver_->ThemeIndex(), 0);
  });
  EXPECT_EQ(recorder.Take(), Codes({tcChanging, tcSet, tcChanged, tcColors}));
  ASSERT_NE(Current(), nullptr);
  EXPECT_EQ(Current()->Name, "Skyline");
  EXPECT_EQ(Current()->KindName(), "Microsoft msstyles");
  EXPECT_EQ(Current()->DeltaBrightness(), 10);
  EXPECT_EQ(Current()->DeltaHue(), 0);
  EXPECT_EQ(driver_->ThemeList(), list_);
  ExpectFromList(0);
  EXPECT_EQ(driver_->DeltaBrightness(), 10);
  EXPECT_EQ(driver_->Version(), "4.52");

  // Destroying the driver leaves the theme current: it belongs to the library.
  FreeComponent(driver_);
  EXPECT_NE(Current(), nullptr);
}

// The brightness reaches the theme once: setting it again, reloading the
// item and reloading through the index all give the pixels of a theme
// shifted by 10 exactly once.
TEST_F(EngineTest, DeltaBrightnessIsAppliedOnceWhenSetTwiceAndAfterAReload) {
  std::unique_ptr<TskTheme> reference = [] {
    TSkThemeList list(nullptr);
    LoadViewerThemeList(list);
    return list.Themes().Items(0)->LoadTheme();
  }();
  ASSERT_NE(reference, nullptr);
  const std::vector<TskPixel> unshifted = PaintButtons(*reference);
  reference->SetDeltaBrightness(10);
  const std::vector<TskPixel> once = PaintButtons(*reference);
  reference->SetDeltaBrightness(20);
  const std::vector<TskPixel> twice = PaintButtons(*reference);
  ASSERT_NE(once, unshifted);
  ASSERT_NE(once, twice);

  TRecorder recorder;
  LoadViewerLayout();
  recorder.Take();
  EXPECT_EQ(PaintButtons(*Current()), once);

  driver_->SetDeltaBrightness(10);
  EXPECT_TRUE(recorder.Take().empty());
  EXPECT_EQ(Current()->DeltaBrightness(), 10);
  EXPECT_EQ(PaintButtons(*Current()), once);

  driver_->SetThemeIndex(0);
  EXPECT_EQ(recorder.Take(), Codes({tcChanging, tcReplaced, tcChanged, tcColors}));
  EXPECT_EQ(PaintButtons(*Current()), once);

  driver_->SetDeltaBrightness(0);
  EXPECT_EQ(recorder.Take(), Codes({tcColors}));
  EXPECT_EQ(PaintButtons(*Current()), unshifted);
}

TEST_F(EngineTest, DeltaBrightnessWithoutAThemeIsStoredForTheNextSelection) {
  CreateUnloaded();
  TRecorder recorder;
  driver_->SetDeltaBrightness(10);
  EXPECT_EQ(Current(), nullptr);
  EXPECT_TRUE(recorder.Take().empty());
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  EXPECT_EQ(recorder.Take(), Codes({tcChanging, tcSet, tcChanged, tcColors}));
  ASSERT_NE(Current(), nullptr);
  EXPECT_EQ(Current()->DeltaBrightness(), 10);

  // Hue and brightness together once both are set.
  driver_->SetDeltaHue(30);
  EXPECT_EQ(recorder.Take(), Codes({tcColors}));
  EXPECT_EQ(Current()->DeltaHue(), 30);
  EXPECT_EQ(Current()->DeltaBrightness(), 10);
}

TEST_F(EngineTest, ThemeIndexIsClampedAndANegativeIndexClearsTheTheme) {
  CreateUnloaded();
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(5);
  ASSERT_NE(Current(), nullptr);
  ExpectFromList(0);
  EXPECT_EQ(changedEvents_, 1);

  driver_->SetThemeIndex(-1);
  EXPECT_EQ(Current(), nullptr);
  ExpectNoSource();
  EXPECT_EQ(changedEvents_, 2);

  // An empty list clears too.
  driver_->SetThemeIndex(0);
  ASSERT_NE(Current(), nullptr);
  list_->Themes().Clear();
  driver_->SetThemeIndex(0);
  EXPECT_EQ(Current(), nullptr);
}

TEST_F(EngineTest, AnItemNoKindLoadsChangesNothing) {
  CreateUnloaded();
  TSkThemeStream* broken = list_->Themes().Add();
  broken->SetName("Broken");
  broken->Data().WriteString("not a theme at all");
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  TskTheme* skyline = Current();
  ASSERT_NE(skyline, nullptr);

  TRecorder recorder;
  recorder.Take();
  driver_->SetThemeIndex(1);
  EXPECT_EQ(Current(), skyline);
  EXPECT_TRUE(recorder.Codes.empty());
  EXPECT_EQ(driver_->ThemeIndex(), 1);  // the requested value stays
}

TEST_F(EngineTest, ThemeBuildingSelectsABuiltinKindIgnoringCase) {
  CreateUnloaded();
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  ASSERT_NE(Current(), nullptr);

  driver_->SetThemeBuilding("flat");
  ASSERT_NE(Current(), nullptr);
  EXPECT_EQ(Current()->KindName(), "Flat");
  EXPECT_EQ(driver_->ThemeBuilding(), "Flat");
  EXPECT_EQ(driver_->ThemeIndex(), -1);
  EXPECT_EQ(driver_->ThemeFile(), "");

  // Names of kinds that are not built in, or of no kind, change nothing else.
  TskTheme* flat = Current();
  for (const char* name : {"Microsoft msstyles", "Nothing like it"}) {
    SCOPED_TRACE(name);
    driver_->SetThemeBuilding(name);
    EXPECT_EQ(driver_->ThemeBuilding(), "No theme");
    EXPECT_EQ(Current(), flat);
  }
  driver_->SetThemeBuilding("OFFICEXP");
  EXPECT_EQ(Current()->KindName(), "OfficeXP");
  EXPECT_EQ(driver_->ThemeBuilding(), "OfficeXP");
}

// Another component changes the current theme behind the driver's back.
TEST_F(EngineTest, DriverFollowsThemesMadeCurrentElsewhere) {
  CreateUnloaded();
  list_->Themes().Insert(0)->SetName("Another");
  driver_->SetThemeList(list_);
  ExpectNoSource();

  ThemeManager().SetCurrentTheme(list_->Themes().Items(1)->LoadTheme());
  ExpectFromList(1);  // the item of the same name
  EXPECT_EQ(changedEvents_, 1);

  ThemeManager().SetCurrentTheme(TSkOfficeXPTheme::Class().Create());
  EXPECT_EQ(driver_->ThemeBuilding(), "OfficeXP");
  EXPECT_EQ(driver_->ThemeIndex(), -1);
  EXPECT_EQ(changedEvents_, 2);

  // A theme of a name no item has: nothing points anywhere.
  std::unique_ptr<TskTheme> stranger = list_->Themes().Items(1)->LoadTheme();
  stranger->Name = "Stranger";
  ThemeManager().SetCurrentTheme(std::move(stranger));
  ExpectNoSource();
  EXPECT_EQ(changedEvents_, 3);

  ThemeManager().SetCurrentTheme(list_->Themes().Items(1)->LoadTheme());
  ExpectFromList(1);
  ThemeManager().ClearCurrentTheme();
  ExpectNoSource();
  EXPECT_EQ(changedEvents_, 5);
}

TEST_F(EngineTest, RemovingTheListClearsTheThemeAndTheReference) {
  CreateUnloaded();
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  ASSERT_NE(Current(), nullptr);
  FreeComponent(list_);
  EXPECT_EQ(Current(), nullptr);
  EXPECT_EQ(driver_->ThemeList(), nullptr);
  ExpectNoSource();

  // Setting no list selects index -1 as well.
  CreateUnloaded();
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  driver_->SetThemeList(nullptr);
  EXPECT_EQ(Current(), nullptr);
  EXPECT_EQ(driver_->ThemeIndex(), -1);
}

TEST_F(EngineTest, AListOfAnotherOwnerIsForgottenBeforeAnythingAnswersItsRemoval) {
  CreateUnloaded();
  // The list belongs to another owner: the driver hears of it only from the
  // list itself.
  auto* foreign = new TSkThemeList(nullptr);
  LoadViewerThemeList(*foreign);
  driver_->SetThemeList(foreign);
  driver_->SetThemeIndex(0);
  ASSERT_NE(Current(), nullptr);
  // Whoever answers the change selects from the list again: it must find
  // the list gone, not half destroyed.
  TSkThemeList* seen = foreign;
  driver_->OnThemeChanged = [&](TObject*) {
    seen = driver_->ThemeList();
    driver_->SetThemeIndex(0);
  };
  delete foreign;
  EXPECT_EQ(seen, nullptr) << "the driver forgot the list before it told anyone";
  EXPECT_EQ(driver_->ThemeList(), nullptr);
  EXPECT_EQ(Current(), nullptr);
  ExpectNoSource();
  driver_->OnThemeChanged = nullptr;
}

TEST_F(EngineTest, ASecondFormOfTheSameLayoutLeavesTheCurrentThemeAlone) {
  LoadViewerLayout();
  TskTheme* first = Current();
  ASSERT_NE(first, nullptr);
  TRecorder recorder;  // a client of the first window's
  recorder.Take();     // told of the current theme as it registered
  TComponent second(nullptr);
  TSkThemeList* secondList = nullptr;
  TSkStyleDriver* secondDriver = nullptr;
  second.LoadComponents([&] {
    secondList = CreateComponent<TSkThemeList>(&second);
    LoadViewerThemeList(*secondList);
    secondDriver = CreateComponent<TSkStyleDriver>(&second);
    secondDriver->SetDeltaHue(0);
    secondDriver->SetDeltaBrightness(10);
    secondDriver->SetThemeList(secondList);
    secondDriver->SetThemeIndex(0);
    secondDriver->SetThemeBuilding(kNoThemeBuilding);
  });
  EXPECT_EQ(recorder.Take(), Codes({})) << "the first window saw no change";
  EXPECT_EQ(Current(), first);
  EXPECT_EQ(secondDriver->ThemeIndex(), 0);
  EXPECT_EQ(secondDriver->ThemeList(), secondList);
  EXPECT_EQ(secondDriver->ThemeBuilding(), "No theme");

  // With other deltas the second window needs a theme of its own look.
  TComponent third(nullptr);
  third.LoadComponents([&] {
    auto* list = CreateComponent<TSkThemeList>(&third);
    LoadViewerThemeList(*list);
    auto* driver = CreateComponent<TSkStyleDriver>(&third);
    driver->SetDeltaBrightness(20);
    driver->SetThemeList(list);
    driver->SetThemeIndex(0);
  });
  EXPECT_EQ(recorder.Take(), Codes({tcChanging, tcReplaced, tcChanged, tcColors}));
  EXPECT_EQ(Current()->DeltaBrightness(), 20);
  third.DestroyComponents();
  second.DestroyComponents();
}

TEST_F(EngineTest, AThemeFileThatDoesNotLoadClearsOnlyWithoutAListTheme) {
  CreateUnloaded();
  driver_->SetThemeList(list_);
  driver_->SetThemeIndex(0);
  TskTheme* skyline = Current();
  driver_->SetThemeFile("C:\\no such folder\\missing.msstyles");
  EXPECT_EQ(Current(), skyline);
  EXPECT_EQ(driver_->ThemeIndex(), 0);

  driver_->SetThemeIndex(-1);  // a file name is set: the theme stays
  EXPECT_EQ(Current(), skyline);
  driver_->SetThemeFile("C:\\no such folder\\missing.msstyles");
  EXPECT_EQ(Current(), nullptr);
}

// The driver hears of its own selections through the theme-change
// notification, which looks the new theme up in the list by name; the
// selection the driver made itself must stand.
TEST_F(EngineTest, ASelectionIsNotTakenForAListItemOfTheSameName) {
  CreateUnloaded();
  driver_->SetThemeList(list_);

  // A file holding a theme named like the list's item.
  const std::string file = (std::filesystem::temp_directory_path() / "engine_same_name.theme").string();
  list_->Themes().Items(0)->LoadTheme()->SaveToFile(file);
  driver_->SetThemeFile(file);
  ASSERT_NE(Current(), nullptr);
  EXPECT_EQ(Current()->Name, "Skyline");
  EXPECT_EQ(driver_->ThemeFile(), file);
  EXPECT_EQ(driver_->ThemeIndex(), -1);
  // So the file theme stays when the list selection is given up.
  TskTheme* fromFile = Current();
  driver_->SetThemeIndex(-1);
  EXPECT_EQ(Current(), fromFile);
  std::filesystem::remove(file);

  // Two items of one name: the second one chosen reads back as chosen.
  list_->AddStoredTheme(StoredThemeResource());
  ASSERT_EQ(list_->Themes().Count(), 2);
  driver_->SetThemeIndex(1);
  ExpectFromList(1);
  driver_->SetThemeIndex(0);
  ExpectFromList(0);
}

}  // namespace
