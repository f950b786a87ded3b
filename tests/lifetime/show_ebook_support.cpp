#include "lifetime/show_ebook_support.h"

#include <cstring>

#include "archive/book_file.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "runtime/ansi.h"
#include "runtime/sockets.h"

std::string Config(const std::string& params, bool home) {
  std::string config = "[params]\r\ntitle=Test Book\r\nstart=index.htm\r\n" + params + "[Icon]\r\nBitmap=" +
                       Hex(IconFile()) + "\r\n[Toolbar]\r\ntbBack=" + Hex(GlyphFile(16, 16)) + "\r\neBack=Back\r\n";
  if (home) config += "tbRegister=" + Hex(GlyphFile(16, 16)) + "\r\neRegister=Home\r\n";
  return config;
}

std::vector<uint8_t> Book(const std::string& config) {
  TArchiveBuilder builder;
  builder.Add("config.ini", config);
  builder.Add("index.htm", "<html><head><title>Start</title></head><body><p>Welcome</p></body></html>");
  builder.Add("second.htm", "<html><head><title>Second</title></head><body><p>Two</p></body></html>");
  builder.Add("untitled.htm", "<html><body><p>No title here</p></body></html>");
  builder.Add("links.htm",
              "<html><head><title>Links</title></head><body><p><a href=\"second.htm\" target=\"_blank\">Open</a></p>"
              "<p><a href=\"javascript:window.close()\">Close</a></p></body></html>");
  return builder.Build();
}

std::wstring ErrorVariable() {
  const DWORD length = GetEnvironmentVariableW(kErrorVariable, nullptr, 0);
  if (length == 0) return L"";
  std::wstring value(length, L'\0');
  GetEnvironmentVariableW(kErrorVariable, value.data(), length);
  value.resize(length - 1);
  return value;
}

// True when nothing listens on the port any more.
bool PortFree(int port) {
  try {
    TSocket listener = TSocket::Listen("127.0.0.1", static_cast<uint16_t>(port), TListenOptions{1});
    return true;
  } catch (const ESocketError&) {
    return false;
  }
}

// Viewer windows of this thread that exist, shown or not.
namespace {

BOOL CALLBACK CountViewerWindow(HWND window, LPARAM data) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wstring(name) == L"EbookForm") ++*reinterpret_cast<int*>(data);
  return TRUE;
}

}  // namespace

int ViewerWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountViewerWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

TForm1* Window(size_t index) {
  return ViewerWindows != nullptr && index < ViewerWindows->size() ? (*ViewerWindows)[index] : nullptr;
}

std::wstring Url(const std::string& path) { return AnsiToWide("http://127.0.0.1:" + BookManager->PortText + path); }

// A window whose page has completed and whose status line shows title.
bool ShowsPage(TForm1* window, const std::wstring& title) {
  return window != nullptr && window->StPanel1->Caption() == title;
}

// A real click on a link of the page the window's plain browser shows.
void ClickLink(TForm1* window, int index) {
  TPlainBrowser* browser = window->WebBrowser1->PlainBrowser();
  ASSERT_NE(browser, nullptr) << "the test clicks links in the built-in browser";
  const RECT r = browser->LinkRect(index);
  ASSERT_LT(r.left, r.right) << "link " << index << " is not laid out";
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(browser->Window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(browser->Window(), WM_LBUTTONUP, 0, at);
}


int CaptionWidth(const std::wstring& caption) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Sans Serif");
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  SelectObject(dc, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
  return size.cx;
}
