// The design view's drags, wheel zoom and double click, driven through the headless window as the
// designer window drives them, checked against the spin-edit path of the magnet model.
#include <gtest/gtest.h>

#include <string>

#include "engine/page.h"
#include "magnet/design_gestures.h"
#include "magnet/magnet_design.h"
#include "magnet_test_support.h"
#include "platform/headless_window_host.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"

namespace sw {
namespace {

std::string PageXml(const TdtpPage& page) {
  TNativeXml xml("Page");
  page.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

// Equal texts, or where they part, with a little of each around it.
testing::AssertionResult SameXml(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const size_t from = at > 120 ? at - 120 : 0;
  return testing::AssertionFailure() << "the page XML parts at byte " << at << "\n  actual:   ..."
                                     << actual.substr(from, 240) << "\n  expected: ..." << expected.substr(from, 240);
}

class DesignGestures : public test::MagnetFixture {
protected:
  // A 96 x 56 mm magnet page (90 x 50 with 3 mm bleed) shown in an 800 x 500 window: every layer
  // but the mask visible as a template shows them, the message (26, 16) 45 x 25 with its box, the
  // user's 24 x 16 mm picture at (6, 6), undo on and empty, not modified.
  void SetUp() override {
    magnet_ = NewMagnet();
    document().SetWindowHost(&host_);
    magnet_->SetBleedMargin(3);
    magnet_->LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : AllLayers()) {
      if (layer != TLayer::olMask) magnet_->Layer(layer)->SetVisible(true);
    }
    magnet_->SetMessageText(u"Hello");
    magnet_->LoadUserPicture(PictureFile("user.png", 300, 200));
    magnet_->MoveActiveImage(6, 6);
    magnet_->EndTextFlash();
    view_ = std::make_unique<TDesignViewClient>(*magnet_);
    host_.SetClient(view_.get());
    view_->OnChanged = [this] { ++changes_; };
    document().SetUndoEnabled(true);
    document().ClearUndo();
    document().SetModified(false);
  }

  void TearDown() override {
    host_.SetClient(nullptr);
    view_.reset();
    magnet_.reset();
    MagnetFixture::TearDown();
  }

  TdtpDocument& document() { return magnet_->Document(); }
  TdtpPage& page() { return *document().CurrentPage(); }
  TdtpShape& text() { return *magnet_->Layer(TLayer::usrText); }
  TdtpShape& box() { return *magnet_->Layer(TLayer::usrTextBG); }
  TdtpShape& picture() { return *magnet_->Layer(TLayer::usrImage); }
  // The page XML with no message flash running (a save ends the flash the same way; the window
  // never records the flash).
  std::string Xml() {
    document().DisableUndo();
    magnet_->EndTextFlash();
    document().EnableUndo();
    return PageXml(page());
  }

  // The window pixel of a page point in millimetres.
  TPoint At(float x, float y) { return RoundPoint(page().LocalToScreen({x, y})); }

  void Press(const TPoint& p, TMouseButton button = TMouseButton::mbLeft) { host_.Press(button, p.X, p.Y); }
  void Move(const TPoint& p) { host_.Move(p.X, p.Y); }
  void Release(const TPoint& p, TMouseButton button = TMouseButton::mbLeft) { host_.Release(button, p.X, p.Y); }
  // Press at (x, y) mm, move in three steps to (x + dx, y + dy) mm and release there.
  void Drag(float x, float y, float dx, float dy, TMouseButton button = TMouseButton::mbLeft) {
    Press(At(x, y), button);
    for (int step = 1; step <= 3; ++step) Move(At(x + dx * static_cast<float>(step) / 3, y + dy * static_cast<float>(step) / 3));
    Release(At(x + dx, y + dy), button);
  }

  // olImage as a template's cutout picture over the net area: opaque in its left 10 mm, see-through
  // elsewhere.
  void LoadCutout() {
    TBitmap32 bitmap;
    bitmap.SetSize(90, 50);
    bitmap.Clear(0x00000000);
    bitmap.FillRect(0, 0, 10, 50, 0xFFFFFFFF);
    TMemoryStream stream;
    EncodePng(bitmap, stream);
    const std::string path = TempFile("cutout.png");
    stream.SaveToFile(path);
    magnet_->LoadPictureInto(TLayer::olImage, path);
    TdtpShape* cutout = magnet_->Layer(TLayer::olImage);
    cutout->SetBounds(3, 3, 90, 50);
  }

  THeadlessWindowHost host_{800, 500};
  std::unique_ptr<TMagnetDesign> magnet_;
  std::unique_ptr<TDesignViewClient> view_;
  int changes_ = 0;
};

TEST_F(DesignGestures, DraggingThePictureStoresWhatItsSpinEditsWould) {
  const std::string before = Xml();
  Press(At(10, 10));
  EXPECT_EQ(view_->Dragging(), TDesignTarget::Picture);
  EXPECT_TRUE(host_.MouseCaptured());
  Move(At(13.2f, 8.3f));
  // The view follows the mouse at once, in whole millimetres from the spin values.
  EXPECT_EQ(picture().DocLeft(), 9.0f);
  EXPECT_EQ(picture().DocTop(), 4.0f);
  EXPECT_GE(changes_, 1);
  Move(At(17.3f, 7.4f));
  // The document never sees the button, so it runs no drag of its own.
  EXPECT_EQ(document().MouseState(), msIdle);
  EXPECT_EQ(document().SelectedCount(), 0);
  Release(At(17.3f, 7.4f));
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  EXPECT_FALSE(host_.MouseCaptured());

  EXPECT_EQ(picture().DocLeft(), 13.0f);
  EXPECT_EQ(picture().DocTop(), 3.0f);
  const TImageControls controls = *magnet_->ImageControls(TLayer::usrImage);
  EXPECT_EQ(controls.Left, 13);
  EXPECT_EQ(controls.Top, 3);
  EXPECT_EQ(controls.Zoom, 25);
  EXPECT_TRUE(document().Modified());
  const std::string dragged = Xml();

  // One undo step, restoring the page byte for byte.
  EXPECT_TRUE(document().Undo());
  EXPECT_FALSE(document().CanUndo());
  EXPECT_TRUE(SameXml(Xml(), before));

  // The spin edits' path from the same start stores the same page.
  magnet_->MoveActiveImage(13, 3);
  EXPECT_TRUE(SameXml(Xml(), dragged));
}

TEST_F(DesignGestures, DraggingTheTurnedMessageMovesItAndItsBoxAsTheSpinEditsWould) {
  magnet_->RotateText(-30);  // DocAngle 30: the position point leaves whole millimetres
  magnet_->EndTextFlash();
  document().ClearUndo();
  const TTextControls start = *magnet_->TextControls();
  ASSERT_NE(text().DocLeft(), static_cast<float>(start.Left));
  const std::string before = Xml();

  // A corner of the turned frame that lies outside the unturned one.
  const TFloatPoint corner = text().LocalToParent({2, 2});
  const TFloatPoint outside = text().LocalToParent({-2, 2});
  Press(At(outside.X, outside.Y));
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  Release(At(outside.X, outside.Y));
  Drag(corner.X, corner.Y, -4.2f, 5.8f);
  const TTextControls moved = *magnet_->TextControls();
  EXPECT_EQ(moved.Left, start.Left - 4);
  EXPECT_EQ(moved.Top, start.Top + 6);
  EXPECT_EQ(moved.Rotate, start.Rotate);
  EXPECT_EQ(moved.Width, start.Width);
  EXPECT_EQ(text().DocLeft(), static_cast<float>(start.Left - 4));
  // The box keeps the message's frame.
  EXPECT_EQ(box().DocLeft(), text().DocLeft());
  EXPECT_EQ(box().DocTop(), text().DocTop());
  EXPECT_EQ(box().DocAngle(), text().DocAngle());
  const std::string dragged = Xml();

  EXPECT_TRUE(document().Undo());
  EXPECT_FALSE(document().CanUndo());
  EXPECT_TRUE(SameXml(Xml(), before));
  magnet_->MoveText(static_cast<float>(start.Left - 4), static_cast<float>(start.Top + 6));
  EXPECT_TRUE(SameXml(Xml(), dragged));
}

TEST_F(DesignGestures, TheMessageLiesAboveThePictureAndAClickStoresNothing) {
  // (28, 18) is on both: the message takes it.
  Press(At(28, 18));
  EXPECT_EQ(view_->Dragging(), TDesignTarget::Message);
  Release(At(28, 18));
  EXPECT_EQ(view_->TargetAt(At(10, 10).X, At(10, 10).Y), TDesignTarget::Picture);

  // A click, a tremble, or a drag that comes back leaves the design alone.
  const std::string before = Xml();
  Drag(10, 10, 0.2f, -0.3f);
  Drag(50, 30, 0.3f, 0.1f);
  Press(At(10, 10));
  Move(At(20, 20));
  Move(At(10.1f, 10.1f));
  Release(At(10.1f, 10.1f));
  EXPECT_TRUE(SameXml(Xml(), before));
  EXPECT_EQ(document().UndoCount(), 0);
  EXPECT_FALSE(document().Modified());
}

TEST_F(DesignGestures, PressesAwayFromMessageAndPictureTouchNothing) {
  LoadCutout();
  magnet_->MoveActiveImage(-5, 20);  // 24 x 16 from the bleed band across the cutout's opaque part
  document().ClearUndo();
  document().SetModified(false);
  const std::string before = Xml();
  const float points[][2] = {
      {80, 10},    // background colour and template background only
      {1.5f, 25},  // the picture under the white bleed border
      {10, 25},    // the picture under the cutout's opaque part
      {94.5f, 54}, // border band without picture
      {-3, 25},    // left of the page, in the picture's frame
      {200, 200},  // far outside the page
  };
  for (const auto& p : points) {
    SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
    EXPECT_EQ(view_->TargetAt(At(p[0], p[1]).X, At(p[0], p[1]).Y), TDesignTarget::None);
    Drag(p[0], p[1], 6, 4);
    host_.DoubleClickAt(At(p[0], p[1]).X, At(p[0], p[1]).Y);
    EXPECT_EQ(document().SelectedCount(), 0);
    EXPECT_EQ(document().EditShape(), nullptr);
  }
  // The right button on the picture, where the cutout lets it show, does nothing either.
  EXPECT_EQ(view_->TargetAt(At(16, 25).X, At(16, 25).Y), TDesignTarget::Picture);
  Drag(16, 25, 5, 5, TMouseButton::mbRight);
  EXPECT_TRUE(SameXml(Xml(), before));
  EXPECT_EQ(document().SelectedCount(), 0);
  EXPECT_EQ(changes_, 0);
  EXPECT_EQ(document().UndoCount(), 0);
  EXPECT_FALSE(document().Modified());

  // Where the cutout is see-through, the picture moves.
  Drag(16, 25, 5, 5);
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Left, 0);
  // A hidden picture cannot be taken.
  magnet_->ClearUserPicture();
  const std::string hidden = Xml();
  EXPECT_EQ(view_->TargetAt(At(16, 30).X, At(16, 30).Y), TDesignTarget::None);
  Drag(16, 30, 5, 5);
  EXPECT_TRUE(SameXml(Xml(), hidden));
}

TEST_F(DesignGestures, EscapeAndLostFocusPutTheLayerBack) {
  magnet_->RotateText(-30);
  magnet_->EndTextFlash();
  document().ClearUndo();
  document().SetModified(false);
  const std::string before = Xml();
  const float left = text().DocLeft(), top = text().DocTop();

  const TFloatPoint corner = text().LocalToParent({5, 5});
  Press(At(corner.X, corner.Y));
  Move(At(corner.X + 8, corner.Y + 3));
  EXPECT_NE(text().DocLeft(), left);
  host_.Type(vk::Escape);
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  EXPECT_FALSE(host_.MouseCaptured());
  EXPECT_EQ(text().DocLeft(), left);
  EXPECT_EQ(text().DocTop(), top);
  // The release after the cancel does nothing more.
  Move(At(corner.X + 12, corner.Y + 3));
  Release(At(corner.X + 12, corner.Y + 3));
  EXPECT_EQ(text().DocLeft(), left);

  Press(At(10, 10));
  EXPECT_TRUE(host_.Focused());
  Move(At(20, 14));
  host_.KillFocus();
  Release(At(20, 14));
  EXPECT_TRUE(SameXml(Xml(), before));
  EXPECT_EQ(document().UndoCount(), 0);
  EXPECT_FALSE(document().Modified());
}

TEST_F(DesignGestures, AMouseFarAwayKeepsWithinWhatASpinEditHolds) {
  Press(At(10, 10));
  document().SetScreenDpm(1e-6);  // zoomed out as far as the view goes
  Move({2000000000, -2000000000});
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Left, TDesignViewClient::kSpinLimit);
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Top, -TDesignViewClient::kSpinLimit);
  host_.Type(vk::Escape);
  EXPECT_EQ(picture().DocLeft(), 6.0f);
  EXPECT_EQ(picture().DocTop(), 6.0f);
}

TEST_F(DesignGestures, TheWheelZoomsThePictureInItsSpinEditsSteps) {
  const TPoint over = At(6.2f, 6.2f);  // on the picture at every zoom from 2 %
  const TDesignObject entry = *magnet_->LayerObject(TLayer::usrImage);
  const std::string before = Xml();

  EXPECT_TRUE(view_->MouseWheel(0, 120, over.X, over.Y));
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Zoom, 26);
  EXPECT_EQ(picture().DocWidth(), static_cast<float>(entry.ZoomWidth * 0.26));
  EXPECT_EQ(changes_, 1);
  EXPECT_TRUE(view_->MouseWheel(0, 240, over.X, over.Y));  // two notches at once
  // Fine-grained wheels: half notches add up to whole ones.
  EXPECT_TRUE(view_->MouseWheel(0, 60, over.X, over.Y));
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Zoom, 28);
  EXPECT_TRUE(view_->MouseWheel(0, 60, over.X, over.Y));
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Zoom, 29);
  const std::string zoomed = Xml();

  // Turns in a row are one step; the spin path stores the same page.
  EXPECT_TRUE(document().Undo());
  EXPECT_FALSE(document().CanUndo());
  EXPECT_TRUE(SameXml(Xml(), before));
  magnet_->ZoomActiveImage(29);
  EXPECT_TRUE(SameXml(Xml(), zoomed));

  // Zooming out stops at the range's lower end; a larger step and a range are the window's.
  magnet_->ZoomActiveImage(2);
  EXPECT_TRUE(view_->MouseWheel(0, -120 * 5, over.X, over.Y));
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Zoom, 0);
  view_->ZoomStep = 10;
  view_->ZoomMaximum = 30;
  magnet_->ZoomActiveImage(25);
  EXPECT_TRUE(view_->MouseWheel(0, 120, over.X, over.Y));
  EXPECT_EQ(magnet_->ImageControls(TLayer::usrImage)->Zoom, 30);

  // Away from the picture the wheel leaves the design alone.
  const std::string elsewhere = Xml();
  const TPoint background = At(80, 10);
  view_->MouseWheel(0, 120, background.X, background.Y);
  EXPECT_TRUE(SameXml(Xml(), elsewhere));
}

TEST_F(DesignGestures, ALayerMovedByAnythingElseDuringADragStaysWhereThatPutIt) {
  Press(At(50, 30));
  Move(At(55, 33));
  // A value typed into a spin edit while the mouse is held.
  magnet_->MoveText(40, 20);
  const std::string typed = Xml();
  Move(At(60, 35));
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  EXPECT_FALSE(host_.MouseCaptured());
  Release(At(60, 35));
  host_.Type(vk::Escape);
  EXPECT_TRUE(SameXml(Xml(), typed));
  EXPECT_EQ(text().DocLeft(), 40.0f);
}

TEST_F(DesignGestures, ALayerDestroyedDuringADragLeavesNothingBehind) {
  Press(At(50, 30));
  Move(At(55, 33));
  ASSERT_EQ(view_->Dragging(), TDesignTarget::Message);
  // Loading another template rebuilds every layer.
  magnet_->NewDesign();
  magnet_->LayoutTemplateLayers(60, 40, 2);
  for (const TLayer layer : AllLayers()) magnet_->Layer(layer)->SetVisible(true);
  const std::string fresh = Xml();
  Move(At(40, 20));
  Release(At(40, 20));
  host_.Type(vk::Escape);
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  EXPECT_FALSE(host_.MouseCaptured());
  EXPECT_TRUE(SameXml(Xml(), fresh));

  // The picture deleted on its own during a drag.
  magnet_->LoadUserPicture(PictureFile("again.png", 300, 200));
  magnet_->MoveActiveImage(6, 6);
  const std::string withPicture = Xml();
  Press(At(10, 10));
  ASSERT_EQ(view_->Dragging(), TDesignTarget::Picture);
  Move(At(14, 12));
  document().DeleteShapeObject(&picture());
  EXPECT_EQ(magnet_->Layer(TLayer::usrImage), nullptr);
  const std::string without = Xml();
  EXPECT_NE(without, withPicture);
  Move(At(18, 14));
  Release(At(18, 14));
  EXPECT_TRUE(SameXml(Xml(), without));
  EXPECT_EQ(view_->TargetAt(At(10, 10).X, At(10, 10).Y), TDesignTarget::None);
  view_->MouseWheel(0, 120, At(10, 10).X, At(10, 10).Y);
  EXPECT_TRUE(SameXml(Xml(), without));
}

TEST_F(DesignGestures, CursorShowsWhatCanBeMoved) {
  auto hover = [&](float x, float y) {
    Move(At(x, y));
    return host_.Cursor();
  };
  EXPECT_EQ(hover(10, 10), crSizeAll);
  EXPECT_EQ(hover(50, 30), crSizeAll);
  EXPECT_EQ(hover(80, 10), crDefault);
  EXPECT_EQ(hover(300, 300), crDefault);
  // During a drag the cursor stays a move cursor wherever the mouse goes.
  Press(At(10, 10));
  Move(At(300, 300));
  EXPECT_EQ(host_.Cursor(), crSizeAll);
  host_.Type(vk::Escape);
}

TEST_F(DesignGestures, DoubleClickOnTheMessageEditsItOnThePage) {
  int asked = 0;
  view_->OnEditMessage = [&] { ++asked; };
  const TPoint onPicture = At(10, 10);
  host_.DoubleClickAt(onPicture.X, onPicture.Y);
  EXPECT_EQ(document().EditShape(), nullptr);
  const std::string before = Xml();

  // Press, release, double click with the second press, release: the message is edited with the
  // caret where the click was and nothing selected, so typing goes in there.
  const std::u16string original = magnet_->TextLayer()->Text();
  ASSERT_GT(original.size(), 2u);
  const TPoint onMessage = At(50, 30);
  host_.DoubleClickAt(onMessage.X, onMessage.Y);
  ASSERT_EQ(document().EditShape(), &text());
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(view_->Dragging(), TDesignTarget::None);
  EXPECT_EQ(magnet_->TextLayer()->SelLength, 0);
  const auto caret = static_cast<size_t>(magnet_->TextLayer()->CaretPos);
  EXPECT_EQ(caret, static_cast<size_t>(magnet_->TextLayer()->CaretIndexAt(onMessage)));
  EXPECT_GT(caret, 0u);
  EXPECT_LT(caret, original.size());
  const std::u16string typed = original.substr(0, caret) + u"Hi" + original.substr(caret);
  const int changesBefore = changes_;
  host_.Type('H', u'H');
  host_.Type('I', u'i');
  EXPECT_EQ(magnet_->TextLayer()->Text(), typed);
  EXPECT_GT(changes_, changesBefore);
  // The right button on the message offers the editing menu only.
  host_.Press(TMouseButton::mbRight, onMessage.X, onMessage.Y);
  host_.Release(TMouseButton::mbRight, onMessage.X, onMessage.Y);
  EXPECT_EQ(host_.ShownPopupMenu(), document().CurrentPopupMenu());
  EXPECT_TRUE(view_->WantsSpecialKey(vk::Left));

  // A press away from the message ends the edit, accepted, as one undo step; nothing else moves.
  const TPoint background = At(80, 10);
  host_.Press(TMouseButton::mbLeft, background.X, background.Y);
  host_.Release(TMouseButton::mbLeft, background.X, background.Y);
  EXPECT_EQ(document().EditShape(), nullptr);
  EXPECT_EQ(magnet_->TextLayer()->Text(), typed);
  EXPECT_EQ(document().SelectedCount(), 0);
  EXPECT_TRUE(document().Undo());
  EXPECT_FALSE(document().CanUndo());
  EXPECT_TRUE(SameXml(Xml(), before));

  // Out of editing, no menu, and the arrows are not the view's.
  host_.Press(TMouseButton::mbRight, background.X, background.Y);
  host_.Release(TMouseButton::mbRight, background.X, background.Y);
  EXPECT_EQ(host_.ShownPopupMenu(), nullptr);
  EXPECT_FALSE(view_->WantsSpecialKey(vk::Left));

  // A message that may not be edited on the page: the window's message field takes over.
  text().AllowEdit = false;
  host_.DoubleClickAt(onMessage.X, onMessage.Y);
  EXPECT_EQ(document().EditShape(), nullptr);
  EXPECT_EQ(asked, 1);
  text().AllowEdit = true;
  EXPECT_TRUE(SameXml(Xml(), before));
}

TEST_F(DesignGestures, PaintsAndScrollsThroughTheDocument) {
  const TBitmap32& screen = host_.Paint(TRect{0, 0, 800, 500});
  const TPoint centre = At(48, 28);
  EXPECT_NE(screen.Pixel(centre.X, centre.Y), THeadlessWindowHost::kUnpainted);
  EXPECT_GT(host_.PaintCount(), 0);
  // Keys other than Escape never reach the layers.
  const std::string before = Xml();
  host_.Type(vk::Delete);
  host_.Type(vk::Left);
  host_.Type('X', u'x');
  EXPECT_TRUE(SameXml(Xml(), before));
}

}  // namespace
}  // namespace sw
