// The theme manager: notification order to clients, hue and brightness,
// object lookup with and without links, kinds and loading, parent
// backgrounds with and without painters, remembered fonts.
#include <gtest/gtest.h>

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "runtime/ansi.h"
#include "runtime/process.h"
#include "runtime/streams.h"
#include "skin/sk_theme.h"

namespace {

std::vector<std::string> gLog;

void Log(const std::string& entry) { gLog.push_back(entry); }

// A client that is not a control.
class TRecorder : public TObject, public TskThemeClient {
 public:
  explicit TRecorder(std::string name) : name_(std::move(name)) {}
  void ThemeChanged(TskThemeChange code, intptr_t argument) override {
    Log(name_ + ":" + std::to_string(code) + (argument != 0 ? "/" + std::to_string(argument) : ""));
    if (OnChange) OnChange(code);
  }
  std::function<void(TskThemeChange)> OnChange;

 private:
  std::string name_;
};

// A control client: the notification arrives as a control message.
class TRecordingControl : public TGraphicControl {
 public:
  TRecordingControl(std::string name) : TGraphicControl(nullptr), name_(std::move(name)) {}

 protected:
  void WndProc(TMessage& message) override {
    if (message.Msg == SKM_THEMECHANGE) {
      Log(name_ + ":" + std::to_string(message.WParam) +
          (message.LParam != 0 ? "/" + std::to_string(message.LParam) : ""));
      return;
    }
    TGraphicControl::WndProc(message);
  }

 private:
  std::string name_;
};

// A theme that logs its end and defines buttons for "special" and
// "default", panels only for "special".
class TProbeTheme : public TskTheme {
 public:
  explicit TProbeTheme(std::string name = "probe") { Name = std::move(name); }
  ~TProbeTheme() override { Log("freed " + Name); }
  bool DefinesButton(int, const std::string& objectName) override {
    return objectName == "special" || objectName == "default";
  }
  bool DefinesPanel(int, const std::string& objectName) override { return objectName == "special"; }
  // The data: four bytes of signature, then 1 (loads), 2 (raises) or
  // anything else (fails).
  bool LoadFromStream(TStream& stream) override {
    char magic[4];
    stream.ReadBuffer(magic, 4);
    uint8_t ok = 0;
    stream.ReadBuffer(&ok, 1);
    if (ok == 2) throw EReadError("Stream read error");
    return ok == 1;
  }
  bool LoadFromFile(const std::string& fileName) override {
    TFileStream stream(fileName, TFileMode::OpenRead);
    return LoadFromStream(stream);
  }
};

bool HasMagic(TStream& stream, const char* magic) {
  char bytes[4] = {};
  return stream.Read(bytes, 4) == 4 && std::equal(bytes, bytes + 4, magic);
}

const TskThemeClass& ProbeKind() {
  static const TskThemeClass kind{"Probe", TskThemeConfig{false, false, true, "Probe themes (*.prb)|*.prb", "prb"},
                                  [](TStream& s) { return HasMagic(s, "PRB1"); },
                                  [] { return std::make_unique<TProbeTheme>("loaded"); }};
  return kind;
}

const TskThemeClass& OtherKind() {
  static const TskThemeClass kind{"Other", TskThemeConfig{true, false, false, "", ""},
                                  [](TStream& s) { return HasMagic(s, "OTH1"); },
                                  [] { return std::make_unique<TProbeTheme>("other"); }};
  return kind;
}

class ThemeManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog.clear(); }
  void TearDown() override {
    FreeThemeLibrary();
    gLog.clear();
  }
};

TEST_F(ThemeManagerTest, SetReplaceClearOrder) {
  TRecorder a("a");
  TRecordingControl b("b");
  ThemeManager().RegisterClient(&a);
  ThemeManager().RegisterClient(&b);
  EXPECT_TRUE(gLog.empty());  // nothing current: nothing delivered

  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>("first"));
  EXPECT_EQ(gLog, (std::vector<std::string>{"a:1", "b:1", "a:3", "b:3", "a:2", "b:2"}));
  EXPECT_EQ(ThemeManager().CurrentTheme()->Name, "first");

  gLog.clear();
  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>("second"));
  // The old theme is gone before code 0 arrives.
  EXPECT_EQ(gLog, (std::vector<std::string>{"a:1", "b:1", "freed first", "a:0", "b:0", "a:2", "b:2"}));
  EXPECT_TRUE(ThemeManager().IsCurrent(ThemeManager().CurrentTheme()));
  EXPECT_FALSE(ThemeManager().IsCurrent(nullptr));

  gLog.clear();
  ThemeManager().ClearCurrentTheme();
  EXPECT_EQ(gLog, (std::vector<std::string>{"a:1", "b:1", "freed second", "a:4", "b:4", "a:2", "b:2"}));
  EXPECT_EQ(ThemeManager().CurrentTheme(), nullptr);

  gLog.clear();
  ThemeManager().ClearCurrentTheme();
  EXPECT_TRUE(gLog.empty());
  ThemeManager().UnregisterClient(&a);
  ThemeManager().UnregisterClient(&b);
}

TEST_F(ThemeManagerTest, RegistrationDeliversTheCurrentThemeOnce) {
  TRecorder a("a");
  TRecorder b("b");
  EXPECT_EQ(ThemeManager().RegisterClient(&a), 0);
  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>());
  gLog.clear();
  EXPECT_EQ(ThemeManager().RegisterClient(&b), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"b:3"}));
  EXPECT_EQ(ThemeManager().RegisterClient(&a), 1);
  EXPECT_EQ(ThemeManager().RegisterClient(&b), 2);
  EXPECT_EQ(ThemeManager().ClientCount(), 2);
  EXPECT_EQ(gLog.size(), 1u);
  UnregisterThemeClient(&a);
  ThemeManager().UnregisterClient(&b);
  EXPECT_EQ(ThemeManager().ClientCount(), 0);

  // After the library ended, unregistering brings no manager back.
  FreeThemeLibrary();
  UnregisterThemeClient(&a);
  EXPECT_FALSE(ThemeManagerExists());
}

TEST_F(ThemeManagerTest, ClientUnregisteredDuringBroadcastIsSkipped) {
  TRecorder a("a");
  TRecorder b("b");
  a.OnChange = [&](TskThemeChange) { ThemeManager().UnregisterClient(&b); };
  ThemeManager().RegisterClient(&a);
  ThemeManager().RegisterClient(&b);
  ThemeManager().Broadcast(tcChanged, 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"a:2"}));
  ThemeManager().UnregisterClient(&a);
}

TEST_F(ThemeManagerTest, ColourChangesReachVisibleControlsAndOtherClients) {
  TRecorder other("other");
  TRecordingControl shown("shown");
  TRecordingControl hidden("hidden");
  hidden.Hide();
  ThemeManager().RegisterClient(&other);
  ThemeManager().RegisterClient(&shown);
  ThemeManager().RegisterClient(&hidden);

  SetThemeBrightness(10);  // no theme: nothing
  EXPECT_TRUE(gLog.empty());

  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>());
  gLog.clear();
  SetThemeBrightness(10);
  EXPECT_EQ(gLog, (std::vector<std::string>{"other:5/1", "shown:5/1"}));
  TskTheme* theme = ThemeManager().CurrentTheme();
  EXPECT_EQ(theme->DeltaBrightness(), 10);
  EXPECT_EQ(theme->Colors()[ciCaptionNormal], RgbColor(10, 10, 255));

  gLog.clear();
  SetThemeBrightness(10);  // unchanged: nothing
  EXPECT_TRUE(gLog.empty());

  SetThemeHue(85);
  EXPECT_EQ(gLog, (std::vector<std::string>{"other:5/1", "shown:5/1"}));
  EXPECT_EQ(theme->DeltaHue(), 85);
  EXPECT_EQ(theme->DeltaBrightness(), 10);
  // Blue turned a third of the circle is red, then brightened.
  EXPECT_EQ(theme->Colors()[ciCaptionNormal], RgbColor(255, 10, 10));

  gLog.clear();
  SetThemeHueAndBrightness(0, 0);
  EXPECT_EQ(gLog.size(), 2u);
  EXPECT_EQ(theme->Colors()[ciCaptionNormal], 0xFF0000);

  // Platform colour changes arrive through the hidden window, argument 0.
  gLog.clear();
  SendMessageW(ThemeManager().UtilityWindow(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"other:5", "shown:5"}));

  // Other codes reach hidden controls too.
  gLog.clear();
  ThemeManager().Broadcast(tcChanged, 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"other:2", "shown:2", "hidden:2"}));
  for (TObject* c : std::initializer_list<TObject*>{&other, &shown, &hidden}) ThemeManager().UnregisterClient(c);
}

// The hidden window's class goes with the manager, so that a later manager
// (or the library loaded again) registers it afresh, and a new manager's
// window still turns platform colour changes into code 5.
TEST_F(ThemeManagerTest, LibraryEndTakesTheHiddenWindowAndItsClass) {
  HWND window = ThemeManager().UtilityWindow();
  ASSERT_NE(window, nullptr);
  wchar_t className[64] = {};
  ASSERT_GT(GetClassNameW(window, className, 64), 0);
  auto* instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  EXPECT_TRUE(GetClassInfoExW(instance, className, &info));

  FreeThemeLibrary();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(GetClassInfoExW(instance, className, &info));

  TRecorder other("other");
  ThemeManager().RegisterClient(&other);
  ASSERT_NE(ThemeManager().UtilityWindow(), nullptr);
  EXPECT_TRUE(GetClassInfoExW(instance, className, &info));
  SendMessageW(ThemeManager().UtilityWindow(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"other:5"}));
  ThemeManager().UnregisterClient(&other);
}

TEST_F(ThemeManagerTest, NewCurrentThemeDoesNotInheritAdjustments) {
  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>());
  SetThemeBrightness(10);
  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>());
  EXPECT_EQ(ThemeManager().CurrentTheme()->DeltaBrightness(), 0);
  EXPECT_EQ(ThemeManager().CurrentTheme()->Colors()[ciCaptionNormal], 0xFF0000);
}

class TTestLink : public TskCustomThemeLink {
 public:
  TTestLink() : TskCustomThemeLink(nullptr) {}
  TskTheme* Theme() override { return LinkedTheme; }
  TskTheme* LinkedTheme = nullptr;
};

TEST_F(ThemeManagerTest, ObjectLookupAndThemeOf) {
  TTestLink link;
  EXPECT_EQ(ThemeOf(nullptr), nullptr);
  EXPECT_EQ(ThemeOf(&link), nullptr);
  EXPECT_FALSE(DefinesButtonObject(0, "default", nullptr));
  EXPECT_FALSE(DefinesButtonObject(0, "default", &link));

  ThemeManager().SetCurrentTheme(std::make_unique<TProbeTheme>("current"));
  TskTheme* current = ThemeManager().CurrentTheme();
  EXPECT_EQ(ThemeOf(nullptr), current);
  EXPECT_EQ(ThemeOf(&link), current);  // a link without a theme
  EXPECT_TRUE(DefinesButtonObject(0, "special", nullptr));
  EXPECT_TRUE(DefinesButtonObject(0, "unknown", nullptr));  // falls back to "default"
  EXPECT_TRUE(DefinesPanelObject(0, "special", nullptr));
  EXPECT_FALSE(DefinesPanelObject(0, "unknown", nullptr));
  EXPECT_FALSE(DefinesEditObject(0, "special", nullptr));

  // A linked theme answers for itself, without the fallback.
  TProbeTheme linked("linked");
  link.LinkedTheme = &linked;
  EXPECT_EQ(ThemeOf(&link), &linked);
  EXPECT_TRUE(DefinesButtonObject(0, "special", &link));
  EXPECT_FALSE(DefinesButtonObject(0, "unknown", &link));
  TskTheme plain;
  link.LinkedTheme = &plain;
  EXPECT_FALSE(DefinesButtonObject(0, "special", &link));  // the current theme is not asked
}

TEST_F(ThemeManagerTest, KindsAndStreams) {
  TskThemeManager& manager = ThemeManager();
  ASSERT_EQ(manager.KindCount(), 1);
  EXPECT_EQ(manager.KindAt(0)->KindName, "Default");
  EXPECT_EQ(manager.KindAt(1), nullptr);
  EXPECT_EQ(manager.KindAt(-1), nullptr);
  manager.RegisterThemeKind(ProbeKind());
  manager.RegisterThemeKind(OtherKind());
  manager.RegisterThemeKind(ProbeKind());
  EXPECT_EQ(manager.KindCount(), 3);

  EXPECT_EQ(manager.FindKindForFile("c:\\themes\\Blue.PRB"), &ProbeKind());
  EXPECT_EQ(manager.FindKindForFile("blue.prb.bak"), nullptr);
  EXPECT_EQ(manager.FindKindForFile("noextension"), nullptr);
  EXPECT_EQ(manager.FindKindForFile("dir.prb\\file"), nullptr);

  auto streamOf = [](const std::string& bytes) {
    auto stream = std::make_unique<TMemoryStream>();
    stream->WriteString(bytes);
    stream->SetPosition(0);
    return stream;
  };
  // Nothing claims it: the position stays where it was.
  auto unknown = streamOf("xxxJUNKJUNK");
  unknown->SetPosition(3);
  EXPECT_EQ(manager.LoadThemeFromStream(*unknown), nullptr);
  EXPECT_EQ(unknown->Position(), 3);

  auto probe = streamOf("xxPRB1\x01");
  probe->SetPosition(2);
  std::unique_ptr<TskTheme> loaded = manager.LoadThemeFromStream(*probe);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Name, "loaded");
  EXPECT_EQ(loaded->KindName(), "Default");  // the probe class keeps the base descriptor

  auto other = streamOf("OTH1\x01");
  ASSERT_NE(manager.LoadThemeFromStream(*other), nullptr);

  // A kind that claims the stream but fails to load it gives none; so does
  // one whose loader raises.
  gLog.clear();
  EXPECT_EQ(manager.LoadThemeFromStream(*streamOf(std::string("PRB1\x00", 5))), nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"freed loaded"}));
  EXPECT_EQ(manager.LoadThemeFromStream(*streamOf("PRB1\x02")), nullptr);
  EXPECT_EQ(manager.LoadThemeFromStream(*streamOf("PRB1")), nullptr);

  TMemoryStream out;
  EXPECT_FALSE(manager.SaveTheme(loaded.get(), out));
  EXPECT_FALSE(manager.SaveTheme(nullptr, out));
  EXPECT_EQ(out.Size(), 0);
}

TEST_F(ThemeManagerTest, ThemeFiles) {
  TskThemeManager& manager = ThemeManager();
  manager.RegisterThemeKind(ProbeKind());
  manager.RegisterThemeKind(OtherKind());
  EXPECT_EQ(manager.LoadThemeFromFile(""), nullptr);
  EXPECT_EQ(manager.LoadThemeFromFile("Z:\\no\\such\\theme.prb"), nullptr);

  // A relative name that is not found is looked for beside the program.
  std::string directory = ExecutablePath();
  directory = directory.substr(0, directory.find_last_of("\\/") + 1);
  const std::string bySuffix = "theme_manager_test_probe.prb";
  const std::string byContent = "theme_manager_test_probe.dat";
  const std::string bytes("PRB1\x01", 5);
  const std::string otherBytes("OTH1\x01", 5);
  WriteWholeFile(directory + bySuffix, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  WriteWholeFile(directory + byContent,
                 std::span(reinterpret_cast<const uint8_t*>(otherBytes.data()), otherBytes.size()));
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  SetCurrentDirectoryW(temp);

  std::unique_ptr<TskTheme> viaKind = manager.LoadThemeFromFile(bySuffix);
  std::unique_ptr<TskTheme> viaStream = manager.LoadThemeFromFile(byContent);
  std::unique_ptr<TskTheme> missing = manager.LoadThemeFromFile("theme_manager_test_missing.prb");

  SetCurrentDirectoryW(previous);
  DeleteFileW(Utf8ToWide(directory + bySuffix).c_str());
  DeleteFileW(Utf8ToWide(directory + byContent).c_str());

  ASSERT_NE(viaKind, nullptr);
  EXPECT_EQ(viaKind->Name, "loaded");
  EXPECT_EQ(viaKind->FileName, directory + bySuffix);
  ASSERT_NE(viaStream, nullptr);
  EXPECT_EQ(viaStream->Name, "other");
  EXPECT_EQ(missing, nullptr);
}

// ---- parent backgrounds ----------------------------------------------------

// Paints its left half red and its right half blue.
class TTwoColourParent : public TCustomControl {
 public:
  TTwoColourParent() : TCustomControl(nullptr) { SetBounds(0, 0, 100, 50); }

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(clRed);
    Canvas().FillRect(TRect{0, 0, 50, 50});
    Canvas().Brush().SetColor(clBlue);
    Canvas().FillRect(TRect{50, 0, 100, 50});
  }
};

class TOtherParent : public TCustomControl {
 public:
  TOtherParent() : TCustomControl(nullptr) { SetBounds(0, 0, 100, 50); }
};

class TChild : public TGraphicControl {
 public:
  TChild() : TGraphicControl(nullptr) {}

 protected:
  // Paints itself black, unless it is being painted as its own background.
  void Paint() override {
    ++Paints;
    if (IsPaintingCopy(this)) return;
    Canvas().Brush().SetColor(clBlack);
    Canvas().FillRect(TRect{0, 0, Width(), Height()});
  }

 public:
  int Paints = 0;
};

class TWindowedChild : public TWinControl {
 public:
  TWindowedChild() : TWinControl(nullptr) {}
};

class ThemeBackgroundTest : public ThemeManagerTest {
 protected:
  // The background under control, captured at the control's size.
  std::unique_ptr<TskBitmap> Capture(TControl& control) {
    auto target = std::make_unique<TskBitmap>();
    target->SetSize(control.Width() > 0 ? control.Width() : 1, control.Height() > 0 ? control.Height() : 1);
    target->Fill(0xFFFFFFFF);
    PaintParentBackground(&control, target->DC());
    GdiFlush();
    return target;
  }
  static TColor At(const std::unique_ptr<TskBitmap>& bitmap, int x, int y) {
    return PixelToColor(bitmap->PixelAt(x, y));
  }
};

TEST_F(ThemeBackgroundTest, WithoutPainterTheParentPaintsUnderTheControl) {
  ThemeManager();
  TTwoColourParent parent;
  TChild child;
  child.SetBounds(40, 10, 20, 20);
  child.SetParent(&parent);
  const auto captured = Capture(child);
  // The parent's x 40..49 is red and 50..59 blue, seen from the child.
  EXPECT_EQ(At(captured, 0, 0), clRed);
  EXPECT_EQ(At(captured, 9, 19), clRed);
  EXPECT_EQ(At(captured, 10, 0), clBlue);
  EXPECT_EQ(At(captured, 19, 19), clBlue);
  EXPECT_FALSE(IsPaintingCopy(&child));

  TWindowedChild windowed;
  windowed.SetBounds(45, 0, 10, 10);
  windowed.SetParent(&parent);
  const auto direct = Capture(windowed);
  EXPECT_EQ(At(direct, 4, 5), clRed);
  EXPECT_EQ(At(direct, 5, 5), clBlue);
  windowed.SetParent(nullptr);
  child.SetParent(nullptr);
}

TEST_F(ThemeBackgroundTest, NothingWithoutParentOrSize) {
  ThemeManager();
  TChild orphan;
  orphan.SetBounds(0, 0, 10, 10);
  EXPECT_EQ(At(Capture(orphan), 5, 5), clWhite);
  TTwoColourParent parent;
  TChild empty;
  empty.SetBounds(10, 10, 0, 10);
  empty.SetParent(&parent);
  EXPECT_EQ(At(Capture(empty), 0, 0), clWhite);
  empty.SetParent(nullptr);
}

TEST_F(ThemeBackgroundTest, MostDerivedRegisteredPainterWins) {
  ThemeManager();
  std::vector<TskBackgroundInfo> calls;
  RegisterBackgroundPainter<TTwoColourParent>([&](TCanvas& canvas, const TskBackgroundInfo& info) {
    calls.push_back(info);
    EXPECT_TRUE(IsPaintingCopy(info.Control));
    canvas.Brush().SetColor(clLime);
    canvas.FillRect(info.Bounds);
  });
  // Registered later, but for a base class: it loses to the derived one.
  RegisterBackgroundPainter<TWinControl>([&](TCanvas& canvas, const TskBackgroundInfo& info) {
    canvas.Brush().SetColor(clYellow);
    canvas.FillRect(info.Bounds);
  });

  TTwoColourParent parent;
  TChild child;
  child.SetBounds(40, 10, 20, 20);
  child.SetParent(&parent);
  const auto captured = Capture(child);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Bounds, (TRect{40, 10, 60, 30}));
  EXPECT_EQ(calls[0].ClipBounds, calls[0].Bounds);
  EXPECT_EQ(calls[0].Control, &child);
  EXPECT_EQ(calls[0].Parent, &parent);
  EXPECT_EQ(At(captured, 0, 0), clLime);
  EXPECT_EQ(At(captured, 19, 19), clLime);
  EXPECT_EQ(child.Paints, 0);  // the parent itself was not painted
  EXPECT_FALSE(IsPaintingCopy(&child));

  TOtherParent otherParent;
  child.SetParent(&otherParent);
  EXPECT_EQ(At(Capture(child), 5, 5), clYellow);
  child.SetParent(nullptr);
}

TEST_F(ThemeBackgroundTest, ControlClassDerivation) {
  const TskControlClassOf<TWinControl> windowed;
  const TskControlClassOf<TCustomControl> custom;
  const TskControlClassOf<TTwoColourParent> twoColour;
  EXPECT_TRUE(twoColour.InheritsFrom(custom));
  EXPECT_TRUE(twoColour.InheritsFrom(windowed));
  EXPECT_TRUE(custom.InheritsFrom(custom));
  EXPECT_FALSE(windowed.InheritsFrom(custom));
  EXPECT_FALSE(custom.InheritsFrom(twoColour));
}

// ---- remembered fonts ------------------------------------------------------

TEST_F(ThemeManagerTest, RememberedFonts) {
  TFont font;
  font.SetColor(clRed);
  font.SetName(L"Arial");
  RememberFont(&font);
  EXPECT_TRUE(IsFontRemembered(&font));
  font.SetColor(clBlue);
  font.SetName(L"Tahoma");
  RestoreFont(&font);
  EXPECT_EQ(font.Color(), clRed);
  EXPECT_EQ(font.Name(), L"Arial");

  // Remembering again refreshes the copy.
  font.SetColor(clGreen);
  RememberFont(&font);
  font.SetColor(clBlue);
  RestoreFont(&font);
  EXPECT_EQ(font.Color(), clGreen);

  ForgetFont(&font);
  EXPECT_FALSE(IsFontRemembered(&font));
  font.SetColor(clBlue);
  RestoreFont(&font);
  EXPECT_EQ(font.Color(), clBlue);

  RememberFont(&font);
  FreeRememberedFonts();
  EXPECT_FALSE(IsFontRemembered(&font));
}

}  // namespace
