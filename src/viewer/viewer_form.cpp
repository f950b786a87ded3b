#include "viewer/viewer_form.h"

#include <algorithm>

#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "browser/embedded_wb.h"
#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "server/ebook_manager.h"
#include "skin/sk_engine.h"

std::unique_ptr<TViewerWindowList> ViewerWindows;

namespace {

// Index of the Home button's entry among the settings' toolbar entries.
constexpr int kHomeEntry = 7;

constexpr int kDesignClientWidth = 792;
constexpr int kDesignClientHeight = 573;
constexpr double kPrintMargin = 19.05;  // millimetres, all four sides
constexpr int kDeltaBrightness = 10;    // the stored theme is shown a little lighter

}  // namespace

TForm1* OpenViewerWindow() {
  // The window is created before it is appended: a window whose creation
  // fails never enters the list.
  TForm1* window = CreateComponent<TForm1>(Application);
  ViewerWindows->push_back(window);
  window->Show();
  return window;
}

TForm1::TForm1(TComponent* owner) : TForm(owner) {
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
  CreateLayout([this] { CreateStoredLayout(); });
}

TForm1::~TForm1() = default;

// The stored layout: the window's own properties and its components with
// their stored values, created while the window is loading.
void TForm1::CreateStoredLayout() {
  SetPosition(poScreenCenter);
  SetCaption(L"eBook");
  SetColor(clBtnFace);
  Font().SetName(L"MS Sans Serif");
  Font().SetHeight(-11);
  Font().SetColor(clWhite);
  SetClientSize(kDesignClientWidth, kDesignClientHeight);
  // The browser host watches this window from the end of loading on, so
  // the window exists before its components finish loading.
  HandleNeeded();

  WebBrowser1 = CreateComponent<TEmbeddedWB>(this);
  WebBrowser1->SetName("WebBrowser1");
  WebBrowser1->SetParent(this);
  WebBrowser1->SetBounds(0, 60, 792, 356);
  WebBrowser1->SetAlign(alClient);
  TPrintOptions& print = WebBrowser1->PrintOptions();
  print.Margins.Left = print.Margins.Right = print.Margins.Top = print.Margins.Bottom = kPrintMargin;
  print.HTMLHeader.Clear();
  print.HTMLHeader.Add("<HTML></HTML>");
  print.Orientation = poPortrait;
  WebBrowser1->SetReplaceCaption(false);
  WebBrowser1->SetEnableDDE(false);
  WebBrowser1->SetfpExceptions(true);
  WebBrowser1->OnCommandStateChange = [this](TObject* sender, long command, bool enable) {
    WebBrowser1CommandStateChange(sender, command, enable);
  };
  WebBrowser1->OnNewWindow2 = [this](TObject* sender, IDispatch** ppDisp, bool& cancel) {
    WebBrowser1NewWindow2(sender, ppDisp, cancel);
  };
  WebBrowser1->OnDocumentComplete = [this](TObject* sender) { EmbeddedWB1DocumentComplete(sender); };
  WebBrowser1->OnCloseQuery = [this](TObject* sender, bool& canClose) { WebBrowser1CloseQuery(sender, canClose); };

  // The status line's texts; the status bar that shows them belongs to the
  // skinned part of the layout.
  for (TLabel** label : {&StPanel1, &StPanel2}) {
    *label = CreateComponent<TLabel>(this);
    (*label)->SetName(label == &StPanel1 ? "StPanel1" : "StPanel2");
    (*label)->SetBounds(2, 2, 346, 16);
    (*label)->Font().SetName(L"Arial");
    (*label)->Font().SetHeight(-11);
    (*label)->Font().SetColor(clWhite);
    (*label)->SetTransparent(true);
    (*label)->SetCaption(L"");
  }

  PrintDialog1 = CreateComponent<TPrintDialog>(this);
  PrintDialog1->SetName("PrintDialog1");

  SkThemeList1 = CreateComponent<TSkThemeList>(this);
  SkThemeList1->SetName("SkThemeList1");
  LoadViewerThemeList(*SkThemeList1);

  // The driver's stored values, in their stored order; the theme is chosen
  // when the layout has finished loading.
  SkStyleDriver1 = CreateComponent<TSkStyleDriver>(this);
  SkStyleDriver1->SetName("SkStyleDriver1");
  SkStyleDriver1->SetDeltaHue(0);
  SkStyleDriver1->SetDeltaBrightness(kDeltaBrightness);
  SkStyleDriver1->SetThemeList(SkThemeList1);
  SkStyleDriver1->SetThemeIndex(0);
  SkStyleDriver1->SetThemeBuilding(kNoThemeBuilding);
}

int TForm1::ToolbarButtonWidth(const std::wstring& caption) {
  TCanvas& canvas = Canvas();
  canvas.Font().Assign(Font());
  return canvas.TextWidth(caption) + 50;
}

// Adapts the window to the book. A step that fails ends the set-up there:
// the window still opens with what was set so far.
void TForm1::FormCreate(TObject*) {
  const TResSetup& settings = BookManager->Settings;

  SetCaption(AnsiToWide(settings.Title));

  SetBorderIcons(biSystemMenu | biMinimize | biMaximize);
  if (settings.Resizable) {
    SetBorderStyle(bsSizeable);
  } else {
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu | biMinimize);
  }

  if (settings.Resolution == "Maximized") {
    // A maximised book gets a maximise button even when it is not resizable.
    SetBorderIcons(biSystemMenu | biMinimize | biMaximize);
    SetWindowState(wsMaximized);
  } else {
    SetWidth(StrToInt(LeftOfChar(settings.Resolution, 'x')));
    SetHeight(StrToInt(RightOfChar(settings.Resolution, 'x')));
  }

  TStream& icon = *settings.Icon;
  icon.SetPosition(0);
  Icon().LoadFromStream(icon);
  icon.SetPosition(0);
  Application->Icon().LoadFromStream(icon);

  // The Home button exists exactly when the book's toolbar has its entry.
  if (settings.Toolbar[kHomeEntry].Present) {
    SpeedButton8Click(this);
  } else {
    WebBrowser1->Navigate(LocalUrl("/navigation_bar/navigate.h"));
  }
}

std::wstring TForm1::LocalUrl(const std::string& path) {
  return AnsiToWide("http://127.0.0.1:" + BookManager->PortText + path);
}

void TForm1::SpeedButton8Click(TObject*) { WebBrowser1->Navigate(LocalUrl("/" + BookManager->Settings.StartPage)); }

void TForm1::SpeedButton7Click(TObject*) { WebBrowser1->Navigate(LocalUrl("/navigation_bar/about.h")); }

void TForm1::Navigationpage1Click(TObject*) { WebBrowser1->Navigate(LocalUrl("/navigation_bar/navigate.h")); }

void TForm1::SpeedButton1Click(TObject*) { WebBrowser1->GoBack(); }

void TForm1::SpeedButton2Click(TObject*) { WebBrowser1->GoForward(); }

void TForm1::SpeedButton4Click(TObject*) { WebBrowser1->Stop(); }

// A new navigation to the current address, not the browser's own refresh.
void TForm1::SpeedButton3Click(TObject*) { WebBrowser1->Navigate(WebBrowser1->LocationURL()); }

void TForm1::Newwindow1_oldClick(TObject*) {
  TForm1* window = OpenViewerWindow();
  window->WebBrowser1->Navigate(WebBrowser1->LocationURL());
}

void TForm1::Close1_oldClick(TObject*) { Close(); }

void TForm1::WebBrowser1CommandStateChange(TObject*, long command, bool enable) {
  constexpr long kNavigateForward = 1;
  constexpr long kNavigateBack = 2;
  if (command == kNavigateForward) {
    if (SpeedButton2 != nullptr) SpeedButton2->SetEnabled(enable);
  } else if (command == kNavigateBack) {
    if (SpeedButton1 != nullptr) SpeedButton1->SetEnabled(enable);
  }
}

// A page asks for a window of its own: the new viewer window's browser is
// handed back and loads the requested page in place of its first one.
void TForm1::WebBrowser1NewWindow2(TObject*, IDispatch** ppDisp, bool& cancel) {
  TForm1* window = OpenViewerWindow();
  *ppDisp = window->WebBrowser1->Application();
  cancel = false;
}

// Raised once per frame and once for the whole page; they are not told
// apart. A page without a title keeps the previous one in the status line.
void TForm1::EmbeddedWB1DocumentComplete(TObject*) {
  const std::wstring name = WebBrowser1->LocationName();
  const std::wstring url = WebBrowser1->LocationURL();
  if (name != url) StPanel1->SetCaption(AnsiToWide(WideToAnsi(name)));
  // Highlighting asked for by a search hit applies to the pages loaded up to
  // the first completion only.
  TSearchState search = BookManager->SearchState();
  search.HighlightActive = false;
  BookManager->SetSearchState(std::move(search));
}

// The page asked its window to close: the browser's window stays, the
// viewer window closes instead.
void TForm1::WebBrowser1CloseQuery(TObject*, bool& canClose) {
  canClose = false;
  Close();
}

void TForm1::FormClose(TObject*, TCloseAction& action) {
  if (ViewerWindows != nullptr) {
    const auto entry = std::find(ViewerWindows->begin(), ViewerWindows->end(), this);
    if (entry != ViewerWindows->end()) ViewerWindows->erase(entry);
    if (ViewerWindows->empty()) ViewerWindows.reset();
  }
  // Destroyed after the current message, never inside its own handler.
  action = caFree;
}
