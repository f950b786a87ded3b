#include "lifetime/show_ebook.h"

#include <memory>
#include <string>

#include "archive/res_invoker.h"
#include "forms/forms.h"
#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "server/ebook_manager.h"
#include "viewer/viewer_form.h"

namespace {

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

void RunViewer(const void* archive, HWND hostWindow) {
  if (ViewerWindows != nullptr) throw Exception("The e-book viewer is already running");

  // From here on every viewer window is owned by the host's window.
  Application->SetHandle(hostWindow);
  HostArchive = static_cast<const THostArchive*>(archive);
  BookManager = new TEbookManager();

  ViewerWindows = std::make_unique<TViewerWindowList>();
  try {
    OpenViewerWindow();
  } catch (...) {
    // The first window could not be made: nothing may stay running.
    for (TForm1*& window : *ViewerWindows) FreeComponent(window);
    ViewerWindows.reset();
    try {
      DestroyBookManager();
    } catch (...) {
      // The window's failure is the one to report.
    }
    throw;
  }

  // The viewer's only message loop: runs until the last window's close
  // handler has destroyed the list. Windows released on the way are freed
  // by the messages it dispatches.
  Application->RunUntil([] { return ViewerWindows == nullptr; });

  DestroyBookManager();
}

}  // namespace

void WINAPI ShowEbook(const void* archive, HWND hostWindow) {
  SetEnvironmentVariableW(kErrorVariable, nullptr);
  // No exception may cross into the host: a failure is reported through the
  // environment variable instead.
  try {
    RunViewer(archive, hostWindow);
  } catch (...) {
    std::string message = TApplication::ExceptionMessage(std::current_exception());
    if (message.empty()) message = "Unknown error";
    // Messages are ANSI text, as everything the library holds.
    SetEnvironmentVariableW(kErrorVariable, AnsiToWide(message).c_str());
  }
}
