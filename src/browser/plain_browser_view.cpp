// The plain browser's view: the layout of a page's items into lines, the
// painting, scrolling and the window procedure.
#include <windowsx.h>

#include <algorithm>

#include "browser/plain_browser_object.h"
#include "graphics/sk_guards_gdi.h"

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
      ScrollTo(DocumentHeight());
      return true;
    default:
      return false;
  }
}


// ---- layout and painting

int TPlainBrowserObject::LayoutWidthFor(const RECT& client) const {
  return std::max(static_cast<int>(client.right) * 100 / viewFonts_.Zoom(), 2 * kPageMargin + 40);
}

void TPlainBrowserObject::Layout() {
  if (window_ == nullptr || !page_) return;
  RECT client{};
  GetClientRect(window_, &client);
  const int width = LayoutWidthFor(client);
  // Text is measured in a memory context with the screen's fonts; it and
  // its measurer live for one layout, the fonts for the browser.
  const std::unique_ptr<HDC__, BOOL(WINAPI*)(HDC)> dc(CreateCompatibleDC(nullptr), &DeleteDC);
  if (!dc) return;
  const TSavedDC saved(dc.get());
  TGdiMeasurer measurer(dc.get(), viewFonts_);
  page_->LayOut(width, measurer);
  layoutWidth_ = width;
  // A new width may show parts (and pictures) its style sheets hid.
  FetchPictures();

  const int documentHeight = DocumentHeight();
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  info.nMin = 0;
  info.nMax = documentHeight;
  info.nPage = static_cast<UINT>(client.bottom + 1);
  scroll_ = std::clamp(scroll_, 0, std::max(0, documentHeight - static_cast<int>(client.bottom)));
  info.nPos = scroll_;
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

void TPlainBrowserObject::ScrollTo(int position) {
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  position = std::clamp(position, 0, std::max(0, DocumentHeight() - static_cast<int>(client.bottom)));
  if (position == scroll_) return;
  scroll_ = position;
  SetScrollPos(window_, SB_VERT, scroll_, TRUE);
  InvalidateRect(window_, nullptr, FALSE);
}

const TskBitmap* TPlainBrowserObject::PictureBitmap(int boxPicture) const {
  if (!page_) return nullptr;
  const int index = page_->PictureUrlIndex(boxPicture);
  if (index < 0 || static_cast<size_t>(index) >= bitmaps_.size()) return nullptr;
  return bitmaps_[static_cast<size_t>(index)].get();
}

void TPlainBrowserObject::PaintPage(HDC dc, int top, int height) {
  RECT client{};
  if (window_ != nullptr) GetClientRect(window_, &client);
  RECT band{0, 0, std::max(static_cast<int>(client.right), viewFonts_.Scale(layoutWidth_)), height};
  FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (!page_) return;
  PaintPlainLayout(dc, page_->Layout(), [this](int picture) { return PictureBitmap(picture); }, viewFonts_, 0, 0,
                   top, top + height);
}

// Painted off screen and copied in one go: a page of many pieces does not
// flicker while it scrolls.
void TPlainBrowserObject::Paint(HDC dc) {
  RECT client{};
  GetClientRect(window_, &client);
  const int width = std::max(1, static_cast<int>(client.right));
  const int height = std::max(1, static_cast<int>(client.bottom));
  const std::unique_ptr<HDC__, BOOL(WINAPI*)(HDC)> memory(CreateCompatibleDC(dc), &DeleteDC);
  const TGdiObject<HBITMAP> buffer(CreateCompatibleBitmap(dc, width, height));
  if (!memory || buffer.Get() == nullptr) {
    PaintPage(dc, scroll_, height);
    return;
  }
  {
    const TSelectObject select(memory.get(), buffer.Get());
    PaintPage(memory.get(), scroll_, height);
    BitBlt(dc, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
  }
}

RECT TPlainBrowserObject::LinkRect(int index) const {
  if (!page_) return RECT{};
  const TLayoutItem* item = page_->Layout().FirstItemOfLink(index);
  if (item == nullptr) return RECT{};
  const TPlainFonts& view = viewFonts_;
  return RECT{view.Scale(item->X), view.Scale(item->Y) - scroll_, view.Scale(item->X + item->Width),
              view.Scale(item->Y + item->Height) - scroll_};
}

int TPlainBrowserObject::LinkAt(POINT point) const {
  if (!page_) return -1;
  const int zoom = viewFonts_.Zoom();
  return page_->Layout().LinkAt(point.x * 100 / zoom, (point.y + scroll_) * 100 / zoom);
}

// The reader keeps the place: the part of the page at the top of the window
// stays there, larger or smaller.
void TPlainBrowserObject::SetZoom(int percent) {
  const int previous = viewFonts_.Zoom();
  if (percent == previous) return;
  viewFonts_.SetZoom(percent);
  scroll_ = MulDiv(scroll_, percent, previous);
  if (window_ == nullptr) return;
  Layout();
  InvalidateRect(window_, nullptr, FALSE);
}

HRESULT TPlainBrowserObject::QueryStatusWB(OLECMDID command, OLECMDF* status) {
  if (status == nullptr) return E_POINTER;
  const bool zoom = command == OLECMDID_OPTICAL_ZOOM || command == OLECMDID_OPTICAL_GETZOOMRANGE;
  *status = zoom ? static_cast<OLECMDF>(OLECMDF_SUPPORTED | OLECMDF_ENABLED) : static_cast<OLECMDF>(0);
  return S_OK;
}

// The optical zoom, as the platform's control takes it: a 32-bit percentage
// from 10 to 1000 in, the zoom in force out (also without one in); the range
// as low word 10 and high word 1000.
HRESULT TPlainBrowserObject::ExecWB(OLECMDID command, OLECMDEXECOPT, VARIANT* in, VARIANT* out) {
  constexpr int kMinZoom = 10;
  constexpr int kMaxZoom = 1000;
  auto answer = [out](LONG value) {
    if (out == nullptr) return;
    VariantClear(out);
    out->vt = VT_I4;
    out->lVal = value;
  };
  switch (command) {
    case OLECMDID_OPTICAL_ZOOM: {
      if (in != nullptr && in->vt != VT_EMPTY && in->vt != VT_NULL) {
        VARIANT percent;
        VariantInit(&percent);
        if (FAILED(VariantChangeType(&percent, in, 0, VT_I4))) return E_INVALIDARG;
        if (percent.lVal < kMinZoom || percent.lVal > kMaxZoom) return E_INVALIDARG;
        const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
        SetZoom(static_cast<int>(percent.lVal));
      }
      answer(viewFonts_.Zoom());
      return S_OK;
    }
    case OLECMDID_OPTICAL_GETZOOMRANGE:
      answer(MAKELONG(kMinZoom, kMaxZoom));
      return S_OK;
    default:
      return OLECMDERR_E_NOTSUPPORTED;
  }
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
    case WM_SIZE: {
      // Only a new width lays the page out again; a new height changes
      // what the scroll bar covers.
      RECT client{};
      GetClientRect(window, &client);
      if (page_ && LayoutWidthFor(client) != layoutWidth_) {
        Layout();
      } else {
        const int documentHeight = DocumentHeight();
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        info.nMax = documentHeight;
        info.nPage = static_cast<UINT>(client.bottom + 1);
        scroll_ = std::clamp(scroll_, 0, std::max(0, documentHeight - static_cast<int>(client.bottom)));
        info.nPos = scroll_;
        SetScrollInfo(window, SB_VERT, &info, TRUE);
      }
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kStyleSheetTimer) {
        const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
        ShowArrivingPage();
        return 0;
      }
      break;
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
          ScrollTo(DocumentHeight());
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
    case kRelayout:
      relayoutPosted_ = false;
      Layout();
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      // Closed from outside (a page's close request the container let
      // through): the browser has no window any more.
      CancelFetch();
      CancelResources();
      window_ = nullptr;
      if (inPlaceSite_ != nullptr) inPlaceSite_->OnInPlaceDeactivate();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}
