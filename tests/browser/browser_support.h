// A page server and a window with a browser host, shared by the browser's
// Windows tests.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "forms/forms_support.h"
#include "runtime/ansi.h"
#include "server/http_test_helpers.h"

struct TPage {
  int Status = 200;
  std::string Body;
  int DelayMs = 0;
  std::string ContentType = "text/html";
};

// Serves fixed pages; unknown paths get a 404 page with a body.
class TPageServer {
 public:
  explicit TPageServer(std::map<std::string, TPage> pages) : pages_(std::move(pages)) {
    server_.OnCommandGet = [this](TIdContext&, TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response) {
      auto found = pages_.find(request.Path);
      if (found == pages_.end()) {
        response.SetStatusCode(404);
        response.BodyText = "<html><body>Nothing at " + request.Path + "</body></html>";
        return;
      }
      if (found->second.DelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(found->second.DelayMs));
      response.SetStatusCode(found->second.Status);
      response.ContentType = found->second.ContentType;
      response.BodyText = found->second.Body;
    };
    port_ = ActivateOnTestPort(server_);
  }
  std::wstring Url(const std::string& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + AnsiToWide(path);
  }

 private:
  std::map<std::string, TPage> pages_;
  TIdHTTPServer server_;
  int port_ = 0;
};

// A form with one browser host filling it, built as a stored layout is.
struct TBrowserWindow {
  std::unique_ptr<TForm> Form;
  TEmbeddedWB* Browser = nullptr;
  int Completed = 0;
  std::vector<std::pair<long, bool>> States;

  TBrowserWindow() {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(20, 20, 500, 300);
    Form->CreateLayout([&] {
      Browser = new TEmbeddedWB(Form.get());
      Browser->SetParent(Form.get());
      Browser->SetAlign(alClient);
      Browser->PrintOptions().Margins = TMargins{19.05, 19.05, 19.05, 19.05};
    });
    ShowWithoutActivating(*Form);
    Browser->OnDocumentComplete = [this](TObject*) { ++Completed; };
    Browser->OnCommandStateChange = [this](TObject*, long command, bool enable) { States.emplace_back(command, enable); };
  }
  TPlainBrowser& Plain() const { return *Browser->PlainBrowser(); }
  // Navigates and waits for the page.
  bool Open(const std::wstring& url) {
    const int before = Completed;
    Browser->Navigate(url);
    return PumpUntil([&] { return Completed > before; }, kPatienceMs);
  }
  bool WaitForPage(int before) {
    return PumpUntil([&] { return Completed > before; }, kPatienceMs);
  }
  // A real click on the first piece of link index.
  void ClickLink(int index) {
    const RECT r = Plain().LinkRect(index);
    ASSERT_LT(r.left, r.right) << "link " << index << " is not laid out";
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(Plain().Window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Plain().Window(), WM_LBUTTONUP, 0, at);
  }
};

