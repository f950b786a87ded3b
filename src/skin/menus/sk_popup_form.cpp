#include "skin/menus/sk_popup_form.h"

#include <algorithm>

#include "forms/forms.h"
#include "runtime/scope_exit.h"
#include "graphics/sk_guards_gdi.h"
#include "graphics/sk_utils.h"
#include "graphics/sk_api_win.h"

TSkPopupForm::TSkPopupForm(TSkItem* item, bool animate) : item_(item) {
  if (const TSkPopupMenuOptions* options = item->PopupOptions) {
    blending_.SetValue(options->Blending().Value());
    blending_.SetEnabled(options->Blending().Enabled());
    shadow_ = options->Shadow().Enabled() ? options->Shadow().Size() : 0;
    animates_ = animate && options->Animation().Enabled();
    animation_.Assign(options->Animation().AnimationRec());
  }
}

TRect TSkPopupForm::FrameMargins() const {
  if (DefinesMenuObject(1, item_->ThemeObject, nullptr)) {
    const TRect probe{0, 0, 100, 100};
    const TRect content = ThemeOf(nullptr)->MenuContentRect(1, probe, item_->ThemeObject);
    return TRect{content.Left, content.Top, 100 - content.Right, 100 - content.Bottom};
  }
  return TRect{3, 3, 3, 3};
}

void TSkPopupForm::ApplyRegion(HWND window, TSize face) const {
  if (shadow_ == 0) return;
  SetWindowRgn(window, RegionWithShadow(nullptr, face.Width, face.Height, shadow_), TRUE);
}

void TSkPopupForm::BeforeShow(const TRect& screenBounds, TSize face, const TDrawItems& drawItems) {
  if (!Composed() && !animates_) return;
  auto background = std::make_unique<TskBitmap>();
  if (!CaptureScreen(*background, screenBounds)) return;
  background_ = std::move(background);
  if (!animates_) return;
  TskBitmap picture;
  ComposePicture(picture, face, drawItems);
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return;
  const TScopeExit release([screen] { ReleaseDC(nullptr, screen); });
  TskDcCanvas canvas(screen);
  // Played without handing the thread's messages to the application: the
  // menu's own loop takes them once the pop-up shows.
  PlayEffect(&canvas, screenBounds.Left, screenBounds.Top, background_.get(), &picture, animation_);
  animated_ = true;
}

void TSkPopupForm::PaintFace(TCanvas& canvas, TSize face) const {
  const TRect client{0, 0, face.Width, face.Height};
  if (DefinesMenuObject(1, item_->ThemeObject, nullptr)) {
    ThemeOf(nullptr)->PaintMenu(1, canvas, item_->ThemeObject, MakeStateRecord(client, 0));
    return;
  }
  // Three nested frames, then the menu colour inside.
  canvas.WithHandle([&](HDC dc) {
    DrawBevelRing(dc, client, cl3DLight, cl3DDkShadow, kbsAll);
    DrawBevelRing(dc, Inset(client, TRect{1, 1, 1, 1}), clBtnHighlight, clBtnShadow, kbsAll);
    FrameRectColor(dc, Inset(client, TRect{2, 2, 2, 2}), clMenu);
    FillRectColor(dc, Inset(client, TRect{3, 3, 3, 3}), clMenu);
  });
}

void TSkPopupForm::ComposePicture(TskBitmap& picture, TSize face, const TDrawItems& drawItems) const {
  const int width = face.Width + shadow_, height = face.Height + shadow_;
  picture.SetSize(std::max(1, width), std::max(1, height));
  HDC dc = picture.DC();
  // Outside the face and the band (the two corners the region leaves out)
  // the picture shows the screen as it is.
  if (background_) BitBlt(dc, 0, 0, width, height, background_->DC(), 0, 0, SRCCOPY);
  {
    TSavedDC saved(dc);
    TSkBorrowedCanvas canvas(dc);
    IntersectClipRect(dc, 0, 0, face.Width, face.Height);
    PaintFace(canvas, face);
    drawItems(canvas);
  }
  ComposeShadowAndBlending(picture, background_.get(), face.Width, face.Height, TRect{0, 0, 0, 0}, blending_,
                           shadow_);
}

void TSkPopupForm::Paint(HDC dc, TSize face, const TDrawItems& drawItems) const {
  if (!Composed()) {
    TSkBorrowedCanvas canvas(dc);
    PaintFace(canvas, face);
    drawItems(canvas);
    return;
  }
  TskBitmap picture;
  ComposePicture(picture, face, drawItems);
  BitBlt(dc, 0, 0, picture.Width(), picture.Height(), picture.DC(), 0, 0, SRCCOPY);
}
