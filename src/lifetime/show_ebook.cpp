#include "lifetime/show_ebook.h"

#include <objbase.h>
#include <ole2.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "archive/res_invoker.h"
#include "forms/forms.h"
#include "forms/forms_internal.h"
#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/scope_exit.h"
#include "server/ebook_manager.h"
#include "skin/sk_theme.h"
#include "viewer/viewer_form.h"

namespace {

// One viewer at a time, in the whole process: taken by the first
// instruction of a call, so that a second call (from another thread, or
// from a window procedure of the host while the first one runs) can be
// refused before it touches anything.
std::atomic<bool> viewerRunning{false};

// OLE on the calling thread for the length of one call: the browser
// control needs a single-threaded apartment. Balanced on the same thread;
// a thread already in a multithreaded apartment keeps it (the browser
// control then cannot be made and the plain browser is used).
class TOleScope {
 public:
  TOleScope() : result_(OleInitialize(nullptr)) {}
  ~TOleScope() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  TOleScope(const TOleScope&) = delete;
  TOleScope& operator=(const TOleScope&) = delete;

 private:
  HRESULT result_;
};

// Stops the server and frees the book manager. Stopping can fail when a
// connection thread does not end in time; the manager is freed anyway (its
// destructor still waits for the threads, so the archive reader is never
// freed under a running handler) and the failure is passed on.
void DestroyBookManager() {
  std::unique_ptr<TEbookManager> manager(BookManager);
  // Nothing reads it after this point; a null pointer makes any mistake show
  // at once instead of reading freed memory.
  BookManager = nullptr;
  if (manager) manager->StopServer();
}

// Frees every viewer window that still exists (listed, or released and
// not yet freed) and the list. On the normal way out there are none left.
void FreeViewerWindows() {
  ViewerWindows.reset();
  std::vector<TForm1*> windows;
  for (int i = 0; i < Application->ComponentCount(); ++i) {
    if (auto* window = dynamic_cast<TForm1*>(Application->Components(i))) windows.push_back(window);
  }
  for (TForm1* window : windows) delete window;
}

// Everything a run leaves behind that belongs to the library: the skin's
// theme and its hidden window, and every process-wide window and window
// class the framework and the skin made on the way. The next run makes
// them again.
void ReleaseLibraryWindows() {
  try {
    FreeThemeLibrary();
  } catch (...) {
    // Releasing goes on whatever happens here.
  }
  ReleaseFrameworkResources();
}

void RunViewer(const void* archive, HWND hostWindow) {
  const TOleScope ole;
  // Whatever way the run ends (a failed start, an exception out of the
  // message loop), nothing of it stays: no window, no server, no hidden
  // window or class of the library.
  bool stopped = false;
  const TScopeExit cleanUp([&stopped] {
    FreeViewerWindows();
    if (!stopped) {
      try {
        DestroyBookManager();
      } catch (...) {
        // The failure that brought us here is the one to report.
      }
    }
    ReleaseLibraryWindows();
  });

  // From here on every viewer window is owned by the host's window.
  Application->SetHandle(hostWindow);
  HostArchive = static_cast<const THostArchive*>(archive);
  BookManager = new TEbookManager();

  ViewerWindows = std::make_unique<TViewerWindowList>();
  OpenViewerWindow();

  // The viewer's only message loop: runs until the last window's close
  // handler has destroyed the list. Windows released on the way are freed
  // by the messages it dispatches.
  Application->RunUntil([] { return ViewerWindows == nullptr; });

  stopped = true;
  DestroyBookManager();
}

}  // namespace

void WINAPI ShowEbook(const void* archive, HWND hostWindow) {
  bool idle = false;
  if (!viewerRunning.compare_exchange_strong(idle, true)) {
    SetEnvironmentVariableW(kErrorVariable, L"The e-book viewer is already running");
    return;
  }
  const TScopeExit done([] { viewerRunning = false; });
  SetEnvironmentVariableW(kErrorVariable, nullptr);
  // No exception may cross into the host: a failure is reported through the
  // environment variable instead.
  std::string failure;
  try {
    RunViewer(archive, hostWindow);
  } catch (...) {
    failure = TApplication::ExceptionMessage(std::current_exception());
    if (failure.empty()) failure = "Unknown error";
  }
  // A successful run leaves the variable empty, even when a call refused
  // meanwhile (a nested one) set it. Messages are ANSI text, as everything
  // the library holds.
  SetEnvironmentVariableW(kErrorVariable, failure.empty() ? nullptr : AnsiToWide(failure).c_str());
}
