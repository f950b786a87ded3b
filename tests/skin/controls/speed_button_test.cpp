// The speed button and the effect speed button in a real window: press
// states and clicks driven by mouse messages, groups, the repeat timer,
// glyph handling, the state bytes each drawing level paints with, the
// hand-off to the effect engine and the sounds of leaving.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "forms/forms_support.h"
#include "runtime/scope_exit.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_speed_button.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/menus/sk_menus.h"

namespace {

// A theme that defines only the tool-bar element and records what it is
// asked to paint. Tool items are filled white at rest and black for every
// other state, so a fade between the two is visible in the frames.
class TRecordingTheme : public TskTheme {
 public:
  std::vector<TskPartRecord> Items;
  std::vector<uint8_t> GlyphStates;
  std::vector<TskPixel> GlyphCentres;
  std::vector<uint8_t> TextStates;
  std::vector<TColor> TextColours;

  void Forget() {
    Items.clear();
    GlyphStates.clear();
    GlyphCentres.clear();
    TextStates.clear();
    TextColours.clear();
  }
  bool DefinesToolBar(int kind, const std::string&) override { return kind == 1; }
  void PaintToolItem(int, TCanvas& canvas, const std::string&, const TskPartRecord& record) override {
    Items.push_back(record);
    canvas.WithHandle([&](HDC dc) { FillRectColor(dc, record.Rect, record.State == 0 ? clWhite : clBlack); });
  }
  void PaintToolItemGlyph(int, TCanvas&, const std::string&, const TskGlyphRecord& glyph,
                          const TskPartRecord& record) override {
    GlyphStates.push_back(record.State);
    const TskBitmap* b = glyph.Bitmap;
    GlyphCentres.push_back(b != nullptr ? b->PixelAt(b->Width() / 2, b->Height() / 2) : 0);
  }
  void PaintToolItemText(int, TCanvas& canvas, const std::string&, const TskTextInfo&,
                         const TskPartRecord& record) override {
    TextStates.push_back(record.State);
    TextColours.push_back(canvas.Font().Color());
  }
};

// Gives button a glyph of square pictures of edge size side by side,
// picture i filled with colours[i]; the bottom-left pixel is white, the
// transparent colour.
void GiveGlyph(TSkSpeedButton& button, int size, const std::vector<uint32_t>& colours) {
  TBitmap glyph;
  const int count = static_cast<int>(colours.size());
  glyph.SetSize(size * count, size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size * count; ++x) glyph.Pixels()[y * size * count + x] = 0xFF000000u | colours[x / size];
  }
  glyph.Pixels()[(size - 1) * size * count] = 0xFFFFFFFFu;
  button.SetGlyph(glyph);
}

// A minimal playable wave image: PCM, one channel, 8 bits, four samples.
std::string WaveImage() {
  std::string wave = "RIFF";
  Put32(wave, 4 + 8 + 16 + 8 + 4);
  wave += "WAVEfmt ";
  Put32(wave, 16);
  Put16(wave, 1);
  Put16(wave, 1);
  Put32(wave, 8000);
  Put32(wave, 8000);
  Put16(wave, 1);
  Put16(wave, 8);
  wave += "data";
  Put32(wave, 4);
  wave += std::string(4, '\x80');
  return wave;
}

std::vector<const uint8_t*> played;
bool RecordSound(const uint8_t* data, uint32_t) {
  played.push_back(data);
  return true;
}

class SpeedButtonTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
    GlobalSoundSettings() = TSkSoundSettings{};
  }
  template <class T = TSkSpeedButton>
  T* MakeButton(int left = 20, int top = 20, int width = 78, int height = 36) {
    auto* button = CreateComponent<T>(&host_->Form());
    button->SetBounds(left, top, width, height);
    button->SetParent(&host_->Form());
    return button;
  }
  TRecordingTheme* UseRecordingTheme() {
    auto theme = std::make_unique<TRecordingTheme>();
    TRecordingTheme* raw = theme.get();
    ThemeManager().SetCurrentTheme(std::move(theme));
    return raw;
  }
  // The state byte of the first tool item painted by a render of button.
  template <class T>
  uint8_t RenderedItemState(TRecordingTheme& theme, T& button) {
    theme.Forget();
    RenderControl(button);
    EXPECT_FALSE(theme.Items.empty());
    return theme.Items.empty() ? 0xFF : theme.Items.front().State;
  }
  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
};

TEST_F(SpeedButtonTest, PressLeaveReturnAndReleaseFollowTheStateTable) {
  TSkSpeedButton* button = MakeButton();
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  EXPECT_EQ(button->Width(), 78);

  MouseMove(*button, 10, 10);
  EXPECT_TRUE(button->MouseInControl());
  MouseDown(*button, 10, 10);
  EXPECT_EQ(button->PressState(), kPressDown);
  // Dragged out with the button held: up; back in: pressed again.
  MouseMove(*button, -15, -15, MK_LBUTTON);
  EXPECT_FALSE(button->MouseInControl());
  EXPECT_EQ(button->PressState(), kPressUp);
  MouseMove(*button, 12, 12, MK_LBUTTON);
  EXPECT_EQ(button->PressState(), kPressDown);
  MouseUp(*button, 12, 12);
  EXPECT_EQ(button->PressState(), kPressUp);
  EXPECT_EQ(clicks, 1);

  // Released outside: no click.
  MouseDown(*button, 10, 10);
  MouseMove(*button, 200, 10, MK_LBUTTON);
  MouseUp(*button, 200, 10);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button->PressState(), kPressUp);

  // A disabled button neither presses nor clicks.
  button->SetEnabled(false);
  Click(*button, 10, 10);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button->PressState(), kPressUp);
}

TEST_F(SpeedButtonTest, GroupedButtonsLatchAndReleaseEachOther) {
  TSkSpeedButton* a = MakeButton(10, 10, 40, 30);
  TSkSpeedButton* b = MakeButton(60, 10, 40, 30);
  TSkSpeedButton* other = MakeButton(110, 10, 40, 30);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  other->SetGroupIndex(2);
  other->SetDown(true);
  int clicksA = 0, clicksB = 0;
  a->OnClick = [&](TObject*) { ++clicksA; };
  b->OnClick = [&](TObject*) { ++clicksB; };

  Click(*a, 5, 5);
  EXPECT_TRUE(a->Down());
  EXPECT_EQ(a->PressState(), kPressLatched);
  EXPECT_EQ(clicksA, 1);
  // Leaving a latched button keeps it latched.
  MouseAway(*a);
  EXPECT_EQ(a->PressState(), kPressLatched);

  Click(*b, 5, 5);
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(a->PressState(), kPressUp);
  EXPECT_TRUE(other->Down()) << "another group is not affected";

  // Without AllowAllUp a click on the down button keeps it down, and clicks.
  Click(*b, 5, 5);
  EXPECT_TRUE(b->Down());
  EXPECT_EQ(b->PressState(), kPressLatched);
  EXPECT_EQ(clicksB, 2);
  // A right-button release is no click.
  MouseDown(*b, 5, 5, WM_RBUTTONDOWN);
  MouseUp(*b, 5, 5, WM_RBUTTONUP);
  EXPECT_EQ(clicksB, 2);

  // AllowAllUp spreads over the group; then a click lets the button up.
  b->SetAllowAllUp(true);
  EXPECT_TRUE(a->AllowAllUp());
  EXPECT_FALSE(other->AllowAllUp());
  Click(*b, 5, 5);
  EXPECT_FALSE(b->Down());
  EXPECT_EQ(b->PressState(), kPressUp);
  EXPECT_EQ(clicksB, 3);

  // Disabled and enabled again: latched when down in a group.
  a->SetDown(true);
  a->SetEnabled(false);
  a->SetEnabled(true);
  EXPECT_EQ(a->PressState(), kPressLatched);
}

TEST_F(SpeedButtonTest, HeldWithAllowTimerRepeatsAndStopsOnRelease) {
  TSkSpeedButton* button = MakeButton();
  button->SetAllowTimer(true);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  MouseDown(*button, 10, 10);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return clicks >= 3; }, 3000));
  // The first repeat waits 400 ms, the next 100 ms each.
  EXPECT_GE(GetTickCount() - start, 550u);
  MouseUp(*button, 10, 10);
  const int afterRelease = clicks;
  PumpFor(350);
  EXPECT_EQ(clicks, afterRelease);
}

TEST_F(SpeedButtonTest, ChevronStripPressesItselfAndNeverClicks) {
  TSkSpeedButton* button = MakeButton();
  button->SetShowChevron(true);
  int clicks = 0, chevronClicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  button->OnChevronClick = [&](TObject*) { ++chevronClicks; };
  MouseDown(*button, 78 - 5, 10);
  EXPECT_EQ(button->PressState(), kPressChevron);
  EXPECT_EQ(chevronClicks, 1);
  MouseUp(*button, 78 - 5, 10);
  EXPECT_EQ(button->PressState(), kPressUp);
  EXPECT_EQ(clicks, 0);
  Click(*button, 78 - kSkChevronWidth - 1, 10);
  EXPECT_EQ(clicks, 1);
}

// The chevron's menu opens below the button (at its right with dmpRight)
// when the strip is released; the drop-down menu opens at the bottom-left
// corner after the click has run.
TEST_F(SpeedButtonTest, ChevronAndDropDownMenusOpenWhereTheButtonSays) {
  TSkSpeedButton* button = MakeButton();
  button->SetShowChevron(true);
  auto* menu = CreateComponent<TSkPopupMenu>(&host_->Form());
  auto* entry = CreateComponent<TSkItem>(&host_->Form());
  entry->SetCaption(L"Chapter one");
  menu->Items()->Add(entry);
  button->SetChevronMenu(menu);
  button->SetDropDownMenu(menu);
  std::vector<std::string> events;
  button->OnClick = [&](TObject*) { events.push_back("click"); };

  // Where the open pop-up's window stands, and the button's press state
  // while the menu is open.
  auto openMenu = [&](int x) {
    RECT shown{};
    uint8_t pressWhileOpen = 0xFF;
    TScript script({[&] {
                      TSkItemView* view = TSkItemView::Innermost();
                      if (view != nullptr && view->Item() == menu->Items()) {
                        events.push_back("menu");
                        GetWindowRect(view->Window(), &shown);
                      }
                      pressWhileOpen = button->PressState();
                      PostMessageW(host_->Form().Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
                    },
                    [] {}});
    script.Run([&] {
      MouseDown(*button, x, 10);
      MouseUp(*button, x, 10);
    });
    EXPECT_EQ(pressWhileOpen, kPressUp) << "the button is up again while its menu shows";
    return shown;
  };
  const TPoint belowLeft = button->ClientToScreen(TPoint{0, button->Height()});
  RECT shown = openMenu(78 - 5);
  EXPECT_EQ((TPoint{shown.left, shown.top}), belowLeft) << "the chevron menu opens below";
  EXPECT_EQ(events, (std::vector<std::string>{"menu"})) << "the chevron never clicks";

  button->SetMenuPosition(dmpRight);
  shown = openMenu(78 - 5);
  EXPECT_EQ((TPoint{shown.left, shown.top}), button->ClientToScreen(TPoint{button->Width(), 0}));

  events.clear();
  shown = openMenu(10);
  EXPECT_EQ(events, (std::vector<std::string>{"click", "menu"})) << "the click runs, then the drop-down opens";
  EXPECT_EQ((TPoint{shown.left, shown.top}), belowLeft);
}

TEST_F(SpeedButtonTest, GlyphCountFollowsItsShapeAndEmptyMeansNone) {
  TSkSpeedButton* button = MakeButton();
  GiveGlyph(*button, 16, {0xFF0000, 0x00FF00, 0x0000FF, 0x00FFFF});
  EXPECT_EQ(button->NumGlyphs(), 4);
  GiveGlyph(*button, 16, {1, 2, 3, 4, 5});
  EXPECT_EQ(button->NumGlyphs(), 1);
  GiveGlyph(*button, 16, {1, 2, 3});
  EXPECT_EQ(button->NumGlyphs(), 3);
  TBitmap odd;
  odd.SetSize(50, 16);
  button->SetGlyph(odd);
  EXPECT_EQ(button->NumGlyphs(), 3) << "a width that is no multiple of the height keeps the count";

  TMemoryStream empty;
  button->LoadGlyphFromStream(empty);
  EXPECT_TRUE(button->Glyph().Empty());
}

TEST_F(SpeedButtonTest, ThemedFlatButtonPaintsRestHotPressedAndLatchedStates) {
  TRecordingTheme* theme = UseRecordingTheme();
  theme->Fonts().Font(fiButtonTextNormal).SetColor(clNavy);
  theme->Fonts().Font(fiButtonTextHot).SetColor(clRed);
  theme->Fonts().Font(fiButtonTextPressed).SetColor(clGreen);
  TSkSpeedButton* button = MakeButton();
  button->SetCaption(L"Home");
  GiveGlyph(*button, 16, {0xFF0000, 0x00FF00, 0x0000FF, 0x00FFFF});

  theme->Forget();
  RenderControl(*button);
  ASSERT_EQ(theme->Items.size(), 1u);
  EXPECT_EQ(theme->Items[0].Part, tipButton);
  EXPECT_EQ(theme->Items[0].State, 0);
  ASSERT_EQ(theme->TextStates.size(), 1u);
  EXPECT_EQ(theme->TextStates[0], 0);
  EXPECT_EQ(theme->TextColours[0], clNavy);
  ASSERT_EQ(theme->GlyphCentres.size(), 1u);
  EXPECT_EQ(theme->GlyphCentres[0] & 0xFFFFFFu, 0xFF0000u);

  MouseMove(*button, 10, 10);
  EXPECT_EQ(RenderedItemState(*theme, *button), 1);
  EXPECT_EQ(theme->TextStates.at(0), 1);
  EXPECT_EQ(theme->TextColours.at(0), clRed);

  MouseDown(*button, 10, 10);
  EXPECT_EQ(RenderedItemState(*theme, *button), 2);
  EXPECT_EQ(theme->TextColours.at(0), clGreen);
  EXPECT_EQ(theme->GlyphCentres.at(0) & 0xFFFFFFu, 0x0000FFu) << "pressed shows the third picture";
  MouseUp(*button, 10, 10);

  button->SetGroupIndex(3);
  button->SetDown(true);
  EXPECT_EQ(RenderedItemState(*theme, *button), 6);
  EXPECT_EQ(theme->GlyphStates.at(0), 2);
  EXPECT_EQ(theme->GlyphCentres.at(0) & 0xFFFFFFu, 0x00FFFFu) << "latched shows the fourth picture";
  MouseAway(*button);
  EXPECT_EQ(RenderedItemState(*theme, *button), 5);

  button->SetEnabled(false);
  EXPECT_EQ(RenderedItemState(*theme, *button), 3);
  EXPECT_EQ(theme->TextStates.at(0), 3);

  // The chevron adds its own drop-down item.
  button->SetEnabled(true);
  button->SetShowChevron(true);
  theme->Forget();
  RenderControl(*button);
  ASSERT_EQ(theme->Items.size(), 2u);
  EXPECT_EQ(theme->Items[0].Part, tipSeparator);
  EXPECT_EQ(theme->Items[1].Part, tipDropDown);
  EXPECT_EQ(theme->Items[1].Rect.Left, 78 - kSkChevronWidth);
}

TEST_F(SpeedButtonTest, ClassicFlatButtonHasNoFrameAtRestAndEdgesWhenHotOrPressed) {
  if (VisualStylesActive()) GTEST_SKIP() << "the platform's visual styles draw this button";
  TSkSpeedButton* button = MakeButton(20, 20, 40, 30);
  button->SetColor(clYellow);
  std::unique_ptr<TskBitmap> rest = RenderControl(*button);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(Rgb(*rest, x, y), 0xFFFF00u) << x << "," << y;
  }
  MouseMove(*button, 10, 10);
  std::unique_ptr<TskBitmap> hot = RenderControl(*button);
  EXPECT_EQ(Rgb(*hot, 0, 0), SysRgb(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Rgb(*hot, 39, 29), SysRgb(COLOR_BTNSHADOW));
  EXPECT_EQ(Rgb(*hot, 20, 15), 0xFFFF00u);
  MouseDown(*button, 10, 10);
  std::unique_ptr<TskBitmap> pressed = RenderControl(*button);
  EXPECT_EQ(Rgb(*pressed, 0, 0), SysRgb(COLOR_BTNSHADOW));
  EXPECT_EQ(Rgb(*pressed, 39, 29), SysRgb(COLOR_BTNHIGHLIGHT));
  MouseUp(*button, 10, 10);
}

TEST_F(SpeedButtonTest, ClassicGlyphSkipsItsTransparentColourAndGreysWhenDisabled) {
  if (VisualStylesActive()) GTEST_SKIP() << "the platform's visual styles draw this button";
  TSkSpeedButton* button = MakeButton(20, 20, 40, 30);
  button->SetColor(clYellow);
  // Pure red (lightness 0.5); its bottom-left pixel is white, the
  // transparent colour.
  GiveGlyph(*button, 16, {0xFF0000});
  // Centred: (40 - 16) / 2 = 12 across, (30 - 16) / 2 = 7 down.
  std::unique_ptr<TskBitmap> normal = RenderControl(*button);
  EXPECT_EQ(Rgb(*normal, 20, 15), 0xFF0000u);
  EXPECT_EQ(Rgb(*normal, 12, 7 + 15), 0xFFFF00u) << "the transparent corner shows the face";
  EXPECT_EQ(Rgb(*normal, 13, 7 + 15), 0xFF0000u);

  button->SetBlackAndWhiteGlyph(true);
  // Lightness 0.5 × 255 = 127.5, to the even neighbour.
  EXPECT_EQ(Rgb(*RenderControl(*button), 20, 15), 0x808080u);
  MouseMove(*button, 5, 5);
  EXPECT_EQ(Rgb(*RenderControl(*button), 20, 15), 0xFF0000u) << "colour returns under the mouse";
  MouseAway(*button);
  button->SetBlackAndWhiteGlyph(false);

  button->SetEnabled(false);
  // 160 + Near(0.5 × 50).
  EXPECT_EQ(Rgb(*RenderControl(*button), 20, 15), 0xB9B9B9u);
  button->SetEnabled(true);

  // Without a glyph the image list's picture is used, its masked pixels
  // left out.
  button->SetGlyph(TBitmap());
  auto* images = CreateComponent<TImageList>(&host_->Form());
  TBitmap picture;
  picture.SetSize(16, 16);
  std::fill_n(picture.Pixels(), 16 * 16, 0xFF00FF00u);
  picture.Pixels()[0] = 0xFFFFFFFFu;
  ASSERT_EQ(images->AddMasked(picture, clWhite), 0);
  button->SetImages(images);
  button->SetImageIndex(0);
  std::unique_ptr<TskBitmap> listed = RenderControl(*button);
  EXPECT_EQ(Rgb(*listed, 20, 15), 0x00FF00u);
  EXPECT_EQ(Rgb(*listed, 12, 7), 0xFFFF00u) << "the masked pixel shows the face";
  delete images;
  EXPECT_EQ(button->Images(), nullptr);
}

TEST_F(SpeedButtonTest, LayoutPlacesGlyphAndCaptionByMarginAndSpacing) {
  const TRect client{0, 0, 78, 36};
  const TSize glyph{16, 16}, caption{30, 13};
  TSkButtonLayoutResult r = CalcSpeedButtonLayout(client, glyph, caption, blGlyphLeft, -1, 4);
  EXPECT_EQ(r.GlyphRect, (TRect{14, 10, 30, 26}));
  EXPECT_EQ(r.CaptionRect, (TRect{34, 11, 64, 24}));
  r = CalcSpeedButtonLayout(client, glyph, caption, blGlyphLeft, -1, -1);
  EXPECT_EQ(r.GlyphRect.Left, 10);
  EXPECT_EQ(r.CaptionRect.Left, 36);
  r = CalcSpeedButtonLayout(client, glyph, caption, blGlyphRight, 2, -1);
  EXPECT_EQ(r.GlyphRect.Left, 60);
  EXPECT_EQ(r.CaptionRect.Left, 60 - 15 - 30);
  r = CalcSpeedButtonLayout(client, glyph, caption, blGlyphTop, -1, 4);
  EXPECT_EQ(r.GlyphRect, (TRect{31, 1, 47, 17}));
  EXPECT_EQ(r.CaptionRect, (TRect{24, 21, 54, 34}));
  r = CalcSpeedButtonLayout(client, TSize{0, 0}, caption, blGlyphLeft, 5, 4);
  EXPECT_EQ(r.CaptionRect, (TRect{24, 11, 54, 24})) << "without a picture the caption is centred";
  r = CalcSpeedButtonLayout(client, glyph, TSize{0, 0}, blGlyphBottom, -1, -1);
  EXPECT_EQ(r.GlyphRect, (TRect{31, 10, 47, 26})) << "a lone glyph is centred";
}

TEST_F(SpeedButtonTest, AcceleratorOfTheCaptionClicksTheButton) {
  TSkSpeedButton* button = MakeButton();
  button->SetCaption(L"&Home");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  SendMessageW(host_->Form().Handle(), WM_SYSCHAR, L'h', 0);
  EXPECT_EQ(clicks, 1);
  SendMessageW(host_->Form().Handle(), WM_SYSCHAR, L'o', 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(IsAcceleratorOf(L'a', L"A&&B"));
}

// ---- the effect speed button ---------------------------------------------------------

TEST_F(SpeedButtonTest, EnteringFadesInTheButtonsOwnSlotFrameByFrame) {
  UseRecordingTheme();
  auto* button = MakeButton<TSkEffectSpeedButton>();
  const int32_t slot = button->EffectSlot();
  ASSERT_GE(slot, 0);
  EXPECT_TRUE(button->Animation().Enabled());
  EXPECT_EQ(button->Animation().Resolution(), 10);
  EXPECT_EQ(button->Animation().EffectMouseEnter(), "[ FADE ] - Fade");
  int entries = 0;
  button->OnMouseEnter = [&](TObject*) { ++entries; };

  MouseMove(*button, 10, 10);
  EXPECT_EQ(entries, 1);
  EXPECT_TRUE(button->MouseInControl());
  EXPECT_TRUE(button->Animating());
  const TskEffectSlot& running = EffectEngine().Slot(slot);
  ASSERT_TRUE(running.Active);
  ASSERT_NE(running.Item, nullptr);
  EXPECT_EQ(running.Item->Name, "[ FADE ] - Fade");
  EXPECT_EQ(running.OldImage->PixelAt(39, 18) & 0xFFFFFFu, 0xFFFFFFu) << "before: the look at rest";

  // Each tick darkens the frame from white toward the hot look's black.
  int previous = 256;
  int frames = 0;
  while (running.Active && frames < 40) {
    EffectEngine().Tick();
    ++frames;
    if (!running.Active) break;
    const int level = PixelRed(running.WorkImage->PixelAt(39, 18));
    EXPECT_LT(level, previous);
    EXPECT_GT(level, 0);
    previous = level;
  }
  EXPECT_FALSE(running.Active);
  EXPECT_GE(frames, 10);
  EXPECT_LE(frames, 21);
  EXPECT_EQ(button->PressState(), kPressUp);
}

TEST_F(SpeedButtonTest, LeavingRunsTheLeaveEffectAndKeepsAPressedButtonPressed) {
  UseRecordingTheme();
  auto* button = MakeButton<TSkEffectSpeedButton>();
  button->Animation().SetEffectMouseLeave("[ FADE ] - FadeDown");
  int leaves = 0;
  button->OnMouseLeave = [&](TObject*) { ++leaves; };
  MouseMove(*button, 10, 10);
  MouseDown(*button, 10, 10);
  EXPECT_FALSE(button->Animating()) << "pressing ends the fade: its frames would hide the pressed look";
  MouseMove(*button, -10, -10, MK_LBUTTON);
  EXPECT_EQ(leaves, 1);
  EXPECT_FALSE(button->MouseInControl());
  EXPECT_EQ(button->PressState(), kPressDown);
  ASSERT_TRUE(button->Animating());
  const TskEffectSlot& running = EffectEngine().Slot(button->EffectSlot());
  EXPECT_EQ(running.Item->Name, "[ FADE ] - FadeDown");
  MouseUp(*button, -10, -10);
  EXPECT_EQ(button->PressState(), kPressUp);

  // Without animation entry and exit behave as for the plain button.
  button->Animation().SetEnabled(false);
  MouseMove(*button, 10, 10);
  EXPECT_TRUE(button->MouseInControl());
  EXPECT_FALSE(button->Animating());
}

TEST_F(SpeedButtonTest, EffectButtonsGiveTheirSlotsBack) {
  // More buttons than slots, made and freed one after another.
  for (int i = 0; i < 500; ++i) delete MakeButton<TSkEffectSpeedButton>();
  auto* kept = MakeButton<TSkEffectSpeedButton>();
  EXPECT_GE(kept->EffectSlot(), 0);

  // All slots taken: a button still animates in a slot the engine lends.
  std::vector<TSkEffectSpeedButton*> many;
  while (many.empty() || many.back()->EffectSlot() >= 0) many.push_back(MakeButton<TSkEffectSpeedButton>(300, 200, 20, 20));
  TSkEffectSpeedButton* unreserved = many.back();
  for (size_t i = 0; i + 1 < many.size(); ++i) {
    delete many[i];
  }
  UseRecordingTheme();
  MouseMove(*unreserved, 5, 5);
  ASSERT_TRUE(unreserved->Animating());
  // Freed mid-animation, it ends its animation: the engine keeps no
  // reference to its pictures.
  const int32_t busy = [&] {
    for (int32_t s = 0; s < TskEffectEngine::kSlotCount; ++s) {
      if (EffectEngine().Slot(s).Active) return s;
    }
    return -1;
  }();
  ASSERT_GE(busy, 0);
  delete unreserved;
  EXPECT_FALSE(EffectEngine().Slot(busy).Active);
  EXPECT_FALSE(EffectEngine().Slot(busy).Reserved) << "a lent slot is not released by its borrower";
  auto* fresh = MakeButton<TSkEffectSpeedButton>();
  EXPECT_GE(fresh->EffectSlot(), 0);
}

TEST_F(SpeedButtonTest, WaveIndexesAreClampedAndLeavingPlaysTheExitSound) {
  auto* button = MakeButton<TSkEffectSpeedButton>();
  button->SetWaveClickIndex(0);
  EXPECT_EQ(button->WaveClickIndex(), -1) << "no list";

  TSkExtraWaveList list;
  const std::string image = WaveImage();
  for (int i = 0; i < 3; ++i) {
    TBytesStream stream(image);
    list.Waves().Add().Wave().LoadFromStream(stream);
  }
  button->SetWaveList(&list);
  button->SetWaveOutIndex(7);
  EXPECT_EQ(button->WaveOutIndex(), 2);
  button->SetWaveInIndex(-5);
  EXPECT_EQ(button->WaveInIndex(), -1);
  button->SetWaveInIndex(0);

  const TskSoundPlayer previous = SetSoundPlayer(&RecordSound);
  const TScopeExit restore([&] {
    SetSoundPlayer(previous);
    button->SetWaveList(nullptr);
  });
  played.clear();
  MouseMove(*button, 10, 10);
  EXPECT_TRUE(played.empty()) << "entry sounds only with the library-wide switch on";
  MouseAway(*button);
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0], list.Waves().Item(2)->Wave().Data().data());

  // The library-wide switch: entry, click and exit take the library's sounds.
  if (LibraryWaveList() == &list) {
    GlobalSoundSettings().Enabled = true;
    GlobalSoundSettings().EnterIndex = 0;
    GlobalSoundSettings().ClickIndex = 1;
    GlobalSoundSettings().LeaveIndex = 0;
    played.clear();
    Click(*button, 10, 10);
    MouseAway(*button);
    ASSERT_EQ(played.size(), 1u) << "the default mask (29) leaves the button sounds (2) out";
    EXPECT_EQ(played[0], list.Waves().Item(0)->Wave().Data().data());
    GlobalSoundSettings().EventMask |= TSkSoundSettings::kButtonSounds;
    played.clear();
    Click(*button, 10, 10);
    MouseAway(*button);
    ASSERT_EQ(played.size(), 3u);
    EXPECT_EQ(played[0], list.Waves().Item(0)->Wave().Data().data());
    EXPECT_EQ(played[1], list.Waves().Item(1)->Wave().Data().data());
    EXPECT_EQ(played[2], list.Waves().Item(0)->Wave().Data().data());
    // Ignoring the library's options: only the button's own exit sound.
    button->SetSoundOptions(SoundOptionBit(esoIgnoreGlobalOptions));
    played.clear();
    Click(*button, 10, 10);
    MouseAway(*button);
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0], list.Waves().Item(2)->Wave().Data().data());
  }
  button->SetWaveList(nullptr);
  EXPECT_EQ(button->WaveOutIndex(), -1);
}

}  // namespace
