// The in-memory clipboard, the scripted message boxes and the recording rulers.
#include <gtest/gtest.h>

#include "base/exception.h"
#include "platform/headless_clipboard.h"
#include "platform/headless_message_box.h"
#include "platform/headless_ruler.h"
#include "support/errors.h"

namespace sw {
namespace {

TEST(HeadlessClipboard, HoldsTextUntilReplacedOrCleared) {
  THeadlessClipboard clipboard;
  IClipboard& c = clipboard;
  EXPECT_FALSE(c.HasText());
  EXPECT_EQ(c.Text(), "");
  c.SetText("");
  EXPECT_TRUE(c.HasText());  // empty text is still text
  c.SetText("<?xml version=\"1.0\"?>\r\n<Selection/>\xC3\xA4");
  EXPECT_EQ(c.Text(), "<?xml version=\"1.0\"?>\r\n<Selection/>\xC3\xA4");
  EXPECT_EQ(clipboard.SetCount(), 2);
  clipboard.Clear();
  EXPECT_FALSE(c.HasText());
  EXPECT_EQ(c.Text(), "");
}

TEST(HeadlessMessageBoxes, QuestionsTakeScriptedAnswersInOrder) {
  THeadlessMessageBoxes boxes;
  boxes.ScriptAnswer(TMessageAnswer::No);
  boxes.ScriptAnswer(TMessageAnswer::Yes);
  IMessageBoxes& m = boxes;
  // An information box in between answers Ok and leaves the script alone.
  EXPECT_EQ(m.Show("Saved.", "", TMessageKind::Information, TMessageButtons::Ok), TMessageAnswer::Ok);
  EXPECT_EQ(m.Show("Do you want to save the changes to your design.", "Stickwell", TMessageKind::Question,
                   TMessageButtons::YesNoCancel),
            TMessageAnswer::No);
  EXPECT_EQ(m.Show("Replace?", "", TMessageKind::Warning, TMessageButtons::YesNo), TMessageAnswer::Yes);
  EXPECT_EQ(boxes.PendingAnswers(), 0u);
  // Unscripted questions take the answer that changes nothing.
  EXPECT_EQ(m.Show("Close?", "", TMessageKind::Question, TMessageButtons::YesNoCancel), TMessageAnswer::Cancel);
  EXPECT_EQ(m.Show("Replace?", "", TMessageKind::Question, TMessageButtons::YesNo), TMessageAnswer::No);

  ASSERT_EQ(boxes.Messages().size(), 5u);
  const auto& q = boxes.Messages()[1];
  EXPECT_EQ(q.Text, "Do you want to save the changes to your design.");
  EXPECT_EQ(q.Caption, "Stickwell");
  EXPECT_EQ(q.Kind, TMessageKind::Question);
  EXPECT_EQ(q.Buttons, TMessageButtons::YesNoCancel);
  EXPECT_TRUE(q.Scripted);
  EXPECT_FALSE(boxes.Messages()[3].Scripted);
  EXPECT_EQ(boxes.LastText(), "Replace?");
  boxes.ClearMessages();
  EXPECT_EQ(boxes.LastText(), "");
}

TEST(HeadlessMessageBoxes, AScriptedAnswerThatIsNoButtonIsReported) {
  THeadlessMessageBoxes boxes;
  boxes.ScriptAnswer(TMessageAnswer::Cancel);
  EXPECT_EQ(test::ErrorOf<Exception>([&] { boxes.Show("Replace?", "", TMessageKind::Question, TMessageButtons::YesNo); }),
            "Scripted answer Cancel does not fit the message \"Replace?\"");
  EXPECT_EQ(boxes.Messages().size(), 1u);
  EXPECT_EQ(boxes.PendingAnswers(), 0u);

  EXPECT_TRUE(IsAnswerOf(TMessageButtons::Ok, TMessageAnswer::Ok));
  EXPECT_FALSE(IsAnswerOf(TMessageButtons::Ok, TMessageAnswer::Yes));
  EXPECT_FALSE(IsAnswerOf(TMessageButtons::YesNo, TMessageAnswer::Ok));
  EXPECT_TRUE(IsAnswerOf(TMessageButtons::YesNoCancel, TMessageAnswer::Cancel));
  EXPECT_STREQ(DefaultCaption(TMessageKind::Question), "Confirm");
}

TEST(HeadlessRuler, KeepsWhatTheDocumentSet) {
  THeadlessRuler top(TRulerOrientation::Horizontal);
  IRuler& r = top;
  EXPECT_EQ(r.Orientation(), TRulerOrientation::Horizontal);
  r.SetUnits(ruInch);
  r.SetOffset(-5.0f);
  r.SetScreenDpm(5.905512f);
  r.SetHairLinePos(120);
  EXPECT_EQ(r.Units(), ruInch);
  EXPECT_FLOAT_EQ(r.Offset(), -5.0f);
  EXPECT_FLOAT_EQ(r.ScreenDpm(), 5.905512f);
  EXPECT_EQ(r.HairLinePos(), 120);
  EXPECT_TRUE(r.HairLineVisible());
  EXPECT_EQ(top.Changes(), 4);
  THeadlessRulerCorner corner;
  corner.SetUnits(ruCenti);
  EXPECT_EQ(corner.Units(), ruCenti);
  EXPECT_STREQ(RulerUnitName(ruCenti), "cm");
  EXPECT_STREQ(RulerUnitName(ruNone), "");
}

}  // namespace
}  // namespace sw
