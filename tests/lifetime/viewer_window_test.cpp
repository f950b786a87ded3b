// The viewer window a reader uses, end to end inside ShowEbook: the toolbar
// as the book's settings shape it, the status line, the search area with
// its highlighted results, printing, and closing a window while its search
// runs. Driven with real mouse, key and character messages.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "archive/book_file.h"
#include "archive/book_seal.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "forms/std_components.h"
#include "lifetime/show_ebook_support.h"
#include "runtime/ansi.h"
#include "server/ebook_manager.h"
#include "server/http/id_http_client.h"
#include "server/http_test_helpers.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_list_box.h"
#include "skin/controls/sk_status_bar.h"
#include "skin/menus/sk_menu_views.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menus.h"

namespace {

// A toolbar entry of the settings: glyph key, caption key and caption
// (an empty caption key leaves the caption out).
struct TEntry {
  std::string GlyphKey;
  std::string CaptionKey;
  std::string Caption;
};

std::string ToolbarConfig(const std::vector<TEntry>& entries) {
  std::string config = "[params]\r\ntitle=Test Book\r\nstart=index.htm\r\nResolution=800x600\r\n[Icon]\r\nBitmap=" +
                       Hex(IconFile()) + "\r\n[Toolbar]\r\n";
  for (const TEntry& entry : entries) {
    config += entry.GlyphKey + "=" + Hex(GlyphFile(16, 16)) + "\r\n";
    if (!entry.CaptionKey.empty()) config += entry.CaptionKey + "=" + entry.Caption + "\r\n";
  }
  return config;
}

const std::vector<TEntry> kAllEntries = {
    {"tbBack", "eBack", "Back"},       {"tbForward", "eForward", "Forward"}, {"tbRefresh", "eRefresh", "Refresh"},
    {"tbStop", "eStop", "Stop"},       {"tbPrint", "ePrint", "Print"},       {"tbSearch", "eSearch", "Find"},
    {"tbAbout", "eAbout", "About"},    {"tbRegister", "eRegister", "Home"},
};

// A book of ten entries: config.ini and index.htm (never searched), then
// eight more, one of them a picture.
std::vector<uint8_t> SearchBook(const std::string& config) {
  TArchiveBuilder builder;
  builder.Add("config.ini", config);
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome, Needle</p></body></html>");
  builder.Add("one.htm", "<html><head><title>One</title></head><body><p>a needle here</p></body></html>");
  builder.Add("two.htm", "<html><head><title>Two</title></head><body><p>nothing</p></body></html>");
  builder.Add("pic.gif", "needle");
  builder.Add("three.htm", "<html><head><title>Three</title></head><body><p>NEEDLE loud</p></body></html>");
  builder.Add("four.htm", "<html><head><title>Four</title></head><body><a title=\"needle\">tag</a></body></html>");
  builder.Add("five.htm", "<html><head><title>Five</title></head><body><p>hay</p></body></html>");
  builder.Add("six.htm", "<html><head><title>Six</title></head><body><p>hay</p></body></html>");
  builder.Add("seven.htm", "<html><head><title>Seven</title></head><body><p>last needle</p></body></html>");
  return builder.Build();
}

std::vector<std::wstring> Items(const TSkListBox& list) {
  std::vector<std::wstring> items;
  for (int i = 0; i < list.Items().Count(); ++i) items.push_back(list.Items().Strings(i));
  return items;
}

std::string Fetch(const std::string& path) {
  TIdHTTP client;
  return client.Get("http://127.0.0.1:" + BookManager->PortText + path);
}

// The buttons left in the toolbar, left to right.
std::vector<TControl*> ToolbarOrder(TForm1* window) {
  std::vector<TControl*> buttons;
  for (int i = 0; i < window->SkPanel1->ControlCount(); ++i) buttons.push_back(window->SkPanel1->Controls(i));
  std::sort(buttons.begin(), buttons.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  return buttons;
}

// A click that the message loop delivers later (a sent click would run its
// command inside the scenario step).
void PostClick(TControl& control, int x, int y) {
  POINT p{x, y};
  HWND window = MouseTarget(control, p);
  const LPARAM at = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
  PostMessageW(window, WM_MOUSEMOVE, 0, at);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(window, WM_LBUTTONUP, 0, at);
}

using ViewerWindowTest = ShowEbookTest;

// Presses the mouse on the menu bar's "eBook" item: the menu opens and its
// tracking loop runs inside the dispatch of the posted press.
void PressMenu(TForm1* window) {
  const TRect r = window->eBook1->ItemRect;
  POINT p{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  HWND target = MouseTarget(*window->SkMenuBar1, p);
  const LPARAM at = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
  PostMessageW(target, WM_MOUSEMOVE, 0, at);
  PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
}

// The "eBook" pop-up is open; its selected entry's caption.
bool EbookMenuOpen(TForm1* window) {
  TSkItemView* view = TSkItemView::Innermost();
  return view != nullptr && view->Item() == window->eBook1;
}
std::wstring SelectedEntry() {
  TSkItemView* view = TSkItemView::Innermost();
  return view != nullptr && view->Selected() != nullptr ? view->Selected()->Caption() : L"";
}
void PostKey(TForm1* window, WORD key) { PostMessageW(window->Handle(), WM_KEYDOWN, key, 1); }

TEST_F(ViewerWindowTest, ToolbarHoldsTheEightButtonsInStoredOrderSizedByTheirCaptions) {
  const std::vector<uint8_t> block = Book(ToolbarConfig(kAllEntries));
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   TForm1* w = Window(0);
                   const std::vector<TControl*> order = ToolbarOrder(w);
                   const std::vector<TControl*> stored = {w->SpeedButton8, w->SpeedButton7, w->SpeedButton1,
                                                          w->SpeedButton2, w->SpeedButton3, w->SpeedButton6,
                                                          w->SpeedButton4, w->SpeedButton5};
                   EXPECT_EQ(order, stored);
                   // Side by side from the panel's left edge, as high as its
                   // content.
                   const TRect content = w->SkPanel1->ContentRect();
                   int left = content.Left;
                   for (TControl* button : order) {
                     EXPECT_EQ(button->Left(), left);
                     EXPECT_EQ(button->Width(), CaptionWidth(button->Caption()) + 50) << button->Name();
                     EXPECT_EQ(button->Top(), content.Top);
                     EXPECT_EQ(button->Height(), content.Bottom - content.Top);
                     left += button->Width();
                   }
                   EXPECT_EQ(w->SpeedButton6->Caption(), L"Find") << "captions come from the settings";
                   EXPECT_EQ(w->SpeedButton1->Glyph().Width(), 16);
                   EXPECT_EQ(w->ToolbarButtons[7], w->SpeedButton8) << "the Home button is entry 7";
                   EXPECT_EQ(w->SpeedButton5->WaveClickIndex(), -1) << "no wave list: no click sound";
                   EXPECT_NE(w->SpeedButton1->EffectSlot(), -1) << "each button holds an effect slot";
                   // Status line: two panels of 350 hosting the labels.
                   EXPECT_EQ(w->SkStatusBar1->Panels().Count(), 2);
                   EXPECT_EQ(w->StPanel1->Left(), 3);
                   EXPECT_EQ(w->StPanel2->Left(), 353);
                   EXPECT_EQ(w->StPanel1->Width(), 346);
                   EXPECT_FALSE(w->GroupBox1->Visible()) << "the search area starts hidden";
                   EXPECT_LT(w->CheckBox1->BoxRect().Left, w->CheckBox1->CaptionRect().Left)
                       << "the case check box stands left of its caption";
                   PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(ViewerWindowTest, OnlyBackAndPrintStandSideBySideAndTheNavigationPageComesFirst) {
  const std::vector<uint8_t> block =
      Book(ToolbarConfig({{"tbBack", "eBack", "Back"}, {"tbPrint", "ePrint", "Print"}, {"tbAbout", "", ""}}));
  scenario_.Run(block, host_,
                {[&] {
                   TForm1* w = Window(0);
                   return w != nullptr && w->WebBrowser1->LocationURL() == Url("/navigation_bar/navigate.h");
                 },
                 [&] {
                   TForm1* w = Window(0);
                   EXPECT_EQ(w->SpeedButton8, nullptr) << "Home was removed";
                   EXPECT_EQ(w->SpeedButton2, nullptr);
                   EXPECT_EQ(w->ToolbarButtons[7], nullptr);
                   const std::vector<TControl*> order = ToolbarOrder(w);
                   EXPECT_EQ(order.size(), 3u);
                   if (order.size() != 3) return true;
                   EXPECT_EQ(order[0], w->SpeedButton7) << "About, present without caption";
                   EXPECT_EQ(order[1], w->SpeedButton1);
                   EXPECT_EQ(order[2], w->SpeedButton5);
                   EXPECT_EQ(w->SpeedButton7->Caption(), L"");
                   EXPECT_EQ(w->SpeedButton7->Width(), 50);
                   EXPECT_EQ(w->SpeedButton7->Left(), w->SkPanel1->ContentRect().Left);
                   EXPECT_EQ(w->SpeedButton1->Left(), w->SpeedButton7->Left() + 50);
                   EXPECT_EQ(w->SpeedButton1->Width(), CaptionWidth(L"Back") + 50);
                   EXPECT_EQ(w->SpeedButton5->Left(), w->SpeedButton1->Left() + w->SpeedButton1->Width());
                   // History reports for the removed Forward button change nothing.
                   w->WebBrowser1->Navigate(Url("/second.htm"));
                   return true;
                 },
                 [&] { return ShowsPage(Window(0), L"Second"); },
                 [&] {
                   TForm1* w = Window(0);
                   EXPECT_TRUE(w->SpeedButton1->Enabled()) << "Back follows the history";
                   // The About button works through a real click.
                   Click(*w->SpeedButton7, 10, 10);
                   return true;
                 },
                 [&] {
                   TForm1* w = Window(0);
                   if (w->WebBrowser1->LocationURL() != Url("/navigation_bar/about.h")) return false;
                   PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

bool HasPrinter() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  return needed > 0;
}

BOOL CALLBACK CollectShownDialog(HWND window, LPARAM data) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  }
  return TRUE;
}

// Dialog windows of this thread that are showing.
std::vector<HWND> ShownDialogs() {
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), &CollectShownDialog, reinterpret_cast<LPARAM>(&dialogs));
  return dialogs;
}

// WCAG's relative luminance of a 0x00RRGGBB colour, and the contrast of two.
double Luminance(uint32_t rgb) {
  auto channel = [](uint32_t value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel((rgb >> 16) & 0xFF) + 0.7152 * channel((rgb >> 8) & 0xFF) + 0.0722 * channel(rgb & 0xFF);
}

double Contrast(uint32_t a, uint32_t b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The status line's stored texts are white; the theme's status bar must be
// dark enough for them to read as body text does (4.5:1).
TEST_F(ViewerWindowTest, ThePageTitleReadsInTheStatusLine) {
  const std::vector<uint8_t> block = Book(Config("Resolution=640x480\r\n"));
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   TForm1* w = Window(0);
                   const std::unique_ptr<TskBitmap> bar = RenderControl(*w->SkStatusBar1);
                   const TLabel& label = *w->StPanel1;
                   double best = 1.0;
                   int textPixels = 0;
                   for (int y = label.Top(); y < label.Top() + label.Height(); ++y) {
                     // The label's right end shows the bar's background at
                     // this row (the bar may be shaded from top to bottom).
                     const uint32_t background = Rgb(*bar, label.Left() + label.Width() - 3, y);
                     for (int x = label.Left(); x < label.Left() + label.Width() - 3; ++x) {
                       const double contrast = Contrast(Rgb(*bar, x, y), background);
                       if (contrast > 1.5) ++textPixels;
                       best = std::max(best, contrast);
                     }
                   }
                   EXPECT_GT(textPixels, 10) << "the title is drawn";
                   EXPECT_GE(best, 4.5) << "the title's text against the status bar";
                   PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_EQ(ViewerWindows, nullptr);
}

TEST_F(ViewerWindowTest, PrintAppliesThePageSetupAndACancelledDialogPrintsNothing) {
  const std::vector<uint8_t> block = Book(ToolbarConfig(kAllEntries));
  int confirmed = 0;
  int cancelled = 0;
  int quietTicks = 0;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   TForm1* w = Window(0);
                   EXPECT_NE(w->WebBrowser1->PlainBrowser(), nullptr);
                   if (w->WebBrowser1->PlainBrowser() == nullptr) return true;
                   w->WebBrowser1->PrintOptions().Header = "stale header";
                   confirmed = w->WebBrowser1->PlainBrowser()->PageSetup().Confirmed;
                   // The print dialog is modal: the click is delivered by the
                   // loop, and the next steps run inside the dialog's loop.
                   PostClick(*w->SpeedButton5, 10, 10);
                   return true;
                 },
                 [&] {
                   // Cancel whatever the platform shows (the print dialog, or
                   // its note that no printer is installed) until nothing
                   // has shown for a while.
                   const std::vector<HWND> dialogs = ShownDialogs();
                   for (HWND dialog : dialogs) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                   cancelled += static_cast<int>(dialogs.size());
                   quietTicks = dialogs.empty() ? quietTicks + 1 : 0;
                   return cancelled > 0 && quietTicks > 25;
                 },
                 [&] {
                   TForm1* w = Window(0);
                   TPlainBrowser* plain = w->WebBrowser1->PlainBrowser();
                   EXPECT_EQ(w->WebBrowser1->PrintOptions().Header, "") << "header and footer cleared";
                   EXPECT_EQ(w->WebBrowser1->PrintOptions().Footer, "");
                   if (HasPrinter()) {
                     // The page setup was confirmed before the print dialog.
                     EXPECT_EQ(plain->PageSetup().Confirmed, confirmed + 1);
                     EXPECT_EQ(plain->PageSetup().Header, L"");
                     EXPECT_FALSE(plain->PageSetup().Landscape);
                   }
                   EXPECT_EQ(plain->PrintCount(), 0) << "a cancelled dialog prints nothing";
                   PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(ViewerWindowTest, SearchReportsProgressListsPagesAndOpensAResultHighlighted) {
  const std::vector<uint8_t> block = SearchBook(ToolbarConfig(kAllEntries));
  std::vector<std::wstring> progress;
  std::string highlighted;
  scenario_.Run(
      block, host_,
      {[&] { return ShowsPage(Window(0), L"Start"); },
       [&] {
         TForm1* w = Window(0);
         Click(*w->SpeedButton6, 10, 10);  // shows the search area
         EXPECT_TRUE(w->GroupBox1->Visible());
         EXPECT_LT(w->WebBrowser1->Height(), 400) << "the browser gave room to the search area";
         // An empty text: the message, nothing searched.
         Click(*w->SpeedButton10, 5, 5);
         EXPECT_EQ(w->StPanel2->Caption(), L"You have not specified text to find");
         // The progress, as the status line shows it entry by entry.
         auto previous = w->StPanel1->WindowProc;
         w->StPanel1->WindowProc = [&progress, previous, label = w->StPanel1](TMessage& message) {
           previous(message);
           if (message.Msg == CM_TEXTCHANGED) progress.push_back(label->Caption());
         };
         Click(*w->LabeledEdit1, 5, 5);
         TypeText(*w->LabeledEdit1, L"needle");
         EXPECT_EQ(w->LabeledEdit1->Text(), L"needle");
         Click(*w->SpeedButton10, 5, 5);
         w->StPanel1->WindowProc = previous;
         return true;
       },
       [&] {
         TForm1* w = Window(0);
         EXPECT_EQ(progress, (std::vector<std::wstring>{L"22 percent done", L"33 percent done", L"44 percent done",
                                                         L"55 percent done", L"66 percent done", L"77 percent done",
                                                         L"88 percent done", L"100 percent done"}));
         EXPECT_EQ(Items(*w->ListBox1), (std::vector<std::wstring>{L"one.htm", L"three.htm", L"seven.htm"}));
         // Showing results: the edit, the case flag and Search wait for Reset.
         EXPECT_TRUE(w->GroupBox1->Enabled());
         EXPECT_TRUE(w->ListBox1->Enabled());
         EXPECT_FALSE(w->LabeledEdit1->Enabled());
         EXPECT_FALSE(w->CheckBox1->Enabled());
         EXPECT_FALSE(w->SpeedButton10->Enabled());
         // A click on the second result opens it highlighted: asked of the
         // server before the page completes, the page carries the spans.
         Click(*w->ListBox1, 20, 16 + 8);
         EXPECT_EQ(w->ListBox1->ItemIndex(), 1);
         highlighted = Fetch("/three.htm");
         return true;
       },
       [&] { return ShowsPage(Window(0), L"Three"); },
       [&] {
         TForm1* w = Window(0);
         EXPECT_NE(highlighted.find("<span style=\"background:yellow;mso-highlight:yellow\">needle</span> loud"),
                   std::string::npos)
             << highlighted;
         EXPECT_EQ(Fetch("/three.htm").find("<span"), std::string::npos) << "the completion cleared the highlight";
         // Reset: the list empties, the controls come back, the text stays.
         Click(*w->SpeedButton11, 5, 5);
         EXPECT_TRUE(Items(*w->ListBox1).empty());
         EXPECT_TRUE(w->LabeledEdit1->Enabled());
         EXPECT_TRUE(w->CheckBox1->Enabled());
         EXPECT_TRUE(w->SpeedButton10->Enabled());
         EXPECT_EQ(w->LabeledEdit1->Text(), L"needle");
         // Case-sensitive: only the loud page.
         Click(*w->CheckBox1, 5, 5);
         EXPECT_TRUE(w->CheckBox1->Checked());
         Click(*w->SpeedButton10, 5, 5);
         EXPECT_EQ(Items(*w->ListBox1), (std::vector<std::wstring>{L"one.htm", L"seven.htm"}));
         // A result click, then a second window: its page completion clears
         // the highlight for every window.
         Click(*w->ListBox1, 20, 8);
         w->Newwindow1_oldClick(w);
         return true;
       },
       [&] { return Window(1) != nullptr && !BookManager->SearchState().HighlightActive; },
       [&] {
         EXPECT_EQ(Fetch("/one.htm").find("<span"), std::string::npos);
         for (size_t i = 0; i < 2; ++i) PostMessageW(Window(i)->Handle(), WM_CLOSE, 0, 0);
         return true;
       }});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

// A raw request to the window's server, with extra header lines; the whole
// answer, headers included.
std::string Ask(const std::string& path, const std::string& headers = "") {
  return Exchange(BookManager->Port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
}

bool Answered(const std::string& answer, const std::string& status) { return answer.rfind(status, 0) == 0; }

TEST_F(ViewerWindowTest, ASealedBookSearchesNothingBeforeTheLoginAndItsPagesAfter) {
  // The search book with readers, sealed; a cheap derivation keeps the test
  // quick (the count is the book's own, read from its seal).
  std::string config = ToolbarConfig(kAllEntries) + "[users]\r\nann=secret\r\n";
  TSealOptions options;
  options.Iterations = 2000;
  const std::vector<uint8_t> block = SealBookBlock(SearchBook(config), options);
  // "ann:secret" and "ann:wrong" in the login header's encoding.
  const std::string login = "Authorization: Basic YW5uOnNlY3JldA==\r\n";
  const std::string wrongLogin = "Authorization: Basic YW5uOndyb25n\r\n";
  scenario_.Run(
      block, host_,
      {[&] { return Window(0) != nullptr && BookManager != nullptr && BookManager->Seal != nullptr; },
       [&] {
         TForm1* w = Window(0);
         EXPECT_EQ(w->Caption(), L"Test Book") << "the window's settings are read before any login";
         Click(*w->SpeedButton6, 10, 10);
         Click(*w->LabeledEdit1, 5, 5);
         TypeText(*w->LabeledEdit1, L"needle");
         Click(*w->SpeedButton10, 5, 5);
         EXPECT_EQ(w->StPanel2->Caption(), L"Log in on a page of the book first: its pages are sealed until then");
         EXPECT_TRUE(Items(*w->ListBox1).empty());
         EXPECT_TRUE(w->SpeedButton10->Enabled()) << "the area stays ready for a search after the login";
         EXPECT_FALSE(BookManager->Seal->Unlocked());
         // The pages answer 401 until a reader's password opens the book.
         EXPECT_TRUE(Answered(Ask("/one.htm"), "HTTP/1.1 401")) << Ask("/one.htm");
         EXPECT_TRUE(Answered(Ask("/one.htm", wrongLogin), "HTTP/1.1 401"));
         const std::string page = Ask("/one.htm", login);
         EXPECT_TRUE(Answered(page, "HTTP/1.1 200")) << page;
         EXPECT_NE(page.find("a needle here"), std::string::npos) << page;
         EXPECT_TRUE(BookManager->Seal->Unlocked());
         // After the login the same search reads the decrypted pages.
         Click(*w->SpeedButton10, 5, 5);
         EXPECT_EQ(Items(*w->ListBox1), (std::vector<std::wstring>{L"one.htm", L"three.htm", L"seven.htm"}));
         PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
         return true;
       }});
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(ViewerWindowTest, ClosingAWindowWhileItsSearchRunsClosesItAfterTheSearchStops) {
  TArchiveBuilder builder;
  builder.Add("config.ini", ToolbarConfig(kAllEntries));
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome</p></body></html>");
  const std::string page(64 * 1024, 'x');
  for (int i = 0; i < 400; ++i) builder.Add("p" + std::to_string(i) + ".htm", page + " needle", 1);
  const std::vector<uint8_t> block = builder.Build();
  bool closedWhileSearching = false;
  int foundWhenClosed = 0;
  scenario_.Run(block, host_,
                {[&] { return ShowsPage(Window(0), L"Start"); },
                 [&] {
                   TForm1* w = Window(0);
                   Click(*w->SpeedButton6, 10, 10);
                   Click(*w->LabeledEdit1, 5, 5);
                   TypeText(*w->LabeledEdit1, L"needle");
                   // The search runs when the loop delivers this click; the
                   // scenario's timer fires between its entries and asks the
                   // window to close.
                   PostClick(*w->SpeedButton10, 5, 5);
                   return true;
                 },
                 [&] {
                   TForm1* w = Window(0);
                   if (w == nullptr) return true;  // already gone: the close ran
                   if (!w->Searching()) return false;
                   closedWhileSearching = true;
                   foundWhenClosed = w->ListBox1->Items().Count();
                   PostMessageW(w->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_TRUE(closedWhileSearching) << "the search ended before the close could be asked";
  EXPECT_LT(foundWhenClosed, 400);
  EXPECT_EQ(ViewerWindows, nullptr);
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

// What the skinned frame answers at the centre of a caption button (window
// coordinates), through a real WM_NCHITTEST.
LRESULT FrameHitTest(TForm1* window, int button) {
  const TRect r = window->SkForm1->ButtonRect(button);
  RECT bounds{};
  GetWindowRect(window->Handle(), &bounds);
  const LPARAM at = MAKELPARAM(static_cast<WORD>(bounds.left + (r.Left + r.Right) / 2),
                               static_cast<WORD>(bounds.top + (r.Top + r.Bottom) / 2));
  return SendMessageW(window->Handle(), WM_NCHITTEST, 0, at);
}

// A point on the left border, half-way down.
LRESULT LeftBorderHitTest(TForm1* window) {
  RECT bounds{};
  GetWindowRect(window->Handle(), &bounds);
  const TRect client = window->SkForm1->ClientRect();
  const LPARAM at = MAKELPARAM(static_cast<WORD>(bounds.left + client.Left / 2),
                               static_cast<WORD>((bounds.top + bounds.bottom) / 2));
  return SendMessageW(window->Handle(), WM_NCHITTEST, 0, at);
}

TEST_F(ViewerWindowTest, FrameTakesCaptionIconsAndSizingFromTheSettings) {
  struct TCase {
    const char* Params;
    bool Sizeable;
    bool MaximizeButton;
    bool Maximized;
  };
  const TCase cases[] = {
      {"Resolution=640x480\r\nResizable=0\r\n", false, false, false},
      {"Resolution=700x500\r\nResizable=1\r\n", true, true, false},
      {"Resolution=Maximized\r\nResizable=0\r\n", false, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Params);
    scenario_.Run(Book(Config(c.Params)), host_,
                  {[&] { return ShowsPage(Window(0), L"Start"); },
                   [&] {
                     TForm1* w = Window(0);
                     TSkForm* frame = w->SkForm1;
                     EXPECT_EQ(frame->Caption(), L"Test Book");
                     EXPECT_TRUE(frame->UsesTheme()) << "the stored theme draws the frame";
                     EXPECT_EQ(frame->Dragging().DragMode, kfdmBorder);
                     EXPECT_FALSE(frame->HasIcon(kbiRollup)) << "no roll-up icon in any case";
                     EXPECT_FALSE(frame->HasIcon(kbiTray));
                     EXPECT_EQ(FrameHitTest(w, 0), HTCLOSE);
                     EXPECT_EQ(FrameHitTest(w, 2), HTMINBUTTON);
                     EXPECT_EQ(frame->HasIcon(kbiMaximize), c.MaximizeButton);
                     if (c.MaximizeButton) {
                       EXPECT_EQ(FrameHitTest(w, 3), HTMAXBUTTON);
                     }
                     EXPECT_EQ(frame->Dragging().Sizeable, c.Sizeable);
                     EXPECT_EQ(frame->WindowState(), c.Maximized ? kwsMaximized : kwsNormal);
                     RECT bounds{};
                     GetWindowRect(w->Handle(), &bounds);
                     if (c.Maximized) {
                       EXPECT_EQ(LeftBorderHitTest(w), HTCLIENT) << "a maximized frame does not size";
                       const TRect most = frame->MaximizedRect();
                       EXPECT_EQ((TRect{bounds.left, bounds.top, bounds.right, bounds.bottom}), most);
                     } else {
                       EXPECT_EQ(LeftBorderHitTest(w), c.Sizeable ? HTLEFT : HTCLIENT);
                       EXPECT_EQ(bounds.right - bounds.left, c.Sizeable ? 700 : 640) << "outer size";
                       EXPECT_EQ(bounds.bottom - bounds.top, c.Sizeable ? 500 : 480);
                     }
                     w->Close();
                     return true;
                   }});
    EXPECT_EQ(ViewerWindows, nullptr);
  }
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}

}  // namespace

TEST_F(ViewerWindowTest, TheEbookMenuOpensNewWindowsShowsTheStartPageAndCloses) {
  const std::vector<uint8_t> block = Book(ToolbarConfig(kAllEntries));
  std::vector<std::wstring> visited;
  scenario_.Run(
      block, host_,
      {[&] { return ShowsPage(Window(0), L"Start"); },
       [&] {
         TForm1* w = Window(0);
         // One menu "eBook" on a bar above the toolbar.
         EXPECT_EQ(w->SkMenuBar1->Items()->Count(), 1);
         EXPECT_EQ(w->eBook1->Caption(), L"eBook");
         EXPECT_EQ(w->SkMenuBar1->Top(), 0);
         EXPECT_EQ(w->SkPanel1->Top(), w->SkMenuBar1->Height());
         PressMenu(w);
         return true;
       },
       [&] {
         if (!EbookMenuOpen(Window(0))) return false;
         visited.push_back(SelectedEntry());
         // Down twice and Up once: the separators are skipped.
         PostKey(Window(0), VK_DOWN);
         PostKey(Window(0), VK_DOWN);
         PostKey(Window(0), VK_UP);
         return true;
       },
       [&] {
         visited.push_back(SelectedEntry());
         PostKey(Window(0), VK_UP);
         PostKey(Window(0), VK_RETURN);  // New window
         return true;
       },
       [&] { return ViewerWindowCount() == 2 && ShowsPage(Window(1), L"Start"); },
       [&] {
         EXPECT_EQ(TSkItemView::Innermost(), nullptr) << "the menus have ended";
         PressMenu(Window(0));
         return true;
       },
       [&] {
         if (!EbookMenuOpen(Window(0))) return false;
         PostKey(Window(0), VK_DOWN);
         PostKey(Window(0), VK_RETURN);  // Show start page
         return true;
       },
       [&] { return Window(0)->WebBrowser1->LocationURL() == Url("/navigation_bar/navigate.h"); },
       [&] {
         PressMenu(Window(1));
         return true;
       },
       [&] {
         if (!EbookMenuOpen(Window(1))) return false;
         PostKey(Window(1), VK_UP);  // wraps to Close
         return true;
       },
       [&] {
         visited.push_back(SelectedEntry());
         PostKey(Window(1), VK_RETURN);
         return true;
       },
       [&] { return ViewerWindowCount() == 1; },
       [&] {
         EXPECT_EQ(Window(0)->WebBrowser1->LocationURL(), Url("/navigation_bar/navigate.h"))
             << "the other window is untouched";
         PressMenu(Window(0));
         return true;
       },
       [&] {
         if (!EbookMenuOpen(Window(0))) return false;
         PostKey(Window(0), VK_UP);
         PostKey(Window(0), VK_RETURN);  // Close: the last window, ShowEbook returns
         return true;
       }});
  EXPECT_EQ(visited, (std::vector<std::wstring>{L"New window", L"Show start page", L"Close"}));
  EXPECT_TRUE(errors_.empty()) << errors_.front();
}
