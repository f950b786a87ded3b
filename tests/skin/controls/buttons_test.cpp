// The push button, the check box, the group box and the panel, driven by
// real mouse and key messages; their classic looks and the theme's button
// font are checked pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "forms/std_components.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_list_box.h"
#include "skin/controls/sk_group_box.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

namespace {

// The smallest rectangle holding every pixel in which the two renders
// differ (empty when they are the same).
TRect DiffBox(const TskBitmap& a, const TskBitmap& b) {
  TRect box{a.Width(), a.Height(), 0, 0};
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (Rgb(a, x, y) == Rgb(b, x, y)) continue;
      box.Left = std::min(box.Left, x);
      box.Top = std::min(box.Top, y);
      box.Right = std::max(box.Right, x + 1);
      box.Bottom = std::max(box.Bottom, y + 1);
    }
  }
  return IsRectEmpty(box) ? TRect{0, 0, 0, 0} : box;
}

bool SameRender(const TskBitmap& a, const TskBitmap& b) { return IsRectEmpty(DiffBox(a, b)); }

TSize TextSizeIn(const TFont& font, const std::wstring& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font.Handle());
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  DeleteDC(dc);
  return TSize{size.cx, size.cy};
}

// A theme that defines buttons, check boxes and group boxes and records
// what it is asked to paint.
class TRecordingTheme : public TskTheme {
 public:
  struct TCall {
    int State;
    TRect Rect;
    TRect CaptionRect;
    std::string Object;
  };
  std::vector<TCall> Buttons, Checks, Groups, GroupTexts, CheckTexts;

  bool DefinesButton(int, const std::string&) override { return true; }
  bool DefinesCheckBox(int, const std::string&) override { return true; }
  bool DefinesGroupBox(int, const std::string&) override { return true; }
  void PaintButton(int, TCanvas&, const std::string& object, const TskStateRecord& record) override {
    Buttons.push_back({record.State, record.Rect, {}, object});
  }
  void PaintCheckBox(int, TCanvas&, const std::string& object, const TskStateRecord& record) override {
    Checks.push_back({record.State, record.Rect, {}, object});
  }
  void PaintCheckBoxText(int, TCanvas&, const std::string& object, const TskTextInfo& info,
                         const TskStateRecord& record) override {
    CheckTexts.push_back({record.State, info.Rect, {}, object});
  }
  void PaintGroupBox(int, TCanvas&, const std::string& object, const TskGroupBoxRecord& record) override {
    Groups.push_back({record.State, record.Rect, record.CaptionRect, object});
  }
  void PaintGroupBoxText(int, TCanvas&, const std::string& object, const TskTextInfo& info,
                         const TskStateRecord& record) override {
    GroupTexts.push_back({record.State, info.Rect, {}, object});
  }
};

// The classic looks are checked with the platform's visual styles off (the
// level between theme and classic drawing); they are loaded again after.
class ButtonsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeThemeLibrary();
    visualStyleLoads_ = VisualStylesLoadCount();
    ReleaseAllVisualStyles();
  }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
    for (int i = 0; i < visualStyleLoads_; ++i) LoadVisualStyles();
  }
  int visualStyleLoads_ = 0;
  template <class T>
  T* Make(TWinControl* parent, int left, int top, int width, int height) {
    auto* control = CreateComponent<T>(&host_->Form());
    control->SetBounds(left, top, width, height);
    control->SetParent(parent);
    return control;
  }
  TForm& Form() { return host_->Form(); }
  TRecordingTheme& UseRecordingTheme() {
    auto theme = std::make_unique<TRecordingTheme>();
    TRecordingTheme& result = *theme;
    ThemeManager().SetCurrentTheme(std::move(theme));
    return result;
  }
  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
};

// ---- push button -------------------------------------------------------------------

TEST_F(ButtonsTest, ButtonIsPressedOnlyWhileHeldInsideAndClicksOnlyOnReleaseInside) {
  auto* button = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  button->SetEditFrameStyle(false);
  button->SetCaption(L"Go");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  // The ring inside the black outline of a focused button: raised at rest,
  // shadow while pressed.
  auto ringPixel = [&] {
    const int ring = button->HasFocus() || button->IsActiveDefault() ? 1 : 0;
    return Rgb(*RenderControl(*button), ring, 12);
  };
  EXPECT_EQ(ringPixel(), SysRgb(COLOR_BTNHIGHLIGHT));

  MouseDown(*button, 10, 10);
  EXPECT_TRUE(button->Pressed());
  EXPECT_EQ(ringPixel(), SysRgb(COLOR_BTNSHADOW));
  MouseMove(*button, 120, 10, MK_LBUTTON);  // dragged out
  EXPECT_FALSE(button->Pressed());
  EXPECT_EQ(ringPixel(), SysRgb(COLOR_BTNHIGHLIGHT));
  MouseMove(*button, 30, 12, MK_LBUTTON);  // back in
  EXPECT_TRUE(button->Pressed());
  MouseMove(*button, 30, -5, MK_LBUTTON);
  MouseUp(*button, 30, -5);  // released outside: no click
  EXPECT_FALSE(button->Pressed());
  EXPECT_EQ(clicks, 0);

  MouseDown(*button, 10, 10);
  MouseMove(*button, -3, 10, MK_LBUTTON);
  MouseMove(*button, 74, 24, MK_LBUTTON);
  MouseUp(*button, 74, 24);  // released inside after a detour
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button->Pressed());

  // Focused by the press: a dotted focus rectangle four pixels in.
  ASSERT_TRUE(button->HasFocus());
  auto focusDots = [&] {
    auto pixels = RenderControl(*button);
    int dots = 0;
    for (int y = 4; y < 21; ++y) dots += Rgb(*pixels, 4, y) != SysRgb(COLOR_BTNFACE) ? 1 : 0;
    return dots;
  };
  EXPECT_GE(focusDots(), 5);
  SendMessageW(button->Handle(), WM_KILLFOCUS, 0, 0);
  EXPECT_EQ(focusDots(), 0);

  MouseDown(*button, 10, 10, WM_RBUTTONDOWN);
  MouseUp(*button, 10, 10, WM_RBUTTONUP);
  EXPECT_EQ(clicks, 1);  // only the left button presses
  button->SetEnabled(false);
  Click(*button, 10, 10);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonsTest, SpaceReleaseEnterAndEscapeOfACancelButtonClick) {
  auto* button = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  HWND window = button->Handle();

  SendMessageW(window, WM_KEYDOWN, VK_SPACE, 1);
  SendMessageW(window, WM_KEYDOWN, VK_SPACE, 0x40000001);  // auto-repeat
  EXPECT_TRUE(button->Pressed());
  EXPECT_EQ(clicks, 0);  // Space clicks on its release
  SendMessageW(window, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0000001u));
  EXPECT_FALSE(button->Pressed());
  EXPECT_EQ(clicks, 1);

  // The focus leaves while Space is held: its release is no click.
  SendMessageW(window, WM_KEYDOWN, VK_SPACE, 1);
  SendMessageW(window, WM_KILLFOCUS, 0, 0);
  SendMessageW(window, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0000001u));
  EXPECT_EQ(clicks, 1);

  PressKey(*button, VK_RETURN);
  EXPECT_EQ(clicks, 2);
  PressKey(*button, VK_ESCAPE);
  EXPECT_EQ(clicks, 2);
  button->SetCancel(true);
  PressKey(*button, VK_ESCAPE);
  EXPECT_EQ(clicks, 3);
}

// Enter and Escape posted to whichever control has the form's focus, and
// delivered by the application's loop as a reader's key would be: the
// default button (here inside a group box) takes Enter, the cancel button
// Escape, unless a button holds the focus or the button cannot be used.
TEST_F(ButtonsTest, EnterAndEscapeReachTheDefaultAndCancelButtonsWhereverTheFocusIs) {
  auto* edit = Make<TSkEdit>(&Form(), 10, 10, 120, 21);
  auto* list = Make<TSkListBox>(&Form(), 10, 40, 120, 60);
  list->Items().Add(L"one");
  auto* other = Make<TSkButton>(&Form(), 150, 10, 75, 25);
  auto* group = Make<TSkGroupBox>(&Form(), 150, 40, 200, 120);
  auto* ok = Make<TSkButton>(group, 20, 30, 75, 25);
  auto* cancel = Make<TSkButton>(&Form(), 150, 170, 75, 25);
  ok->SetDefault(true);
  cancel->SetCancel(true);
  std::vector<std::string> clicked;
  ok->OnClick = [&](TObject*) { clicked.push_back("ok"); };
  cancel->OnClick = [&](TObject*) { clicked.push_back("cancel"); };
  other->OnClick = [&](TObject*) { clicked.push_back("other"); };

  struct TCase {
    TWinControl* Focus;
    WORD Key;
    bool OkUsable;
    const char* Clicked;  // nullptr: nothing
  };
  const TCase cases[] = {
      {edit, VK_RETURN, true, "ok"},        {edit, VK_ESCAPE, true, "cancel"},
      {list, VK_RETURN, true, "ok"},        {list, VK_ESCAPE, true, "cancel"},
      {other, VK_RETURN, true, "other"},    {other, VK_ESCAPE, true, "cancel"},
      {edit, VK_RETURN, false, nullptr},    {cancel, VK_RETURN, true, "cancel"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "focus " << (c.Focus == edit ? "edit" : c.Focus == list ? "list" : "button")
                                    << ", key " << c.Key << ", ok usable " << c.OkUsable);
    ok->SetEnabled(c.OkUsable);
    Form().SetActiveControl(c.Focus);
    clicked.clear();
    PostMessageW(c.Focus->Handle(), WM_KEYDOWN, c.Key, 1);
    PostMessageW(c.Focus->Handle(), WM_KEYUP, c.Key, static_cast<LPARAM>(0xC0000001u));
    Application->ProcessMessages();
    EXPECT_EQ(clicked, c.Clicked == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.Clicked});
  }
  // A default button out of sight takes no key.
  ok->SetEnabled(true);
  group->SetVisible(false);
  Form().SetActiveControl(edit);
  clicked.clear();
  PostMessageW(edit->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  Application->ProcessMessages();
  EXPECT_TRUE(clicked.empty());
}

TEST_F(ButtonsTest, ClassicDefaultButtonHasABlackOutlineWhileTheFocusIsOnANonButton) {
  auto* other = Make<TSkControl>(&Form(), 100, 10, 40, 20);
  auto* second = Make<TSkButton>(&Form(), 10, 80, 75, 25);
  auto* button = Make<TSkButton>(&Form(), 10, 40, 75, 25);
  button->SetEditFrameStyle(false);
  button->SetDefault(true);

  Form().SetActiveControl(other);
  ASSERT_EQ(Form().ActiveControl(), other);
  auto pixels = RenderControl(*button);
  EXPECT_EQ(Rgb(*pixels, 0, 12), 0x000000u);                  // outline
  EXPECT_EQ(Rgb(*pixels, 1, 12), SysRgb(COLOR_BTNHIGHLIGHT));  // raised bevel inside it
  EXPECT_EQ(Rgb(*pixels, 73, 12), SysRgb(COLOR_3DDKSHADOW));
  EXPECT_EQ(Rgb(*pixels, 72, 12), SysRgb(COLOR_BTNSHADOW));

  // Another button holds the focus: this one is no active default.
  Form().SetActiveControl(second);
  ASSERT_EQ(Form().ActiveControl(), second);
  pixels = RenderControl(*button);
  EXPECT_EQ(Rgb(*pixels, 0, 12), SysRgb(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Rgb(*pixels, 74, 12), SysRgb(COLOR_3DDKSHADOW));
}

// A glyph of count sub-pictures of size × size: each filled with its own
// colour (0xRRGGBB), with a transparent corner of the bottom-left pixel's
// colour (olive) in each.
std::unique_ptr<TBitmap> MakeGlyph(int size, const std::vector<uint32_t>& colours) {
  auto result = std::make_unique<TBitmap>();
  TBitmap& bitmap = *result;
  bitmap.SetSize(size * static_cast<int>(colours.size()), size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const bool corner = x % size < 3 && y >= size - 3;
      bitmap.Pixels()[y * bitmap.Width() + x] = 0xFF000000u | (corner ? 0x808000u : colours[x / size]);
    }
  }
  return result;
}

TEST_F(ButtonsTest, GlyphCountFollowsThePicturesShapeAndTheStatePicksTheSubPicture) {
  auto* button = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  button->SetEditFrameStyle(false);
  button->SetGlyph(*MakeGlyph(16, {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00}));
  EXPECT_EQ(button->NumGlyphs(), 4);
  button->SetGlyph(*MakeGlyph(16, {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFF00, 0x00FFFF}));
  EXPECT_EQ(button->NumGlyphs(), 1);  // 80 × 16: five is too many
  button->SetGlyph(*MakeGlyph(16, {0xFF0000, 0x0000FF, 0x00FF00}));
  EXPECT_EQ(button->NumGlyphs(), 3);

  // No caption: the glyph is centred; its olive corner shows the face.
  const int left = (75 - 16) / 2;
  const int top = (25 - 16) / 2;
  auto pixels = RenderControl(*button);
  EXPECT_EQ(Rgb(*pixels, left, top + 8), 0xFF0000u);
  EXPECT_EQ(Rgb(*pixels, left - 1, top + 8), SysRgb(COLOR_BTNFACE));
  EXPECT_EQ(Rgb(*pixels, left + 15, top + 15), 0xFF0000u);
  EXPECT_EQ(Rgb(*pixels, left, top + 15), SysRgb(COLOR_BTNFACE));
  // Pressed: the third picture, one pixel down and right with the face.
  MouseDown(*button, 5, 5);
  pixels = RenderControl(*button);
  EXPECT_EQ(Rgb(*pixels, left + 1, top + 9), 0x00FF00u);
  EXPECT_EQ(Rgb(*pixels, left, top + 9), SysRgb(COLOR_BTNFACE));
  MouseUp(*button, 5, 5);
  // Disabled: the second.
  button->SetEnabled(false);
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), 0x0000FFu);
  // A single picture is drawn grey when disabled: red has lightness one
  // half, 160 + 25.
  button->SetGlyph(*MakeGlyph(16, {0xFF0000}));
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), 0xB9B9B9u);
}

TEST_F(ButtonsTest, WithoutAGlyphTheButtonShowsItsImageFromTheList) {
  auto* images = CreateComponent<TImageList>(&Form());
  images->SetSize(16, 16);
  ASSERT_EQ(images->AddMasked(*MakeGlyph(16, {0xFF0000, 0x0000FF}), TColor(0x008080)), 0);  // olive mask
  auto* button = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  button->SetEditFrameStyle(false);
  button->SetImages(images);
  const int left = (75 - 16) / 2;
  const int top = (25 - 16) / 2;
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), SysRgb(COLOR_BTNFACE));  // index −1: none
  button->SetImageIndex(1);
  auto pixels = RenderControl(*button);
  EXPECT_EQ(Rgb(*pixels, left + 8, top + 8), 0x0000FFu);
  EXPECT_EQ(Rgb(*pixels, left, top + 15), SysRgb(COLOR_BTNFACE));  // masked corner
  button->SetImageIndex(2);
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), SysRgb(COLOR_BTNFACE));  // no such image
  // A glyph comes first.
  button->SetImageIndex(0);
  button->SetGlyph(*MakeGlyph(16, {0x00FF00}));
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), 0x00FF00u);
  button->SetGlyph(TBitmap());
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), 0xFF0000u);
  // The list freed: the button lets go of it.
  delete images;
  EXPECT_EQ(button->Images(), nullptr);
  EXPECT_EQ(Rgb(*RenderControl(*button), left + 8, top + 8), SysRgb(COLOR_BTNFACE));
}

TEST_F(ButtonsTest, GlyphAndCaptionAreCentredTogetherWithTheSpacingBetweenThem) {
  auto* button = Make<TSkButton>(&Form(), 10, 10, 100, 30);
  button->SetEditFrameStyle(false);
  button->SetGlyph(*MakeGlyph(16, {0xFF0000}));
  button->SetCaption(L"Search");
  const TSize text = TextSizeIn(button->Font(), L"Search");
  auto glyphLeft = [&](const TskBitmap& pixels) {
    for (int x = 0; x < 100; ++x) {
      if (Rgb(pixels, x, 15) == 0xFF0000u) return x;
    }
    return -1;
  };
  const int expected = (100 - 16 - 4 - text.Width) / 2;
  EXPECT_EQ(glyphLeft(*RenderControl(*button)), expected);
  // The caption (dark ink inside the bevels) starts after the glyph and the
  // spacing, up to two pixels into its cell.
  auto inkLeft = [](const TskBitmap& pixels) {
    for (int x = 3; x < 97; ++x) {
      for (int y = 3; y < 27; ++y) {
        const uint32_t c = Rgb(pixels, x, y);
        if (((c >> 16) & 0xFF) < 0x50 && ((c >> 8) & 0xFF) < 0x50 && (c & 0xFF) < 0x50) return x;
      }
    }
    return -1;
  };
  const int captionLeft = inkLeft(*RenderControl(*button));
  EXPECT_GE(captionLeft, expected + 16 + 4);
  EXPECT_LE(captionLeft, expected + 16 + 4 + 2);
  // Without a caption the glyph alone is centred.
  button->SetCaption(L"");
  EXPECT_EQ(glyphLeft(*RenderControl(*button)), (100 - 16) / 2);
  button->SetCaption(L"Search");

  // Glyph right: mirrored.
  button->SetLayout(blGlyphRight);
  EXPECT_EQ(glyphLeft(*RenderControl(*button)), 100 - expected - 16);
  // A margin puts the glyph at that distance from its edge.
  button->SetLayout(blGlyphLeft);
  button->SetMargin(5);
  EXPECT_EQ(glyphLeft(*RenderControl(*button)), 5);
}

TEST_F(ButtonsTest, SizeDeltaDrawsTheCaptionOnePointSmallerThanTheThemesButtonFont) {
  UseSkylineTheme();
  TskTheme* theme = ThemeOf(nullptr);
  ASSERT_NE(theme, nullptr);
  ASSERT_TRUE(DefinesButtonObject(bkPushButton, kDefaultObjectName, nullptr));
  auto* blank = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  auto* plain = Make<TSkButton>(&Form(), 10, 40, 75, 25);
  auto* smaller = Make<TSkButton>(&Form(), 10, 70, 75, 25);
  plain->SetCaption(L"Search");
  smaller->SetCaption(L"Search");
  smaller->FontOptions().SetSizeDelta(-1);

  // The caption as the theme draws it in a font of the given size onto the
  // captionless button.
  const TFont& themeFont = theme->Fonts().Font(fiButtonTextNormal);
  auto expected = [&](int size) {
    auto pixels = RenderControl(*blank);
    TSkBorrowedCanvas canvas(pixels->DC());
    canvas.Font().Assign(themeFont);
    canvas.Font().SetSize(size);
    const TRect bounds{0, 0, 75, 25};
    theme->PaintButtonText(bkPushButton, canvas, kDefaultObjectName,
                           MakeTextInfo(bounds, L"Search", DT_CENTER | DT_VCENTER | DT_SINGLELINE),
                           MakeStateRecord(bounds, btsNormal));
    GdiFlush();
    return pixels;
  };
  const int size = themeFont.Size();
  auto plainPixels = RenderControl(*plain);
  auto smallerPixels = RenderControl(*smaller);
  EXPECT_TRUE(SameRender(*plainPixels, *expected(size)));
  EXPECT_TRUE(SameRender(*smallerPixels, *expected(size - 1)));
  const TRect plainInk = DiffBox(*plainPixels, *RenderControl(*blank));
  const TRect smallerInk = DiffBox(*smallerPixels, *RenderControl(*blank));
  EXPECT_LT(RectWidth(smallerInk), RectWidth(plainInk));
  EXPECT_GT(RectWidth(smallerInk), 0);
}

TEST_F(ButtonsTest, ThemedButtonPaintsTheStateByteOfItsState) {
  TRecordingTheme& theme = UseRecordingTheme();
  auto* other = Make<TSkControl>(&Form(), 200, 10, 40, 20);
  auto* button = Make<TSkButton>(&Form(), 10, 10, 75, 25);
  auto stateNow = [&] {
    theme.Buttons.clear();
    RenderControl(*button);
    return theme.Buttons.empty() ? -1 : theme.Buttons.back().State;
  };
  EXPECT_EQ(stateNow(), btsNormal);
  EXPECT_EQ(theme.Buttons.back().Rect, (TRect{0, 0, 75, 25}));
  MouseMove(*button, 10, 10);
  EXPECT_EQ(stateNow(), btsHot);
  MouseDown(*button, 10, 10);
  EXPECT_EQ(stateNow(), btsPressed);
  MouseUp(*button, 10, 10);
  MouseAway(*button);
  ASSERT_TRUE(button->HasFocus());  // a press focuses the button
  EXPECT_EQ(stateNow(), btsFocused);

  button->SetDefault(true);
  Form().SetActiveControl(other);
  ASSERT_FALSE(button->HasFocus());
  EXPECT_EQ(stateNow(), btsDefault);
  button->SetDefault(false);
  EXPECT_EQ(stateNow(), btsNormal);
  button->SetEnabled(false);
  EXPECT_EQ(stateNow(), btsDisabled);
}

TEST_F(ButtonsTest, WordWrapBreaksTheCaptionIntoCentredLines) {
  auto* button = Make<TSkButton>(&Form(), 10, 10, 60, 50);
  button->SetEditFrameStyle(false);
  auto* box = Make<TSkCheckBox>(&Form(), 10, 70, 70, 50);
  box->SetEditFrameStyle(false);
  const int line = TextSizeIn(button->Font(), L"Tg").Height;
  for (TControl* control : std::vector<TControl*>{button, box}) {
    control->SetCaption(L"");
    const auto blank = RenderControl(*control);
    control->SetCaption(L"Search all pages");
    const TRect oneLine = DiffBox(*RenderControl(*control), *blank);
    EXPECT_LE(RectHeight(oneLine), line);
    if (control == button) button->SetWordWrap(true);
    if (control == box) box->SetWordWrap(true);
    const TRect wrapped = DiffBox(*RenderControl(*control), *blank);
    EXPECT_GT(RectHeight(wrapped), line * 3 / 2);
    // The lines as a block, centred in the height of 50.
    EXPECT_NEAR((wrapped.Top + wrapped.Bottom) / 2, 25, 3);
  }
}

// ---- check box ---------------------------------------------------------------------------

TEST_F(ButtonsTest, CheckBoxCyclesOnClickAndSpaceAndReportsOnlyChanges) {
  auto* box = Make<TSkCheckBox>(&Form(), 10, 10, 98, 20);
  box->SetCaption(L"Case sensitive");
  std::vector<TSkCheckBoxState> seen;
  box->OnClick = [&](TObject*) { seen.push_back(box->State()); };

  Click(*box, 5, 10);
  Click(*box, 50, 10);
  PressKey(*box, VK_SPACE);
  EXPECT_EQ(seen, (std::vector<TSkCheckBoxState>{kcbsChecked, kcbsUnChecked, kcbsChecked}));
  EXPECT_TRUE(box->Checked());

  box->SetAllowGrayed(true);
  box->SetChecked(false);
  seen.clear();
  Click(*box, 5, 10);
  EXPECT_FALSE(box->Checked());  // mixed is not checked
  Click(*box, 5, 10);
  Click(*box, 5, 10);
  EXPECT_EQ(seen, (std::vector<TSkCheckBoxState>{kcbsMixed, kcbsChecked, kcbsUnChecked}));

  // No change, no OnClick; a press released outside changes nothing.
  seen.clear();
  box->SetChecked(false);
  box->SetState(kcbsUnChecked);
  MouseDown(*box, 5, 10);
  MouseMove(*box, 5, 40, MK_LBUTTON);
  MouseUp(*box, 5, 40);
  box->SetEnabled(false);
  Click(*box, 5, 10);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(box->State(), kcbsUnChecked);
}

TEST_F(ButtonsTest, ClassicCheckBoxDrawsTheStateThePressAndTheBoxSide) {
  auto* box = Make<TSkCheckBox>(&Form(), 10, 10, 98, 20);
  box->SetEditFrameStyle(false);
  const TRect r = box->BoxRect();
  EXPECT_EQ(r, (TRect{0, 3, 13, 16}));
  EXPECT_EQ(box->CaptionRect(), (TRect{18, 0, 98, 20}));  // after the spacing of 5
  // Dark pixels inside the box's interior: the check mark.
  auto markPixels = [&] {
    auto pixels = RenderControl(*box);
    int dark = 0;
    for (int y = r.Top + 3; y < r.Bottom - 3; ++y) {
      for (int x = r.Left + 3; x < r.Right - 3; ++x) dark += Rgb(*pixels, x, y) == SysRgb(COLOR_WINDOWTEXT) ? 1 : 0;
    }
    return dark;
  };
  EXPECT_EQ(markPixels(), 0);
  EXPECT_EQ(Rgb(*RenderControl(*box), r.Left + 3, r.Top + 3), SysRgb(COLOR_WINDOW));
  box->SetChecked(true);
  EXPECT_GT(markPixels(), 4);

  // Held down, the interior takes the face colour.
  box->SetChecked(false);
  MouseDown(*box, 5, 10);
  EXPECT_EQ(Rgb(*RenderControl(*box), r.Left + 3, r.Top + 3), SysRgb(COLOR_BTNFACE));
  MouseUp(*box, 5, 10);

  // A disabled caption is embossed: highlight under shadow-coloured text.
  box->SetCaption(L"Case");
  auto captionPixels = [&](uint32_t colour) {
    auto pixels = RenderControl(*box);
    int count = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 18; x < 98; ++x) count += Rgb(*pixels, x, y) == colour ? 1 : 0;
    }
    return count;
  };
  EXPECT_EQ(captionPixels(SysRgb(COLOR_BTNHIGHLIGHT)), 0);
  EXPECT_GT(captionPixels(SysRgb(COLOR_WINDOWTEXT)), 0);
  box->SetEnabled(false);
  EXPECT_GT(captionPixels(SysRgb(COLOR_BTNHIGHLIGHT)), 0);
  EXPECT_GT(captionPixels(SysRgb(COLOR_BTNSHADOW)), 0);
  EXPECT_EQ(captionPixels(SysRgb(COLOR_WINDOWTEXT)), 0);
  box->SetEnabled(true);
  box->SetCaption(L"");

  // Box on the right, the caption left of it.
  box->SetAlignment(kalRightJustify);
  EXPECT_EQ(box->BoxRect(), (TRect{85, 3, 98, 16}));
  EXPECT_EQ(box->CaptionRect(), (TRect{0, 0, 80, 20}));
  auto pixels = RenderControl(*box);
  EXPECT_EQ(Rgb(*pixels, 85 + 3, 3 + 3), SysRgb(COLOR_WINDOW));
  EXPECT_EQ(Rgb(*pixels, 3, 5), SysRgb(COLOR_BTNFACE));  // the form shows through
}

TEST_F(ButtonsTest, ThemedCheckBoxPaintsTheCheckStateOfItsStateAndPress) {
  TRecordingTheme& theme = UseRecordingTheme();
  auto* box = Make<TSkCheckBox>(&Form(), 10, 10, 98, 20);
  box->SetCaption(L"Case");
  box->SetThemeObject("search");
  auto stateNow = [&] {
    theme.Checks.clear();
    RenderControl(*box);
    return theme.Checks.empty() ? -1 : theme.Checks.back().State;
  };
  EXPECT_EQ(stateNow(), chsUncheckedNormal);
  EXPECT_EQ(theme.Checks.back().Rect, (TRect{0, 3, 13, 16}));  // the theme's 13 × 13, centred
  EXPECT_EQ(theme.Checks.back().Object, "search");
  ASSERT_FALSE(theme.CheckTexts.empty());
  EXPECT_EQ(theme.CheckTexts.back().Object, kDefaultObjectName);  // the text always as "default"
  EXPECT_EQ(theme.CheckTexts.back().Rect, (TRect{18, 0, 98, 20}));
  MouseMove(*box, 5, 10);
  EXPECT_EQ(stateNow(), chsUncheckedHot);
  MouseDown(*box, 5, 10);
  EXPECT_EQ(stateNow(), chsUncheckedPressed);
  MouseUp(*box, 5, 10);
  EXPECT_EQ(stateNow(), chsCheckedHot);
  MouseAway(*box);
  EXPECT_EQ(stateNow(), chsCheckedNormal);
  box->SetState(kcbsMixed);
  EXPECT_EQ(stateNow(), chsMixedNormal);
  box->SetEnabled(false);
  EXPECT_EQ(stateNow(), chsMixedDisabled);
  box->SetState(kcbsChecked);
  EXPECT_EQ(stateNow(), chsCheckedDisabled);
  box->SetState(kcbsUnChecked);
  EXPECT_EQ(stateNow(), chsUncheckedDisabled);
}

// ---- group box -------------------------------------------------------------------------

TEST_F(ButtonsTest, DisablingTheGroupBoxDisablesEveryChildAndEnablingEnablesThemAll) {
  auto* group = Make<TSkGroupBox>(&Form(), 10, 10, 250, 200);
  group->SetCaption(L"Search");
  auto* search = Make<TSkButton>(group, 20, 20, 75, 25);
  auto* reset = Make<TSkButton>(group, 100, 20, 75, 25);
  auto* check = Make<TSkCheckBox>(group, 20, 60, 98, 20);
  auto* list = Make<TSkPanel>(group, 20, 90, 120, 60);
  auto* label = Make<TLabel>(group, 20, 160, 60, 15);
  const std::vector<TControl*> children{search, reset, check, list, label};
  reset->SetEnabled(false);
  label->SetEnabled(false);

  group->SetEnabled(false);
  EXPECT_FALSE(group->Enabled());
  for (TControl* child : children) EXPECT_FALSE(child->Enabled());
  EXPECT_FALSE(IsWindowEnabled(search->Handle()));

  group->SetEnabled(true);
  for (TControl* child : children) EXPECT_TRUE(child->Enabled());
  EXPECT_TRUE(IsWindowEnabled(reset->Handle()));
  int clicks = 0;
  reset->OnClick = [&](TObject*) { ++clicks; };
  Click(*reset, 5, 5);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonsTest, CaptionCheckBoxOfAGroupBoxEnablesTheOtherChildrenWhileChecked) {
  auto* group = Make<TSkGroupBox>(&Form(), 10, 10, 250, 150);
  group->SetCaption(L"Filter");
  auto* button = Make<TSkButton>(group, 20, 30, 75, 25);
  auto* check = Make<TSkCheckBox>(group, 20, 70, 98, 20);
  group->SetUseCheckBox(true);
  TSkCheckBox* box = group->CheckBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->Parent(), group);
  EXPECT_EQ(box->Caption(), L"Filter");
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(box->Left(), group->CaptionMargin());
  EXPECT_EQ(group->CaptionRect(), box->BoundsRect());
  EXPECT_EQ(group->ContentRect().Top, box->Height());
  // Wide enough for box, spacing and caption.
  EXPECT_GE(box->Width(), 13 + 5 + TextSizeIn(box->Font(), L"Filter").Width);

  Click(*box, 5, box->Height() / 2);  // a real click on the caption check box
  EXPECT_FALSE(group->Checked());
  EXPECT_FALSE(button->Enabled());
  EXPECT_FALSE(check->Enabled());
  EXPECT_TRUE(box->Enabled());
  Click(*box, 5, box->Height() / 2);
  EXPECT_TRUE(group->Checked());
  EXPECT_TRUE(button->Enabled());
  EXPECT_TRUE(check->Enabled());

  group->SetChecked(false);
  EXPECT_FALSE(box->Checked());
  EXPECT_FALSE(button->Enabled());
  // The caption follows the group's.
  group->SetCaption(L"Filter results");
  EXPECT_EQ(box->Caption(), L"Filter results");
  EXPECT_EQ(group->CaptionRect(), box->BoundsRect());

  // Without the check box the children follow the group's Enabled again.
  const int count = group->ControlCount();
  group->SetUseCheckBox(false);
  EXPECT_EQ(group->CheckBox(), nullptr);
  EXPECT_EQ(group->ControlCount(), count - 1);
  EXPECT_TRUE(button->Enabled());
  EXPECT_TRUE(check->Enabled());
}

TEST_F(ButtonsTest, GroupBoxPlacesCaptionFrameAndAlignedChildrenByItsCaptionsSize) {
  auto* group = Make<TSkGroupBox>(&Form(), 10, 10, 200, 120);
  group->SetEditFrameStyle(false);
  const TSize empty = TextSizeIn(group->Font(), L"Tg");
  EXPECT_EQ(group->ContentRect(), (TRect{12, empty.Height, 188, 112}));
  EXPECT_TRUE(IsRectEmpty(group->CaptionRect()));

  group->SetCaption(L"Search");
  const TSize text = TextSizeIn(group->Font(), L"Search");
  EXPECT_EQ(group->CaptionRect(), (TRect{12, 0, 12 + text.Width, text.Height}));
  EXPECT_EQ(group->FrameRect(), (TRect{3, text.Height / 2 + 1, 198, 118}));
  auto* child = Make<TSkControl>(group, 0, 0, 10, 10);
  child->SetAlign(alClient);
  EXPECT_EQ(child->BoundsRect(), (TRect{12, text.Height, 188, 112}));

  // Etched: shadow, then highlight one pixel in; the caption's place open.
  auto pixels = RenderControl(*group);
  const int top = text.Height / 2 + 1;
  const uint32_t shadow = SysRgb(COLOR_BTNSHADOW);
  const uint32_t highlight = SysRgb(COLOR_BTNHIGHLIGHT);
  EXPECT_EQ(Rgb(*pixels, 3, 60), shadow);
  EXPECT_EQ(Rgb(*pixels, 4, 60), highlight);
  EXPECT_EQ(Rgb(*pixels, 196, 60), shadow);
  EXPECT_EQ(Rgb(*pixels, 197, 60), highlight);
  EXPECT_EQ(Rgb(*pixels, 100, 116), shadow);
  EXPECT_EQ(Rgb(*pixels, 100, 117), highlight);
  EXPECT_EQ(Rgb(*pixels, 6, top), shadow);
  EXPECT_EQ(Rgb(*pixels, 6, top + 1), highlight);
  EXPECT_EQ(Rgb(*pixels, 12 + text.Width + 2, top), shadow);
  int shadowUnderCaption = 0;
  for (int x = 12; x < 12 + text.Width; ++x) shadowUnderCaption += Rgb(*pixels, x, top) == shadow ? 1 : 0;
  EXPECT_LT(shadowUnderCaption, text.Width / 2);
  EXPECT_EQ(Rgb(*pixels, 1, 60), SysRgb(COLOR_BTNFACE));  // the form behind the transparent box
}

TEST_F(ButtonsTest, ThemedGroupBoxPaintsItsFrameAsDefaultWithTheCaptionLeftOpen) {
  TRecordingTheme& theme = UseRecordingTheme();
  auto* group = Make<TSkGroupBox>(&Form(), 10, 10, 200, 120);
  group->SetThemeObject("search");
  group->SetCaption(L"Search");
  RenderControl(*group);
  ASSERT_FALSE(theme.Groups.empty());
  EXPECT_EQ(theme.Groups.back().Object, kDefaultObjectName);
  EXPECT_EQ(theme.Groups.back().State, 0);
  EXPECT_EQ(theme.Groups.back().Rect, group->FrameRect());
  EXPECT_EQ(theme.Groups.back().CaptionRect, group->CaptionRect());
  ASSERT_FALSE(theme.GroupTexts.empty());
  EXPECT_EQ(theme.GroupTexts.back().Object, "search");
  EXPECT_EQ(theme.GroupTexts.back().Rect, group->CaptionRect());
  // Measured in the theme's group-box font.
  const TSize text = TextSizeIn(theme.Fonts().Font(fiGroupBoxTextNormal), L"Search");
  EXPECT_EQ(group->CaptionRect(), (TRect{12, 0, 12 + text.Width, text.Height}));
  group->SetEnabled(false);
  RenderControl(*group);
  EXPECT_EQ(theme.Groups.back().State, 1);
}

// ---- panel ------------------------------------------------------------------------------

TEST_F(ButtonsTest, ClassicPanelIsRaisedAndPlacesItsCaptionByAlignmentAndTheHeightOfW) {
  auto* panel = Make<TSkPanel>(&Form(), 10, 10, 200, 40);
  panel->SetEditFrameStyle(false);
  EXPECT_EQ(panel->BevelOuter(), kbvRaised);
  EXPECT_EQ(panel->BevelInner(), kbvNone);
  EXPECT_EQ(panel->BevelWidth(), 1);
  EXPECT_EQ(panel->ContentRect(), (TRect{1, 1, 199, 39}));
  const auto blank = RenderControl(*panel);
  EXPECT_EQ(Rgb(*blank, 0, 20), SysRgb(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Rgb(*blank, 199, 20), SysRgb(COLOR_3DDKSHADOW));
  EXPECT_EQ(Rgb(*blank, 100, 20), SysRgb(COLOR_BTNFACE));

  const int w = TextSizeIn(panel->Font(), L"W").Height;
  const int top = 1 + (38 - w) / 2;
  EXPECT_EQ(panel->CaptionRect(), (TRect{1, top, 199, top + w}));
  panel->SetCaption(L"Wide");
  const int textWidth = TextSizeIn(panel->Font(), L"Wide").Width;
  TRect ink = DiffBox(*RenderControl(*panel), *blank);
  EXPECT_GE(ink.Top, top);
  EXPECT_LE(ink.Bottom, top + w);
  EXPECT_NEAR((ink.Left + ink.Right) / 2, 100, 2);  // centred by default

  panel->SetAlignment(taLeftJustify);
  ink = DiffBox(*RenderControl(*panel), *blank);
  EXPECT_LE(ink.Left, 3);
  EXPECT_GE(ink.Left, 1);
  panel->SetAlignment(taRightJustify);
  ink = DiffBox(*RenderControl(*panel), *blank);
  EXPECT_GE(ink.Right, 199 - 3);
  EXPECT_LE(ink.Right, 199);
  EXPECT_GE(ink.Left, 199 - textWidth);

  // Twenty pixels taller: the caption moves down by ten.
  const int oldTop = ink.Top;
  panel->SetHeight(60);
  const auto tallBlank = [&] {
    panel->SetCaption(L"");
    auto pixels = RenderControl(*panel);
    panel->SetCaption(L"Wide");
    return pixels;
  }();
  ink = DiffBox(*RenderControl(*panel), *tallBlank);
  EXPECT_EQ(ink.Top, oldTop + 10);
}

TEST_F(ButtonsTest, ThemedPanelLaysOutChildrenInTheThemesContentRectangle) {
  auto* panel = Make<TSkPanel>(&Form(), 10, 10, 300, 50);
  auto* child = Make<TSkControl>(panel, 0, 0, 10, 10);
  child->SetAlign(alClient);
  EXPECT_EQ(child->BoundsRect(), (TRect{1, 1, 299, 49}));  // inside the bevel
  // The theme arrives: the children move into its content rectangle.
  UseSkylineTheme();
  ASSERT_TRUE(DefinesPanelObject(pkRaised, kDefaultObjectName, nullptr));
  const TRect expected = ThemeOf(nullptr)->PanelContentRect(pkRaised, TRect{0, 0, 300, 50}, kDefaultObjectName);
  ASSERT_NE(expected, (TRect{1, 1, 299, 49}));
  EXPECT_EQ(panel->ContentRect(), expected);
  EXPECT_EQ(child->BoundsRect(), expected);
  ClearTheme();
  EXPECT_EQ(child->BoundsRect(), (TRect{1, 1, 299, 49}));
  UseSkylineTheme();

  // The caption in the theme's panel font, centred by the height of "W".
  panel->SetCaption(L"Toolbar");
  const TFont& font = ThemeOf(nullptr)->Fonts().Font(fiPanelTextNormal);
  const int w = TextSizeIn(font, L"W").Height;
  const int top = expected.Top + (static_cast<int>(RectHeight(expected)) - w) / 2;
  EXPECT_EQ(panel->CaptionRect(), (TRect{expected.Left, top, expected.Right, top + w}));
}

}  // namespace
