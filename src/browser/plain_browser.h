// The built-in plain browser: an in-process COM object that stands in for the
// platform's web-browser control where that control cannot render pages.
//
// It implements the part of the control that a container and the viewer use:
// IWebBrowser2 (navigation with history, Back/Forward/Stop, the Application,
// Document, LocationName and LocationURL properties, also by dispatch id),
// IOleObject (client site, in-place activation by DoVerb),
// IOleInPlaceObject, IOleInPlaceActiveObject (keyboard accelerators, offered
// to the host's IDocHostUIHandler first), IOleControl (ambient property
// changes) and the DWebBrowserEvents2 connection point (CommandStateChange,
// TitleChange, NavigateComplete2, DocumentComplete, NewWindow2). Its document
// has a command target for page setup (a real page-setup dialog) and print.
//
// Pages are fetched over HTTP on worker threads and handed back to the
// browser's window as posted messages, so the window thread never blocks
// and Stop ends a fetch at once. A page is read in stages (plain_page):
// decoded in its own encoding, parsed, styled by what its style sheets hide,
// built into boxes and laid out; the browser paints the layout (plain_paint)
// with its pictures, which the workers fetch and decode with the platform's
// imaging component. DocumentComplete follows once the pictures have
// arrived. Layout runs when a page, a picture or a new width arrives, never
// per paint.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string>

class TPlainPage;
class TskBitmap;

// Whether the platform's browser can render pages: its HTML document class
// can be created.
bool PlatformBrowserRenders();

// The page setup the plain browser keeps (the values of the last confirmed
// page-setup dialog).
struct TPlainPageSetup {
  double Left = 19.05;  // margins in millimetres
  double Top = 19.05;
  double Right = 19.05;
  double Bottom = 19.05;
  std::wstring Header;
  std::wstring Footer;
  bool Landscape = false;
  short PaperSize = 0;  // the platform's paper number; 0: the printer's own
  int Confirmed = 0;  // dialogs confirmed so far
};

// What a caller in the same process (tests, diagnostics) may ask the plain
// browser beyond its COM interfaces.
class TPlainBrowser {
 public:
  // The browser's window while it is active in place.
  virtual HWND Window() const = 0;
  virtual const TPlainPageSetup& PageSetup() const = 0;
  // The shown page's text as laid out, lines separated by "\n".
  virtual std::wstring PageText() const = 0;
  // The shown page (its boxes, pictures and layout), nullptr before the
  // first; valid until the next page shows.
  virtual const TPlainPage* Page() const = 0;
  // Whether the shown page's pictures are still arriving.
  virtual bool Loading() const = 0;
  // The decoded picture of a box picture of the shown page, nullptr for none.
  virtual const TskBitmap* PictureBitmap(int boxPicture) const = 0;
  // Paints the page from its y top downwards into dc at (0, 0) on a white
  // background, as wide as the window and height pixels high.
  virtual void PaintPage(HDC dc, int top, int height) = 0;
  // Links of the shown page: their resolved address, target window, and
  // the client rectangle of their first piece (empty when not laid out).
  virtual int LinkCount() const = 0;
  virtual std::wstring LinkUrl(int index) const = 0;
  virtual std::wstring LinkTarget(int index) const = 0;
  virtual RECT LinkRect(int index) const = 0;
  // The download-control value last read from the container.
  virtual uint32_t DownloadControl() const = 0;
  // The host-UI flags the container handed out at activation.
  virtual uint32_t HostFlags() const = 0;
  // The vertical scroll position in pixels.
  virtual int ScrollPosition() const = 0;
  // Documents printed so far.
  virtual int PrintCount() const = 0;
  // The view's zoom in percent (OLECMDID_OPTICAL_ZOOM through ExecWB); it
  // scales the page's fonts, pictures and layout and holds for every page
  // the browser shows.
  virtual int Zoom() const = 0;

 protected:
  ~TPlainBrowser() = default;
};

// Creates a plain browser. object receives its IOleObject (one reference);
// browser the same object's in-process view, valid while a reference lives.
HRESULT CreatePlainBrowser(TPlainBrowser** browser, IOleObject** object);
