// The skinned frame in real windows: hooks, zones and hit-testing through
// WM_NCHITTEST, the frame mouse (WM_NCLBUTTONDOWN / WM_NCMOUSEMOVE /
// WM_NCLBUTTONUP with screen points), the window states, snapping, outline
// drags, the recorded state applied after loading and the themed caption
// band's pixels.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/forms_support.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_controls.h"
#include "graphics/sk_guards_gdi.h"
#include "skin/frame/sk_form.h"
#include "skin/frame/sk_hook.h"

namespace {

LPARAM ScreenPoint(HWND window, TPoint windowPoint) {
  RECT r{};
  GetWindowRect(window, &r);
  return MAKELPARAM(static_cast<WORD>(r.left + windowPoint.X), static_cast<WORD>(r.top + windowPoint.Y));
}

TPoint Center(const TRect& r) { return TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }

// A frame watched by a timer while it shows its window.
TSkDefaultForm* watched = nullptr;
bool seenAnimating = false;
void CALLBACK WatchAnimation(HWND, UINT, UINT_PTR, DWORD) {
  if (watched != nullptr && watched->Animating()) seenAnimating = true;
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    delete form_;
    FreeThemeLibrary();
  }
  // A shown form of the given outer size skinned by a TSkForm; before lets
  // a case set properties while the layout loads.
  template <class TFrame = TSkForm>
  TFrame* Make(int width = 792, int height = 600, const std::function<void(TSkForm&)>& before = {}) {
    form_ = CreateComponent<TForm>(Application);
    form_->LoadComponents([&] {
      frame_ = CreateComponent<TFrame>(form_);
      if (before) before(*frame_);
    });
    // A popup window appears at once under Wine without a window manager;
    // the frame is the skin's either way.
    form_->SetBorderStyle(bsNone);
    form_->SetBounds(100, 120, width, height);
    ShowWindow(form_->Handle(), SW_SHOWNOACTIVATE);
    form_->SetVisible(true);
    PumpFor(20);
    return static_cast<TFrame*>(frame_);
  }
  HWND Window() { return form_->Handle(); }
  // The frame as the current theme paints it (no caption buttons).
  static std::unique_ptr<TskBitmap> ThemesOwnFrame(TSkForm& frame) {
    auto picture = std::make_unique<TskBitmap>();
    picture->SetSize(frame.FrameWidth(), frame.FrameHeight());
    TSkBorrowedCanvas canvas(picture->DC());
    ThemeManager().CurrentTheme()->PaintWindow(WindowKindOf(kbsStandard), canvas, "default", frame.WindowInfo());
    return picture;
  }
  LRESULT HitTest(TPoint p) { return SendMessageW(Window(), WM_NCHITTEST, 0, ScreenPoint(Window(), p)); }
  void Down(TPoint p) { SendMessageW(Window(), WM_NCLBUTTONDOWN, HTCAPTION, ScreenPoint(Window(), p)); }
  void Move(TPoint p) { SendMessageW(Window(), WM_NCMOUSEMOVE, HTCAPTION, ScreenPoint(Window(), p)); }
  void Up(TPoint p) { SendMessageW(Window(), WM_NCLBUTTONUP, HTCAPTION, ScreenPoint(Window(), p)); }
  void Press(TPoint p) {
    Down(p);
    Up(p);
  }
  TRect Bounds() {
    RECT r{};
    GetWindowRect(Window(), &r);
    return TRect{r.left, r.top, r.right, r.bottom};
  }

  TForm* form_ = nullptr;
  TSkForm* frame_ = nullptr;
};

// ---- hooks ---------------------------------------------------------------------

class TRecordingHook : public TSkHook {
 public:
  TRecordingHook(TComponent* owner, std::vector<std::string>* log, std::string name, bool handles, bool throws)
      : TSkHook(owner), log_(log), name_(std::move(name)), handles_(handles), throws_(throws) {}

 protected:
  void BeforeMessage(TMessage& message) override {
    if (message.Msg != WM_USER + 7) return;
    log_->push_back("before " + name_);
    if (throws_) throw std::runtime_error("hook " + name_ + " failed");
    if (handles_) {
      message.Result = 42;
      SetHandled(true);
    }
  }
  void AfterMessage(TMessage& message) override {
    if (message.Msg == WM_USER + 7) log_->push_back("after " + name_);
  }

 private:
  std::vector<std::string>* log_;
  std::string name_;
  bool handles_;
  bool throws_;
};

TEST(HookTest, ClientsSeeMessagesLastFirstAFailingOneIsReportedAndRecreatedWindowsAreHookedAgain) {
  TExceptionCapture capture;
  std::vector<std::string> log;
  auto* form = CreateComponent<TForm>(Application);
  form->HandleNeeded();
  TRecordingHook* first = nullptr;
  form->LoadComponents([&] {
    first = CreateComponent<TRecordingHook>(form, &log, "first", false, false);
    CreateComponent<TRecordingHook>(form, &log, "second", false, true);
  });
  EXPECT_EQ(SendMessageW(form->Handle(), WM_USER + 7, 0, 0), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"before second", "before first", "after second", "after first"}));
  EXPECT_EQ(capture.Messages, std::vector<std::string>{"hook second failed"});

  // A client that takes the message keeps it from the window and from the
  // clients attached before it.
  log.clear();
  auto* third = CreateComponent<TRecordingHook>(form, &log, "third", true, false);
  third->SetActive(false);
  third->SetActive(true);
  EXPECT_EQ(SendMessageW(form->Handle(), WM_USER + 7, 0, 0), 42);
  EXPECT_EQ(log, std::vector<std::string>{"before third"});

  log.clear();
  third->SetActive(false);
  // A window made again at once (as a frame change that needs a new window
  // does) and one made only later are both hooked again.
  for (bool later : {false, true}) {
    form->DestroyHandle();
    if (later) PumpFor(20);
    EXPECT_FALSE(HookList().Find(form)->Hooked());
    form->HandleNeeded();
    PumpFor(20);
    ASSERT_NE(HookList().Find(form), nullptr);
    EXPECT_TRUE(HookList().Find(form)->Hooked()) << "the new window is hooked again" << (later ? " later" : "");
  }
  SendMessageW(form->Handle(), WM_USER + 7, 0, 0);
  EXPECT_EQ(log.front(), "before second");
  EXPECT_EQ(first->ControlHook(), HookList().Find(form));
  delete form;
  PumpFor(20);
  EXPECT_EQ(HookList().Find(form), nullptr) << "a hook without clients is freed";
}

// ---- zones ---------------------------------------------------------------------

TEST_F(FrameTest, EveryZoneReportsItsHitTestValueSizeableOrNotAndMaximized) {
  for (bool themed : {false, true}) {
    SCOPED_TRACE(themed ? "Skyline" : "no theme");
    if (themed) UseSkylineTheme();
    TSkForm* frame = Make();
    EXPECT_EQ(frame->UsesTheme(), themed);
    const TRect client = frame->ClientRect();
    const int w = frame->FrameWidth(), h = frame->FrameHeight();
    struct TCase {
      const char* Name;
      TPoint Point;
      LRESULT Sizeable;
      LRESULT Fixed;
    };
    const std::vector<TCase> cases = {
        {"client", Center(client), HTCLIENT, HTCLIENT},
        {"caption", TPoint{w / 2, client.Top - 4}, HTCAPTION, HTCAPTION},
        {"close", Center(frame->ButtonRect(0)), HTCLOSE, HTCLOSE},
        {"system menu", Center(frame->ButtonRect(1)), HTSYSMENU, HTSYSMENU},
        {"minimize", Center(frame->ButtonRect(2)), HTMINBUTTON, HTMINBUTTON},
        {"maximize", Center(frame->ButtonRect(3)), HTMAXBUTTON, HTMAXBUTTON},
        {"roll-up", Center(frame->ButtonRect(5)), HTBORDER, HTBORDER},
        {"tray", Center(frame->ButtonRect(6)), HTBORDER, HTBORDER},
        {"left", TPoint{client.Left / 2, h / 2}, HTLEFT, HTCLIENT},
        {"right", TPoint{w - 1 - (w - client.Right) / 2, h / 2}, HTRIGHT, HTCLIENT},
        {"bottom", TPoint{w / 2, h - 1 - (h - client.Bottom) / 2}, HTBOTTOM, HTCLIENT},
        {"bottom-right", TPoint{w - 2, h - 2}, HTBOTTOMRIGHT, HTCLIENT},
        {"bottom-left", TPoint{1, h - 2}, HTBOTTOMLEFT, HTCLIENT},
    };
    for (bool sizeable : {true, false}) {
      frame->Dragging().Sizeable = sizeable;
      for (const TCase& c : cases) {
        if (std::string(c.Name) == "roll-up" || std::string(c.Name) == "tray") {
          // The stored theme's frame has no roll-up or tray button.
          const TRect r = frame->ButtonRect(std::string(c.Name) == "tray" ? 6 : 5);
          EXPECT_EQ(IsRectEmpty(r), themed) << c.Name;
          if (themed) continue;
        }
        EXPECT_EQ(HitTest(c.Point), sizeable ? c.Sizeable : c.Fixed) << c.Name << (sizeable ? " sizeable" : "");
      }
    }
    frame->Dragging().Sizeable = true;
    frame->MaximizeForm();
    const TRect maxClient = frame->ClientRect();
    EXPECT_EQ(HitTest(TPoint{maxClient.Left / 2, frame->FrameHeight() / 2}), HTCLIENT) << "no sizing when maximized";
    EXPECT_EQ(HitTest(Center(frame->ButtonRect(0))), HTCLOSE);
    delete std::exchange(form_, nullptr);
    FreeThemeLibrary();
  }
}

// ---- frame mouse ------------------------------------------------------------------

TEST_F(FrameTest, CloseButtonClosesOnlyWhenReleasedOnItAndCaptionDoubleClickNeedsMaximize) {
  TSkForm* frame = Make();
  const TPoint close = Center(frame->ButtonRect(0));
  Down(close);
  EXPECT_EQ(frame->PressedZone(), hcClose);
  Move(Center(frame->ClientRect()));
  Up(Center(frame->ClientRect()));
  EXPECT_TRUE(IsWindowVisible(Window())) << "released elsewhere";
  EXPECT_EQ(frame->PressedZone(), kfzNothingHot);

  frame->SetBorderIcons(frame->BorderIcons() & ~BorderIconBit(kbiMaximize));
  const TRect before = Bounds();
  const TPoint caption{frame->FrameWidth() / 3, frame->ClientRect().Top - 4};
  SendMessageW(Window(), WM_NCLBUTTONDBLCLK, HTCAPTION, ScreenPoint(Window(), caption));
  EXPECT_EQ(frame->WindowState(), kwsNormal);
  EXPECT_EQ(Bounds(), before);

  frame->SetBorderIcons(frame->BorderIcons() | BorderIconBit(kbiMaximize));
  SendMessageW(Window(), WM_NCLBUTTONDBLCLK, HTCAPTION, ScreenPoint(Window(), caption));
  EXPECT_EQ(frame->WindowState(), kwsMaximized) << "with the maximize icon it maximizes";
  frame->RestoreForm();

  Press(Center(frame->ButtonRect(0)));
  EXPECT_FALSE(IsWindowVisible(Window())) << "released on the button";
}

TEST_F(FrameTest, CaptionMovesSnapWithin19PixelsOfTheWorkAreaAndOutlineDragsMoveOnRelease) {
  TSkForm* frame = Make(400, 300);
  frame->Dragging().DragMode = kfdmFullDrag;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const TPoint grip{150, frame->ClientRect().Top - 4};
  for (int distance : {19, 20}) {
    form_->SetBounds(200, 200, 400, 300);
    Down(grip);
    // Screen points are taken against the window where the drag started.
    const LPARAM start = ScreenPoint(Window(), grip);
    const int dx = (work.left + distance) - 200;
    SendMessageW(Window(), WM_NCMOUSEMOVE, HTCAPTION,
                 MAKELPARAM(static_cast<WORD>(LOWORD(start) + dx), static_cast<WORD>(HIWORD(start))));
    SendMessageW(Window(), WM_NCLBUTTONUP, HTCAPTION,
                 MAKELPARAM(static_cast<WORD>(LOWORD(start) + dx), static_cast<WORD>(HIWORD(start))));
    EXPECT_EQ(Bounds().Left, distance == 19 ? work.left : work.left + 20) << distance;
    EXPECT_EQ(Bounds().Top, 200);
  }

  frame->Dragging().DragMode = kfdmBorder;
  form_->SetBounds(300, 250, 400, 300);
  Down(grip);
  EXPECT_TRUE(frame->OutlineMode());
  const LPARAM start = ScreenPoint(Window(), grip);
  const LPARAM moved = MAKELPARAM(static_cast<WORD>(LOWORD(start) + 60), static_cast<WORD>(HIWORD(start) + 40));
  SendMessageW(Window(), WM_NCMOUSEMOVE, HTCAPTION, moved);
  EXPECT_EQ(Bounds(), (TRect{300, 250, 700, 550})) << "the window waits for the release";
  EXPECT_EQ(frame->OutlineRect(), (TRect{360, 290, 760, 590}));
  EXPECT_FALSE(frame->FramePaintEnabled());
  SendMessageW(Window(), WM_NCLBUTTONUP, HTCAPTION, moved);
  EXPECT_EQ(Bounds(), (TRect{360, 290, 760, 590}));
  EXPECT_TRUE(frame->FramePaintEnabled());
  EXPECT_FALSE(frame->DragActive());
}

// ---- window states -------------------------------------------------------------------

TEST_F(FrameTest, RollUpKeepsPositionAndWidthAndASecondRollUpRestoresTheSize) {
  TSkForm* frame = Make();
  form_->SetBounds(50, 60, 792, 600);
  const int clientHeight = static_cast<int>(RectHeight(frame->ClientRect()));
  Press(Center(frame->ButtonRect(5)));
  EXPECT_EQ(frame->WindowState(), kwsRollup);
  EXPECT_EQ(Bounds(), (TRect{50, 60, 842, 660 - clientHeight}));
  form_->SetBounds(80, 90, 792, Bounds().Bottom - Bounds().Top);
  SendMessageW(Window(), WM_NCLBUTTONDOWN, HTBORDER, ScreenPoint(Window(), Center(frame->ButtonRect(5))));
  SendMessageW(Window(), WM_NCLBUTTONUP, HTBORDER, ScreenPoint(Window(), Center(frame->ButtonRect(5))));
  EXPECT_EQ(frame->WindowState(), kwsNormal);
  EXPECT_EQ(Bounds(), (TRect{80, 90, 872, 690})) << "792 x 600 at the current position";
}

TEST_F(FrameTest, EveryTransitionReturnsThroughRestore) {
  TSkForm* frame = Make(500, 400);
  const TRect normal{100, 120, 600, 520};
  using TStep = void (TSkDefaultForm::*)();
  struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
    std::vector<TSkWindowState> States;
  };
  const std::vector<TCase> cases = {
      {"maximize", {&TSkDefaultForm::MaximizeForm, &TSkDefaultForm::RestoreForm}, {kwsMaximized, kwsNormal}},
      {"roll up", {&TSkDefaultForm::RollupForm, &TSkDefaultForm::RestoreForm}, {kwsRollup, kwsNormal}},
      {"minimize", {&TSkDefaultForm::MinimizeForm, &TSkDefaultForm::RestoreForm}, {kwsMinimized, kwsNormal}},
      {"tray", {&TSkDefaultForm::MinimizeToTray, &TSkDefaultForm::RestoreForm}, {kwsTray, kwsNormal}},
      {"maximized, minimized, back",
       {&TSkDefaultForm::MaximizeForm, &TSkDefaultForm::MinimizeForm, &TSkDefaultForm::RestoreForm,
        &TSkDefaultForm::RestoreForm},
       {kwsMaximized, kwsMinimized, kwsMaximized, kwsNormal}},
      {"rolled up, maximized, back",
       {&TSkDefaultForm::RollupForm, &TSkDefaultForm::MaximizeForm, &TSkDefaultForm::RestoreForm,
        &TSkDefaultForm::RestoreForm},
       {kwsRollup, kwsMaximized, kwsRollup, kwsNormal}},
      {"maximized, tray, back",
       {&TSkDefaultForm::MaximizeForm, &TSkDefaultForm::MinimizeToTray, &TSkDefaultForm::RestoreForm,
        &TSkDefaultForm::RestoreForm},
       {kwsMaximized, kwsTray, kwsMaximized, kwsNormal}},
      {"rolled up, tray, back",
       {&TSkDefaultForm::RollupForm, &TSkDefaultForm::MinimizeToTray, &TSkDefaultForm::RestoreForm,
        &TSkDefaultForm::RestoreForm},
       {kwsRollup, kwsTray, kwsRollup, kwsNormal}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    form_->SetBoundsRect(normal);
    for (size_t i = 0; i < c.Steps.size(); ++i) {
      (frame->*c.Steps[i])();
      PumpFor(20);
      EXPECT_EQ(frame->WindowState(), c.States[i]) << "step " << i;
      if (c.States[i] == kwsMaximized) {
        EXPECT_EQ(Bounds(), frame->MaximizedRect());
      }
      if (c.States[i] == kwsTray) {
        EXPECT_FALSE(IsWindowVisible(Window()));
      }
      if (c.States[i] == kwsMinimized) {
        EXPECT_TRUE(IsIconic(Window()));
      }
    }
    EXPECT_EQ(Bounds(), normal);
    EXPECT_EQ(frame->PrevState(), kwsNormal);
    EXPECT_TRUE(IsWindowVisible(Window()));
  }
}

TEST_F(FrameTest, TrayTipKeepsTheFirst63CharactersOfTheCaption) {
  TSkForm* frame = Make();
  frame->SetMinimizeApplication(false);
  std::wstring caption;
  for (int i = 0; i < 80; ++i) caption += static_cast<wchar_t>(L'a' + i % 26);
  frame->SetCaption(caption);
  frame->MinimizeToTray();
  EXPECT_EQ(std::wstring(frame->TrayIconData().szTip), caption.substr(0, 63));
  EXPECT_EQ(frame->TrayIconData().uCallbackMessage, kSkMsgTrayCallback);
  EXPECT_EQ(frame->TrayIconData().cbSize, sizeof(NOTIFYICONDATAW));
  // Where the platform offers a notification area the icon stands there
  // now; where it has none the frame knows it showed none.
  NOTIFYICONDATAW probe = frame->TrayIconData();
  const bool areaExists = Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
  EXPECT_EQ(frame->TrayIconShown(), areaExists);
  if (!frame->TrayIconShown()) std::cout << "[ NOTE     ] no notification area: the icon could not be shown\n";
  frame->RestoreForm();
  EXPECT_FALSE(frame->TrayIconShown());
  probe = frame->TrayIconData();
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "the icon was removed";
}

TEST_F(FrameTest, AStateSetWhileLoadingIsAppliedThroughThePostedMessage) {
  TSkForm* frame = nullptr;
  form_ = CreateComponent<TForm>(Application);
  form_->SetBounds(100, 120, 500, 400);
  form_->LoadComponents([&] {
    frame = CreateComponent<TSkForm>(form_);
    frame->SetWindowState(kwsMaximized);
    EXPECT_EQ(frame->WindowState(), kwsNormal);
  });
  EXPECT_EQ(frame->PendingState(), kwsMaximized);
  EXPECT_GE(Bounds().Top, GetSystemMetrics(SM_CYVIRTUALSCREEN)) << "out of sight until applied";
  MSG message{};
  EXPECT_TRUE(PeekMessageW(&message, Window(), kSkMsgApplyState, kSkMsgApplyState, PM_NOREMOVE));
  EXPECT_EQ(message.wParam, 1u);
  PumpFor(30);
  EXPECT_EQ(frame->WindowState(), kwsMaximized);
  EXPECT_EQ(frame->PendingState(), kwsNormal);
  EXPECT_EQ(Bounds(), frame->MaximizedRect());
  frame->RestoreForm();
  EXPECT_EQ(Bounds(), (TRect{100, 120, 600, 520})) << "the normal bounds are those before loading ended";
}

TEST(SystemMenuTest, EntriesFollowStateAndIcons) {
  const TSkBorderIcons all = kSkDefaultBorderIcons;
  auto captions = [](TSkWindowState state, TSkBorderIcons icons) {
    std::vector<std::wstring> out;
    for (const auto& e : SystemMenuEntries(state, icons)) out.push_back(e.Caption);
    return out;
  };
  using V = std::vector<std::wstring>;
  EXPECT_EQ(captions(kwsNormal, all), (V{L"Mi&nimize", L"Ma&ximize", L"Ro&llup", L"Minimize to &Tray", L"-", L"&Close"}));
  EXPECT_EQ(captions(kwsMaximized, all), (V{L"&Restore", L"Mi&nimize", L"Ro&llup", L"Minimize to &Tray", L"-", L"&Close"}));
  EXPECT_EQ(captions(kwsRollup, all), (V{L"&Restore", L"Mi&nimize", L"Ma&ximize", L"Minimize to &Tray", L"-", L"&Close"}));
  EXPECT_EQ(captions(kwsMinimized, all), (V{L"&Restore", L"-", L"&Close"}));
  EXPECT_EQ(captions(kwsNormal, BorderIconBit(kbiClose)), V{L"&Close"}) << "no separator before the only entry";
  EXPECT_EQ(captions(kwsNormal, BorderIconBit(kbiMinimize)), V{L"Mi&nimize"});
  const auto entries = SystemMenuEntries(kwsNormal, all);
  EXPECT_EQ(entries.back().ImageIndex, 0);
  EXPECT_EQ(entries.back().ShortCut, L"Alt+F4");
  EXPECT_EQ(entries.front().ImageIndex, 1);
}

TEST_F(FrameTest, ThemedFrameShowsTheThemesOwnPaintingInEveryBufferingMode) {
  UseSkylineTheme();
  TSkForm* frame = Make(400, 300);
  frame->SetCaption(L"");
  ASSERT_TRUE(frame->UsesTheme());
  // The theme paints the frame into a bitmap of the window's size.
  SendMessageW(Window(), WM_NCACTIVATE, TRUE, 0);
  const std::unique_ptr<TskBitmap> painted = ThemesOwnFrame(*frame);
  const TskBitmap& expected = *painted;
  const int band = frame->ClientRect().Top;
  const TPoint close = Center(frame->ButtonRect(0));
  for (TSkFormPerformance mode : {qvfpNoBuffer, qvfpSharedBuffer, qvfpPersistentBuffer, qvfpDoubleBuffer}) {
    SCOPED_TRACE(static_cast<int>(mode));
    frame->SetPerformance(mode);
    // Wipe the frame on the screen first so that only this mode's painting
    // shows.
    HDC dc = GetWindowDC(Window());
    FillRectColor(dc, TRect{0, 0, frame->FrameWidth(), frame->FrameHeight()}, clLime);
    SendMessageW(Window(), WM_NCACTIVATE, TRUE, 0);
    TskBitmap actual;
    actual.SetSize(frame->FrameWidth(), frame->FrameHeight());
    BitBlt(actual.DC(), 0, 0, frame->FrameWidth(), frame->FrameHeight(), dc, 0, 0, SRCCOPY);
    ReleaseDC(Window(), dc);
    for (TPoint p : {TPoint{2, band / 2}, TPoint{60, 2}, TPoint{120, band - 2}, TPoint{frame->FrameWidth() - 2, band / 2},
                     TPoint{1, 150}, TPoint{200, frame->FrameHeight() - 1}}) {
      EXPECT_EQ(Rgb(actual, p.X, p.Y), Rgb(expected, p.X, p.Y)) << p.X << "," << p.Y;
    }
    EXPECT_NE(Rgb(actual, close.X, close.Y), Rgb(expected, close.X, close.Y)) << "the button is drawn over the frame";
  }
}

// An icon file of one 16 x 16 image whose left half is see-through and
// whose right half is opaque red.
std::string HalfIconFile() {
  std::string image;
  Put32(image, 40);
  Put32(image, 16);
  Put32(image, 32);  // colours and mask
  Put16(image, 1);
  Put16(image, 32);
  for (int i = 0; i < 6; ++i) Put32(image, 0);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) Put32(image, x < 8 ? 0x00000000u : 0xFFFF0000u);
  }
  for (int y = 0; y < 16; ++y) Put32(image, 0x000000FFu);  // mask rows: the left 8 pixels set
  std::string file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, 1);
  file += std::string{16, 16, 0, 0};
  Put16(file, 1);
  Put16(file, 32);
  Put32(file, static_cast<uint32_t>(image.size()));
  Put32(file, 22);
  return file + image;
}

TEST_F(FrameTest, TheThemedCaptionShowsTheIconsSeeThroughPixelsAsTheCaption) {
  UseSkylineTheme();
  TSkForm* frame = Make(400, 300);
  frame->SetCaption(L"");
  TBytesStream icon(HalfIconFile());
  form_->Icon().LoadFromStream(icon);
  ASSERT_TRUE(frame->UsesTheme());
  SendMessageW(Window(), WM_NCACTIVATE, TRUE, 0);
  const std::unique_ptr<TskBitmap> expected = ThemesOwnFrame(*frame);
  const TRect rect = frame->ButtonRect(1);
  ASSERT_FALSE(IsRectEmpty(rect));
  const TPoint centre = Center(rect);
  EXPECT_EQ(ScreenRgb(Window(), centre.X - 5, centre.Y), Rgb(*expected, centre.X - 5, centre.Y))
      << "the caption shows through, not the key colour";
  EXPECT_EQ(ScreenRgb(Window(), centre.X + 4, centre.Y), 0xFF0000u) << "the icon's own pixels";
}

// A frame that records where its system menu would pop up.
class TMenuRecordingForm : public TSkForm {
 public:
  using TSkForm::TSkForm;
  std::vector<std::vector<TSkSystemMenuEntry>> Shown;
  std::vector<TPoint> At;

 protected:
  void PopupSystemMenu(const std::vector<TSkSystemMenuEntry>& entries, TPoint point) override {
    Shown.push_back(entries);
    At.push_back(point);
  }
};

TEST_F(FrameTest, SystemMenuOpensBelowTheIconAtTheMouseAndFromTheKeyboardAndItsEntriesAct) {
  auto* frame = Make<TMenuRecordingForm>(500, 400);
  const TRect icon = frame->ButtonRect(1);
  Press(Center(icon));
  ASSERT_EQ(frame->Shown.size(), 1u);
  EXPECT_EQ(frame->Shown[0], SystemMenuEntries(kwsNormal, frame->BorderIcons()));
  const TRect bounds = Bounds();
  EXPECT_EQ(frame->At[0], (TPoint{bounds.Left + icon.Left, bounds.Top + icon.Bottom})) << "below the icon";

  const TPoint caption{200, frame->ClientRect().Top - 4};
  SendMessageW(Window(), WM_NCRBUTTONDOWN, HTCAPTION, ScreenPoint(Window(), caption));
  SendMessageW(Window(), WM_NCRBUTTONUP, HTCAPTION, ScreenPoint(Window(), caption));
  ASSERT_EQ(frame->At.size(), 2u);
  EXPECT_EQ(frame->At[1], (TPoint{bounds.Left + caption.X, bounds.Top + caption.Y})) << "at the mouse";

  // Alt alone and Alt+Space open it at the client origin; a letter without
  // a menu bar does not.
  EXPECT_EQ(SendMessageW(Window(), WM_SYSCOMMAND, SC_KEYMENU, 0), 0);
  EXPECT_EQ(SendMessageW(Window(), WM_SYSCOMMAND, SC_KEYMENU, L' '), 0);
  ASSERT_EQ(frame->At.size(), 4u);
  EXPECT_EQ(frame->At[3], form_->ClientToScreen(TPoint{0, 0}));
  SendMessageW(Window(), WM_SYSCOMMAND, SC_KEYMENU, L'f');
  EXPECT_EQ(frame->At.size(), 4u);

  frame->SystemMenuCommand(L"Ro&llup");
  EXPECT_EQ(frame->WindowState(), kwsRollup);
  Press(Center(icon));
  EXPECT_EQ(frame->Shown.back(), SystemMenuEntries(kwsRollup, frame->BorderIcons()));
  frame->SystemMenuCommand(L"&Restore");
  EXPECT_EQ(frame->WindowState(), kwsNormal);
  EXPECT_EQ(Bounds(), bounds);
}

TEST_F(FrameTest, CaptionChangeHidesThePlatformCaptionUntilThePostedRestore) {
  TSkForm* frame = Make(400, 300);
  SetWindowLongW(Window(), GWL_STYLE, GetWindowLongW(Window(), GWL_STYLE) | WS_CAPTION);
  frame->SetCaption(L"New caption");
  EXPECT_EQ(form_->Caption(), L"New caption");
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_CAPTION, 0) << "until the posted message arrives";
  MSG message{};
  EXPECT_TRUE(PeekMessageW(&message, Window(), kSkMsgRestoreCaption, kSkMsgRestoreCaption, PM_NOREMOVE));
  PumpFor(30);
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_CAPTION, static_cast<LONG>(WS_CAPTION));
  // The same text again changes nothing.
  frame->SetCaption(L"New caption");
  EXPECT_EQ(GetWindowLongW(Window(), GWL_STYLE) & WS_CAPTION, static_cast<LONG>(WS_CAPTION));
}

TEST_F(FrameTest, PlainFrameDrawsTheCaptionBandByActivationAndAThemeKeepsTheClientSize) {
  TSkForm* frame = Make(400, 300);
  frame->SetCaption(L"");
  auto bandPixel = [&] {
    HDC dc = GetWindowDC(Window());
    const COLORREF c = GetPixel(dc, frame->FrameWidth() / 2, frame->ClientRect().Top - 3);
    ReleaseDC(Window(), dc);
    return static_cast<uint32_t>(GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c));
  };
  SendMessageW(Window(), WM_NCACTIVATE, TRUE, 0);
  EXPECT_TRUE(frame->CaptionActive());
  EXPECT_EQ(bandPixel(), SysRgb(COLOR_ACTIVECAPTION));
  SendMessageW(Window(), WM_NCACTIVATE, FALSE, 0);
  EXPECT_EQ(bandPixel(), SysRgb(COLOR_INACTIVECAPTION));
  RECT client{};
  GetClientRect(Window(), &client);
  const TRect plain = frame->ClientRect();
  EXPECT_EQ(client.right, RectWidth(plain));
  EXPECT_EQ(client.bottom, RectHeight(plain));

  UseSkylineTheme();
  EXPECT_TRUE(frame->UsesTheme());
  EXPECT_NE(frame->ClientRect(), plain) << "the theme's frame has other margins";
  RECT themed{};
  GetClientRect(Window(), &themed);
  EXPECT_EQ(themed.right, client.right) << "the client keeps its size";
  EXPECT_EQ(themed.bottom, client.bottom);
  ClearTheme();
  EXPECT_FALSE(frame->UsesTheme());
  EXPECT_EQ(frame->ClientRect(), plain);
}

TEST_F(FrameTest, PostedMaximizeAndPlatformCommandsRunTheFramesOwnStates) {
  TSkForm* frame = Make(500, 400);
  const TRect normal = Bounds();
  PostMessageW(Window(), kSkMsgMaximize, 0, 0);
  PumpFor(30);
  EXPECT_EQ(frame->WindowState(), kwsMaximized);
  EXPECT_FALSE(IsZoomed(Window())) << "the platform's maximized state is not used";
  SendMessageW(Window(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(frame->WindowState(), kwsNormal);
  EXPECT_EQ(Bounds(), normal);
  SendMessageW(Window(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_EQ(frame->WindowState(), kwsMaximized);
  EXPECT_FALSE(IsZoomed(Window()));
  // The shell's maximize key sends the command to a maximized window too:
  // it stays maximized.
  SendMessageW(Window(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_EQ(frame->WindowState(), kwsMaximized);
  EXPECT_EQ(Bounds(), frame->MaximizedRect());
  frame->SetWindowState(kwsNormal);
  EXPECT_EQ(Bounds(), normal);
}

// A frame whose region is a rounded rectangle or, once switched, a plain
// one: the same margins either way, as two themes can have.
class TSwitchingRegionForm : public TSkForm {
 public:
  using TSkForm::TSkForm;
  bool Rounded = true;
  HRGN WindowRegion() override {
    return Rounded ? CreateRoundRectRgn(0, 0, FrameWidth() + 1, FrameHeight() + 1, 24, 24)
                   : CreateRectRgn(0, 0, FrameWidth(), FrameHeight());
  }
};

TEST_F(FrameTest, ReapplyingTheFrameRecomputesTheRegionAtTheSameSize) {
  auto* frame = Make<TSwitchingRegionForm>(400, 300);
  frame->ReapplyFrame();
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Window(), region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 0, 0)) << "the rounded corner";
  frame->MaximizeForm();
  const TRect maximized = Bounds();
  frame->Rounded = false;
  // A theme change re-applies the frame; a maximized window keeps its size.
  frame->ThemeChanged(tcSet, 0);
  EXPECT_EQ(Bounds(), maximized);
  ASSERT_NE(GetWindowRgn(Window(), region), ERROR);
  EXPECT_TRUE(PtInRegion(region, 0, 0)) << "the new region, although the size stayed";
  DeleteObject(region);
  frame->RestoreForm();
}

TEST_F(FrameTest, AFormStoredInTheTrayComesBackToItsBoundsOnTheScreen) {
  TSkForm* frame = nullptr;
  form_ = CreateComponent<TForm>(Application);
  form_->SetBorderStyle(bsNone);
  form_->SetBounds(100, 120, 500, 400);
  form_->LoadComponents([&] {
    frame = CreateComponent<TSkForm>(form_);
    frame->SetMinimizeApplication(false);
    frame->SetWindowState(kwsTray);
  });
  ShowWindow(Window(), SW_SHOWNOACTIVATE);
  form_->SetVisible(true);
  PumpFor(30);
  ASSERT_EQ(frame->WindowState(), kwsTray);
  EXPECT_FALSE(IsWindowVisible(Window()));
  frame->RestoreForm();
  EXPECT_EQ(frame->WindowState(), kwsNormal);
  EXPECT_TRUE(IsWindowVisible(Window()));
  EXPECT_EQ(Bounds(), (TRect{100, 120, 600, 520})) << "not left below the screen";
}

TEST_F(FrameTest, ShowPictureHoldsTheActiveFrameTheClientAndItsChildrenAndTheKeyOutsideTheRegion) {
  UseSkylineTheme();
  TSkForm* frame = Make(400, 300);
  SendMessageW(Window(), WM_NCACTIVATE, FALSE, 0);
  auto* child = CreateComponent<TCustomControl>(form_);
  child->SetBounds(20, 30, 50, 40);
  child->SetColor(clRed);
  child->SetParent(form_);
  std::unique_ptr<TskBitmap> picture = frame->ComposeShowPicture();
  ASSERT_EQ(picture->Width(), frame->FrameWidth());
  EXPECT_FALSE(frame->CaptionActive()) << "only the picture is drawn active";

  TskWindowInfo info = frame->WindowInfo();
  info.Active = 1;
  TskBitmap expected;
  expected.SetSize(frame->FrameWidth(), frame->FrameHeight());
  {
    TSkBorrowedCanvas canvas(expected.DC());
    ThemeManager().CurrentTheme()->PaintWindow(WindowKindOf(kbsStandard), canvas, "default", info);
    ThemeManager().CurrentTheme()->PaintWindowClient(WindowKindOf(kbsStandard), canvas, "default",
                                                     frame->ClientRect());
  }
  const TRect client = frame->ClientRect();
  HRGN region = frame->WindowRegion();
  for (TPoint p : {TPoint{0, 0}, TPoint{frame->FrameWidth() - 1, 0}, TPoint{100, 3}, TPoint{1, 150},
                   TPoint{client.Left + 200, client.Top + 150}}) {
    const bool outside = region != nullptr && !PtInRegion(region, p.X, p.Y);
    EXPECT_EQ(Rgb(*picture, p.X, p.Y), outside ? static_cast<uint32_t>(kKeyColor) : Rgb(expected, p.X, p.Y))
        << p.X << "," << p.Y;
    EXPECT_EQ(PixelAlpha(picture->Row(p.Y)[p.X]), 255);
  }
  if (region != nullptr) DeleteObject(region);
  EXPECT_EQ(Rgb(*picture, client.Left + 45, client.Top + 50), 0xFF0000u) << "the child is in the picture";

  // Shown with the animation on, the effect plays while the window is made
  // visible (a timer ticking meanwhile finds it running), and the window
  // appears once the effect ended.
  frame->Animation().SetEnabled(true);
  frame->Animation().SetTime(300);
  ShowWindow(Window(), SW_HIDE);
  watched = frame;
  seenAnimating = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, &WatchAnimation);
  ShowWindow(Window(), SW_SHOWNOACTIVATE);
  KillTimer(nullptr, timer);
  watched = nullptr;
  EXPECT_TRUE(seenAnimating) << "the effect played as the window was shown";
  EXPECT_TRUE(IsWindowVisible(Window()));
  EXPECT_FALSE(frame->Animating());
}

TEST(FramePropertiesTest, StoredValuesAreClampedToTheirRanges) {
  TSkGravitation gravitation;
  for (auto [given, kept] : {std::pair{0, 1}, {1, 1}, {2, 2}, {50, 50}, {51, 50}}) {
    gravitation.SetSize(given);
    EXPECT_EQ(gravitation.Size(), kept) << "gravitation " << given;
  }
  TSkBlending blending;
  for (auto [given, kept] : {std::pair{-1, 0}, {0, 0}, {255, 255}, {256, 255}, {100, 100}}) {
    blending.SetValue(given);
    EXPECT_EQ(blending.Value(), kept) << "blending " << given;
  }
  TSkShadow shadow;
  shadow.SetEnabled(true);
  for (auto [given, kept] : {std::pair{21, 20}, {20, 20}, {5, 5}}) {
    shadow.SetSize(given);
    EXPECT_EQ(shadow.Size(), kept) << "shadow " << given;
  }
  shadow.SetSize(0);
  EXPECT_FALSE(shadow.Enabled()) << "no size switches the shadow off";
  EXPECT_EQ(shadow.Size(), 5);
}

TEST_F(FrameTest, FrameKeepsStillWhileAMenuShowsAPopupAndCatchesUpAfterwards) {
  TSkForm* frame = Make(400, 300);
  SendMessageW(Window(), WM_NCPAINT, 1, 0);
  const uint32_t painted = ScreenRgb(Window(), 200, 2);
  const uint32_t blot = painted == 0x00FF00 ? 0xFF0000 : 0x00FF00;
  auto blotCaption = [&] {
    HDC dc = GetWindowDC(Window());
    TGdiBrush brush(CreateSolidBrush(RGB(blot >> 16, (blot >> 8) & 0xFF, blot & 0xFF)));
    const RECT band{0, 0, 400, 6};
    FillRect(dc, &band, brush.Get());
    ReleaseDC(Window(), dc);
  };
  blotCaption();
  SendMessageW(Window(), SkSuspendFramePaintMessage(), 1, 0);
  EXPECT_TRUE(frame->PopupShowing());
  SendMessageW(Window(), WM_NCPAINT, 1, 0);
  EXPECT_EQ(ScreenRgb(Window(), 200, 2), blot) << "no frame paint while the pop-up appears";
  SendMessageW(Window(), SkSuspendFramePaintMessage(), 0, 0);
  EXPECT_EQ(ScreenRgb(Window(), 200, 2), painted) << "the missed paint comes afterwards";
  // Nothing missed, nothing painted.
  blotCaption();
  SendMessageW(Window(), SkSuspendFramePaintMessage(), 1, 0);
  SendMessageW(Window(), SkSuspendFramePaintMessage(), 0, 0);
  EXPECT_EQ(ScreenRgb(Window(), 200, 2), blot);
}

TEST_F(FrameTest, ShadowWidensTheWindowKeepsTheClientAndDarkensTheScreenBehind) {
  TSkForm* frame = Make(400, 300);
  RECT clientBefore{};
  GetClientRect(Window(), &clientBefore);
  const TRect before = Bounds();
  frame->Shadow().SetSize(6);
  frame->Shadow().SetEnabled(true);
  EXPECT_EQ(Bounds(), (TRect{before.Left, before.Top, before.Right + 6, before.Bottom + 6}));
  RECT clientAfter{};
  GetClientRect(Window(), &clientAfter);
  EXPECT_EQ(clientAfter.right, clientBefore.right);
  EXPECT_EQ(clientAfter.bottom, clientBefore.bottom);
  EXPECT_EQ(frame->FrameWidth(), 400);

  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(Window(), region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 402, 2)) << "the band starts Size pixels down";
  EXPECT_TRUE(PtInRegion(region, 402, 10));
  EXPECT_FALSE(PtInRegion(region, 2, 302));
  EXPECT_TRUE(PtInRegion(region, 10, 302));
  DeleteObject(region);

  SendMessageW(Window(), WM_NCPAINT, 1, 0);
  ASSERT_NE(frame->BackgroundImage(), nullptr);
  const uint32_t behind = Rgb(*frame->BackgroundImage(), 403, 150);
  EXPECT_EQ(ScreenRgb(Window(), 403, 150), Mix(0x3F3F3F, behind, 128)) << "dark grey at half strength";

  frame->MaximizeForm();
  EXPECT_EQ(Bounds(), frame->MaximizedRect()) << "no shadow when maximized";
  EXPECT_EQ(frame->FrameWidth(), static_cast<int>(RectWidth(Bounds())));
  frame->RestoreForm();
  EXPECT_EQ(Bounds(), (TRect{before.Left, before.Top, before.Right + 6, before.Bottom + 6}));
}

TEST_F(FrameTest, BlendingMixesTheThemedFrameWithTheScreenBehind) {
  UseSkylineTheme();
  TSkForm* frame = Make(400, 300);
  frame->SetCaption(L"");
  frame->Blending().SetValue(100);
  frame->Blending().SetEnabled(true);
  SendMessageW(Window(), WM_NCACTIVATE, TRUE, 0);
  ASSERT_NE(frame->BackgroundImage(), nullptr);
  TskBitmap painted;
  painted.SetSize(frame->FrameWidth(), frame->FrameHeight());
  {
    TSkBorrowedCanvas canvas(painted.DC());
    ThemeManager().CurrentTheme()->PaintWindow(WindowKindOf(kbsStandard), canvas, "default", frame->WindowInfo());
  }
  for (TPoint p : {TPoint{60, 2}, TPoint{120, frame->ClientRect().Top - 2}, TPoint{1, 150}}) {
    EXPECT_EQ(ScreenRgb(Window(), p.X, p.Y),
              Mix(Rgb(painted, p.X, p.Y), Rgb(*frame->BackgroundImage(), p.X, p.Y), 100))
        << p.X << "," << p.Y;
  }
}

TEST_F(FrameTest, HoverLookFollowsTheMouseAndTheTimerClearsItWhenTheMouseLeftUnseen) {
  TSkForm* frame = Make(400, 300);
  const TPoint close = Center(frame->ButtonRect(0));
  const LPARAM at = ScreenPoint(Window(), close);
  SetCursorPos(LOWORD(at), HIWORD(at));
  Move(close);
  EXPECT_EQ(frame->HotZone(), hcClose);
  Move(Center(frame->ButtonRect(2)));
  EXPECT_EQ(frame->HotZone(), hcMinimize);
  // The mouse leaves the window without any message reaching it: the
  // 400 ms check notices.
  Move(close);
  const TRect bounds = Bounds();
  SetCursorPos(bounds.Right + 40, bounds.Top + 150);
  EXPECT_TRUE(PumpUntil([&] { return frame->HotZone() != hcClose; }, 1500));
  EXPECT_LT(frame->HotZone(), hcClose) << "no button is hot";
}

}  // namespace
