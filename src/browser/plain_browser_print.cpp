// The plain browser's page setup (the platform's dialog with the header and
// footer fields added) and its printing of the page's text.
#include <windows.h>
#include <commdlg.h>

#include "browser/plain_browser_object.h"
#include <algorithm>

#include "graphics/sk_guards_gdi.h"
#include "runtime/scope_exit.h"

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
  // The margin fields show the locale's unit (inches where it measures in
  // inches), as the platform browser's dialog does and as whoever fills
  // them in (the reader, or the host from its print options) expects; the
  // dialog's unit follows the unit asked for here.
  wchar_t measure[4] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, 4);
  const bool inches = measure[0] == L'1';
  const double unitsPerMillimetre = inches ? 1000 / 25.4 : 100;
  setup.Flags = PSD_MARGINS | PSD_ENABLEPAGESETUPHOOK |
                (inches ? PSD_INTHOUSANDTHSOFINCHES : PSD_INHUNDREDTHSOFMILLIMETERS);
  auto units = [unitsPerMillimetre](double millimetres) {
    return static_cast<LONG>(millimetres * unitsPerMillimetre + 0.5);
  };
  setup.rtMargin = RECT{units(pageSetup_.Left), units(pageSetup_.Top), units(pageSetup_.Right), units(pageSetup_.Bottom)};
  setup.lpfnPageSetupHook = &PageSetupHook;
  setup.lCustData = reinterpret_cast<LPARAM>(&data);
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  const BOOL confirmed = PageSetupDlgW(&setup);
  if (confirmed) {
    // The dialog answers in the unit it was asked for, and flags it.
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
        if (mode->dmFields & DM_PAPERSIZE) pageSetup_.PaperSize = mode->dmPaperSize;
        GlobalUnlock(setup.hDevMode);
      }
    }
    ++pageSetup_.Confirmed;
  }
  if (setup.hDevMode != nullptr) GlobalFree(setup.hDevMode);
  if (setup.hDevNames != nullptr) GlobalFree(setup.hDevNames);
  return confirmed ? S_OK : OLECMDERR_E_CANCELED;
}

// The printer's context for the printer the print dialog named (or the
// default one), with the orientation and paper of the page setup: the
// dialog's own choice of printer stays, but a page set up in landscape
// prints in landscape whatever the printer's default.
HDC TPlainBrowserObject::PrinterContext(HGLOBAL devNames, HGLOBAL devMode) const {
  auto* names = static_cast<DEVNAMES*>(GlobalLock(devNames));
  if (names == nullptr) return nullptr;
  const TScopeExit unlockNames([devNames] { GlobalUnlock(devNames); });
  const wchar_t* base = reinterpret_cast<const wchar_t*>(names);
  auto* mode = devMode != nullptr ? static_cast<DEVMODEW*>(GlobalLock(devMode)) : nullptr;
  const TScopeExit unlockMode([devMode, mode] {
    if (mode != nullptr) GlobalUnlock(devMode);
  });
  if (mode != nullptr) {
    mode->dmOrientation = pageSetup_.Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    mode->dmFields |= DM_ORIENTATION;
    if (pageSetup_.PaperSize != 0) {
      mode->dmPaperSize = pageSetup_.PaperSize;
      mode->dmFields |= DM_PAPERSIZE;
      mode->dmFields &= ~static_cast<DWORD>(DM_PAPERLENGTH | DM_PAPERWIDTH);
    }
  }
  return CreateDCW(base + names->wDriverOffset, base + names->wDeviceOffset, nullptr, mode);
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
  print.Flags = PD_NOSELECTION | PD_NOPAGENUMS | (option == OLECMDEXECOPT_DONTPROMPTUSER ? PD_RETURNDEFAULT : 0);
  const BOOL chosen = PrintDlgW(&print);
  const TScopeExit freeBlocks([&print] {
    if (print.hDevMode != nullptr) GlobalFree(print.hDevMode);
    if (print.hDevNames != nullptr) GlobalFree(print.hDevNames);
  });
  if (!chosen || print.hDevNames == nullptr) return E_FAIL;  // no printer, or the user cancelled
  HDC dc = PrinterContext(print.hDevNames, print.hDevMode);
  if (dc == nullptr) return E_FAIL;

  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title_.c_str();
  HRESULT result = S_OK;
  if (StartDocW(dc, &info) > 0) {
    const int dpiX = std::max(1, GetDeviceCaps(dc, LOGPIXELSX));
    const int dpiY = std::max(1, GetDeviceCaps(dc, LOGPIXELSY));
    // The margins are measured from the paper's edges, as the page-setup
    // dialog shows them; the device's origin is the corner of its printable
    // area, and no margin is narrower than the strip the printer cannot
    // reach.
    const int printableWidth = GetDeviceCaps(dc, HORZRES);
    const int printableHeight = GetDeviceCaps(dc, VERTRES);
    const int offsetX = std::max(0, GetDeviceCaps(dc, PHYSICALOFFSETX));
    const int offsetY = std::max(0, GetDeviceCaps(dc, PHYSICALOFFSETY));
    int paperWidth = GetDeviceCaps(dc, PHYSICALWIDTH);
    int paperHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
    if (paperWidth <= 0) paperWidth = printableWidth + 2 * offsetX;
    if (paperHeight <= 0) paperHeight = printableHeight + 2 * offsetY;
    auto pixels = [](double millimetres, int dpi) { return static_cast<int>(millimetres / 25.4 * dpi + 0.5); };
    const int marginLeft = std::max(pixels(pageSetup_.Left, dpiX), offsetX);
    const int marginTop = std::max(pixels(pageSetup_.Top, dpiY), offsetY);
    const int marginRight = std::max(pixels(pageSetup_.Right, dpiX), paperWidth - offsetX - printableWidth);
    const int marginBottom = std::max(pixels(pageSetup_.Bottom, dpiY), paperHeight - offsetY - printableHeight);
    const int left = marginLeft - offsetX;
    const int top = marginTop - offsetY;
    const int width = std::max(96, (paperWidth - marginLeft - marginRight) * 96 / dpiX);
    const int height = std::max(96, (paperHeight - marginTop - marginBottom) * 96 / dpiY);
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
  return result;
}
