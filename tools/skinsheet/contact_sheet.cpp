#include "contact_sheet.h"

#include "control_sheet.h"

#include <windows.h>

#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "forms/graphics.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "graphics/sk_bitmap.h"
#include "skin/sk_engine.h"
#include "graphics/sk_png.h"
#include "skin/sk_theme.h"

namespace {

constexpr int32_t kSheetWidth = 1180;
constexpr int32_t kMargin = 12;
constexpr int32_t kLabelHeight = 16;
constexpr int32_t kCellGap = 8;
constexpr TskPixel kSheetBackground = 0xFFFFFFFFu;
// Under the window frames, whose corners may be transparent.
constexpr TskPixel kCellBackground = 0xFFD4D8DEu;
const std::string& kObject = kDefaultObjectName;

// Paints one element into a bitmap of its own at (0, 0): the theme's
// images are drawn straight into bitmap memory, which knows nothing of a
// device context's origin, so every element starts at the corner of its
// own cell.
using TPainter = std::function<void(TskTheme& theme, TCanvas& canvas, const TRect& rect)>;

class TSheet {
 public:
  explicit TSheet(TskTheme& theme) : theme_(theme) {
    sheet_.SetSize(kSheetWidth, 3200);
    sheet_.Fill(kSheetBackground);
    canvas_.SetHandle(sheet_.DC());
    canvas_.Font().SetName(L"Tahoma");
    canvas_.Font().SetHeight(-11);
    canvas_.Font().SetColor(clBlack);
    canvas_.Brush().SetStyle(bsClear);
  }
  ~TSheet() { canvas_.SetHandle(nullptr); }

  // A family's heading on a new row.
  void Heading(const std::wstring& text) {
    NewRow();
    y_ += 6;
    canvas_.Font().SetStyle(fsBold);
    canvas_.TextOut(kMargin, y_, text);
    canvas_.Font().SetStyle(0);
    y_ += kLabelHeight + 2;
    x_ = kMargin;
    rowHeight_ = 0;
  }

  // One element of the given size with its label under it; wraps to a new
  // row at the right edge.
  void Cell(int32_t width, int32_t height, const std::wstring& label, const TPainter& paint, bool onClient = true) {
    const int32_t labelWidth = canvas_.TextWidth(label);
    const int32_t cellWidth = std::max(width, labelWidth);
    if (x_ > kMargin && x_ + cellWidth > kSheetWidth - kMargin) NewRow();
    TskBitmap cell;
    cell.SetSize(width, height);
    cell.Fill(kCellBackground);
    {
      TCanvas canvas;
      canvas.SetHandle(cell.DC());
      // Controls stand on a form's client area: its fill is the ground
      // the theme's images are drawn for.
      if (onClient) theme_.PaintWindowClient(wkStandard, canvas, kObject, TRect{0, 0, width, height});
      paint(theme_, canvas, TRect{0, 0, width, height});
      canvas.SetHandle(nullptr);
    }
    GdiFlush();
    // GDI leaves alpha 0 where it wrote; the sheet is opaque.
    cell.SetAlpha(255);
    cell.DrawOnto(sheet_, x_ + (cellWidth - width) / 2, y_);
    GdiFlush();
    canvas_.TextOut(x_ + (cellWidth - labelWidth) / 2, y_ + height + 2, label);
    x_ += cellWidth + kCellGap;
    rowHeight_ = std::max(rowHeight_, height + kLabelHeight + 4);
  }

  // A picture painted elsewhere, with its label under it, on a row of its
  // own.
  void Picture(const TskBitmap& picture, const std::wstring& label) {
    NewRow();
    picture.DrawOnto(sheet_, x_, y_);
    GdiFlush();
    canvas_.TextOut(x_, y_ + picture.Height() + 2, label);
    rowHeight_ = picture.Height() + kLabelHeight + 4;
  }

  void NewRow() {
    if (rowHeight_ > 0) y_ += rowHeight_ + kCellGap;
    x_ = kMargin;
    rowHeight_ = 0;
  }

  // The sheet cut to what was painted.
  std::vector<uint8_t> Png() {
    NewRow();
    GdiFlush();
    TskBitmap result;
    result.SetSize(kSheetWidth, y_ + kMargin);
    sheet_.DrawOnto(result, 0, 0, TRect{0, 0, kSheetWidth, y_ + kMargin});
    return EncodePng(result);
  }

  void Title(const std::wstring& text) {
    canvas_.Font().SetHeight(-16);
    canvas_.Font().SetStyle(fsBold);
    canvas_.TextOut(kMargin, y_, text);
    canvas_.Font().SetHeight(-11);
    canvas_.Font().SetStyle(0);
    y_ += 24;
  }

 private:
  TskTheme& theme_;
  TskBitmap sheet_;
  TCanvas canvas_;
  int32_t x_ = kMargin;
  int32_t y_ = kMargin;
  int32_t rowHeight_ = 0;
};

TskTextInfo Text(const TRect& rect, const std::wstring& text, uint8_t align = talCenter) {
  TskTextInfo info;
  info.Rect = rect;
  info.Text = text;
  info.Align = align;
  info.Options = txoSingleLine;
  return info;
}

TRect Inset(const TRect& rect, int32_t dx, int32_t dy) {
  return TRect{rect.Left + dx, rect.Top + dy, rect.Right - dx, rect.Bottom - dy};
}

const wchar_t* const kButtonStates[] = {L"0 normal", L"1 hot",     L"2 pressed", L"3 disabled",
                                        L"4 focused", L"5 hot (2)", L"6 default"};
const wchar_t* const kCheckVariants[] = {L"normal", L"hot", L"pressed", L"disabled", L"other"};
const wchar_t* const kFourStates[] = {L"normal", L"hot", L"pressed", L"disabled"};

void PaintFrame(TSheet& sheet, bool active, int kind, const std::wstring& label) {
  const int32_t width = kind == wkToolWindow ? 260 : 360, height = kind == wkToolWindow ? 110 : 150;
  sheet.Cell(width, height, label, [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    TskWindowInfo info;
    info.Rect = rect;
    info.Active = active ? 1 : 0;
    info.Buttons = kind == wkToolWindow ? WindowButtonBit(wbClose)
                                        : WindowButtonBit(wbClose) | WindowButtonBit(wbMinimize) |
                                              WindowButtonBit(wbMaximize) | WindowButtonBit(wbHelp);
    info.Caption = kind == wkToolWindow ? L"Tool window" : active ? L"Skyline - active" : L"Skyline - inactive";
    theme.PaintWindow(kind, canvas, kObject, info);
    theme.PaintWindowClient(kind, canvas, kObject, theme.WindowContentRect(kind, info, kObject));
    theme.PaintWindowCaption(kind, canvas, kObject, theme.WindowCaptionRect(kind, info, kObject), info);
    // Caption buttons: normal in the inactive frame; hot close and pressed
    // maximize in the active one.
    for (TskWindowButton button : {wbClose, wbMaximize, wbMinimize, wbHelp}) {
      if (!info.Shows(button)) continue;
      uint8_t state = 0;
      if (active && button == wbClose) state = 1;
      if (active && button == wbMaximize) state = 2;
      const TRect r = theme.WindowButtonRect(kind, info, kObject, button);
      theme.PaintWindowButton(kind, canvas, kObject, MakePartRecord(r, button, state));
    }
  }, false);
}

void PaintSheet(TSheet& sheet) {
  sheet.Title(L"Skyline, DeltaBrightness 10");

  sheet.Heading(L"Window frame (caption buttons: active = close hot, maximize pressed)");
  PaintFrame(sheet, true, wkStandard, L"active");
  PaintFrame(sheet, false, wkStandard, L"inactive");
  PaintFrame(sheet, true, wkToolWindow, L"tool window, active");

  sheet.Heading(L"Caption buttons");
  struct TCaptionButton {
    TskWindowButton button;
    const wchar_t* name;
  };
  for (const TCaptionButton& b : {TCaptionButton{wbClose, L"close"}, TCaptionButton{wbMaximize, L"max"},
                                  TCaptionButton{wbRestoreMax, L"restore"}, TCaptionButton{wbMinimize, L"min"},
                                  TCaptionButton{wbHelp, L"help"}}) {
    for (uint8_t state = 0; state < 4; ++state) {
      sheet.Cell(25, 25, std::wstring(b.name) + L" " + std::to_wstring(state),
                 [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
                   theme.PaintWindowButton(wkStandard, canvas, kObject, MakePartRecord(rect, b.button, state));
                 });
    }
  }

  sheet.Heading(L"Push buttons, states 0-6");
  for (uint8_t state = 0; state <= 6; ++state) {
    sheet.Cell(90, 28, kButtonStates[state], [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
      const TskStateRecord record = MakeStateRecord(rect, state);
      theme.PaintButton(bkPushButton, canvas, kObject, record);
      theme.PaintButtonText(bkPushButton, canvas, kObject, Text(rect, L"Button"), record);
    });
  }
  sheet.Heading(L"Spin buttons (up, down, up horizontal, down horizontal), states 0-3");
  for (uint8_t kind : {bkSpinUp, bkSpinDown, bkSpinUpHorz, bkSpinDownHorz}) {
    for (uint8_t state = 0; state < 4; ++state) {
      sheet.Cell(20, 18, std::to_wstring(kind) + L"/" + std::to_wstring(state),
                 [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
                   theme.PaintButton(kind, canvas, kObject, MakeStateRecord(rect, state));
                 });
    }
  }

  for (int kind : {0, 1}) {
    sheet.Heading(kind == 0 ? L"Check boxes, states 0-14 (checked, unchecked, mixed)"
                            : L"Radio buttons, states 0-14 (checked, unchecked, mixed)");
    for (uint8_t state = 0; state <= 14; ++state) {
      const std::wstring label = std::to_wstring(state) + L" " + kCheckVariants[state % 5];
      sheet.Cell(64, 20, label, [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
        const TSize size = theme.CheckBoxSize(kind);
        const TRect box{2, (rect.Bottom - size.Height) / 2, 2 + size.Width, (rect.Bottom - size.Height) / 2 + size.Height};
        theme.PaintCheckBox(kind, canvas, kObject, MakeStateRecord(box, state));
        theme.PaintCheckBoxText(kind, canvas, kObject,
                                Text(TRect{box.Right + 4, 0, rect.Right, rect.Bottom}, L"Text", talMiddleLeft),
                                MakeStateRecord(rect, state));
      });
    }
  }

  sheet.Heading(L"Scroll bar: arrows (up, down, left, right) and thumbs, states 0-3; tracks");
  struct TScrollPart {
    uint8_t part;
    int32_t width, height;
    const wchar_t* name;
  };
  for (const TScrollPart& p : {TScrollPart{0, 17, 17, L"up"}, TScrollPart{1, 17, 17, L"down"},
                               TScrollPart{4, 17, 17, L"left"}, TScrollPart{5, 17, 17, L"right"},
                               TScrollPart{8, 70, 17, L"thumb h"}, TScrollPart{9, 17, 70, L"thumb v"}}) {
    if (p.part == 8 || p.part == 9) sheet.NewRow();
    for (uint8_t state = 0; state < 4; ++state) {
      sheet.Cell(p.width, p.height, std::wstring(p.name) + L" " + std::to_wstring(state),
                 [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
                   theme.PaintScrollBarPart(0, canvas, kObject, MakeCodedRecord(rect, p.part, state));
                 });
    }
  }
  sheet.NewRow();
  sheet.Cell(17, 90, L"track v", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintScrollBarTrack(0, canvas, kObject, MakeCodedRecord(rect, 0, 0));
  });
  sheet.Cell(150, 17, L"track h", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintScrollBarTrack(0, canvas, kObject, MakeCodedRecord(rect, 1, 0));
  });

  sheet.Heading(L"Edits, states 0-6; edit buttons, states 0-4; combo box");
  const wchar_t* const editStates[] = {L"0 normal", L"1 hot", L"2 focused", L"3", L"4 disabled", L"5 read-only",
                                       L"6 selected"};
  for (uint8_t state = 0; state <= 6; ++state) {
    sheet.Cell(110, 22, editStates[state], [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
      theme.PaintEdit(0, canvas, kObject, MakeStateRecord(rect, state));
    });
  }
  for (uint8_t state = 0; state <= 4; ++state) {
    sheet.Cell(18, 20, L"btn " + std::to_wstring(state), [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
      theme.PaintEditButton(0, canvas, kObject, MakeStateRecord(rect, state));
    });
  }
  sheet.Cell(130, 22, L"combo box", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintComboBox(1, canvas, kObject, MakeStateRecord(rect, 0));
    const TRect button = theme.ComboBoxButtonRect(1, TRect{rect.Right - 20, rect.Top, rect.Right, rect.Bottom}, kObject);
    theme.PaintComboBoxButton(1, canvas, kObject, MakeStateRecord(button, 0));
  });

  sheet.Heading(L"List: items in states 0-4 with check glyphs");
  sheet.Cell(220, 120, L"list", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintList(0, canvas, kObject, MakeStateRecord(rect, 0));
    const TRect content = theme.ListContentRect(0, rect, kObject);
    const wchar_t* const names[] = {L"0 normal", L"1 hot", L"2 selected", L"3 focused", L"4 disabled"};
    for (uint8_t state = 0; state < 5; ++state) {
      const TRect item{content.Left, content.Top + state * 20, content.Right, content.Top + state * 20 + 20};
      const TskCodedRecord record = MakeCodedRecord(item, state, 0);
      theme.PaintListItem(0, canvas, kObject, record);
      theme.PaintListItemCheck(0, canvas, kObject,
                               MakeGlyphRecord(TRect{item.Left, item.Top, item.Left + 20, item.Bottom}, nullptr,
                                               static_cast<uint8_t>(state % 3)),
                               record);
      theme.PaintListItemText(0, canvas, kObject,
                              Text(TRect{item.Left + 24, item.Top, item.Right, item.Bottom}, names[state],
                                   talMiddleLeft),
                              record);
    }
  });

  sheet.Heading(L"Status bar: panes and gripper");
  sheet.Cell(520, 24, L"status bar", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintStatusBar(0, canvas, kObject, MakeStateRecord(rect, 0));
    const TRect content = theme.StatusBarContentRect(0, rect, kObject);
    const TRect first{content.Left, content.Top, content.Left + 240, content.Bottom};
    const TRect second{first.Right + 2, content.Top, content.Right - 20, content.Bottom};
    const std::pair<TRect, const wchar_t*> panes[] = {{first, L"Page title"}, {second, L"3 pages found"}};
    for (const auto& [pane, text] : panes) {
      const TskCodedRecord record = MakeCodedRecord(pane, 0, 0);
      theme.PaintStatusPanel(0, canvas, kObject, record);
      theme.PaintStatusPanelText(0, canvas, kObject, Text(Inset(pane, 4, 0), text, talMiddleLeft), record);
    }
    theme.PaintStatusPanel(0, canvas, kObject,
                           MakeCodedRecord(TRect{content.Right - 18, content.Top, content.Right, content.Bottom}, 3, 0));
  });

  sheet.Heading(L"Tool items: buttons in states 0-6, separator, drop-down");
  const wchar_t* const toolStates[] = {L"0 normal", L"1 hot", L"2 pressed", L"3 disabled", L"4 checked",
                                       L"5 hot checked", L"6"};
  for (uint8_t state = 0; state <= 6; ++state) {
    sheet.Cell(78, 36, toolStates[state], [&](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
      theme.PaintToolBar(0, canvas, kObject, MakeStateRecord(rect, 0));
      const TskPartRecord record = MakePartRecord(rect, 0, state);
      theme.PaintToolItem(0, canvas, kObject, record);
      theme.PaintToolItemText(0, canvas, kObject, Text(rect, L"Home"), record);
    });
  }
  sheet.Cell(8, 36, L"sep", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintToolItem(0, canvas, kObject, MakePartRecord(rect, 1, 0));
  });
  sheet.Cell(16, 36, L"drop", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintToolItem(0, canvas, kObject, MakePartRecord(rect, 4, 0));
  });

  sheet.Heading(L"Menu bar and menu items: states 0-3, separator, check and radio items");
  sheet.Cell(300, 22, L"menu bar", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintMenu(0, canvas, kObject, MakeStateRecord(rect, 0));
    const wchar_t* const captions[] = {L"eBook", L"Hot", L"Open", L"Disabled"};
    for (uint8_t state = 0; state < 4; ++state) {
      const TRect item{4 + state * 72, 1, 4 + state * 72 + 70, rect.Bottom - 1};
      const TskCodedRecord record = MakeCodedRecord(item, 0, state);
      theme.PaintMenuItem(0, canvas, kObject, record);
      theme.PaintMenuItemText(0, canvas, kObject, Text(item, captions[state]), record);
    }
  });
  sheet.Cell(180, 140, L"pop-up menu", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintMenu(1, canvas, kObject, MakeStateRecord(rect, 0));
    const TRect content = theme.MenuContentRect(1, rect, kObject);
    struct TItem {
      uint8_t low, state;
      const wchar_t* caption;
    };
    int32_t top = content.Top;
    for (const TItem& i : {TItem{0, 0, L"New window"}, TItem{0, 1, L"Hot item"}, TItem{1, 0, L""},
                           TItem{0, 3, L"Disabled item"}, TItem{3, 0, L"Check item"}, TItem{4, 0, L"Radio item"}}) {
      const int32_t height = i.low == 1 ? 8 : 22;
      const TRect item{content.Left, top, content.Right, top + height};
      const TskCodedRecord record = MakeCodedRecord(item, i.low, i.state);
      theme.PaintMenuItem(1, canvas, kObject, record);
      if (i.low != 1) {
        theme.PaintMenuItemText(1, canvas, kObject, Text(TRect{item.Left + 24, item.Top, item.Right, item.Bottom},
                                                         i.caption, talMiddleLeft),
                                record);
      }
      top += height;
    }
  });

  sheet.Heading(L"Group box, panel, tabs (inactive, hot, active), header, progress bar");
  sheet.Cell(220, 90, L"group box", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    TskGroupBoxRecord record;
    record.Rect = TRect{rect.Left, rect.Top + 7, rect.Right, rect.Bottom};
    record.CaptionRect = TRect{12, 0, 142, 15};
    theme.PaintGroupBox(0, canvas, kObject, record);
    theme.PaintGroupBoxText(0, canvas, kObject, Text(record.CaptionRect, L"Ebook Search Engine"),
                            MakeStateRecord(rect, 0));
  });
  sheet.Cell(160, 60, L"panel", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    const TskStateRecord record = MakeStateRecord(rect, 0);
    theme.PaintPanel(0, canvas, kObject, record);
    theme.PaintPanelText(0, canvas, kObject, Text(rect, L"Panel"), record);
  });
  sheet.Cell(300, 90, L"tabs", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintTabPane(0, canvas, kObject, MakeStateRecord(TRect{rect.Left, rect.Top + 22, rect.Right, rect.Bottom}, 0));
    const wchar_t* const captions[] = {L"Normal", L"Hot", L"Active"};
    const uint8_t states[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i) {
      const TRect tab{2 + i * 76, states[i] == 2 ? 0 : 2, 2 + i * 76 + 74, 23};
      const TskCodedRecord record = MakeCodedRecord(tab, i == 0 ? 1 : 0, states[i]);
      theme.PaintTab(0, canvas, kObject, record);
      theme.PaintTabText(0, canvas, kObject, Text(tab, captions[i]), record);
    }
  });
  sheet.Cell(240, 24, L"header", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintHeader(0, canvas, kObject, MakeStateRecord(rect, 0));
    const wchar_t* const captions[] = {L"Normal", L"Hot", L"Pressed"};
    for (uint8_t state = 0; state < 3; ++state) {
      const TRect section{state * 80, 0, state * 80 + 80, rect.Bottom};
      const TskCodedRecord record = MakeCodedRecord(section, 0, state);
      theme.PaintHeaderSection(0, canvas, kObject, record);
      theme.PaintHeaderSectionText(0, canvas, kObject, Text(section, captions[state]), record);
    }
  });
  sheet.Cell(200, 18, L"progress bar", [](TskTheme& theme, TCanvas& canvas, const TRect& rect) {
    theme.PaintProgressBar(0, canvas, kObject, MakeCodedRecord(rect, 1, 0));
    theme.PaintProgressBar(0, canvas, kObject, MakeCodedRecord(Inset(TRect{0, 0, 130, rect.Bottom}, 3, 3), 3, 0));
  });
}

}  // namespace

int WriteContactSheet(const std::string& fileName) {
  // The viewer's way: a theme list holding the stored theme and a style
  // driver set in the stored order while the owner loads; the theme becomes
  // current when loading ends.
  TComponent owner(nullptr);
  owner.LoadComponents([&] {
    auto* list = CreateComponent<TSkThemeList>(&owner);
    LoadViewerThemeList(*list);
    auto* driver = CreateComponent<TSkStyleDriver>(&owner);
    driver->SetDeltaHue(0);
    driver->SetDeltaBrightness(10);
    driver->SetThemeList(list);
    driver->SetThemeIndex(0);
    driver->SetThemeBuilding(kNoThemeBuilding);
    driver->SetVersion("4.48");
  });
  TskTheme* theme = ThemeManager().CurrentTheme();
  if (theme == nullptr) {
    std::cerr << "skinsheet: the stored theme did not load\n";
    return 1;
  }
  std::cout << "theme \"" << theme->Name << "\" (" << theme->KindName() << "), DeltaBrightness "
            << theme->DeltaBrightness() << '\n';
  std::vector<uint8_t> png;
  {
    TSheet sheet(*theme);
    PaintSheet(sheet);
    sheet.Heading(L"Themed controls");
    for (const TControlShot& shot : ControlShots()) sheet.Picture(*shot.Picture, shot.Label);
    sheet.Heading(L"Window frame");
    for (const TControlShot& shot : FrameShots()) sheet.Picture(*shot.Picture, shot.Label);
    png = sheet.Png();
  }
  WriteWholeFile(fileName, png);
  FreeThemeLibrary();
  return 0;
}
