#include "skin/controls/sk_status_bar.h"

#include <uxtheme.h>
#include <windowsx.h>
#include <vssym32.h>

#include <algorithm>
#include <vector>

#include "forms/forms.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"
#include "skin/frame/sk_form.h"

namespace {

constexpr int kSizeGripSize = 16;
constexpr int kTextInset = 4;  // panel width less this is the room for the text

}  // namespace

std::wstring ShortenWithEllipsis(TCanvas& canvas, const std::wstring& text, int width) {
  if (canvas.TextWidth(text) <= width) return text;
  const std::wstring dots = L"...";
  // The longest prefix that fits together with the dots; nothing fits:
  // the dots alone (cut by the panel's clipping).
  size_t low = 0;
  size_t high = text.size();
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    if (canvas.TextWidth(text.substr(0, middle) + dots) <= width) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return text.substr(0, low) + dots;
}

// ---- panels -----------------------------------------------------------------------

TSkStatusPanel::~TSkStatusPanel() {
  // A hosted control outlives its panel; it is simply no longer placed.
  control_ = nullptr;
}

TSkStatusBar* TSkStatusPanel::Bar() const {
  auto* panels = static_cast<TSkStatusPanels*>(Collection());
  return panels != nullptr ? panels->Bar() : nullptr;
}

void TSkStatusPanel::Changed() { TCollectionItem::Changed(false); }

#define SK_PANEL_SETTER(Name, field, Type)      \
  void TSkStatusPanel::Set##Name(Type value) { \
    if (field == value) return;                \
    field = value;                             \
    Changed();                                 \
  }
SK_PANEL_SETTER(Text, text_, const std::wstring&)
SK_PANEL_SETTER(Alignment, alignment_, TAlignment)
SK_PANEL_SETTER(Style, style_, TSkStatusPanelstyle)
SK_PANEL_SETTER(Framed, framed_, bool)
SK_PANEL_SETTER(ImageIndex, imageIndex_, int)
SK_PANEL_SETTER(ShowImage, showImage_, bool)
SK_PANEL_SETTER(Layout, layout_, TSkGlyphLayout)
SK_PANEL_SETTER(Margin, margin_, int)
SK_PANEL_SETTER(Spacing, spacing_, int)
#undef SK_PANEL_SETTER

void TSkStatusPanel::SetWidth(int value) {
  value = std::max(value, 0);
  if (width_ == value) return;
  width_ = value;
  Changed();
}

void TSkStatusPanel::SetMaxWidth(int value) {
  value = std::max(value, 0);
  if (maxWidth_ == value) return;
  maxWidth_ = value;
  Changed();
}

void TSkStatusPanel::SetViewPriority(int value) {
  value = std::clamp(value, 0, 100);
  if (viewPriority_ == value) return;
  viewPriority_ = value;
  Changed();
}

void TSkStatusPanel::SetStretchPriority(int value) {
  value = std::clamp(value, 0, 100);
  if (stretchPriority_ == value) return;
  stretchPriority_ = value;
  Changed();
}

void TSkStatusPanel::SetControl(TControl* control) {
  if (control_ == control) return;
  TSkStatusBar* bar = Bar();
  if (control != nullptr && bar != nullptr) {
    for (const TControl* up = bar; up != nullptr; up = up->Parent()) {
      if (up == control) throw EInvalidOperation("Can't insert own parent");
    }
    if (TSkStatusPanel* other = bar->PanelOf(control); other != nullptr && other != this) {
      other->control_ = nullptr;
    }
  }
  control_ = control;
  // The control belongs on the bar; placing it is the layout's work.
  if (control != nullptr && bar != nullptr && control->Parent() != bar) control->SetParent(bar);
  Changed();
}

TSkStatusPanels::TSkStatusPanels(TSkStatusBar* bar) : TOwnedCollection<TSkStatusPanel>(bar), bar_(bar) {}

void TSkStatusPanels::Update(TCollectionItem* item) {
  // A whole-collection change may have freed the pressed panel.
  if (item == nullptr) bar_->pressed_ = nullptr;
  bar_->LayoutPanels();
  bar_->Invalidate();
}

// ---- the bar ----------------------------------------------------------------------

TSkStatusBar::TSkStatusBar(TComponent* owner)
    : TSkControl(owner), panels_(std::make_unique<TSkStatusPanels>(this)) {
  SetPerformance(qvpDoubleBuffer);
  SetBevelInner(kbvSpace);
  SetBevelOuter(kbvRaised);
  SetBevelWidth(0);
  SetBorderWidth(2);
  SetEditFrameStyle(false);
  SetHeight(22);
  SetAlign(alBottom);
}

TSkStatusBar::~TSkStatusBar() {
  Destroying();
  // Hosted controls are children: they go with the window; the panels must
  // not place them while that happens.
  layingOut_ = true;
}

void TSkStatusBar::SetImages(TImageList* images) {
  if (images_ == images) return;
  images_ = images;
  Invalidate();
}

void TSkStatusBar::SetSizeGrip(bool value) {
  if (sizeGrip_ == value) return;
  sizeGrip_ = value;
  Invalidate();
}

void TSkStatusBar::Notification(TComponent* component, TOperation operation) {
  TSkControl::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == images_) images_ = nullptr;
}

TSkStatusPanel* TSkStatusBar::PanelOf(const TControl* control) const {
  if (control == nullptr) return nullptr;
  for (int i = 0; i < panels_->Count(); ++i) {
    if (panels_->Items(i)->control_ == control) return panels_->Items(i);
  }
  return nullptr;
}

bool TSkStatusBar::ThemeDefinesBar() const {
  return DefinesStatusBarObject(0, kDefaultObjectName, ThemeLink());
}

TRect TSkStatusBar::ContentRect() const {
  if (ThemeDefinesBar()) {
    if (TskTheme* theme = Theme()) return theme->StatusBarContentRect(0, TRect{0, 0, Width(), Height()}, kDefaultObjectName);
  }
  return TSkControl::ContentRect();
}

void TSkStatusBar::LayoutPanels() {
  if (layingOut_ || IsLoading() || IsDestroying()) return;
  layingOut_ = true;
  if (pressed_ != nullptr && pressed_->Collection() != panels_.get()) pressed_ = nullptr;
  const TRect content = ContentRect();
  const int contentWidth = static_cast<int>(RectWidth(content));

  // 1. Panels with a view priority take their width; the others hide.
  std::vector<TSkStatusPanel*> order;
  int sum = 0;
  for (int i = 0; i < panels_->Count(); ++i) {
    TSkStatusPanel* panel = panels_->Items(i);
    panel->showing_ = panel->viewPriority_ > 0;
    panel->currentWidth_ = panel->showing_ ? panel->width_ : 0;
    if (panel->showing_) {
      order.push_back(panel);
      sum += panel->width_;
    }
  }
  // 2. Too narrow: panels of the lowest view priority give way, as long as
  // more than one is left and the one to go is below 100.
  std::stable_sort(order.begin(), order.end(),
                   [](const TSkStatusPanel* a, const TSkStatusPanel* b) { return a->viewPriority_ > b->viewPriority_; });
  while (sum > contentWidth && order.size() > 1 && order.back()->viewPriority_ < 100) {
    TSkStatusPanel* last = order.back();
    last->showing_ = false;
    sum -= std::min(last->currentWidth_, last->maxWidth_);
    last->currentWidth_ = 0;
    order.pop_back();
  }
  // 3. Room left over goes to the panels that stretch, the highest stretch
  // priority first; what a panel cannot take beyond its maximum goes on.
  int space = contentWidth - sum;
  if (space > 0) {
    std::vector<TSkStatusPanel*> stretching;
    for (TSkStatusPanel* panel : order) {
      if (panel->stretchPriority_ > 0) stretching.push_back(panel);
    }
    while (!stretching.empty() && space > 0) {
      std::stable_sort(stretching.begin(), stretching.end(), [](const TSkStatusPanel* a, const TSkStatusPanel* b) {
        return a->stretchPriority_ < b->stretchPriority_;
      });
      TSkStatusPanel* last = stretching.back();
      last->currentWidth_ += space;
      space = std::max(last->currentWidth_ - last->maxWidth_, 0);
      last->currentWidth_ -= space;
      stretching.pop_back();
    }
  }
  // 4. Left to right from the content's left edge.
  int x = content.Left;
  TSkStatusPanel* lastPanel = panels_->Count() > 0 ? panels_->Items(panels_->Count() - 1) : nullptr;
  for (int i = 0; i < panels_->Count(); ++i) {
    TSkStatusPanel* panel = panels_->Items(i);
    if (!panel->showing_ || x >= content.Right) {
      panel->showing_ = false;
      panel->rect_ = TRect{};
      continue;
    }
    int right = x + std::min(panel->currentWidth_, panel->maxWidth_);
    if ((right >= content.Right || panel == lastPanel) && panel->stretchPriority_ > 0) right = content.Right;
    right = std::min(right, static_cast<int>(content.Right));
    panel->rect_ = TRect{x, content.Top, right, content.Bottom};
    x = right;
  }
  // 5. Hosted controls take their panel's rectangle, less the frame.
  for (int i = 0; i < panels_->Count(); ++i) {
    TSkStatusPanel* panel = panels_->Items(i);
    TControl* control = panel->control_;
    if (control == nullptr) continue;
    if (!panel->showing_) {
      control->SetVisible(false);
      continue;
    }
    TRect r = Inset(panel->rect_, TRect{1, 1, 1, 1});
    if (panel->framed_) r.Right -= 2;
    control->SetBoundsRect(r);
    control->SetVisible(true);
  }
  layingOut_ = false;
}

void TSkStatusBar::Loaded() {
  TSkControl::Loaded();
  LayoutPanels();
}

void TSkStatusBar::BoundsChanged(bool sizeChanged) {
  TSkControl::BoundsChanged(sizeChanged);
  if (sizeChanged) LayoutPanels();
}

void TSkStatusBar::ThemeChanged(TskThemeChange code) {
  if (code != tcColors) LayoutPanels();
  Invalidate();
}

void TSkStatusBar::WndProc(TMessage& message) {
  if (message.Msg == WM_NCHITTEST) {
    // Over a shown grip the form's frame answers: it sizes the window.
    const TPoint point = ScreenToClient(TPoint{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)});
    if (PointInRect(ShownSizeGripRect(), point.X, point.Y)) {
      message.Result = HTTRANSPARENT;
      return;
    }
  }
  if (message.Msg == CM_CONTROLLISTCHANGE && !IsLoading() && !IsDestroying() && !layingOut_) {
    auto* control = reinterpret_cast<TControl*>(message.WParam);
    if (message.LParam != 0) {
      // A control put on the bar gets a panel of its own, unless a panel
      // already hosts it.
      if (PanelOf(control) == nullptr) {
        TSkStatusPanel* panel = panels_->Add();
        panel->control_ = control;
        LayoutPanels();
      }
    } else if (TSkStatusPanel* panel = PanelOf(control)) {
      panel->control_ = nullptr;
      delete panel;
    }
  }
  TSkControl::WndProc(message);
}

bool TSkStatusBar::SizeGripShown() const {
  if (!sizeGrip_) return false;
  TForm* form = GetParentForm(this);
  if (form == nullptr || Parent() == nullptr) return false;
  const TSkDefaultForm* frame = nullptr;
  for (int i = 0; i < form->ComponentCount() && frame == nullptr; ++i) {
    frame = dynamic_cast<const TSkDefaultForm*>(form->Components(i));
  }
  if (frame != nullptr) {
    if (!frame->Active() || !frame->CanSize()) return false;
  } else if (form->BorderStyle() != bsSizeable || form->WindowState() == wsMaximized) {
    return false;
  }
  // The bar's bottom-right corner in the form's client coordinates.
  TPoint corner{Width(), Height()};
  for (const TControl* c = this; c != form && c != nullptr; c = c->Parent()) {
    corner.X += c->Left();
    corner.Y += c->Top();
  }
  return corner.X == form->ClientWidth() && corner.Y == form->ClientHeight();
}

TRect TSkStatusBar::ShownSizeGripRect() const { return SizeGripShown() ? SizeGripRect() : TRect{}; }

TRect TSkStatusBar::SizeGripRect() const {
  const TRect content = ContentRect();
  return TRect{content.Right - kSizeGripSize, content.Bottom - kSizeGripSize, content.Right, content.Bottom};
}

void TSkStatusBar::PaintFrame(TCanvas& canvas) {
  if (ThemeDefinesBar()) return;  // the theme paints the whole bar
  TSkControl::PaintFrame(canvas);
}

void TSkStatusBar::PaintPanel(TCanvas& canvas, TSkStatusPanel& panel, bool themed) {
  const TRect rect = panel.rect_;
  HDC dc = canvas.Handle();
  const TSavedDC saved(dc);
  IntersectClipRect(dc, rect.Left, rect.Top, rect.Right, rect.Bottom);
  const bool pressed = pressed_ == &panel;
  TskTheme* theme = Theme();

  if (themed) {
    theme->PaintStatusPanel(0, canvas, kDefaultObjectName, MakeCodedRecord(rect, pressed ? 2 : 0, 0));
  } else if (!DrawVisualStylePart(dc, L"Status", SP_PANE, 0, rect) && panel.framed_) {
    TRect frame = rect;
    frame.Right -= 2;
    DrawBevelRing(dc, frame, clBtnShadow, clBtnHighlight, kbsAll);
  }

  if (panel.style_ == psOwnerDraw) {
    if (OnDrawPanel) OnDrawPanel(this, &panel, canvas, rect);
    return;
  }
  TRect textRect = Inset(rect, TRect{panel.margin_, 0, panel.margin_, 0});
  if (images_ != nullptr && panel.showImage_ && panel.imageIndex_ >= 0 && panel.imageIndex_ < images_->Count()) {
    const int w = images_->Width();
    const int top = rect.Top + (static_cast<int>(RectHeight(rect)) - images_->Height()) / 2;
    const int left = panel.layout_ == kglGlyphLeft ? textRect.Left : textRect.Right - w;
    const TRect glyphRect{left, top, left + w, top + images_->Height()};
    if (themed) {
      theme->PaintStatusPanelGlyph(0, canvas, kDefaultObjectName,
                                   MakeImageListGlyphRecord(glyphRect, *images_, panel.imageIndex_, true),
                                   MakeCodedRecord(rect, pressed ? 2 : 0, 0));
    } else {
      images_->Draw(canvas, left, top, panel.imageIndex_);
    }
    if (panel.layout_ == kglGlyphLeft) {
      textRect.Left += w + panel.spacing_;
    } else {
      textRect.Right -= w + panel.spacing_;
    }
  }
  if (panel.text_.empty()) return;
  if (themed) {
    canvas.Font().Assign(theme->Fonts().FontFor(Enabled() ? fiStatusPanelTextNormal : fiStatusPanelTextDisabled,
                                                kDefaultObjectName));
  } else {
    canvas.Font().Assign(PaintFont());
  }
  const std::wstring text = ShortenWithEllipsis(canvas, panel.text_, static_cast<int>(RectWidth(rect)) - kTextInset);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  if (panel.alignment_ == taCenter) format |= DT_CENTER;
  if (panel.alignment_ == taRightJustify) format |= DT_RIGHT;
  if (themed) {
    theme->PaintStatusPanelText(0, canvas, kDefaultObjectName, MakeTextInfo(textRect, text, format),
                                MakeCodedRecord(rect, pressed ? 2 : 0, 0));
  } else {
    DrawClassicText(canvas, text, textRect, format, Enabled());
  }
}

void TSkStatusBar::PaintSizeGrip(TCanvas& canvas, bool themed) {
  const TRect grip = SizeGripRect();
  if (themed) {
    Theme()->PaintStatusPanel(0, canvas, kDefaultObjectName, MakeCodedRecord(grip, 3, 0));
    return;
  }
  HDC dc = canvas.Handle();
  if (DrawVisualStylePart(dc, L"Status", SP_GRIPPER, 0, grip)) return;
  RECT r = ToRECT(grip);
  DrawFrameControl(dc, &r, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
}

void TSkStatusBar::PaintContent(TCanvas& canvas) {
  const bool themed = ThemeDefinesBar() && Theme() != nullptr;
  HDC dc = canvas.Handle();
  const TRect bounds{0, 0, Width(), Height()};
  if (themed) {
    TskTheme* theme = Theme();
    if (theme->StatusBarTransparent(0, kDefaultObjectName)) PaintParentBackground(this, dc);
    theme->PaintStatusBar(0, canvas, kDefaultObjectName, MakeStateRecord(bounds, Enabled() ? 0 : 1));
  } else if (!DrawVisualStylePart(dc, L"Status", 0, 0, ContentRect())) {
    FillRectColor(dc, ContentRect(), Color());
  }
  for (int i = 0; i < panels_->Count(); ++i) {
    TSkStatusPanel* panel = panels_->Items(i);
    if (panel->showing_ && !IsRectEmpty(panel->rect_)) PaintPanel(canvas, *panel, themed);
  }
  if (SizeGripShown()) PaintSizeGrip(canvas, themed);
}

void TSkStatusBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TSkControl::MouseDown(button, shift, x, y);
  if (button != mbLeft) return;
  for (int i = 0; i < panels_->Count(); ++i) {
    TSkStatusPanel* panel = panels_->Items(i);
    const TRect& r = panel->rect_;
    if (panel->showing_ && x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) {
      pressed_ = panel;
      Invalidate();
      return;
    }
  }
}

void TSkStatusBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TSkControl::MouseUp(button, shift, x, y);
  if (pressed_ != nullptr) {
    pressed_ = nullptr;
    Invalidate();
  }
}
