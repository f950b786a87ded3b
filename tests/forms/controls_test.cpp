// Controls in real windows: alignment, painting by the parent, mouse
// routing with enter/leave, failures in handlers, tab order, fonts.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/forms.h"
#include "forms/forms_support.h"
#include "forms/std_components.h"

namespace {

using TLog = std::vector<std::string>;

void LogMouse(TLog* log, const std::string& tag, const TMessage& message) {
  if (log == nullptr) return;
  if (message.Msg == CM_MOUSEENTER) log->push_back("enter " + tag);
  if (message.Msg == CM_MOUSELEAVE) log->push_back("leave " + tag);
}

// A windowed control filled with its colour.
class TBox : public TCustomControl {
 public:
  TBox(TWinControl* parent, TAlign align, TRect bounds, TComponent* owner = nullptr)
      : TCustomControl(owner != nullptr ? owner : GetParentForm(parent)) {
    SetBoundsRect(bounds);
    SetAlign(align);
    SetParent(parent);
  }
  TLog* Log = nullptr;
  std::string Tag;

 protected:
  void Paint() override { Canvas().FillRect(ClientRect()); }
  void WndProc(TMessage& message) override {
    LogMouse(Log, Tag, message);
    TCustomControl::WndProc(message);
  }
};

// A graphic control that tries to fill far more than its own area.
class TPatch : public TGraphicControl {
 public:
  TPatch(TWinControl* parent, TAlign align, TRect bounds) : TGraphicControl(GetParentForm(parent)) {
    SetBoundsRect(bounds);
    SetAlign(align);
    SetParent(parent);
  }
  TLog* Log = nullptr;
  std::string Tag;

 protected:
  void Paint() override { Canvas().FillRect(TRect{-500, -500, 500, 500}); }
  void WndProc(TMessage& message) override {
    LogMouse(Log, Tag, message);
    TGraphicControl::WndProc(message);
  }
};

TRect Bounds(const TControl* control) { return control->BoundsRect(); }

TRect Rect(int left, int top, int width, int height) { return TRect{left, top, left + width, top + height}; }

// Where the platform has the window, in its parent's client coordinates.
TRect WindowBounds(TWinControl* control) {
  RECT r{};
  GetWindowRect(control->Handle(), &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(control->Handle()), reinterpret_cast<POINT*>(&r), 2);
  return ToTRect(r);
}

void SendMouse(TWinControl* control, UINT msg, WPARAM keys, int x, int y) {
  SendMessageW(control->Handle(), msg, keys, MAKELPARAM(x, y));
}

// One shown form for all the tests (under Wine without a window manager,
// every top-level window that is hidden or destroyed costs seconds); each
// test's controls are freed after it.
class ControlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared = new TForm(nullptr);
    shared->SetBounds(40, 40, 500, 400);
    shared->Show();
  }
  static void TearDownTestSuite() { delete shared; }
  void SetUp() override {
    // Keep the real pointer away from the windows under test.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  }
  void TearDown() override { form->DestroyComponents(); }

  static inline TForm* shared = nullptr;
  TForm* const form = shared;
};

TEST_F(ControlsTest, AlignedChildrenFollowTheirParentsSize) {
  auto* panel = new TBox(form, alNone, Rect(10, 10, 300, 200));
  auto* top1 = new TBox(panel, alTop, Rect(0, 0, 0, 20));
  auto* bottom = new TBox(panel, alBottom, Rect(0, 0, 0, 30));
  auto* left = new TPatch(panel, alLeft, Rect(0, 0, 40, 0));
  auto* right = new TBox(panel, alRight, Rect(0, 0, 50, 0));
  auto* client = new TBox(panel, alClient, Rect(0, 0, 0, 0));
  auto* top2 = new TBox(panel, alTop, Rect(0, 0, 0, 10));  // made last: below the first
  auto expect = [&](int width, int height, int topHeight) {
    const int rest = height - topHeight - 30;
    EXPECT_EQ(Bounds(top1), Rect(0, 0, width, 20));
    EXPECT_EQ(Bounds(top2), Rect(0, topHeight - 10, width, 10));
    EXPECT_EQ(Bounds(bottom), Rect(0, height - 30, width, 30));
    EXPECT_EQ(Bounds(left), Rect(0, topHeight, 40, rest));
    EXPECT_EQ(Bounds(right), Rect(width - 50, topHeight, 50, rest));
    EXPECT_EQ(Bounds(client), Rect(40, topHeight, width - 90, rest));
    EXPECT_EQ(WindowBounds(client), Bounds(client)) << "the window is where the control says";
    EXPECT_EQ(WindowBounds(right), Bounds(right));
  };
  expect(300, 200, 30);
  panel->SetBounds(10, 10, 400, 300);
  expect(400, 300, 30);

  top1->Hide();
  EXPECT_EQ(Bounds(top2), Rect(0, 0, 400, 10));
  EXPECT_EQ(Bounds(client), Rect(40, 10, 310, 260));
  top1->Show();
  expect(400, 300, 30);  // back in its place above the second

  left->SetWidth(60);
  EXPECT_EQ(Bounds(client), Rect(60, 30, 290, 240));
  delete right;  // the rest close up
  EXPECT_EQ(Bounds(client), Rect(60, 30, 340, 240));
}

// A stored layout: the search area is stored above the status bar, hidden;
// both are aligned to the bottom and the search area comes first in the
// layout. Shown later, it must stand above the status bar, even after the
// window got smaller while it was hidden.
TEST_F(ControlsTest, HiddenBottomPartKeepsItsPlaceAboveTheStatusBar) {
  auto* window = new TBox(form, alNone, Rect(0, 0, 300, 100));
  TBox* content = nullptr;
  TBox* search = nullptr;
  TBox* status = nullptr;
  window->LoadComponents([&] {
    window->SetBounds(0, 0, 300, 400);
    content = new TBox(window, alClient, Rect(0, 0, 300, 250), window);
    search = new TBox(window, alBottom, Rect(0, 258, 300, 100), window);
    search->SetVisible(false);
    status = new TBox(window, alBottom, Rect(0, 380, 300, 20), window);
  });
  EXPECT_EQ(Bounds(status), Rect(0, 380, 300, 20));
  EXPECT_EQ(Bounds(content), Rect(0, 0, 300, 380));
  search->Show();
  EXPECT_EQ(Bounds(search), Rect(0, 280, 300, 100));
  EXPECT_EQ(Bounds(content), Rect(0, 0, 300, 280));

  search->Hide();
  window->SetBounds(0, 0, 300, 200);
  EXPECT_EQ(Bounds(status), Rect(0, 180, 300, 20));
  search->Show();
  EXPECT_EQ(Bounds(search), Rect(0, 80, 300, 100));
  EXPECT_EQ(Bounds(status), Rect(0, 180, 300, 20));
}

TEST_F(ControlsTest, ParentPaintsGraphicChildrenInZOrderClippedToTheirBounds) {
  auto* panel = new TBox(form, alNone, Rect(0, 0, 60, 40));
  panel->SetColor(clRed);
  auto* under = new TPatch(panel, alNone, Rect(10, 10, 20, 20));
  under->SetColor(clBlue);
  auto* over = new TPatch(panel, alNone, Rect(20, 15, 20, 20));
  over->SetColor(clLime);
  auto* hidden = new TPatch(panel, alNone, Rect(0, 0, 5, 5));
  hidden->SetColor(clBlue);
  hidden->Hide();
  TBitmap target;
  target.SetSize(60, 40);
  target.Canvas().WithHandle([&](HDC dc) { panel->PaintTo(dc, 0, 0); });
  auto at = [&](int x, int y) { return target.PixelAt(x, y) & 0xFFFFFF; };
  EXPECT_EQ(at(2, 2), 0xFF0000u) << "background; the hidden patch is not painted";
  EXPECT_EQ(at(12, 12), 0x0000FFu);
  EXPECT_EQ(at(25, 20), 0x00FF00u) << "the later control is on top";
  EXPECT_EQ(at(45, 5), 0xFF0000u) << "a control paints only inside its bounds";
}

TEST_F(ControlsTest, GraphicChildrenGetMouseEnterLeaveAndMovesInTheirCoordinates) {
  TLog log;
  auto* g = new TPatch(form, alNone, Rect(10, 10, 40, 40));
  auto* h = new TPatch(form, alNone, Rect(100, 10, 40, 40));
  g->Log = h->Log = &log;
  g->Tag = "G";
  h->Tag = "H";
  std::vector<TPoint> moves;
  g->OnMouseMove = [&](TObject*, TShiftState, int x, int y) { moves.push_back({x, y}); };

  SendMouse(form, WM_MOUSEMOVE, 0, 20, 25);
  SendMouse(form, WM_MOUSEMOVE, 0, 21, 25);
  SendMouse(form, WM_MOUSEMOVE, 0, 110, 20);
  SendMouse(form, WM_MOUSEMOVE, 0, 300, 300);
  SendMouse(form, WM_MOUSEMOVE, 0, 20, 20);
  SendMessageW(form->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(log, (TLog{"enter G", "leave G", "enter H", "leave H", "enter G", "leave G"}));
  EXPECT_EQ(moves, (std::vector<TPoint>{{10, 15}, {11, 15}, {10, 10}}));
}

TEST_F(ControlsTest, PressedGraphicControlKeepsTheMouseAndClicksOnlyOnReleaseInside) {
  TLog log;
  auto* g = new TPatch(form, alNone, Rect(10, 10, 40, 40));
  g->Log = &log;
  g->Tag = "G";
  int clicks = 0;
  std::vector<TPoint> ups;
  g->OnClick = [&](TObject*) { ++clicks; };
  g->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int x, int y) { ups.push_back({x, y}); };

  SendMouse(form, WM_MOUSEMOVE, 0, 20, 20);
  SendMouse(form, WM_LBUTTONDOWN, MK_LBUTTON, 20, 20);
  SendMouse(form, WM_MOUSEMOVE, MK_LBUTTON, 300, 300);
  SendMouse(form, WM_LBUTTONUP, 0, 300, 300);
  EXPECT_EQ(clicks, 0) << "released outside";
  EXPECT_EQ(ups, (std::vector<TPoint>{{290, 290}})) << "the release still reaches the pressed control";
  EXPECT_EQ(log, (TLog{"enter G", "leave G"}));

  SendMouse(form, WM_LBUTTONDOWN, MK_LBUTTON, 20, 20);
  SendMouse(form, WM_LBUTTONUP, 0, 21, 21);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ControlsTest, WindowedControlHasThePlatformReportTheLeave) {
  TLog log;
  auto* box = new TBox(form, alNone, Rect(200, 200, 80, 40));
  box->Log = &log;
  box->Tag = "W";
  const TPoint inside = box->ClientToScreen(TPoint{5, 5});
  SetCursorPos(inside.X, inside.Y);
  SendMouse(box, WM_MOUSEMOVE, 0, 5, 5);
  SendMouse(box, WM_MOUSEMOVE, 0, 6, 5);
  EXPECT_EQ(log, (TLog{"enter W"})) << "one entry for many moves";
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  EXPECT_TRUE(PumpUntil([&] { return log.size() >= 2; }));
  EXPECT_EQ(log, (TLog{"enter W", "leave W"}));
  // Held by a pressed button, the mouse leaving the window is a leave too.
  SendMouse(box, WM_MOUSEMOVE, 0, 5, 5);
  SendMouse(box, WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
  SendMouse(box, WM_MOUSEMOVE, MK_LBUTTON, 150, 5);
  SendMouse(box, WM_LBUTTONUP, 0, 150, 5);
  EXPECT_EQ(log, (TLog{"enter W", "leave W", "enter W", "leave W"}));
}

TEST_F(ControlsTest, FailuresInClickHandlersReachTheApplicationAndTheControlsGoOn) {
  TExceptionCapture capture;
  auto* g = new TPatch(form, alNone, Rect(10, 10, 40, 40));
  auto* box = new TBox(form, alNone, Rect(200, 200, 80, 40));
  g->OnClick = [](TObject*) { throw Exception("'abc' is not a valid integer value"); };
  box->OnClick = [](TObject*) { throw std::runtime_error("windowed failure"); };

  SendMouse(form, WM_LBUTTONDOWN, MK_LBUTTON, 20, 20);
  SendMouse(form, WM_LBUTTONUP, 0, 20, 20);
  SendMouse(box, WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
  SendMouse(box, WM_LBUTTONUP, 0, 5, 5);
  EXPECT_EQ(capture.Messages, (std::vector<std::string>{"'abc' is not a valid integer value", "windowed failure"}));
  EXPECT_EQ(capture.Senders, (std::vector<TObject*>{form, box}));

  // The failed release did not leave the graphic control holding the mouse.
  EXPECT_EQ(GetCapture(), nullptr);
  int moves = 0;
  box->OnMouseMove = [&](TObject*, TShiftState, int, int) { ++moves; };
  g->OnMouseMove = [&](TObject*, TShiftState, int, int) { moves += 100; };
  SendMouse(form, WM_MOUSEMOVE, 0, 300, 20);
  EXPECT_EQ(moves, 0);
}

TEST_F(ControlsTest, TabOrderSkipsWhatCannotTakeTheFocus) {
  auto make = [&](int top) {
    auto* box = new TBox(form, alNone, Rect(0, top, 50, 20));
    box->SetTabStop(true);
    return box;
  };
  TBox* a = make(0);
  TBox* b = make(30);
  TBox* disabled = make(60);
  TBox* noStop = make(90);
  disabled->SetEnabled(false);
  noStop->SetTabStop(false);
  b->SetTabOrder(0);
  EXPECT_EQ(a->TabOrder(), 1);
  EXPECT_EQ(form->FindNextControl(b, true, true), a);
  EXPECT_EQ(form->FindNextControl(a, true, true), b) << "wraps past the disabled and the non-stop ones";
  EXPECT_EQ(form->FindNextControl(b, false, true), a);
  EXPECT_EQ(form->FindNextControl(a, true, false), noStop);
  form->SelectNext(b, true, true);
  EXPECT_TRUE(a->Focused());
  EXPECT_EQ(form->ActiveControl(), a);
}

TEST_F(ControlsTest, ChildrenFollowTheParentFontUntilGivenTheirOwn) {
  auto* panel = new TBox(form, alNone, Rect(0, 0, 100, 100));
  auto* label = new TLabel(form);
  label->SetParent(panel);
  panel->Font().SetName(L"Arial");
  EXPECT_EQ(label->Font().Name(), L"Arial");
  label->Font().SetHeight(-20);
  EXPECT_FALSE(label->ParentFont());
  panel->Font().SetName(L"Courier New");
  EXPECT_EQ(label->Font().Name(), L"Arial");
  panel->SetColor(clYellow);
  EXPECT_EQ(label->Color(), clYellow) << "labels take their parent's colour";
}

TEST_F(ControlsTest, AutoSizedLabelFitsItsTextAndKeepsItsRightEdgeWhenRightAligned) {
  auto* label = new TLabel(form);
  label->SetParent(form);
  EXPECT_GT(label->Height(), 5) << "an empty caption keeps the height of a line";
  label->SetAlignment(taRightJustify);
  label->SetBounds(100, 10, label->Width(), label->Height());
  const int right = label->Left() + label->Width();
  label->SetCaption(L"A much longer caption");
  EXPECT_GT(label->Width(), 50);
  EXPECT_EQ(label->Left() + label->Width(), right);
}

}  // namespace
