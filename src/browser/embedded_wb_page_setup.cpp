// The browser's dialogs as the host shows them: the caption and icon of the
// application, the page-setup dialog filled from PrintOptions and
// confirmed; and the document commands for page setup and printing.
#include <windows.h>
#include <dlgs.h>

#include <cstdio>
#include <cwchar>

#include "browser/embedded_wb_site.h"
#include "browser/web_browser_ids.h"
#include "runtime/ansi.h"
#include "runtime/scope_exit.h"

using wb::pageSetupPending;

// ---- the owner window: the browser's dialogs

void TEmbeddedWB::RebrandDialog(HWND dialog) {
  if (::Application != nullptr && ::Application->Handle() != nullptr) {
    HICON icon = reinterpret_cast<HICON>(SendMessageW(::Application->Handle(), WM_GETICON, ICON_SMALL, 0));
    if (icon == nullptr) icon = reinterpret_cast<HICON>(GetClassLongPtrW(::Application->Handle(), GCLP_HICONSM));
    if (icon != nullptr) SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  const int length = GetWindowTextLengthW(dialog);
  std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
  caption.resize(static_cast<size_t>(GetWindowTextW(dialog, caption.data(), length + 1)));
  const std::wstring maker = L"Microsoft ";
  if (auto at = caption.find(maker); at != std::wstring::npos) caption.erase(at, maker.size());
  const std::wstring product = L"Internet Explorer";
  if (auto at = caption.find(product); at != std::wstring::npos) {
    caption.replace(at, product.size(), ::Application != nullptr ? ::Application->Title() : std::wstring());
  }
  SetWindowTextW(dialog, caption.c_str());
}

std::wstring TEmbeddedWB::MarginText(double millimetres, bool inches, wchar_t decimalSeparator) {
  const double value = inches ? millimetres / 25.4 : millimetres;
  // The shortest of the general forms that reads back as the same value at
  // 15 significant digits.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  std::wstring result;
  for (char c : text) result.push_back(c == '.' ? decimalSeparator : static_cast<wchar_t>(c));
  return result;
}

void TEmbeddedWB::FillPageSetupDialog(HWND dialog) {
  const TPrintOptions& options = printOptions_;
  const int radio = options.Orientation == poPortrait ? rad1 : rad2;
  if (HWND button = GetDlgItem(dialog, radio); button != nullptr) {
    SendMessageW(button, BM_CLICK, 0, 0);
  }
  SetDlgItemTextW(dialog, kPageSetupHeaderId, AnsiToWide(options.Header).c_str());
  SetDlgItemTextW(dialog, kPageSetupFooterId, AnsiToWide(options.Footer).c_str());
  wchar_t separator[4] = L".";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
  const wchar_t decimal = separator[0] != L'\0' ? separator[0] : L'.';
  // The margin fields, left, top, right, bottom.
  SetDlgItemTextW(dialog, edt4, MarginText(options.Margins.Left, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, edt5, MarginText(options.Margins.Top, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, edt6, MarginText(options.Margins.Right, inches_, decimal).c_str());
  SetDlgItemTextW(dialog, edt7, MarginText(options.Margins.Bottom, inches_, decimal).c_str());
  // Confirm once the dialog has finished opening. The click goes to the
  // dialog's OK button; a dialog without one gets it on its first button,
  // as the browser's own page-setup dialog expects.
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (ok == nullptr) ok = FindWindowExW(dialog, nullptr, L"Button", nullptr);
    if (ok != nullptr) PostMessageW(ok, BM_CLICK, 0, 0);
  } else {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  }
}

// ---- page setup and printing

bool TEmbeddedWB::PageSetupPending() { return pageSetupPending; }
void TEmbeddedWB::SetPageSetupPending(bool value) { pageSetupPending = value; }

void TEmbeddedWB::ExecDocumentCommand(int command, int option) {
  try {
    const TComPtr<IDispatch> document = PropertyDispatch(kDispidDocument, true);
    if (const auto target = document.Query<IOleCommandTarget>(IID_IOleCommandTarget)) {
      VARIANT in;
      VARIANT out;
      VariantInit(&in);
      VariantInit(&out);
      target->Exec(nullptr, static_cast<DWORD>(command), static_cast<DWORD>(option), &in, &out);
      VariantClear(&out);
    }
  } catch (...) {
    // A failing print or page setup is the browser's to report.
  }
}

void TEmbeddedWB::ApplyPageSetup(bool fill) {
  // The request is for the page-setup dialog this command opens while it
  // runs, and for no other: without a document no dialog opens, and a
  // request left standing would fill and confirm the next dialog of any
  // window (a print dialog, an error box) behind the reader's back.
  pageSetupPending = fill;
  const TScopeExit dropped([] { pageSetupPending = false; });
  ExecDocumentCommand(OLECMDID_PAGESETUP, OLECMDEXECOPT_DODEFAULT);
}

void TEmbeddedWB::PrintDocument() { ExecDocumentCommand(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER); }
