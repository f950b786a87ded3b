// The themed single-line edit and the labeled edit.
//
// TSkEdit draws its text itself (no platform edit control behind it), so
// that frame, text and selection all come from the theme: the theme's edit
// element with the state's text font, the selection as the element's
// selected state; without a theme the base frame and the highlight colour.
// It keeps a caret (the platform caret, while focused), a selection between
// an anchor and the caret, and an undo stack of edit actions.
//
// A right click opens the edit's own skinned pop-up menu (Undo, Cut, Copy,
// Paste, Delete, Select All), enabled for the edit's present state.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/std_components.h"
#include "skin/controls/sk_controls.h"
#include "skin/controls/sk_label.h"
#include "skin/menus/sk_menus.h"

enum TSkEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
// How a password edit shows its characters: not hidden, as "*", as "●".
enum TSkPasswordKind : uint8_t { pkNone, pkStar, pkRound };
enum TSkLabelPosition : uint8_t { lpAbove, lpBelow, lpLeft, lpRight };

using TSkKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
using TSkKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;

class TSkEdit : public TSkControl {
 public:
  explicit TSkEdit(TComponent* owner);
  ~TSkEdit() override;

  // Sets the text (in CharCase) as a whole: the undo stack is cleared and
  // the caret goes to the start.
  void SetText(std::wstring_view text) override;

  int MaxLength() const { return maxLength_; }
  // 0 = no limit. Limits what typing and pasting may add, not SetText.
  void SetMaxLength(int value);
  TSkEditCharCase CharCase() const { return charCase_; }
  // Also converts the present text.
  void SetCharCase(TSkEditCharCase value);
  TSkPasswordKind PasswordKind() const { return passwordKind_; }
  void SetPasswordKind(TSkPasswordKind value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TAlignment TextAlignment() const { return textAlignment_; }
  void SetTextAlignment(TAlignment value);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TSkFontOptions& FontOptions() { return fontOptions_; }
  // The look of the right-click menu.
  TSkPopupMenuOptions& ContextMenuOptions() { return contextMenuOptions_; }
  // Opens the right-click menu at a screen point (returns when it closed).
  void ShowContextMenu(int x, int y);
  // The right-click menu once it was built (nullptr before).
  TSkPopupMenu* ContextMenu() const { return contextMenu_; }

  // Selection: SelStart and SelLength describe it whatever its direction;
  // the caret is at its moving end.
  int SelStart() const;
  int SelLength() const;
  void SetSelStart(int value);
  void SetSelLength(int value);
  int CaretPos() const { return caret_; }
  std::wstring SelText() const;
  // Replaces the selection as if typed (undoable; limited by MaxLength).
  void SetSelText(std::wstring_view text);
  void SelectAll();
  void ClearSelection();

  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanUndo() const { return !undo_.empty(); }
  void Undo();
  void ClearUndo() { undo_.clear(); }

  // Fits the height to the font (AutoSize only).
  void AdjustHeight();

  TNotifyEvent OnChange;
  // Called before the edit handles the key; clearing it stops the edit.
  TSkKeyEvent OnKeyDown;
  TSkKeyPressEvent OnKeyPress;

 protected:
  virtual void Change();
  void PaintFrame(TCanvas& canvas) override;
  void PaintContent(TCanvas& canvas) override;
  void ThemeChanged(TskThemeChange code) override;
  void FocusChanged(bool focused) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyPress(wchar_t& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WndProc(TMessage& message) override;
  void BoundsChanged(bool sizeChanged) override;
  void HandleCreated() override;
  void Loaded() override;

 private:
  // One edit: at Position, Removed was replaced by Inserted; the selection
  // before it was (Anchor, Caret).
  struct TEditAction {
    int Position = 0;
    std::wstring Removed;
    std::wstring Inserted;
    int Anchor = 0;
    int Caret = 0;
  };

  // The caret stops of the displayed text: Stops[i] is the x offset of the
  // boundary before character i (Stops[0] = 0, Stops.back() = its width).
  struct TTextMeasure {
    std::vector<int> Stops;
    int Height = 0;
  };

  bool ThemeDefinesEdit() const;
  TTextMeasure Measure() const;
  // The theme's font for the state (then FontOptions) into Font(), the own
  // font remembered first.
  void TakeThemeFont();
  void DropThemeFont();
  void FontOptionsChanged();
  uint8_t ThemeState() const;
  // The font text is drawn in for the present state (and measured in).
  void ChooseFont(TFont& font) const;
  std::wstring DisplayText() const;
  std::wstring ApplyCharCase(std::wstring text) const;
  int CharAtX(int x) const;
  // Where the text begins on the x axis, in the control's coordinates.
  int TextOrigin(const TTextMeasure& measure) const;
  int TextTop(const TTextMeasure& measure) const;
  void ScrollToCaret();
  void UpdateCaret();
  void MoveCaret(int position, bool extend);
  int WordLeft(int from) const;
  int WordRight(int from) const;
  void SelectWordAt(int position);
  // Replaces count characters at start with text (cut to MaxLength) as
  // one undoable action; the caret lands after the text. False when
  // nothing changed.
  bool ReplaceRange(int start, int count, std::wstring_view text);
  bool ReplaceSelection(std::wstring_view text) { return ReplaceRange(SelStart(), SelLength(), text); }
  void StoreText(const std::wstring& text);
  void DeleteBackward();
  void DeleteForward();

  int maxLength_ = 0;
  TSkEditCharCase charCase_ = ecNormal;
  TSkPasswordKind passwordKind_ = pkNone;
  bool readOnly_ = false;
  TAlignment textAlignment_ = taLeftJustify;
  bool autoSelect_ = true;
  bool hideSelection_ = true;
  bool autoSize_ = true;
  TSkFontOptions fontOptions_;
  TSkPopupMenuOptions contextMenuOptions_;
  TSkPopupMenu* contextMenu_ = nullptr;  // owned through the component list

  int anchor_ = 0;
  int caret_ = 0;
  int scroll_ = 0;  // pixels of text scrolled out at the left
  std::vector<TEditAction> undo_;
  bool storing_ = false;      // the text is being changed by an edit action
  bool mouseFocus_ = false;   // the focus comes from a click: no AutoSelect
  bool selecting_ = false;    // the left button drags a selection
  int caretHeight_ = 0;  // of the platform caret while it exists
  bool themeFont_ = false;    // Font() holds the theme's font (own one remembered)
};

// The label of a labeled edit: a sub-component named "SubLabel" that
// focuses its edit and tells it when it resized itself.
class TSkBoundLabel : public TSkLabel {
 public:
  explicit TSkBoundLabel(TComponent* owner);

 protected:
  void BoundsChanged(bool sizeChanged) override;
};

class TSkCustomLabeledEdit : public TSkEdit {
 public:
  explicit TSkCustomLabeledEdit(TComponent* owner);
  ~TSkCustomLabeledEdit() override;

  TSkBoundLabel* EditLabel() const { return editLabel_; }
  TSkLabelPosition LabelPosition() const { return labelPosition_; }
  void SetLabelPosition(TSkLabelPosition value);
  int LabelSpacing() const { return labelSpacing_; }
  void SetLabelSpacing(int value);

  void SetParent(TWinControl* parent) override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;

  // Puts the label beside the edit by LabelPosition and LabelSpacing.
  void PlaceLabel();

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TSkBoundLabel* editLabel_ = nullptr;
  TSkLabelPosition labelPosition_ = lpAbove;
  int labelSpacing_ = 3;
  bool placing_ = false;  // the label is being placed (its resize must not place it again)
};

class TSkLabeledEdit : public TSkCustomLabeledEdit {
 public:
  using TSkCustomLabeledEdit::TSkCustomLabeledEdit;
};
