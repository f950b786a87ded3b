// The skinned window frame through the theme's window family (see
// sk_form.h). Whatever the theme does not define falls back to the plain
// frame of TSkDefaultForm.
#include <algorithm>

#include "skin/controls/sk_controls.h"
#include "graphics/sk_guards_gdi.h"
#include "skin/frame/sk_form.h"

namespace {

// The theme's button of a frame button index in the form's state.
TskWindowButton ThemeButton(int index, TSkWindowState state) {
  switch (index) {
    case 0: return wbClose;
    case 1: return wbSysMenu;
    case 2: return state == kwsMinimized ? wbRestoreMin : wbMinimize;
    case 3: return state == kwsMaximized ? wbRestoreMax : wbMaximize;
    case 4: return wbHelp;
    case 5: return state == kwsRollup ? wbRollDown : wbRollUp;
    default: return wbTray;
  }
}

// The icon as a picture of size x size with its own transparency: drawn
// once over black and once over white, a pixel's alpha is what the two
// leave apart, and its colour what the black one shows, unpremultiplied.
// Every kind of icon comes out right this way (masked, or with soft edges
// of its own), where a fill with the key colour left its see-through pixels
// magenta and its soft edges tinted.
void IconPicture(TskBitmap& picture, HICON icon, int size) {
  TskBitmap onWhite;
  picture.SetSize(size, size);
  onWhite.SetSize(size, size);
  picture.Fill(0xFF000000u);
  onWhite.Fill(0xFFFFFFFFu);
  DrawIconEx(picture.DC(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  DrawIconEx(onWhite.DC(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  for (int y = 0; y < size; ++y) {
    TskPixel* black = picture.Row(y);
    const TskPixel* white = onWhite.Row(y);
    for (int x = 0; x < size; ++x) {
      const int spread = std::max({PixelRed(white[x]) - PixelRed(black[x]), PixelGreen(white[x]) - PixelGreen(black[x]),
                                   PixelBlue(white[x]) - PixelBlue(black[x]), 0});
      const int alpha = 255 - std::min(spread, 255);
      if (alpha == 0) {
        black[x] = 0;
        continue;
      }
      auto unmix = [alpha](int channel) { return std::min(255, (channel * 255 + alpha / 2) / alpha); };
      black[x] = (static_cast<TskPixel>(alpha) << 24) | (static_cast<TskPixel>(unmix(PixelRed(black[x]))) << 16) |
                 (static_cast<TskPixel>(unmix(PixelGreen(black[x]))) << 8) |
                 static_cast<TskPixel>(unmix(PixelBlue(black[x])));
    }
  }
  picture.AlphaBlend = true;
}

}  // namespace

TSkForm::TSkForm(TComponent* owner) : TSkDefaultForm(owner) {}

TSkForm::~TSkForm() = default;

void TSkForm::SetThemeLink(TskCustomThemeLink* link) {
  if (link == themeLink_) return;
  themeLink_ = link;
  if (!IsLoading()) ReapplyFrame();
}

void TSkForm::SetThemeObject(const std::string& value) {
  if (value == themeObject_) return;
  themeObject_ = value;
  if (!IsLoading()) ReapplyFrame();
}

void TSkForm::Notification(TComponent* component, TOperation operation) {
  TSkDefaultForm::Notification(component, operation);
  if (operation == opRemove && component == themeLink_) themeLink_ = nullptr;
}

void TSkForm::BeforeMessage(TMessage& message) {
  if (message.Msg == kSkMsgLinkThemeChanged && themeLink_ != nullptr &&
      message.LParam == reinterpret_cast<LPARAM>(themeLink_)) {
    ReapplyFrame();
    SetHandled(true);
    return;
  }
  TSkDefaultForm::BeforeMessage(message);
}

bool TSkForm::UsesTheme() {
  return Theme() != nullptr && DefinesWindowObject(WindowKindOf(BorderStyle()), themeObject_, themeLink_);
}

TskWindowInfo TSkForm::WindowInfo() {
  TskWindowInfo info;
  info.Rect = TRect{0, 0, FrameWidth(), FrameHeight()};
  info.Active = CaptionActive() ? 1 : 0;
  info.Buttons = FrameButtons(BorderStyle(), BorderIcons(), WindowState());
  info.Caption = Caption();
  return info;
}

HRGN TSkForm::WindowRegion() {
  if (!UsesTheme()) return TSkDefaultForm::WindowRegion();
  return Theme()->WindowRegion(WindowKindOf(BorderStyle()), TRect{0, 0, FrameWidth(), FrameHeight()}, themeObject_);
}

TRect TSkForm::ButtonRect(int index) {
  if (!UsesTheme()) return TSkDefaultForm::ButtonRect(index);
  const TskWindowInfo info = WindowInfo();
  const TskWindowButton button = ThemeButton(index, WindowState());
  if (!info.Shows(button)) return TRect{};
  return Theme()->WindowButtonRect(WindowKindOf(BorderStyle()), info, themeObject_, button);
}

TRect TSkForm::ClientRect() {
  if (!UsesTheme()) return TSkDefaultForm::ClientRect();
  return Theme()->WindowContentRect(WindowKindOf(BorderStyle()), WindowInfo(), themeObject_);
}

TRect TSkForm::MaximizedRect() {
  if (!UsesTheme()) return TSkDefaultForm::MaximizedRect();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromWindow(Form()->Handle(), MONITOR_DEFAULTTONEAREST), &monitor)) {
    return TSkDefaultForm::MaximizedRect();
  }
  const RECT& r = StayOnTop() ? monitor.rcMonitor : monitor.rcWork;
  return TRect{r.left, r.top, r.right, r.bottom};
}

TSize TSkForm::MinTrackSize() {
  if (!UsesTheme()) return TSkDefaultForm::MinTrackSize();
  TSize size{100, WindowHeight() - static_cast<int>(RectHeight(ClientRect()))};
  if (Constraints().MinWidth > 0) size.Width = Constraints().MinWidth;
  if (Constraints().MinHeight > 0 && Constraints().MinHeight > size.Height) size.Height = Constraints().MinHeight;
  return size;
}

int TSkForm::ZoneAt(int x, int y) {
  if (!UsesTheme()) return TSkDefaultForm::ZoneAt(x, y);
  const int zone = Theme()->WindowHitTest(WindowKindOf(BorderStyle()), WindowInfo(), themeObject_, x, y);
  if (zone != hcClient) return zone;
  if (Dragging().Sizeable && PointInRect(SizeGripRect(), x, y)) return hcBottomRight;
  if (StatusBarGripAt(x, y)) return hcBottomRight;
  return hcClient;
}

void TSkForm::PaintSizeGrip(TCanvas& canvas) {
  if (!UsesTheme()) {
    TSkDefaultForm::PaintSizeGrip(canvas);
    return;
  }
  Theme()->PaintWindowSizeGrip(WindowKindOf(BorderStyle()), canvas, themeObject_,
                               MakeStateRecord(SizeGripRect(), Dragging().Sizeable ? 1 : 0));
}

void TSkForm::PaintClientBackground(TCanvas& canvas) {
  if (!UsesTheme()) {
    TSkDefaultForm::PaintClientBackground(canvas);
    return;
  }
  Theme()->PaintWindowClient(WindowKindOf(BorderStyle()), canvas, themeObject_, ClientRect());
}

void TSkForm::DrawFrame(TCanvas& canvas) {
  TskTheme* theme = Theme();
  if (theme == nullptr || !UsesTheme()) {
    TSkDefaultForm::DrawFrame(canvas);
    return;
  }
  DrawThemedFrame(canvas, *theme, WindowInfo());
}

void TSkForm::DrawThemedFrame(TCanvas& canvas, TskTheme& theme, const TskWindowInfo& info) {
  const uint8_t kind = WindowKindOf(BorderStyle());
  theme.PaintWindow(kind, canvas, themeObject_, info);
  const TRect captionRect = theme.WindowCaptionRect(kind, info, themeObject_);
  if (!IsRectEmpty(captionRect)) theme.PaintWindowCaption(kind, canvas, themeObject_, captionRect, info);
  // Buttons in drawing order: close, system-menu icon, minimize, maximize,
  // help, roll-up, tray; each with the state of the mouse on it.
  const std::pair<int, int> buttons[] = {{0, hcClose}, {1, hcSysMenu}, {2, hcMinimize}, {3, hcMaximize},
                                         {4, hcHelp},  {5, hcRoll},    {6, hcTray}};
  TskBitmap icon;
  for (const auto& [index, zone] : buttons) {
    const TskWindowButton button = ThemeButton(index, WindowState());
    if (!info.Shows(button)) continue;
    const TRect rect = theme.WindowButtonRect(kind, info, themeObject_, button);
    if (IsRectEmpty(rect)) continue;
    uint8_t state = btsNormal;
    if (HotZone() == zone && PressedZone() == zone) {
      state = btsPressed;
    } else if (HotZone() == zone && !DragActive()) {
      state = btsHot;
    } else if (!CaptionActive()) {
      state = btsDisabled;
    }
    const TskBitmap* glyph = nullptr;
    if (button == wbSysMenu) {
      IconPicture(icon, SmallIcon(), GetSystemMetrics(SM_CXSMICON));
      glyph = &icon;
    }
    theme.PaintWindowButton(kind, canvas, themeObject_, MakePartRecord(rect, button, state, glyph));
  }
}
