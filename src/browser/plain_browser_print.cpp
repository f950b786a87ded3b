// The plain browser's page setup (the platform's dialog with the header and
// footer fields added) and its printing of the page's text.
#include <windows.h>
#include <commdlg.h>

#include "browser/plain_browser_object.h"
#include <algorithm>

#include "graphics/sk_guards_gdi.h"

namespace {

struct TPageSetupHookData {
  std::wstring Header;
  std::wstring Footer;
};

UINT_PTR CALLBACK PageSetupHook(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    if (msg == WM_INITDIALOG) {
      auto* setup = reinterpret_cast<PAGESETUPDLGW*>(lParam);
      auto* data = reinterpret_cast<TPageSetupHookData*>(setup->lCustData);
      SetPropW(dialog, L"EbookPageSetup", data);
      // Grow the dialog and put the two fields in the new band.
      RECT r{};
      GetWindowRect(dialog, &r);
      const int band = 64;
      SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + band, SWP_NOMOVE | SWP_NOZORDER);
      RECT client{};
      GetClientRect(dialog, &client);
      HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
      const int top = client.bottom - band + 6;
      const struct {
        const wchar_t* Label;
        int Id;
        const std::wstring* Text;
        int Y;
      } fields[] = {{L"&Header:", kPageSetupHeaderId, &data->Header, top},
                    {L"&Footer:", kPageSetupFooterId, &data->Footer, top + 28}};
      for (const auto& field : fields) {
        HWND label = CreateWindowExW(0, L"Static", field.Label, WS_CHILD | WS_VISIBLE, 12, field.Y + 3, 60, 20, dialog,
                                     nullptr, PlainBrowserModule(), nullptr);
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", field.Text->c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 76, field.Y,
                                    client.right - 88, 22, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(field.Id)),
                                    PlainBrowserModule(), nullptr);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      }
      return FALSE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
      if (auto* data = static_cast<TPageSetupHookData*>(GetPropW(dialog, L"EbookPageSetup"))) {
        wchar_t text[512];
        GetDlgItemTextW(dialog, kPageSetupHeaderId, text, 512);
        data->Header = text;
        GetDlgItemTextW(dialog, kPageSetupFooterId, text, 512);
        data->Footer = text;
      }
      return FALSE;  // the dialog goes on with its own confirmation
    }
    if (msg == WM_DESTROY) RemovePropW(dialog, L"EbookPageSetup");
  } catch (...) {
  }
  return FALSE;
}

}  // namespace

HRESULT TPlainBrowserObject::PageSetupDialog() {
  TPageSetupHookData data{pageSetup_.Header, pageSetup_.Footer};
  PAGESETUPDLGW setup{};
  setup.lStructSize = sizeof setup;
  setup.hwndOwner = window_ != nullptr ? GetAncestor(window_, GA_ROOT) : nullptr;
  setup.Flags = PSD_MARGINS | PSD_INHUNDREDTHSOFMILLIMETERS | PSD_ENABLEPAGESETUPHOOK;
  setup.rtMargin = RECT{static_cast<LONG>(pageSetup_.Left * 100 + 0.5), static_cast<LONG>(pageSetup_.Top * 100 + 0.5),
                        static_cast<LONG>(pageSetup_.Right * 100 + 0.5),
                        static_cast<LONG>(pageSetup_.Bottom * 100 + 0.5)};
  setup.lpfnPageSetupHook = &PageSetupHook;
  setup.lCustData = reinterpret_cast<LPARAM>(&data);
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  const BOOL confirmed = PageSetupDlgW(&setup);
  if (confirmed) {
    // The dialog answers in the unit it was asked for, except where it
    // kept the locale's own; thousandths of an inch come back flagged.
    const double scale = (setup.Flags & PSD_INTHOUSANDTHSOFINCHES) ? 0.0254 : 0.01;
    pageSetup_.Left = setup.rtMargin.left * scale;
    pageSetup_.Top = setup.rtMargin.top * scale;
    pageSetup_.Right = setup.rtMargin.right * scale;
    pageSetup_.Bottom = setup.rtMargin.bottom * scale;
    pageSetup_.Header = data.Header;
    pageSetup_.Footer = data.Footer;
    if (setup.hDevMode != nullptr) {
      if (auto* mode = static_cast<DEVMODEW*>(GlobalLock(setup.hDevMode))) {
        if (mode->dmFields & DM_ORIENTATION) pageSetup_.Landscape = mode->dmOrientation == DMORIENT_LANDSCAPE;
        GlobalUnlock(setup.hDevMode);
      }
    }
    ++pageSetup_.Confirmed;
  }
  if (setup.hDevMode != nullptr) GlobalFree(setup.hDevMode);
  if (setup.hDevNames != nullptr) GlobalFree(setup.hDevNames);
  return confirmed ? S_OK : OLECMDERR_E_CANCELED;
}

// Prints the page laid out for the paper (a logical unit of the printer's
// context is a pixel at 96 dots per inch, so the page keeps its proportions),
// page after page, breaking between lines and pictures rather than through
// them; on the default printer (OLECMDEXECOPT_DONTPROMPTUSER: no dialog) or
// on the one the user picks.
HRESULT TPlainBrowserObject::Print(DWORD option) {
  PRINTDLGW print{};
  print.lStructSize = sizeof print;
  print.hwndOwner = window_ != nullptr ? GetAncestor(window_, GA_ROOT) : nullptr;
  print.Flags = PD_RETURNDC | (option == OLECMDEXECOPT_DONTPROMPTUSER ? PD_RETURNDEFAULT : 0);
  if (!PrintDlgW(&print) || print.hDC == nullptr) {
    if (print.hDevMode != nullptr) GlobalFree(print.hDevMode);
    if (print.hDevNames != nullptr) GlobalFree(print.hDevNames);
    return E_FAIL;  // no printer, or the user cancelled
  }
  HDC dc = print.hDC;
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title_.c_str();
  HRESULT result = S_OK;
  if (StartDocW(dc, &info) > 0) {
    const int dpiX = std::max(1, GetDeviceCaps(dc, LOGPIXELSX));
    const int dpiY = std::max(1, GetDeviceCaps(dc, LOGPIXELSY));
    const int left = static_cast<int>(pageSetup_.Left / 25.4 * dpiX);
    const int top = static_cast<int>(pageSetup_.Top / 25.4 * dpiY);
    const int right = static_cast<int>(pageSetup_.Right / 25.4 * dpiX);
    const int bottom = static_cast<int>(pageSetup_.Bottom / 25.4 * dpiY);
    const int width = std::max(96, (GetDeviceCaps(dc, HORZRES) - left - right) * 96 / dpiX);
    const int height = std::max(96, (GetDeviceCaps(dc, VERTRES) - top - bottom) * 96 / dpiY);
    auto mapped = [&] {
      SetMapMode(dc, MM_ANISOTROPIC);
      SetWindowExtEx(dc, 96, 96, nullptr);
      SetViewportExtEx(dc, dpiX, dpiY, nullptr);
      SetViewportOrgEx(dc, left, top, nullptr);
    };
    mapped();
    std::unique_ptr<TPlainPage> blank;
    TPlainPage* page = page_.get();
    if (page == nullptr) {
      blank = TPlainPage::FromMessage(url_, L"");
      page = blank.get();
    }
    {
      TGdiMeasurer measurer(dc, fonts_);
      page->LayOut(width, measurer);
    }
    const TPageLayout& layout = page->Layout();
    int from = 0;
    do {
      // The sheet ends above the first line or picture it would cut.
      int to = from + height;
      const auto [first, last] = layout.ItemsBetween(to, to);
      for (size_t i = first; i < last; ++i) {
        const TLayoutItem& item = layout.Items[i];
        if (item.Y > from && item.Y < to && item.Y + item.Height > to && item.Height <= height) to = item.Y;
      }
      StartPage(dc);
      mapped();
      {
        const TSavedDC saved(dc);
        IntersectClipRect(dc, 0, 0, width, to - from);
        PaintPlainLayout(dc, layout, [this](int picture) { return PictureBitmap(picture); }, fonts_, 0, 0, from, to);
      }
      EndPage(dc);
      from = to;
    } while (from < layout.Height);
    EndDoc(dc);
    ++printCount_;
    // The screen's layout again.
    if (page == page_.get()) {
      layoutWidth_ = 0;
      Layout();
    }
  } else {
    result = E_FAIL;
  }
  DeleteDC(dc);
  if (print.hDevMode != nullptr) GlobalFree(print.hDevMode);
  if (print.hDevNames != nullptr) GlobalFree(print.hDevNames);
  return result;
}
