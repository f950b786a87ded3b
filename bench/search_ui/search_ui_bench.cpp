// The viewer's search against a plain loop, in one run: a generated book of
// 2,000 pages (50 MB inflated) is opened with ShowEbook, and the viewer
// window's Search runs over it as a reader starts it (the status line
// updated and the window's messages processed after every entry). The peer
// inflates the same entries and matches them in a loop with nothing else.
// Prints both times and their ratio (goal: at most 1.5).
//
// A Windows program: bench/search_ui.sh runs it under Wine with a display.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_helpers.h"
#include "archive/page_matching.h"
#include "bench_util.h"
#include "lifetime/book_files.h"
#include "forms/forms.h"
#include "lifetime/show_ebook.h"
#include "server/book_search.h"
#include "server/ebook_manager.h"
#include "skin/controls/sk_edit.h"
#include "skin/controls/sk_group_box.h"
#include "skin/controls/sk_list_box.h"
#include "viewer/viewer_form.h"

namespace {

constexpr int kPages = 2000;
constexpr size_t kPageBytes = 25 * 1024;
const char* kText = "needle";

std::vector<uint8_t> GeneratedBook() {
  TArchiveBuilder builder;
  // The Home button makes the start page the first page.
  builder.Add("config.ini", "[params]\r\ntitle=Search bench\r\nstart=index.htm\r\nResolution=800x600\r\n"
                            "[Icon]\r\nBitmap=" + Hex(IconFile()) + "\r\n[Toolbar]\r\ntbRegister=" +
                            Hex(GlyphFile(16, 16)) + "\r\neRegister=Home\r\n");
  builder.Add("index.htm", "<html><head><title>Start</title></head><body>start</body></html>");
  for (int i = 0; i < kPages; ++i) {
    std::string page = PageLikeBytes(kPageBytes, static_cast<unsigned>(i));
    if (i % 100 == 0) page += " needle ";
    builder.Add("page" + std::to_string(i) + ".htm", page, 6);
  }
  return builder.Build();
}

double viewerSeconds = 0;
int viewerFound = 0;

// Runs inside ShowEbook's loop once the first window shows its page.
void CALLBACK Drive(HWND, UINT, UINT_PTR timer, DWORD) {
  if (ViewerWindows == nullptr || ViewerWindows->empty()) return;
  TForm1* window = ViewerWindows->front();
  // Once the start page has completed (its title is in the status line).
  if (window->StPanel1->Caption() != L"Start") return;
  KillTimer(nullptr, timer);
  window->SpeedButton6Click(window);
  window->LabeledEdit1->SetText(L"needle");
  // The best of three searches, each as the Search button runs it.
  viewerSeconds = BestSeconds(3, [&] {
    window->SpeedButton11Click(window);
    window->SpeedButton10Click(window);
  });
  viewerFound = window->ListBox1->Items().Count();
  PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
}

}  // namespace

int main() {
  // A failure is printed, never shown in a message box nobody closes.
  Application->OnException = [](TObject*, const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
  };
  std::printf("generating %d pages of %zu KB...\n", kPages, kPageBytes / 1024);
  std::fflush(stdout);
  const std::vector<uint8_t> block = GeneratedBook();
  const TRes_invoker archive(reinterpret_cast<const THostArchive*>(block.data()));

  int loopFound = 0;
  const double loopSeconds = BestSeconds(3, [&] {
    loopFound = 0;
    for (int i = 2; i < archive.Count(); ++i) {
      TMemoryStream page;
      archive.Extract(i, page);
      if (FindInPage(page, kText, false) != 0) ++loopFound;
    }
  });

  // The host's application window, as an e-book program has one.
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"SearchBenchHost";
  RegisterClassW(&windowClass);
  HWND host = CreateWindowExW(0, L"SearchBenchHost", L"host", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  // The viewer's stepper alone, without a window: what the window adds is
  // the difference to the viewer's figure.
  int stepperFound = 0;
  const double stepperSeconds = BestSeconds(3, [&] {
    TBookSearch search(archive, kText, false);
    while (!search.Done()) search.Step();
    stepperFound = static_cast<int>(search.Results().size());
  });

  SetTimer(nullptr, 0, 50, &Drive);
  ShowEbook(block.data(), host);
  DestroyWindow(host);

  std::printf("plain loop:      %.3f s (%d pages found)\n", loopSeconds, loopFound);
  std::printf("stepper alone:   %.3f s (%d pages found)\n", stepperSeconds, stepperFound);
  std::printf("viewer's search: %.3f s (%d pages found)\n", viewerSeconds, viewerFound);
  if (viewerFound != loopFound || viewerSeconds <= 0) {
    std::printf("the two searches disagree\n");
    return 1;
  }
  std::printf("ratio viewer/loop: %.2f (goal <= 1.5)\n", viewerSeconds / loopSeconds);
  return 0;
}
