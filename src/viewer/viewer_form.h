// The viewer window: one top-level window per open view of the book. Every
// window has the same stored layout and is then adapted to the book's
// settings in FormCreate: caption, border icons and sizing, size or
// maximised state, icons and the first page shown.
//
// The window's commands are plain methods so that whatever triggers them
// (toolbar buttons, menu items, the browser's own requests) only has to call
// them. Commands and browser events run on the window thread; an error they
// raise is reported with the standard error message box and the window goes
// on.
#pragma once

#include <windows.h>
#include <oaidl.h>  // IDispatch

#include <memory>
#include <string>
#include <vector>

#include "forms/forms.h"
#include "forms/std_components.h"

class TEmbeddedWB;
class TForm1;
class TSkButton;
class TSkCheckBox;
class TSkEffectSpeedButton;
class TSkForm;
class TSkGroupBox;
class TSkItem;
class TSkLabel;
class TSkLabeledEdit;
class TSkListBox;
class TSkMenuBar;
class TSkPanel;
class TSkStatusBar;
class TSkThemeList;
class TSkStyleDriver;

// The open viewer windows, in the order they were opened. Null exactly when
// no viewer window is open any more: its existence keeps the message loop of
// ShowEbook running. Whoever opens a viewer window appends it; only the
// window's own close handler removes it, and the last one to go destroys the
// list. Touched on the window thread only.
using TViewerWindowList = std::vector<TForm1*>;
extern std::unique_ptr<TViewerWindowList> ViewerWindows;

// Opens a further viewer window (owner: the application object), appends it
// to ViewerWindows and shows it. Used by ShowEbook for the first window, by
// "New window" and for pages that open a window of their own.
TForm1* OpenViewerWindow();

class TForm1 : public TForm {
 public:
  // Creates the stored layout and runs FormCreate. The window is not
  // visible yet; its creator shows it.
  explicit TForm1(TComponent* owner);
  ~TForm1() override;

  // Stored layout components, named as in the layout. The window owns them.
  TEmbeddedWB* WebBrowser1 = nullptr;
  // The search area, hidden at start; the toolbar's Search button shows it.
  TSkGroupBox* GroupBox1 = nullptr;
  TSkLabel* SkLabel1 = nullptr;
  TSkLabeledEdit* LabeledEdit1 = nullptr;  // the text to find
  TSkCheckBox* CheckBox1 = nullptr;        // case sensitive
  TSkButton* SpeedButton10 = nullptr;      // Search
  TSkListBox* ListBox1 = nullptr;          // the pages found
  TSkButton* SpeedButton11 = nullptr;      // Reset and new Search
  TSkPanel* SkPanel1 = nullptr;            // the toolbar
  // The menu bar and its "eBook" menu.
  TSkMenuBar* SkMenuBar1 = nullptr;
  TSkItem* eBook1 = nullptr;
  TSkItem* Newwindow1 = nullptr;
  TSkItem* N2 = nullptr;
  TSkItem* Showstartpage1 = nullptr;
  TSkItem* N1 = nullptr;
  TSkItem* Close1 = nullptr;
  TSkStatusBar* SkStatusBar1 = nullptr;
  TLabel* StPanel1 = nullptr;  // left part of the status line: page title, search progress
  TLabel* StPanel2 = nullptr;  // right part of the status line: search results
  TPrintDialog* PrintDialog1 = nullptr;
  // The stored theme and the driver that makes it the skin's current theme
  // at the end of loading.
  TSkThemeList* SkThemeList1 = nullptr;
  TSkStyleDriver* SkStyleDriver1 = nullptr;
  // The skinned frame: caption, caption buttons, sizing and window state.
  TSkForm* SkForm1 = nullptr;
  // The toolbar buttons by command. Null once a button was removed at
  // set-up (a book that does not want it); every use tests for that.
  TSkEffectSpeedButton* SpeedButton1 = nullptr;  // Back
  TSkEffectSpeedButton* SpeedButton2 = nullptr;  // Forward
  TSkEffectSpeedButton* SpeedButton3 = nullptr;  // Refresh
  TSkEffectSpeedButton* SpeedButton4 = nullptr;  // Stop
  TSkEffectSpeedButton* SpeedButton5 = nullptr;  // Print
  TSkEffectSpeedButton* SpeedButton6 = nullptr;  // Search
  TSkEffectSpeedButton* SpeedButton7 = nullptr;  // About
  TSkEffectSpeedButton* SpeedButton8 = nullptr;  // Home
  // The buttons in the order of the settings' eight toolbar entries, filled
  // at set-up.
  TSkEffectSpeedButton* ToolbarButtons[8] = {};
  // Width of a toolbar button for a caption: the caption's width in the
  // window's font plus 50.
  int ToolbarButtonWidth(const std::wstring& caption);

  // Handlers of the window.
  void FormCreate(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);

  // Commands.
  void SpeedButton8Click(TObject* sender);    // Home
  void SpeedButton7Click(TObject* sender);    // About
  void SpeedButton1Click(TObject* sender);    // Back
  void SpeedButton2Click(TObject* sender);    // Forward
  void SpeedButton3Click(TObject* sender);    // Refresh
  void SpeedButton4Click(TObject* sender);    // Stop
  void SpeedButton5Click(TObject* sender);    // Print
  void SpeedButton6Click(TObject* sender);    // show or hide the search area
  void SpeedButton10Click(TObject* sender);   // Search
  void SpeedButton11Click(TObject* sender);   // Reset and new Search
  void ListBox1Click(TObject* sender);        // open a result highlighted
  void Navigationpage1Click(TObject* sender);  // Show start page
  void Newwindow1_oldClick(TObject* sender);  // New window
  void Close1_oldClick(TObject* sender);      // Close

  // Browser events.
  void WebBrowser1CommandStateChange(TObject* sender, long command, bool enable);
  void WebBrowser1NewWindow2(TObject* sender, IDispatch** ppDisp, bool& cancel);
  void EmbeddedWB1DocumentComplete(TObject* sender);
  void WebBrowser1CloseQuery(TObject* sender, bool& canClose);

  // "http://127.0.0.1:" + the server's port + path (path starts with "/").
  static std::wstring LocalUrl(const std::string& path);

  // Whether a search runs in this window (its loop processes the window's
  // messages between entries).
  bool Searching() const { return searching_; }

  // Keys and zoom (viewer_keys.cpp). The window's keys run the commands of
  // its toolbar buttons and menu entries, each only while its button or
  // entry exists and is enabled; a key of the window is taken even when its
  // command cannot run, so that the browser does not run it behind a
  // removed button. A key press aimed at any window of the form (the page's
  // included): true when it was one of the window's keys.
  bool ViewerKey(const MSG& message);
  // A wheel turn with Ctrl held zooms the page, wherever the pointer is.
  bool ViewerWheel(const MSG& message);
  // The page's zoom in percent, one of kZoomLevels; it holds for every page
  // this window shows.
  int Zoom() const { return zoom_; }
  // Zooms to percent, kept within the levels; the status line names the
  // level for a moment.
  void SetZoom(int percent);
  // steps levels up (positive) or down from the current one.
  void ZoomBy(int steps);
  static constexpr int kZoomLevels[] = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
  // What the window's keys do: the commands of its buttons and menu
  // entries, and the zoom.
  enum class TViewerCommand {
    Back, Forward, Home, Refresh, Stop, Print, Find, NewWindow, Close, Search, OpenResult, ZoomIn, ZoomOut, ZoomReset
  };
  // How long the status line names a new zoom level.
  static constexpr unsigned kZoomNoteMs = 2000;

 protected:
  // Owned by the host's window only while the reader can see that window
  // (see viewer_form.cpp).
  void CreateParams(TCreateParams& params) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void CreateStoredLayout();
  void CreateStoredFrame();
  void CreateSearchArea();
  void CreateToolbar();
  void CreateMenuBar();
  void CreateStatusBar();

  void InstallKeys();
  void RunViewerCommand(TViewerCommand command);
  void ShowSearchArea();
  void ShowZoomNote();
  void ZoomNoteTimer(TObject* sender);

  int zoom_ = 100;
  int wheelDelta_ = 0;  // wheel turns with Ctrl held, not yet a whole step
  // The zoom note in the left status label, what it replaced, and the timer
  // that puts that back unless something else has written the label since.
  std::wstring zoomNote_;
  std::wstring captionBeforeZoom_;
  TTimer* zoomNoteTimer_ = nullptr;

  bool searching_ = false;
  // The window was asked to close while its search ran: the search stops
  // after the current entry and the close runs once its loop has unwound,
  // so the window is never destroyed under the running search.
  bool closeAfterSearch_ = false;
};
