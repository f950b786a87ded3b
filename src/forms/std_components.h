// The standard components the viewer and the skin use besides forms: the
// plain label, the timer, a minimal image list and the print dialog.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "forms/components.h"
#include "forms/controls.h"
#include "forms/graphics.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A caption painted by its parent. With AutoSize the label takes the size
// of its text (a right-aligned label keeps its right edge); an empty caption
// is measured as one space, so the label keeps the height of a line.
// The text-format flags of a label's caption.
UINT LabelTextFlags(TAlignment alignment, bool wordWrap, bool showAccelChar);
// The size text takes in font with the label's flags; a wrapping label
// measures within wrapWidth, others on one line.
TSize MeasureLabelText(const std::wstring& text, HFONT font, UINT flags, int wrapWidth);

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // Without it the label fills its area with its colour first.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  // With it "&x" shows x underlined and "&&" shows "&"; without it the text
  // is shown as it is (status texts, page titles).
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);

 protected:
  void Paint() override;
  void WndProc(TMessage& message) override;
  void Loaded() override;

 private:
  UINT TextFlags() const;
  void AdjustBounds();

  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool transparent_ = false;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
};

// Runs OnTimer every Interval milliseconds while Enabled, on the window
// thread (through the framework's hidden window). What OnTimer throws goes
// to Application->HandleException.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  unsigned Interval() const { return interval_; }
  // 0 stops the timer.
  void SetInterval(unsigned interval);

  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();

  bool enabled_ = true;
  unsigned interval_ = 1000;
  UINT_PTR id_ = 0;
};

// Equal-sized images cut from bitmaps, each drawn with its mask colour left
// out.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner);
  ~TImageList() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size clears the list.
  void SetSize(int width, int height);
  int Count() const { return static_cast<int>(images_.size()); }
  void Clear();

  // Adds the bitmap cut into Width-wide images from the left (a narrower
  // rest is dropped); pixels of maskColor become transparent. Returns the
  // index of the first image added, -1 when none fits.
  int AddMasked(const TBitmap& bitmap, TColor maskColor);
  // Draws image index with its top-left corner at (x, y); nothing for an
  // index out of range.
  void Draw(TCanvas& canvas, int x, int y, int index) const;
  // The image drawn over whatever target holds (sized to the image first
  // when its size differs).
  void GetBitmap(int index, TBitmap& target) const;

 private:
  struct TImage;
  std::vector<std::unique_ptr<TImage>> images_;
  int width_ = 16;
  int height_ = 16;
};

enum TPrintRange { prAllPages, prSelection, prPageNums };

// The platform's print dialog. The printer chosen stays selected for the
// next Execute.
class TPrintDialog : public TComponent {
 public:
  explicit TPrintDialog(TComponent* owner);
  ~TPrintDialog() override;

  // Shows the dialog (owned by the active window); false when the user
  // cancels or no printer can be used.
  bool Execute();

  int Copies = 1;
  bool Collate = false;
  int FromPage = 0;
  int ToPage = 0;
  int MinPage = 0;
  int MaxPage = 0;
  TPrintRange PrintRange = prAllPages;

 private:
  HGLOBAL devMode_ = nullptr;
  HGLOBAL devNames_ = nullptr;
};
