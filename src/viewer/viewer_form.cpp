#include "viewer/viewer_form.h"

#include <algorithm>
#include <chrono>

#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "browser/embedded_wb.h"
#include "runtime/ansi.h"
#include "runtime/conversions.h"
#include "runtime/scope_exit.h"
#include "server/book_search.h"
#include "server/ebook_manager.h"
#include "skin/controls/sk_buttons.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_effect_controls.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_label.h"
#include "skin/controls/sk_list_box.h"
#include "skin/controls/sk_status_bar.h"
#include "skin/frame/sk_form.h"
#include "skin/menus/sk_menus.h"
#include "skin/sk_engine.h"

std::unique_ptr<TViewerWindowList> ViewerWindows;

namespace {

// Index of the Home button's entry among the settings' toolbar entries.
constexpr int kHomeEntry = 7;

constexpr int kDesignClientWidth = 792;
constexpr int kDesignClientHeight = 573;
constexpr int kToolbarTop = 22;  // below the menu bar
constexpr int kToolbarHeight = 38;
constexpr int kSearchAreaHeight = 135;
// The status line's answer to a search in a sealed book before any login.
constexpr const wchar_t* kSearchNeedsLogin =
    L"Log in on a page of the book first: its pages are sealed until then";
constexpr int kStatusBarHeight = 22;
constexpr int kToolbarButtonWidth = 78;
constexpr int kToolbarButtonHeight = 36;
constexpr int kStatusPanelWidth = 350;
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
  InstallKeys();
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

  CreateSearchArea();
  CreateMenuBar();
  CreateToolbar();
  CreateStatusBar();

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

  CreateStoredFrame();
}

// The skinned frame's stored values. It is made after the style driver, so
// that the theme is current when the frame measures itself at the end of
// loading.
void TForm1::CreateStoredFrame() {
  SkForm1 = CreateComponent<TSkForm>(this);
  SkForm1->SetName("SkForm1");
  SkForm1->SetBorderStyle(kbsStandard);
  SkForm1->SetBorderIcons(kSkDefaultBorderIcons);
  SkForm1->Dragging().Sizeable = false;
  SkForm1->Dragging().DragMode = kfdmBorder;
  SkForm1->SetPerformance(qvfpNoBuffer);
  SkForm1->SetStayOnTop(false);
  SkForm1->SetStretchBackground(false);
  SkForm1->SetMinimizeApplication(false);
  SkForm1->SetWindowState(kwsNormal);
  SkForm1->SetThemeObject(kDefaultObjectName);
  SkForm1->SetMenuBar(SkMenuBar1);
  SkForm1->Animation().SetEffectKind(kRandomEffectName);
  SkForm1->SystemMenuOptions().Animation().SetEffectKind(kRandomEffectName);
  SkForm1->TrayMenuOptions().Animation().SetEffectKind(kRandomEffectName);
}

// The search area: aligned to the bottom above the status bar, hidden until
// the toolbar's Search button shows it.
void TForm1::CreateSearchArea() {
  GroupBox1 = CreateComponent<TSkGroupBox>(this);
  GroupBox1->SetName("GroupBox1");
  GroupBox1->SetParent(this);
  GroupBox1->SetBounds(0, kDesignClientHeight - kStatusBarHeight - kSearchAreaHeight, kDesignClientWidth,
                       kSearchAreaHeight);
  GroupBox1->SetAlign(alBottom);
  GroupBox1->SetVisible(false);
  GroupBox1->SetCaption(L"Ebook Search Engine");
  GroupBox1->SetCaptionMargin(12);
  GroupBox1->SetParentFont(false);
  GroupBox1->Font().SetName(L"MS Sans Serif");
  GroupBox1->Font().SetHeight(-11);
  GroupBox1->Font().SetColor(clBlack);
  GroupBox1->SetTransparent(true);

  SkLabel1 = CreateComponent<TSkLabel>(this);
  SkLabel1->SetName("SkLabel1");
  SkLabel1->SetParent(GroupBox1);
  SkLabel1->SetBounds(264, 16, 70, 13);
  SkLabel1->SetCaption(L"Search results:");

  LabeledEdit1 = CreateComponent<TSkLabeledEdit>(this);
  LabeledEdit1->SetName("LabeledEdit1");
  LabeledEdit1->SetParent(GroupBox1);
  LabeledEdit1->SetBounds(16, 32, 241, 21);
  LabeledEdit1->EditLabel()->SetCaption(L"Text to find");
  LabeledEdit1->SetLabelPosition(lpAbove);
  LabeledEdit1->SetLabelSpacing(3);
  LabeledEdit1->SetPerformance(qvpDoubleBuffer);
  LabeledEdit1->SetBevelSides(kbsAll);
  LabeledEdit1->SetBevelInner(kbvLowered);
  LabeledEdit1->SetBevelOuter(kbvLowered);
  LabeledEdit1->SetBevelKind(kbkSingle);
  LabeledEdit1->SetBevelWidth(1);
  LabeledEdit1->SetBorderWidth(3);
  LabeledEdit1->SetParentFont(false);
  LabeledEdit1->Font().SetName(L"MS Sans Serif");
  LabeledEdit1->Font().SetHeight(-11);
  LabeledEdit1->Font().SetColor(clWindowText);
  LabeledEdit1->SetPasswordKind(pkNone);
  LabeledEdit1->SetTabOrder(0);

  CheckBox1 = CreateComponent<TSkCheckBox>(this);
  CheckBox1->SetName("CheckBox1");
  CheckBox1->SetParent(GroupBox1);
  CheckBox1->SetBounds(12, 61, 65, 33);
  CheckBox1->SetCaption(L"Case sensitive");
  CheckBox1->SetState(kcbsUnChecked);
  CheckBox1->SetAllowGrayed(false);
  CheckBox1->SetAlignment(kalLeftJustify);
  CheckBox1->SetSpacing(5);
  CheckBox1->SetTransparent(true);
  CheckBox1->SetWordWrap(true);
  CheckBox1->SetTabOrder(1);

  SpeedButton10 = CreateComponent<TSkButton>(this);
  SpeedButton10->SetName("SpeedButton10");
  SpeedButton10->SetParent(GroupBox1);
  SpeedButton10->SetBounds(200, 64, 57, 25);
  SpeedButton10->SetCaption(L"Search");
  SpeedButton10->FontOptions().SetSizeDelta(-1);
  SpeedButton10->SetTabOrder(2);
  SpeedButton10->OnClick = [this](TObject* sender) { SpeedButton10Click(sender); };

  ListBox1 = CreateComponent<TSkListBox>(this);
  ListBox1->SetName("ListBox1");
  ListBox1->SetParent(GroupBox1);
  ListBox1->SetBounds(264, 32, 513, 84);
  ListBox1->SetItemHeight(16);
  ListBox1->SetMultiSelect(false);
  ListBox1->SetShowCheckBoxes(false);
  ListBox1->SetFlat(true);
  ListBox1->SetBevelSides(kbsAll);
  ListBox1->SetBevelInner(kbvLowered);
  ListBox1->SetBevelOuter(kbvLowered);
  ListBox1->SetBevelKind(kbkSingle);
  ListBox1->SetBevelWidth(1);
  ListBox1->SetBorderWidth(0);
  ListBox1->SetTabOrder(3);
  ListBox1->OnClick = [this](TObject* sender) { ListBox1Click(sender); };

  SpeedButton11 = CreateComponent<TSkButton>(this);
  SpeedButton11->SetName("SpeedButton11");
  SpeedButton11->SetParent(GroupBox1);
  SpeedButton11->SetBounds(80, 64, 113, 25);
  SpeedButton11->SetCaption(L"Reset and new Search");
  SpeedButton11->FontOptions().SetSizeDelta(-1);
  SpeedButton11->SetTabOrder(4);
  SpeedButton11->OnClick = [this](TObject* sender) { SpeedButton11Click(sender); };
}

// The menu bar above the toolbar with its one menu "eBook".
void TForm1::CreateMenuBar() {
  SkMenuBar1 = CreateComponent<TSkMenuBar>(this);
  SkMenuBar1->SetName("SkMenuBar1");
  SkMenuBar1->SetParent(this);
  SkMenuBar1->SetBounds(0, 0, kDesignClientWidth, kToolbarTop);
  SkMenuBar1->SetAlign(alTop);
  SkMenuBar1->SetAutoSize(true);
  SkMenuBar1->SetPerformance(qvpNoBuffer);
  SkMenuBar1->SetThemeObject("default");
  SkMenuBar1->PopupMenuOptions().Animation().SetEffectKind(kRandomEffectName);
  SkMenuBar1->PopupMenuOptions().Animation().SetEnabled(false);

  struct TStoredItem {
    TSkItem* TForm1::*Field;
    const char* Name;
    const wchar_t* Caption;
    void (TForm1::*Command)(TObject*);
  };
  static constexpr TStoredItem kStored[] = {
      {&TForm1::Newwindow1, "Newwindow1", L"New window", &TForm1::Newwindow1_oldClick},
      {&TForm1::N2, "N2", L"-", nullptr},
      {&TForm1::Showstartpage1, "Showstartpage1", L"Show start page", &TForm1::Navigationpage1Click},
      {&TForm1::N1, "N1", L"-", nullptr},
      {&TForm1::Close1, "Close1", L"Close", &TForm1::Close1_oldClick},
  };
  eBook1 = CreateComponent<TSkItem>(this);
  eBook1->SetName("eBook1");
  eBook1->SetCaption(L"eBook");
  SkMenuBar1->Items()->Add(eBook1);
  for (const TStoredItem& stored : kStored) {
    auto* item = CreateComponent<TSkItem>(this);
    this->*stored.Field = item;
    item->SetName(stored.Name);
    item->SetCaption(stored.Caption);
    if (stored.Command != nullptr) {
      const auto command = stored.Command;
      item->OnClick = [this, command](TObject* sender) { (this->*command)(sender); };
    }
    eBook1->Add(item);
  }
}

// The toolbar: eight animated buttons side by side from the left, in the
// stored order Home, About, Back, Forward, Refresh, Search, Stop, Print.
void TForm1::CreateToolbar() {
  SkPanel1 = CreateComponent<TSkPanel>(this);
  SkPanel1->SetName("SkPanel1");
  SkPanel1->SetParent(this);
  SkPanel1->SetBounds(0, kToolbarTop, kDesignClientWidth, kToolbarHeight);
  SkPanel1->SetAlign(alTop);

  struct TStoredButton {
    TSkEffectSpeedButton* TForm1::*Field;
    const char* Name;
    const wchar_t* Caption;
    void (TForm1::*Command)(TObject*);
  };
  static constexpr TStoredButton kStored[] = {
      {&TForm1::SpeedButton8, "SpeedButton8", L"Home", &TForm1::SpeedButton8Click},
      {&TForm1::SpeedButton7, "SpeedButton7", L"About", &TForm1::SpeedButton7Click},
      {&TForm1::SpeedButton1, "SpeedButton1", L"Back", &TForm1::SpeedButton1Click},
      {&TForm1::SpeedButton2, "SpeedButton2", L"Forward", &TForm1::SpeedButton2Click},
      {&TForm1::SpeedButton3, "SpeedButton3", L"Refresh", &TForm1::SpeedButton3Click},
      {&TForm1::SpeedButton6, "SpeedButton6", L"Search", &TForm1::SpeedButton6Click},
      {&TForm1::SpeedButton4, "SpeedButton4", L"Stop", &TForm1::SpeedButton4Click},
      {&TForm1::SpeedButton5, "SpeedButton5", L"Print", &TForm1::SpeedButton5Click},
  };
  int left = 0;
  for (const TStoredButton& stored : kStored) {
    auto* button = CreateComponent<TSkEffectSpeedButton>(this);
    this->*stored.Field = button;
    button->SetName(stored.Name);
    button->SetParent(SkPanel1);
    button->SetBounds(left, 1, kToolbarButtonWidth, kToolbarButtonHeight);
    button->SetAlign(alLeft);
    button->SetCaption(stored.Caption);
    button->SetFlat(true);
    button->SetPerformance(qvpNoBuffer);
    button->SetDown(false);
    button->Animation().SetEnabled(true);
    button->Animation().SetResolution(10);
    button->Animation().SetEffectMouseEnter(kFadeEffectName);
    button->Animation().SetEffectMouseLeave(kFadeEffectName);
    button->SetSoundOptions(0);
    const auto command = stored.Command;
    button->OnClick = [this, command](TObject* sender) { (this->*command)(sender); };
    left += kToolbarButtonWidth;
  }
  // Stored with a click sound, which needs a wave list the layout does not
  // have: it is kept as "none".
  SpeedButton5->SetWaveClickIndex(0);
}

// The status line: two panels of 350 pixels hosting the page title (or the
// search progress) and the search's messages.
void TForm1::CreateStatusBar() {
  SkStatusBar1 = CreateComponent<TSkStatusBar>(this);
  SkStatusBar1->SetName("SkStatusBar1");
  SkStatusBar1->SetParent(this);
  SkStatusBar1->SetBounds(0, kDesignClientHeight - kStatusBarHeight, kDesignClientWidth, kStatusBarHeight);
  SkStatusBar1->SetAlign(alBottom);
  SkStatusBar1->SetPerformance(qvpDoubleBuffer);
  SkStatusBar1->SetBevelOuter(kbvRaised);
  SkStatusBar1->SetBevelInner(kbvSpace);
  SkStatusBar1->SetBevelKind(kbkNone);
  SkStatusBar1->SetBevelWidth(0);
  SkStatusBar1->SetBorderWidth(2);

  for (TLabel** label : {&StPanel1, &StPanel2}) {
    *label = CreateComponent<TLabel>(this);
    (*label)->SetName(label == &StPanel1 ? "StPanel1" : "StPanel2");
    (*label)->SetParent(SkStatusBar1);
    (*label)->SetBounds(2, 2, 346, 16);
    (*label)->SetParentFont(false);
    (*label)->Font().SetName(L"Arial");
    (*label)->Font().SetHeight(-11);
    (*label)->Font().SetColor(clWhite);
    (*label)->SetTransparent(true);
    (*label)->SetAutoSize(false);
    (*label)->SetCaption(L"");
    TSkStatusPanel* panel = SkStatusBar1->Panels().Add();
    panel->SetWidth(kStatusPanelWidth);
    panel->SetImageIndex(-1);
    panel->SetControl(*label);
  }
}

// A host's application window that the reader sees owns the viewer
// windows: they stay above it, go with it when it is minimized, and its
// taskbar button stands for them. An e-book host never shows its window,
// and a window owned by a hidden one has no taskbar button and no entry in
// the task switcher (under X11 it is even the transient of an unmapped
// window): the viewer window is then a top-level window of its own, whose
// button carries the book's title and icon.
void TForm1::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  if (params.WndParent != nullptr && !IsWindowVisible(params.WndParent)) params.WndParent = nullptr;
}

void TForm1::Notification(TComponent* component, TOperation operation) {
  TForm::Notification(component, operation);
  if (operation != opRemove) return;
  // A removed toolbar button leaves its field null, so that commands and
  // browser events can tell it is gone.
  for (TSkEffectSpeedButton** field : {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4, &SpeedButton5,
                                       &SpeedButton6, &SpeedButton7, &SpeedButton8}) {
    if (*field == component) *field = nullptr;
  }
  for (TSkEffectSpeedButton*& button : ToolbarButtons) {
    if (button == component) button = nullptr;
  }
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

  SkForm1->SetCaption(AnsiToWide(settings.Title));

  constexpr TSkBorderIcons kWindowIcons = BorderIconBit(kbiClose) | BorderIconBit(kbiSystemMenu) |
                                         BorderIconBit(kbiMinimize) | BorderIconBit(kbiMaximize);
  SkForm1->SetBorderIcons(kWindowIcons);
  SkForm1->Dragging().Sizeable = settings.Resizable;
  if (!settings.Resizable) SkForm1->SetBorderIcons(kWindowIcons & ~BorderIconBit(kbiMaximize));

  if (settings.Resolution == "Maximized") {
    // A maximised book gets a maximise button even when it is not resizable.
    SkForm1->SetBorderIcons(kWindowIcons);
    SkForm1->SetWindowState(kwsMaximized);
  } else {
    SetWidth(StrToInt(LeftOfChar(settings.Resolution, 'x')));
    SetHeight(StrToInt(RightOfChar(settings.Resolution, 'x')));
  }

  TStream& icon = *settings.Icon;
  icon.SetPosition(0);
  Icon().LoadFromStream(icon);
  icon.SetPosition(0);
  Application->Icon().LoadFromStream(icon);

  // The toolbar: entry i of the settings configures ToolbarButtons[i]; a
  // button whose entry is absent is destroyed.
  TSkEffectSpeedButton* const byEntry[8] = {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4,
                                            SpeedButton5, SpeedButton6, SpeedButton7, SpeedButton8};
  std::copy(std::begin(byEntry), std::end(byEntry), std::begin(ToolbarButtons));
  for (int i = 0; i < 8; ++i) {
    TSkEffectSpeedButton* button = ToolbarButtons[i];
    if (button == nullptr) continue;
    const TToolbarButtonSettings& entry = settings.Toolbar[i];
    if (entry.Present) {
      button->SetCaption(AnsiToWide(entry.Caption));
      TStream& glyph = *entry.Glyph;
      glyph.SetPosition(0);
      button->LoadGlyphFromStream(glyph);
      button->SetWidth(ToolbarButtonWidth(button->Caption()));
    } else {
      delete button;  // its fields are cleared through Notification
    }
  }

  // The Home button exists exactly when the book's toolbar has its entry.
  if (SpeedButton8 != nullptr) {
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

// Printing: the page setup carries the window's print options (no header
// or footer); the print dialog only confirms, and the browser prints with
// its own printer settings. A cancelled dialog prints nothing.
void TForm1::SpeedButton5Click(TObject*) {
  TPrintOptions& print = WebBrowser1->PrintOptions();
  print.Footer.clear();
  print.Header.clear();
  WebBrowser1->ApplyPageSetup(true);
  if (!PrintDialog1->Execute()) return;
  WebBrowser1->PrintDocument();
}

void TForm1::SpeedButton6Click(TObject*) { GroupBox1->SetVisible(!GroupBox1->Visible()); }

// The search runs here, on the window thread, one archive entry at a time;
// the window processes its messages between entries so that it stays
// usable and the progress is drawn.
void TForm1::SpeedButton10Click(TObject*) {
  if (searching_) return;
  const std::wstring text = LabeledEdit1->Text();
  if (text.empty()) {
    StPanel2->SetCaption(L"You have not specified text to find");
    return;
  }
  TBookSearch search(*BookManager->Archive, WideToAnsi(text), CheckBox1->Checked(), BookManager->Seal.get());
  if (search.NeedsLogin()) {
    // The pages of a sealed book are closed until a reader has logged in
    // through the browser's login prompt; the search asks for no password
    // of its own. The area stays ready for the search after the login.
    ListBox1->Items().Clear();
    StPanel2->SetCaption(kSearchNeedsLogin);
    return;
  }

  searching_ = true;
  closeAfterSearch_ = false;
  // A failure that ends the search early leaves the area usable again.
  const TScopeExit failed([this] {
    if (!searching_) return;
    searching_ = false;
    GroupBox1->SetEnabled(true);
  });
  ListBox1->Items().Clear();
  Application->ProcessMessages();
  GroupBox1->SetEnabled(false);
  // The window processes its messages after an entry once a few
  // milliseconds have passed since it last did: a look at the message
  // queue, and the repaint of the progress it brings, can cost more than a
  // small page, and done after every entry they would double the time of a
  // search over a book of many small pages. Every entry that takes longer
  // is still followed by its messages, and the window answers within the
  // interval.
  constexpr auto kMessageInterval = std::chrono::milliseconds(10);
  auto lastProcessed = std::chrono::steady_clock::now();
  while (!search.Done() && !closeAfterSearch_ && BookManager != nullptr) {
    if (search.Step()) ListBox1->Items().Add(AnsiToWide(search.Results().back()));
    StPanel1->SetCaption(AnsiToWide(IntToStr(search.Progress()) + " percent done"));
    if (std::chrono::steady_clock::now() - lastProcessed >= kMessageInterval) {
      Application->ProcessMessages();
      lastProcessed = std::chrono::steady_clock::now();
    }
  }
  searching_ = false;
  GroupBox1->SetEnabled(true);
  // Showing results: a new search needs Reset first.
  LabeledEdit1->SetEnabled(false);
  CheckBox1->SetEnabled(false);
  SpeedButton10->SetEnabled(false);
  if (closeAfterSearch_) Close();
}

void TForm1::SpeedButton11Click(TObject*) {
  ListBox1->Items().Clear();
  LabeledEdit1->SetEnabled(true);
  CheckBox1->SetEnabled(true);
  SpeedButton10->SetEnabled(true);
}

// Opens the selected result with every occurrence of the search text
// highlighted: the book manager's search state applies to the pages served
// until the next page completes in any window.
void TForm1::ListBox1Click(TObject*) {
  const int index = ListBox1->ItemIndex();
  if (index < 0) return;
  TSearchState search = BookManager->SearchState();
  search.HighlightActive = true;
  search.SearchText = WideToAnsi(LabeledEdit1->Text());
  search.SearchCaseSensitive = CheckBox1->Checked();
  BookManager->SetSearchState(std::move(search));
  WebBrowser1->Navigate(LocalUrl("/" + WideToAnsi(ListBox1->Items().Strings(index))));
}

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
  // The zoom is the window's: a browser that sets it back for a new page
  // is given it again.
  if (zoom_ != 100 && WebBrowser1->Zoom() != zoom_) WebBrowser1->SetZoom(zoom_);
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
  if (searching_) {
    // The search's loop is on the stack below this close: it stops after
    // the current entry and closes the window again once it has unwound.
    closeAfterSearch_ = true;
    action = caNone;
    return;
  }
  if (ViewerWindows != nullptr) {
    const auto entry = std::find(ViewerWindows->begin(), ViewerWindows->end(), this);
    if (entry != ViewerWindows->end()) ViewerWindows->erase(entry);
    if (ViewerWindows->empty()) ViewerWindows.reset();
  }
  // Destroyed after the current message, never inside its own handler.
  action = caFree;
}
