// Shared by the in-process end-to-end tests of ShowEbook and the viewer
// window: books built in memory, the viewer windows of this thread, and a
// scenario driven from a thread timer inside ShowEbook's message loop.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "lifetime/book_files.h"
#include "lifetime/show_ebook.h"
#include "forms/forms.h"
#include "server/ebook_manager.h"
#include "skin/menus/sk_menu_views.h"
#include "viewer/viewer_form.h"

// A config.ini with the test book's title, start page and icon, the given
// [params] lines, and a toolbar of Back (and Home unless home is false),
// both with a 16 × 16 glyph.
std::string Config(const std::string& params, bool home = true);
// The test book: config.ini, then index.htm ("Start"), second.htm
// ("Second"), untitled.htm and links.htm ("Links").
std::vector<uint8_t> Book(const std::string& config);
std::wstring ErrorVariable();
// True when nothing listens on the port any more.
bool PortFree(int port);
// Viewer windows of this thread that exist, shown or not.
int ViewerWindowCount();
TForm1* Window(size_t index);
std::wstring Url(const std::string& path);
// A window whose page has completed and whose status line shows title.
bool ShowsPage(TForm1* window, const std::wstring& title);
// A real click on a link of the page the window's plain browser shows.
void ClickLink(TForm1* window, int index);
// A caption's width in the viewer window's stored font (MS Sans Serif, 11
// pixels high), measured here rather than by the viewer's own code.
int CaptionWidth(const std::wstring& caption);

// Runs ShowEbook while the steps run, one after the other, from a thread
// timer inside its message loop. A scenario that does not finish in time
// fails and closes every window so that ShowEbook still returns.
class TScenario {
 public:
  using TStep = std::function<bool()>;

  void Run(const std::vector<uint8_t>& block, HWND host, std::vector<TStep> steps) {
    steps_ = std::move(steps);
    next_ = 0;
    started_ = std::chrono::steady_clock::now();
    current_ = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &TScenario::Tick);
    ShowEbook(block.data(), host);
    KillTimer(nullptr, timer);
    current_ = nullptr;
    if (next_ < steps_.size()) ADD_FAILURE() << "ShowEbook returned before the scenario ended";
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    TScenario* self = current_;
    if (self == nullptr || self->busy_) return;
    self->busy_ = true;
    try {
      self->Step();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "step " << self->next_ << " failed: " << e.what();
      self->Abandon();
    }
    self->busy_ = false;
  }

  // The time limit holds to the end: after the last step the windows must
  // still close and ShowEbook return within it.
  void Step() {
    if (next_ > steps_.size()) return;  // abandoned
    if (std::chrono::steady_clock::now() - started_ > std::chrono::seconds(30)) {
      if (next_ < steps_.size()) {
        ADD_FAILURE() << "step " << next_ << " did not finish in time";
      } else {
        ADD_FAILURE() << "ShowEbook did not return within the time after the last step (" << steps_.size()
                      << " steps)";
      }
      Abandon();
      return;
    }
    if (next_ == steps_.size()) return;
    if (steps_[next_]()) ++next_;
  }

  void Abandon() {
    next_ = steps_.size() + 1;
    // Menus still open would keep the windows from closing.
    if (TSkItemView* view = TSkItemView::Innermost()) view->LeaveAllLoops();
    if (ViewerWindows == nullptr) return;
    const std::vector<TForm1*> windows = *ViewerWindows;
    for (TForm1* window : windows) PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
  }

  static inline TScenario* current_ = nullptr;
  std::vector<TStep> steps_;
  size_t next_ = 0;
  bool busy_ = false;
  std::chrono::steady_clock::time_point started_;
};

class ShowEbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->OnException = [this](TObject*, const std::string& message) { errors_.push_back(message); };
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ShowEbookTestHost";
    RegisterClassW(&windowClass);
    host_ = CreateWindowExW(0, L"ShowEbookTestHost", L"host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(ViewerWindowCount(), 0) << "closed windows are destroyed by the time ShowEbook returns";
    Application->OnException = nullptr;
    Application->SetHandle(nullptr);
    DestroyWindow(host_);
  }

  HWND host_ = nullptr;
  std::vector<std::string> errors_;
  TScenario scenario_;
};

