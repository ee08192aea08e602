#include "platform/headless_window_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "support/errors.h"

namespace sw {
namespace {

TColor32 Pattern(int32_t x, int32_t y) {
  return 0xFF000000u | (static_cast<uint32_t>(x * 7 + 1000) & 0xFF) << 16 | (static_cast<uint32_t>(y * 5 + 1000) & 0xFF) << 8 |
         (static_cast<uint32_t>(x ^ y) & 0xFF);
}

// Draws a scrolled pattern: client pixel (x, y) shows content pixel (x + OffsetX, y + OffsetY).
class TPatternClient : public IWindowClient {
public:
  void Paint(TCanvas& canvas, const TRect& clip) override {
    Paints.push_back(clip);
    EXPECT_EQ(canvas.ClipRect(), clip);
    TBitmap32 b;
    b.SetSize(clip.Width(), clip.Height());
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) b.SetPixel(x, y, Pattern(clip.Left + x + OffsetX, clip.Top + y + OffsetY));
    // Drawing beyond the clip must not reach the window.
    canvas.FillRect(TRect{-100, -100, 10000, clip.Top}, clWhite32);
    canvas.DrawBitmap(clip.Left, clip.Top, b);
    if (OnPaint) OnPaint();
  }
  void Resized() override { ++ResizeCount; }
  void Scroll(TScrollBarKind, TScrollRequest, int32_t) override {}
  void MouseDown(TMouseButton, TShiftState, int32_t, int32_t) override {}
  void MouseMove(TShiftState, int32_t, int32_t) override {}
  void MouseUp(TMouseButton, TShiftState, int32_t, int32_t) override {}
  void DoubleClick(TShiftState, int32_t, int32_t) override {}
  bool MouseWheel(TShiftState, int32_t, int32_t, int32_t) override { return false; }
  void KeyDown(uint16_t, TShiftState) override {}
  void KeyPress(char16_t) override {}
  void KeyUp(uint16_t, TShiftState) override {}
  void FocusChanged(bool focused) override { Focus.push_back(focused); }

  int32_t OffsetX = 0, OffsetY = 0;
  std::vector<TRect> Paints;
  int32_t ResizeCount = 0;
  std::vector<bool> Focus;
  std::function<void()> OnPaint;
};

// Every client pixel shows the pattern at the client's offset.
::testing::AssertionResult ShowsPattern(const THeadlessWindowHost& host, const TPatternClient& client) {
  const TBitmap32& s = host.Screen();
  if (s.Width() != host.ClientWidth() || s.Height() != host.ClientHeight())
    return ::testing::AssertionFailure() << "screen " << s.Width() << "x" << s.Height();
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x)
      if (s.Pixel(x, y) != Pattern(x + client.OffsetX, y + client.OffsetY))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y;
  return ::testing::AssertionSuccess();
}

TEST(HeadlessWindowHost, PaintDrawsOnlyTheClipAndValidatesIt) {
  THeadlessWindowHost host(60, 40);
  TPatternClient client;
  host.SetClient(&client);
  EXPECT_EQ(host.InvalidRects(), std::vector<TRect>{(TRect{0, 0, 60, 40})});
  const TBitmap32& screen = host.Paint({10, 5, 30, 25});
  EXPECT_EQ(client.Paints, std::vector<TRect>{(TRect{10, 5, 30, 25})});
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 60; ++x) {
      const bool inside = x >= 10 && x < 30 && y >= 5 && y < 25;
      ASSERT_EQ(screen.Pixel(x, y), inside ? Pattern(x, y) : THeadlessWindowHost::kUnpainted) << x << "," << y;
    }
  }
  // What is left pending is the client minus the painted rectangle.
  int64_t area = 0;
  for (const TRect& r : host.InvalidRects()) {
    EXPECT_TRUE(IntersectRect(r, TRect{10, 5, 30, 25}).IsEmpty());
    area += static_cast<int64_t>(r.Width()) * r.Height();
  }
  EXPECT_EQ(area, 60 * 40 - 20 * 20);
  host.PaintInvalidated();
  EXPECT_TRUE(host.InvalidRects().empty());
  EXPECT_TRUE(ShowsPattern(host, client));

  // Clips are cut to the client; nothing at all paints nothing.
  client.Paints.clear();
  host.Paint({50, 30, 500, 500});
  host.Paint({70, 0, 80, 10});
  EXPECT_EQ(client.Paints, std::vector<TRect>{(TRect{50, 30, 60, 40})});
  host.Invalidate({-5, -5, 3, 2});
  host.Invalidate({100, 100, 200, 200});
  EXPECT_EQ(host.InvalidRects(), std::vector<TRect>{(TRect{0, 0, 3, 2})});
  EXPECT_EQ(host.InvalidateLog().size(), 2u);
}

TEST(HeadlessWindowHost, ScrollingMovesPixelsAndRepaintsWhatComesIntoView) {
  THeadlessWindowHost host(61, 37);
  TPatternClient client;
  host.SetClient(&client);
  host.PaintInvalidated();
  std::mt19937 rng(11);
  std::uniform_int_distribution<int32_t> step(-70, 70);
  for (int i = 0; i < 200; ++i) {
    const int32_t dx = i % 5 == 0 ? 0 : step(rng), dy = i % 7 == 0 ? 0 : step(rng) / 2;
    client.Paints.clear();
    client.OffsetX -= dx;
    client.OffsetY -= dy;
    host.ScrollContent(dx, dy);
    // A pending rectangle travels with the content.
    if (i % 3 == 0) host.Invalidate({20, 10, 25, 12});
    host.PaintInvalidated();
    ASSERT_TRUE(ShowsPattern(host, client)) << "step " << i << " by " << dx << "," << dy;
    // Only the uncovered strips were painted, not the whole window.
    int64_t painted = 0;
    for (const TRect& r : client.Paints) painted += static_cast<int64_t>(r.Width()) * r.Height();
    const int64_t exposed = std::min(61, std::abs(dx)) * 37 + std::min(37, std::abs(dy)) * 61 + (i % 3 == 0 ? 10 : 0);
    ASSERT_LE(painted, exposed) << "step " << i;
  }
  EXPECT_EQ(host.ScrollLog().size(), 200u);
  host.ClearLog();
  EXPECT_TRUE(host.ScrollLog().empty());
}

TEST(HeadlessWindowHost, ResizesAndScrollBarsChangeTheClientAndTellTheClient) {
  THeadlessWindowHost host(100, 80);
  TPatternClient client;
  host.SetClient(&client);
  host.PaintInvalidated();
  host.SetSize(120, 50);
  EXPECT_EQ(client.ResizeCount, 1);
  EXPECT_EQ(host.ClientWidth(), 120);
  EXPECT_EQ(host.Screen().Height(), 50);
  EXPECT_EQ(host.Screen().Pixel(99, 49), Pattern(99, 49));  // kept
  EXPECT_EQ(host.Screen().Pixel(100, 0), THeadlessWindowHost::kUnpainted);
  EXPECT_EQ(host.InvalidRects(), std::vector<TRect>{(TRect{0, 0, 120, 50})});
  host.SetSize(120, 50);
  EXPECT_EQ(client.ResizeCount, 1);

  // Bars take no room until they have a thickness; then showing one shrinks the client at once.
  TScrollBarInfo bar{0, 500, 100, 0, 1, true};
  host.SetScrollBar(TScrollBarKind::Vertical, bar);
  EXPECT_EQ(host.ScrollBar(TScrollBarKind::Vertical), bar);
  EXPECT_EQ(host.ClientWidth(), 120);
  EXPECT_EQ(client.ResizeCount, 1);
  host.SetScrollBarThickness(17);
  EXPECT_EQ(host.ClientWidth(), 103);
  EXPECT_EQ(host.ClientHeight(), 50);
  EXPECT_EQ(client.ResizeCount, 2);
  int32_t widthSeenInResize = -1;
  TPatternClient watcher;
  host.SetClient(&watcher);
  watcher.OnPaint = nullptr;
  host.SetScrollBar(TScrollBarKind::Horizontal, bar);
  EXPECT_EQ(host.ClientHeight(), 33);
  EXPECT_EQ(watcher.ResizeCount, 1);
  bar.Visible = false;
  host.SetScrollBar(TScrollBarKind::Vertical, bar);
  widthSeenInResize = host.ClientWidth();
  EXPECT_EQ(widthSeenInResize, 120);
  EXPECT_EQ(watcher.ResizeCount, 2);
  bar.Position = 40;  // same visibility: no resize
  host.SetScrollBar(TScrollBarKind::Vertical, bar);
  EXPECT_EQ(watcher.ResizeCount, 2);
  EXPECT_EQ(host.ScrollBarSetCount(TScrollBarKind::Vertical), 3);

  EXPECT_EQ(test::ErrorOf<Exception>([&] { host.SetSize(-1, 5); }), "Invalid window size -1 x 5");
  EXPECT_EQ(test::ErrorOf<Exception>([&] { THeadlessWindowHost(5, 100000); }), "Invalid window size 5 x 100000");
  EXPECT_EQ(host.ClientWidth(), 120);
}

TEST(HeadlessWindowHost, RecordsCursorCaptureFocusAndPendingWork) {
  THeadlessWindowHost host(10, 10);
  TPatternClient client;
  host.SetClient(&client);
  EXPECT_EQ(host.Cursor(), crDefault);
  host.SetCursor(crSizeNWSE);
  EXPECT_EQ(host.Cursor(), crSizeNWSE);
  host.SetMouseCapture(true);
  EXPECT_TRUE(host.MouseCaptured());
  host.SetMouseCapture(false);
  EXPECT_FALSE(host.MouseCaptured());
  host.SetFocus();
  host.SetFocus();
  EXPECT_TRUE(host.Focused());
  host.KillFocus();
  host.KillFocus();
  EXPECT_EQ(client.Focus, (std::vector<bool>{true, false}));
  host.ProcessPendingWork();
  EXPECT_EQ(host.PendingWorkCalls(), 1);
  EXPECT_EQ(host.PaintCount(), 0);  // pending work paints nothing by itself
}

TEST(HeadlessWindowHost, AClientInvalidatingWhilePaintingStaysPendingInsteadOfLooping) {
  THeadlessWindowHost host(20, 20);
  TPatternClient client;
  host.SetClient(&client);
  client.OnPaint = [&] { host.Invalidate({0, 0, 5, 5}); };
  host.PaintInvalidated();
  EXPECT_EQ(host.PaintCount(), 1);
  EXPECT_EQ(host.InvalidRects(), std::vector<TRect>{(TRect{0, 0, 5, 5})});

  // Without a client a paint still validates, so the pending list drains.
  host.SetClient(nullptr);
  host.PaintInvalidated();
  EXPECT_TRUE(host.InvalidRects().empty());
  EXPECT_EQ(host.PaintCount(), 1);
}

// Records the input events as lines of text.
class TInputClient : public TPatternClient {
public:
  void MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) override { Add("down", static_cast<int>(b), s, x, y); }
  void MouseMove(TShiftState s, int32_t x, int32_t y) override { Add("move", -1, s, x, y); }
  void MouseUp(TMouseButton b, TShiftState s, int32_t x, int32_t y) override { Add("up", static_cast<int>(b), s, x, y); }
  void DoubleClick(TShiftState s, int32_t x, int32_t y) override { Add("dbl", -1, s, x, y); }
  void KeyDown(uint16_t key, TShiftState s) override { Log.push_back("kd " + std::to_string(key) + " " + std::to_string(s)); }
  void KeyPress(char16_t ch) override { Log.push_back("kp " + std::to_string(static_cast<int>(ch))); }
  void KeyUp(uint16_t key, TShiftState s) override { Log.push_back("ku " + std::to_string(key) + " " + std::to_string(s)); }
  TPopupMenu* CurrentPopupMenu() override { return Menu; }

  std::vector<std::string> Log;
  TPopupMenu* Menu = nullptr;

private:
  void Add(const char* what, int button, TShiftState s, int32_t x, int32_t y) {
    std::string line = what;
    if (button >= 0) line += " b" + std::to_string(button);
    Log.push_back(line + " s" + std::to_string(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
};

TEST(HeadlessWindowHost, ScriptedInputCarriesHeldButtonsAndKeys) {
  THeadlessWindowHost host(100, 80);
  TInputClient client;
  host.SetClient(&client);
  host.SetKeys(ssShift | ssLeft);  // only modifier keys are kept
  EXPECT_EQ(host.KeyboardState(), ssShift);
  host.Press(TMouseButton::mbLeft, 0, 0);
  host.Drag(10, 10, 30, 20, 2);
  host.SetKeys(0);
  host.DoubleClickAt(5, 6);
  host.Type('A', u'a');
  EXPECT_EQ(host.CursorPos(), (TPoint{5, 6}));
  const std::vector<std::string> expected = {
      "down b0 s9 0,0",                                                   // Shift and the left button
      "move s9 10,10", "down b0 s9 10,10", "move s9 20,15", "move s9 30,20",  // the pointer moved first
      "up b0 s1 30,20",                                                    // released: no button left
      "move s0 5,6", "down b0 s8 5,6", "up b0 s0 5,6", "dbl s72 5,6", "down b0 s72 5,6", "up b0 s0 5,6",
      "kd 65 0", "kp 97", "ku 65 0"};
  EXPECT_EQ(client.Log, expected);
  EXPECT_EQ(host.ButtonsHeld(), 0);
}

TEST(HeadlessWindowHost, RightReleaseShowsTheMenuAndHintsAndDrawsAreRecorded) {
  THeadlessWindowHost host(100, 80);
  TInputClient client;
  host.SetClient(&client);
  host.Press(TMouseButton::mbRight, 5, 5);
  host.Release(TMouseButton::mbRight, 5, 5);
  EXPECT_EQ(host.ShownPopupMenu(), nullptr);
  EXPECT_EQ(host.PopupShowCount(), 0);
  TPopupMenu menu;
  int clicks = 0;
  menu.Items.push_back({"Copy", "Ctrl+C", [&](const std::string& caption) { clicks += caption == "Copy"; }});
  client.Menu = &menu;
  host.Press(TMouseButton::mbRight, 5, 5);
  host.Release(TMouseButton::mbRight, 5, 5);
  ASSERT_EQ(host.ShownPopupMenu(), &menu);
  host.ShownPopupMenu()->Click(0);
  host.ShownPopupMenu()->Click(5);  // out of range: nothing
  EXPECT_EQ(clicks, 1);

  host.ShowHint("tip", {3, 4}, 0xE0FFFF);
  EXPECT_TRUE(host.HintShown());
  EXPECT_EQ(host.HintText(), "tip");
  EXPECT_EQ(host.HintPoint(), (TPoint{3, 4}));
  host.HideHint();
  EXPECT_FALSE(host.HintShown());

  // A direct drawing reaches the pixels at once, only inside its bounds, and leaves paints pending.
  host.PaintInvalidated();
  const size_t pending = host.InvalidRects().size();
  host.DrawDirect({10, 10, 20, 20}, [](TCanvas& canvas) { canvas.FillRect({0, 0, 100, 80}, 0xFF0000FFu); });
  EXPECT_EQ(host.Screen().Pixel(10, 10) & 0xFFFFFFu, 0x0000FFu);
  EXPECT_EQ(host.Screen().Pixel(20, 20), Pattern(20, 20));
  EXPECT_EQ(host.InvalidRects().size(), pending);
  EXPECT_EQ(host.DirectDrawCount(), 1);
  host.StartDragDrop("shapes");
  EXPECT_EQ(host.DragDrops(), std::vector<std::string>{"shapes"});
}

}  // namespace
}  // namespace sw
