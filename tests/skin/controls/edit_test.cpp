// The themed edit, labeled edit and label, driven by real key, character
// and mouse messages: editing keys, selection, undo, the clipboard, the
// limits (read-only, MaxLength, CharCase, password), the painted
// selection, the theme's font taken and given back, the label placed beside
// its edit and the label's own sizing.
#include <gtest/gtest.h>

#include "skin/controls/controls_support.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_label.h"

namespace {

class SkEditTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeThemeLibrary(); }
  void TearDown() override {
    host_.reset();
    FreeThemeLibrary();
  }
  template <class T = TSkEdit>
  T* MakeEdit(int left = 10, int top = 40, int width = 160) {
    auto* edit = CreateComponent<T>(&host_->Form());
    edit->SetBounds(left, top, width, 21);
    edit->SetParent(&host_->Form());
    edit->SetEditFrameStyle(false);
    return edit;
  }
  std::unique_ptr<TControlsHost> host_ = std::make_unique<TControlsHost>();
};

TEST_F(SkEditTest, TypingInsertsAtTheCaretAndCaretKeysMoveByCharactersAndWords) {
  TSkEdit* edit = MakeEdit();
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  TypeText(*edit, L"hello world");
  EXPECT_EQ(edit->Text(), L"hello world");
  EXPECT_EQ(edit->CaretPos(), 11);
  EXPECT_EQ(changes, 11);

  PressKey(*edit, VK_HOME);
  EXPECT_EQ(edit->CaretPos(), 0);
  PressKey(*edit, VK_RIGHT, true);
  EXPECT_EQ(edit->CaretPos(), 6) << "Ctrl+Right goes to the next word's start";
  PressKey(*edit, VK_RIGHT, true);
  EXPECT_EQ(edit->CaretPos(), 11);
  PressKey(*edit, VK_LEFT, true);
  EXPECT_EQ(edit->CaretPos(), 6);
  PressKey(*edit, VK_LEFT);
  EXPECT_EQ(edit->CaretPos(), 5);
  TypeText(*edit, L",");
  EXPECT_EQ(edit->Text(), L"hello, world");

  // Shift extends from the anchor; a plain arrow collapses the selection.
  PressKey(*edit, VK_END);
  PressKey(*edit, VK_LEFT, true, true);
  EXPECT_EQ(edit->SelText(), L"world");
  PressKey(*edit, VK_LEFT, false, true);
  EXPECT_EQ(edit->SelText(), L" world");
  PressKey(*edit, VK_HOME, false, true);
  EXPECT_EQ(edit->SelText(), L"hello, world");
  PressKey(*edit, VK_RIGHT);
  EXPECT_EQ(edit->SelLength(), 0);
  EXPECT_EQ(edit->CaretPos(), 12);

  // Control characters are not text; typing over a selection replaces it.
  TypeText(*edit, L"\r\x7F\x1B");
  EXPECT_EQ(edit->Text(), L"hello, world");
  PressKey(*edit, VK_LEFT, true, true);
  TypeText(*edit, L"you");
  EXPECT_EQ(edit->Text(), L"hello, you");
}

TEST_F(SkEditTest, BackspaceAndDeleteRemoveTheSelectionOrOneCharacter) {
  TSkEdit* edit = MakeEdit();
  TypeText(*edit, L"abcdef");
  PressKey(*edit, VK_BACK);
  EXPECT_EQ(edit->Text(), L"abcde");
  PressKey(*edit, VK_DELETE);
  EXPECT_EQ(edit->Text(), L"abcde") << "nothing after the caret";
  PressKey(*edit, VK_HOME);
  PressKey(*edit, VK_BACK);
  EXPECT_EQ(edit->Text(), L"abcde") << "nothing before the caret";
  PressKey(*edit, VK_DELETE);
  EXPECT_EQ(edit->Text(), L"bcde");
  PressKey(*edit, VK_RIGHT, false, true);
  PressKey(*edit, VK_RIGHT, false, true);
  PressKey(*edit, VK_DELETE);
  EXPECT_EQ(edit->Text(), L"de");
  PressKey(*edit, VK_END, false, true);
  PressKey(*edit, VK_BACK);
  EXPECT_EQ(edit->Text(), L"");
}

TEST_F(SkEditTest, UndoTakesBackOneEditActionAtATimeWithItsSelection) {
  TSkEdit* edit = MakeEdit();
  TypeText(*edit, L"ab");
  PressKey(*edit, VK_BACK);
  TypeText(*edit, L"c");
  EXPECT_EQ(edit->Text(), L"ac");
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"a");
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"ab");
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"a");
  SendMessageW(edit->Handle(), WM_UNDO, 0, 0);
  EXPECT_EQ(edit->Text(), L"");
  EXPECT_FALSE(edit->CanUndo());
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"");

  // A replaced selection comes back selected; a text set as a whole
  // cannot be undone.
  TypeText(*edit, L"hello");
  PressKey(*edit, VK_HOME, false, true);
  TypeText(*edit, L"x");
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"hello");
  EXPECT_EQ(edit->SelText(), L"hello");
  edit->SetText(L"fresh");
  EXPECT_FALSE(edit->CanUndo());
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"fresh");
}

TEST_F(SkEditTest, ClipboardKeysAndMessagesCutCopyAndPasteOneLine) {
  TSkEdit* edit = MakeEdit();
  TSkEdit* other = MakeEdit(10, 80);
  TypeText(*edit, L"one two three");
  PressKey(*edit, VK_HOME);
  PressKey(*edit, VK_RIGHT, true);
  PressKey(*edit, VK_RIGHT, true, true);
  EXPECT_EQ(edit->SelText(), L"two ");
  PressKey(*edit, 'X', true);
  EXPECT_EQ(edit->Text(), L"one three");
  PressKey(*edit, 'V', true);
  EXPECT_EQ(edit->Text(), L"one two three") << "cut then paste restores";

  // Ctrl+Insert and Shift+Insert; the platform's messages do the same.
  edit->SelectAll();
  PressKey(*edit, VK_INSERT, true);
  PressKey(*edit, VK_END);
  PressKey(*edit, VK_INSERT, false, true);
  EXPECT_EQ(edit->Text(), L"one two threeone two three");
  SendMessageW(other->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(other->Text(), L"one two three");
  other->SelectAll();
  SendMessageW(other->Handle(), WM_CUT, 0, 0);
  EXPECT_EQ(other->Text(), L"");
  PressKey(*other, 'V', true);
  EXPECT_EQ(other->Text(), L"one two three");

  // Only the first line of a pasted text comes in.
  other->SetText(L"first\r\nsecond");
  other->SelectAll();
  SendMessageW(other->Handle(), WM_COPY, 0, 0);
  edit->SetText(L"");
  PressKey(*edit, 'V', true);
  EXPECT_EQ(edit->Text(), L"first");

  // A password's text is never copied out.
  TSkEdit* secret = MakeEdit(10, 120);
  secret->SetPasswordKind(pkStar);
  TypeText(*secret, L"hidden");
  secret->SelectAll();
  PressKey(*secret, 'C', true);
  PressKey(*secret, 'X', true);
  EXPECT_EQ(secret->Text(), L"hidden");
  edit->SetText(L"");
  PressKey(*edit, 'V', true);
  EXPECT_EQ(edit->Text(), L"first") << "the clipboard kept what it had";
}

TEST_F(SkEditTest, ReadOnlyMaxLengthAndCharCaseLimitWhatComesIn) {
  TSkEdit* edit = MakeEdit();
  TypeText(*edit, L"fixed");
  edit->SetReadOnly(true);
  TypeText(*edit, L"x");
  PressKey(*edit, VK_BACK);
  edit->SelectAll();
  PressKey(*edit, VK_DELETE);
  PressKey(*edit, 'X', true);
  EXPECT_EQ(edit->Text(), L"fixed");
  PressKey(*edit, 'C', true);  // copying is still allowed
  PressKey(*edit, VK_END);
  PressKey(*edit, 'V', true);
  PressKey(*edit, 'Z', true);
  EXPECT_EQ(edit->Text(), L"fixed");
  edit->SetReadOnly(false);
  PressKey(*edit, 'V', true);
  EXPECT_EQ(edit->Text(), L"fixedfixed") << "the copy made while read-only";

  TSkEdit* limited = MakeEdit(10, 80);
  limited->SetMaxLength(5);
  TypeText(*limited, L"abcdefg");
  EXPECT_EQ(limited->Text(), L"abcde");
  // Two selected characters leave room for two pasted ones.
  limited->SetSelStart(2);
  limited->SetSelLength(2);
  edit->SetText(L"WXYZ");
  edit->SelectAll();
  PressKey(*edit, 'C', true);
  PressKey(*limited, 'V', true);
  EXPECT_EQ(limited->Text(), L"abWXe");

  TSkEdit* upper = MakeEdit(10, 120);
  upper->SetCharCase(ecUpperCase);
  TypeText(*upper, L"MiXed");
  EXPECT_EQ(upper->Text(), L"MIXED");
  upper->SetCharCase(ecLowerCase);
  EXPECT_EQ(upper->Text(), L"mixed");
}

TEST_F(SkEditTest, MouseClickPlacesTheCaretDragSelectsAndDoubleClickSelectsAWord) {
  TSkEdit* edit = MakeEdit();
  edit->SetText(L"alpha beta");
  const int right = edit->Width() - 6;
  Click(*edit, right, 10);
  EXPECT_EQ(edit->CaretPos(), 10);
  EXPECT_TRUE(edit->Focused());
  EXPECT_EQ(edit->SelLength(), 0) << "a click does not select all";
  Click(*edit, 4, 10);
  EXPECT_EQ(edit->CaretPos(), 0);

  MouseDown(*edit, 4, 10);
  MouseMove(*edit, right, 10, MK_LBUTTON);
  MouseUp(*edit, right, 10);
  EXPECT_EQ(edit->SelText(), L"alpha beta");

  MouseDown(*edit, right, 10);
  MouseUp(*edit, right, 10);
  MouseDown(*edit, right, 10, WM_LBUTTONDBLCLK);
  MouseUp(*edit, right, 10);
  EXPECT_EQ(edit->SelText(), L"beta");

  // The right button opens the edit's menu (closed at once by the Escape
  // waiting in the queue) and leaves caret and selection alone.
  PostMessageW(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
  MouseDown(*edit, 4, 10, WM_RBUTTONDOWN);
  MouseUp(*edit, 4, 10, WM_RBUTTONUP);
  EXPECT_EQ(edit->SelText(), L"beta");
  ASSERT_NE(edit->ContextMenu(), nullptr) << "the right click opened the menu";
}

TEST_F(SkEditTest, ALongTextScrollsToKeepTheCaretInView) {
  TSkEdit* edit = MakeEdit(10, 40, 60);
  edit->SetFocus();
  TypeText(*edit, L"the quick brown fox jumps over the lazy dog");
  const int length = static_cast<int>(edit->Text().size());
  const int right = edit->Width() - 6;
  // Typed to the end: the end is in view, so a click at the right edge
  // lands near it; after Home the right edge shows an early character.
  Click(*edit, right, 10);
  EXPECT_GT(edit->CaretPos(), length - 3);
  PressKey(*edit, VK_HOME);
  Click(*edit, right, 10);
  EXPECT_LT(edit->CaretPos(), length / 2);
  // A shorter text set while scrolled is shown from its start.
  PressKey(*edit, VK_END);
  edit->SetText(L"ab");
  Click(*edit, right, 10);
  EXPECT_EQ(edit->CaretPos(), 2);
  Click(*edit, edit->ContentRect().Left, 10);
  EXPECT_EQ(edit->CaretPos(), 0);
}

TEST_F(SkEditTest, SelectionIsPaintedInTheHighlightColourWithoutATheme) {
  TSkEdit* edit = MakeEdit(10, 40, 120);
  edit->SetText(L"WWWWWWWW");
  const TRect content = edit->ContentRect();
  auto countHighlight = [&](const TskBitmap& pixels, int fromX, int toX) {
    int count = 0;
    for (int y = content.Top; y < content.Bottom; ++y) {
      for (int x = fromX; x < toX; ++x) count += Rgb(pixels, x, y) == SysRgb(COLOR_HIGHLIGHT) ? 1 : 0;
    }
    return count;
  };
  const int middle = (content.Left + content.Right) / 2;

  // Unfocused with HideSelection: no selection shown.
  edit->SetSelStart(0);
  edit->SetSelLength(4);
  auto hidden = RenderControl(*edit);
  EXPECT_EQ(countHighlight(*hidden, content.Left, content.Right), 0);

  edit->SetHideSelection(false);
  auto shown = RenderControl(*edit);
  EXPECT_GT(countHighlight(*shown, content.Left, content.Left + 8), 20) << "behind the first characters";
  EXPECT_EQ(countHighlight(*shown, middle + 20, content.Right), 0) << "nothing past the selection";
  EXPECT_EQ(Rgb(*shown, content.Right - 2, content.Top + 1), SysRgb(COLOR_WINDOW));
  // The classic frame: the lowered bevel outside.
  EXPECT_EQ(Rgb(*shown, 0, 10), SysRgb(COLOR_BTNSHADOW));
}

TEST_F(SkEditTest, KeyEventsSeeKeysFirstAndKeyboardFocusSelectsAll) {
  TSkEdit* edit = MakeEdit();
  TSkEdit* other = MakeEdit(10, 80);
  int enters = 0;
  edit->OnKeyPress = [&](TObject*, wchar_t& key) {
    if (key == L'\r') ++enters;
    if (key == L'#') key = 0;  // swallowed
  };
  edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    if (key == VK_BACK) key = 0;
  };
  TypeText(*edit, L"a#b\r");
  EXPECT_EQ(edit->Text(), L"ab");
  EXPECT_EQ(enters, 1);
  PressKey(*edit, VK_BACK);
  EXPECT_EQ(edit->Text(), L"ab") << "the handler cleared the key";

  other->SetFocus();
  edit->SetFocus();
  ASSERT_TRUE(edit->Focused());
  EXPECT_EQ(edit->SelText(), L"ab");
  other->SetFocus();
  edit->SetAutoSelect(false);
  edit->SetSelStart(1);
  edit->SetFocus();
  EXPECT_EQ(edit->SelLength(), 0) << "the caret stays where it was";
  EXPECT_EQ(edit->CaretPos(), 1);
}

TEST_F(SkEditTest, ThemedEditPaintsTheThemesElementByState) {
  TSkEdit* edit = MakeEdit();
  auto classic = RenderControl(*edit);
  UseSkylineTheme();
  ASSERT_TRUE(DefinesEditObject(0, "default", nullptr));
  auto themed = RenderControl(*edit);
  EXPECT_NE(Rgb(*themed, 0, 10), Rgb(*classic, 0, 10)) << "the theme's frame, not the bevel";
  const TRect content = edit->ContentRect();
  const int x = content.Right - 3;
  const int y = (content.Top + content.Bottom) / 2;
  edit->SetEnabled(false);
  auto disabled = RenderControl(*edit);
  EXPECT_NE(Rgb(*disabled, x, y), Rgb(*themed, x, y)) << "the theme's disabled fill";
  // Classic drawing fills the content with the edit's colour in any state.
  ClearTheme();
  auto classicDisabled = RenderControl(*edit);
  EXPECT_EQ(Rgb(*classicDisabled, x, y), Rgb(*classic, x, y));
}

TEST_F(SkEditTest, ThemeFontIsTakenWithTheThemeAndTheOwnFontComesBackWithoutIt) {
  TSkEdit* edit = MakeEdit();
  TFont own;
  own.SetName(L"Courier New");
  own.SetSize(16);
  edit->SetFont(own);
  const int ownHeight = edit->Height();
  EXPECT_GT(ownHeight, 21) << "auto-size follows the bigger font";

  UseSkylineTheme();
  ASSERT_TRUE(DefinesEditObject(0, "default", nullptr));
  EXPECT_NE(edit->Font().Name(), L"Courier New");
  EXPECT_LT(edit->Height(), ownHeight);
  // Font options apply on top of the theme's font.
  const int themeSize = edit->Font().Size();
  edit->FontOptions().SetSizeDelta(2);
  EXPECT_EQ(edit->Font().Size(), themeSize + 2);

  ClearTheme();
  EXPECT_EQ(edit->Font().Name(), L"Courier New");
  EXPECT_EQ(edit->Font().Size(), 16);

  // An edit made while a theme is current takes its font at once.
  UseSkylineTheme();
  TSkEdit* later = MakeEdit(10, 80);
  EXPECT_EQ(later->Font().Name(), edit->Font().Name());
}

TEST_F(SkEditTest, LabeledEditPlacesItsLabelAndKeepsItInPlace) {
  auto* edit = MakeEdit<TSkLabeledEdit>(16, 32, 241);
  TSkBoundLabel* label = edit->EditLabel();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Name(), "SubLabel");
  EXPECT_EQ(label->Parent(), &host_->Form());
  EXPECT_EQ(label->FocusControl(), edit);
  label->SetAutoSize(false);
  label->SetBounds(0, 0, 50, 13);
  EXPECT_EQ(label->Left(), 16);
  EXPECT_EQ(label->Top(), 16) << "32 - 13 - 3";

  edit->SetBounds(40, 60, 241, 21);
  EXPECT_EQ(label->Left(), 40);
  EXPECT_EQ(label->Top(), 44);
  edit->SetLabelPosition(lpLeft);
  EXPECT_EQ(label->Left(), 40 - 50 - 3);
  EXPECT_EQ(label->Top(), 60 + (21 - 13) / 2);
  edit->SetLabelPosition(lpRight);
  EXPECT_EQ(label->Left(), 40 + 241 + 3);
  edit->SetLabelPosition(lpBelow);
  edit->SetLabelSpacing(5);
  EXPECT_EQ(label->Left(), 40);
  EXPECT_EQ(label->Top(), 60 + 21 + 5);

  // A label that sizes itself is placed again.
  edit->SetLabelPosition(lpAbove);
  label->Font().SetSize(16);
  label->SetAutoSize(true);
  label->SetCaption(L"Text to find");
  EXPECT_NE(label->Height(), 13);
  EXPECT_EQ(label->Top(), 60 - label->Height() - 5);

  edit->SetEnabled(false);
  EXPECT_FALSE(label->Enabled());
  edit->SetVisible(false);
  EXPECT_FALSE(label->Visible());
  edit->SetVisible(true);
  edit->SetEnabled(true);
  EXPECT_TRUE(label->Visible());
  EXPECT_TRUE(label->Enabled());

  edit->SetParent(nullptr);
  EXPECT_EQ(label->Parent(), nullptr);
  edit->SetParent(&host_->Form());
  EXPECT_EQ(label->Parent(), &host_->Form());

  // The label's accelerator focuses the edit.
  TSkEdit* other = MakeEdit(10, 200);
  label->SetCaption(L"&Find");
  other->SetFocus();
  ASSERT_TRUE(other->Focused());
  SendMessageW(other->Handle(), WM_SYSCHAR, L'f', 0);
  EXPECT_TRUE(edit->Focused());
}

TEST_F(SkEditTest, LabelAutoSizeKeepsARightAlignedLabelsRightEdge) {
  auto* label = CreateComponent<TSkLabel>(&host_->Form());
  label->SetParent(&host_->Form());
  label->SetCaption(L"Hi");
  label->SetAlignment(taRightJustify);
  label->SetBounds(100, 10, label->Width(), label->Height());
  const int right = label->Left() + label->Width();
  const int shortWidth = label->Width();
  label->SetCaption(L"A much longer caption");
  EXPECT_GT(label->Width(), shortWidth);
  EXPECT_EQ(label->Left() + label->Width(), right);

  // A left-aligned label keeps its left edge; an empty caption and a lone
  // accelerator mark are measured as one space.
  label->SetAlignment(taLeftJustify);
  label->SetCaption(L"");
  const int left = label->Left();
  const int emptyWidth = label->Width();
  EXPECT_GT(emptyWidth, 0);
  EXPECT_GT(label->Height(), 0);
  label->SetCaption(L"&");
  EXPECT_EQ(label->Width(), emptyWidth);
  EXPECT_EQ(label->Left(), left);
}

TEST_F(SkEditTest, DisabledLabelIsEmbossedWithoutATheme) {
  auto* label = CreateComponent<TSkLabel>(&host_->Form());
  label->SetParent(&host_->Form());
  label->SetBounds(20, 20, 0, 0);
  label->SetCaption(L"IIII");
  label->Font().SetColor(clBlack);
  // Text may be smoothed: count by the red channel against the background
  // around the caption (dark strokes, the shadow, the highlight).
  auto count = [&](const TskBitmap& pixels, int fromRed, int toRed) {
    int n = 0;
    for (int y = 0; y < label->Height(); ++y) {
      for (int x = 0; x < label->Width(); ++x) {
        const int red = static_cast<int>(Rgb(pixels, x, y) >> 16);
        n += red >= fromRed && red <= toRed ? 1 : 0;
      }
    }
    return n;
  };
  auto enabled = RenderControl(*label);
  const int background = static_cast<int>(Rgb(*enabled, 0, 0) >> 16);
  const int shadow = static_cast<int>(SysRgb(COLOR_BTNSHADOW) >> 16);
  ASSERT_GT(background, shadow + 0x20);
  EXPECT_GT(count(*enabled, 0, 0x40), 0) << "black strokes";
  EXPECT_EQ(count(*enabled, background + 1, 0xFF), 0);
  label->SetEnabled(false);
  auto disabled = RenderControl(*label);
  EXPECT_EQ(count(*disabled, 0, 0x40), 0) << "no black stroke";
  EXPECT_GT(count(*disabled, shadow - 0x10, shadow + 0x10), 0) << "the shadow";
  EXPECT_GT(count(*disabled, background + 1, 0xFF), 0) << "the highlight beside it";
}

}  // namespace
