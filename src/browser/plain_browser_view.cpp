// The plain browser's view: the layout of a page's items into lines, the
// painting, scrolling and the window procedure.
#include <windowsx.h>

#include <algorithm>

#include "browser/plain_browser_object.h"
#include "forms/graphics.h"
#include "runtime/scope_exit.h"

bool TPlainBrowserObject::ScrollKey(WPARAM key) {
  if (window_ == nullptr) return false;
  RECT client{};
  GetClientRect(window_, &client);
  const int page = std::max(1, static_cast<int>(client.bottom) - 20);
  switch (key) {
    case VK_UP:
      ScrollTo(scroll_ - 20);
      return true;
    case VK_DOWN:
      ScrollTo(scroll_ + 20);
      return true;
    case VK_PRIOR:
      ScrollTo(scroll_ - page);
      return true;
    case VK_NEXT:
    case VK_SPACE:
      ScrollTo(scroll_ + page);
      return true;
    case VK_HOME:
      ScrollTo(0);
      return true;
    case VK_END:
      ScrollTo(documentHeight_);
      return true;
    default:
      return false;
  }
}


// ---- layout and painting

HFONT TPlainBrowserObject::FontFor(int index) {
  if (fonts_[index] == nullptr) {
    static const int heights[8] = {16, 16, 30, 24, 20, 18, 16, 14};
    fonts_[index] = CreateFontW(-heights[index], 0, 0, 0, index == 0 ? FW_NORMAL : FW_BOLD, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                VARIABLE_PITCH | FF_SWISS, L"Arial");
  }
  return fonts_[index];
}

void TPlainBrowserObject::Layout() {
  fragments_.clear();
  documentHeight_ = 0;
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  const int right = std::max(static_cast<int>(client.right) - kMargin, kMargin + 40);
  HDC dc = GetDC(window_);
  const TScopeExit releaseDc([this, dc] { ReleaseDC(window_, dc); });
  const TSelectObject selectFont(dc, FontFor(0));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int normalHeight = static_cast<int>(metrics.tmHeight);

  int x = kMargin;
  int y = kMargin;
  int line = 0;
  int lineHeight = 0;
  size_t lineStart = 0;
  auto endLine = [&](int minimum) {
    const int height = std::max(lineHeight, minimum);
    // Pieces of one line stand on a common bottom.
    for (size_t i = lineStart; i < fragments_.size(); ++i) {
      const int h = fragments_[i].Rect.bottom - fragments_[i].Rect.top;
      fragments_[i].Rect.top = y + height - h;
      fragments_[i].Rect.bottom = y + height;
    }
    y += height;
    x = kMargin;
    lineHeight = 0;
    lineStart = fragments_.size();
    ++line;
  };
  for (const THtmlItem& item : page_.Items) {
    if (item.Kind == THtmlItem::kLineBreak) {
      endLine(normalHeight);
      continue;
    }
    if (item.Kind == THtmlItem::kParagraph) {
      if (x > kMargin || lineHeight > 0) endLine(0);
      if (y > kMargin) y += normalHeight / 2;
      continue;
    }
    const int font = item.Heading > 0 ? 1 + item.Heading : (item.Bold ? 1 : 0);
    SelectObject(dc, FontFor(font));
    GetTextMetricsW(dc, &metrics);
    const int height = static_cast<int>(metrics.tmHeight);
    // Words with their following spaces; a line breaks between words only.
    size_t at = 0;
    const std::wstring& text = item.Text;
    while (at < text.size()) {
      size_t end = text.find(L' ', at);
      end = end == std::wstring::npos ? text.size() : end + 1;
      std::wstring word = text.substr(at, end - at);
      at = end;
      if (x == kMargin && word == L" ") continue;
      SIZE size{};
      GetTextExtentPoint32W(dc, word.c_str(), static_cast<int>(word.size()), &size);
      if (x > kMargin && x + size.cx > right) {
        endLine(0);
        if (word == L" ") continue;
      }
      TPlainFragment* last = fragments_.size() > lineStart ? &fragments_.back() : nullptr;
      if (last != nullptr && last->Font == font && last->Link == item.Link && last->Highlight == item.Highlight &&
          last->Rect.right == x) {
        last->Text += word;
        GetTextExtentPoint32W(dc, last->Text.c_str(), static_cast<int>(last->Text.size()), &size);
        last->Rect.right = last->Rect.left + size.cx;
        x = last->Rect.right;
      } else {
        TPlainFragment fragment;
        fragment.Rect = RECT{x, y, x + size.cx, y + height};
        fragment.Text = word;
        fragment.Font = font;
        fragment.Link = item.Link;
        fragment.Highlight = item.Highlight;
        fragment.Line = line;
        fragments_.push_back(std::move(fragment));
        x += size.cx;
      }
      lineHeight = std::max(lineHeight, height);
    }
  }
  if (x > kMargin || lineHeight > 0) endLine(0);
  documentHeight_ = y + kMargin;

  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = 0;
  info.nMax = documentHeight_;
  info.nPage = static_cast<UINT>(client.bottom + 1);
  scroll_ = std::clamp(scroll_, 0, std::max(0, documentHeight_ - static_cast<int>(client.bottom)));
  info.nPos = scroll_;
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

void TPlainBrowserObject::ScrollTo(int position) {
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  position = std::clamp(position, 0, std::max(0, documentHeight_ - static_cast<int>(client.bottom)));
  if (position == scroll_) return;
  scroll_ = position;
  SetScrollPos(window_, SB_VERT, scroll_, TRUE);
  InvalidateRect(window_, nullptr, TRUE);
}

void TPlainBrowserObject::Paint(HDC dc) {
  RECT client{};
  GetClientRect(window_, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  const TGdiBrush highlight = SolidBrush(RGB(255, 255, 0));
  const TGdiBrush linkInk = SolidBrush(RGB(0, 0, 238));
  const TSelectObject selectFont(dc, FontFor(0));
  for (const TPlainFragment& fragment : fragments_) {
    RECT r = fragment.Rect;
    OffsetRect(&r, 0, -scroll_);
    if (r.bottom < 0 || r.top > client.bottom) continue;
    if (fragment.Highlight) FillRect(dc, &r, highlight.Get());
    SelectObject(dc, FontFor(fragment.Font));
    SetTextColor(dc, fragment.Link >= 0 ? RGB(0, 0, 238) : RGB(0, 0, 0));
    TextOutW(dc, r.left, r.top, fragment.Text.c_str(), static_cast<int>(fragment.Text.size()));
    if (fragment.Link >= 0) {
      RECT underline{r.left, r.bottom - 2, r.right, r.bottom - 1};
      FillRect(dc, &underline, linkInk.Get());
    }
  }
}

std::wstring TPlainBrowserObject::PageText() const {
  std::wstring text;
  int line = -1;
  for (const TPlainFragment& fragment : fragments_) {
    if (line >= 0 && fragment.Line != line) text += L"\n";
    line = fragment.Line;
    text += fragment.Text;
  }
  return text;
}

RECT TPlainBrowserObject::LinkRect(int index) const {
  for (const TPlainFragment& fragment : fragments_) {
    if (fragment.Link == index) {
      RECT r = fragment.Rect;
      OffsetRect(&r, 0, -scroll_);
      return r;
    }
  }
  return RECT{};
}

int TPlainBrowserObject::LinkAt(POINT point) const {
  point.y += scroll_;
  for (const TPlainFragment& fragment : fragments_) {
    if (fragment.Link >= 0 && PtInRect(&fragment.Rect, point)) return fragment.Link;
  }
  return -1;
}

// ---- the window

LRESULT CALLBACK TPlainBrowserObject::WindowProcedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<TPlainBrowserObject*>(static_cast<IWebBrowser2*>(create->lpCreateParams))->window_ = window;
  }
  auto* browser = static_cast<TPlainBrowserObject*>(
      reinterpret_cast<IWebBrowser2*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
  if (browser == nullptr || browser->window_ != window) {
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  try {
    return browser->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    // Nothing may escape into the platform's dispatch; a failure inside
    // the plain browser leaves its page as it is.
    return 0;
  }
}

LRESULT TPlainBrowserObject::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      Paint(dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      Layout();
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      GetScrollInfo(window, SB_VERT, &info);
      switch (LOWORD(wParam)) {
        case SB_LINEUP:
          ScrollTo(scroll_ - 20);
          break;
        case SB_LINEDOWN:
          ScrollTo(scroll_ + 20);
          break;
        case SB_PAGEUP:
          ScrollTo(scroll_ - static_cast<int>(info.nPage));
          break;
        case SB_PAGEDOWN:
          ScrollTo(scroll_ + static_cast<int>(info.nPage));
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          ScrollTo(info.nTrackPos);
          break;
        case SB_TOP:
          ScrollTo(0);
          break;
        case SB_BOTTOM:
          ScrollTo(documentHeight_);
          break;
        default:
          break;
      }
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(scroll_ - GET_WHEEL_DELTA_WPARAM(wParam) * 60 / WHEEL_DELTA);
      return 0;
    case WM_KEYDOWN:
      // Keys the container did not offer as accelerators.
      ScrollKey(wParam);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN: {
      SetFocus(window);
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      pressedLink_ = LinkAt(point);
      return 0;
    }
    case WM_LBUTTONUP: {
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const int link = LinkAt(point);
      const bool follow = link >= 0 && link == pressedLink_;
      pressedLink_ = -1;
      if (follow) {
        const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
        FollowLink(link);
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(window, &point);
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(LinkAt(point) >= 0 ? IDC_HAND : IDC_ARROW)));
        return TRUE;
      }
      break;
    case kFetchDone: {
      const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
      FetchDone(static_cast<unsigned>(lParam));
      return 0;
    }
    case WM_DESTROY:
      // Closed from outside (a page's close request the container let
      // through): the browser has no window any more.
      CancelFetch();
      window_ = nullptr;
      if (inPlaceSite_ != nullptr) inPlaceSite_->OnInPlaceDeactivate();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}
