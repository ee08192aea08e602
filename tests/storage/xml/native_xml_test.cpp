// The XML node tree and its text form: layouts byte for byte, round trips, typed values,
// byte data, escaping, the parser's messages and the limits on hostile input.
#include "storage/xml/native_xml.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::ErrorOf;

std::string Reparse(const std::string& text, TXmlLayout layout) {
  TNativeXml xml;
  xml.SetLayout(layout);
  xml.LoadFromString(text);
  return xml.SaveToString();
}

void FillSample(TNativeXml& xml) {
  TXmlNode* root = xml.Root();
  root->AddAttribute("Version", "1");
  root->WriteString("ClassName", "TdtpDocument");
  root->WriteInteger("PageCount", 1);
  root->NewChild("Empty");
  TXmlNode* page = root->NewChild("Pages")->NewChild("Page");
  page->WriteString("StreamName", "Page1.xml");
}

TEST(NativeXmlLayout, ReadableAndCompactExactly) {
  TNativeXml xml("Document");
  FillSample(xml);
  xml.SetLayout(TXmlLayout::Readable);
  EXPECT_EQ(xml.SaveToString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<Document Version=\"1\">\r\n"
            "  <ClassName>TdtpDocument</ClassName>\r\n"
            "  <PageCount>1</PageCount>\r\n"
            "  <Empty/>\r\n"
            "  <Pages>\r\n"
            "    <Page>\r\n"
            "      <StreamName>Page1.xml</StreamName>\r\n"
            "    </Page>\r\n"
            "  </Pages>\r\n"
            "</Document>\r\n");
  xml.SetLayout(TXmlLayout::Compact);
  EXPECT_EQ(xml.SaveToString(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Document Version=\"1\"><ClassName>TdtpDocument</ClassName><PageCount>1</PageCount>"
            "<Empty/><Pages><Page><StreamName>Page1.xml</StreamName></Page></Pages></Document>\n");
  // NoSelfClosing writes start and end tags for empty elements.
  xml.Settings().NoSelfClosing = true;
  EXPECT_NE(xml.SaveToString().find("<Empty></Empty>"), std::string::npos);
}

TEST(NativeXmlLayout, EmptyRootHasStartAndEndTag) {
  TNativeXml xml("Root");
  EXPECT_EQ(xml.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root></Root>\n");
  TNativeXml reread;
  reread.LoadFromString(xml.SaveToString());
  EXPECT_EQ(reread.Root()->Name(), "Root");
  EXPECT_EQ(reread.Root()->ChildCount(), 0);
}

TEST(NativeXmlLayout, StreamHasMarkAndStringHasNot) {
  TNativeXml xml("a");
  TMemoryStream stream;
  xml.SaveToStream(stream);
  const std::string text = xml.SaveToString();
  ASSERT_EQ(stream.Size(), static_cast<int64_t>(text.size() + 3));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 3), "\xEF\xBB\xBF");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()) + 3, text.size()), text);
  EXPECT_EQ(text.rfind("<?xml", 0), 0u);
}

TEST(NativeXmlRoundTrip, EveryKindInBothLayouts) {
  const std::string source =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"a.xsl\"?>\n"
      "<!DOCTYPE page SYSTEM \"page.dtd\" [\n"
      "  <!ELEMENT page (#PCDATA)>\n"
      "  <!ATTLIST page id CDATA #IMPLIED>\n"
      "  <!ENTITY copy \"(c)\">\n"
      "  <!NOTATION gif SYSTEM \"image/gif\">\n"
      "]>\n"
      "<!-- top comment -->\n"
      "<page id=\"p&amp;1\" kind='x'>\n"
      "  <?target some data?>\n"
      "  <![CDATA[ <raw> & stuff ]]>\n"
      "  <text>a &lt; b &amp; c</text>\n"
      "  <mixed>head<b>bold</b>tail</mixed>\n"
      "  <empty/>\n"
      "  <!special thing>\n"
      "  <deep><deeper><deepest>1</deepest></deeper></deep>\n"
      "</page>\n";
  for (const TXmlLayout layout : {TXmlLayout::Readable, TXmlLayout::Compact}) {
    const std::string first = Reparse(source, layout);
    const std::string second = Reparse(first, layout);
    EXPECT_EQ(first, second);
  }
  TNativeXml xml;
  xml.LoadFromString(source);
  const TXmlNode* root = xml.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->AttributeValue("id"), "p&1");
  EXPECT_EQ(root->AttributeValue("KIND"), "x");
  EXPECT_EQ(root->ReadString("text"), "a < b & c");
  const TXmlNode* mixed = root->FindChild("mixed");
  EXPECT_EQ(mixed->RawValue(), "head");
  ASSERT_EQ(mixed->ChildCount(), 2);
  EXPECT_EQ(mixed->Child(1)->Kind(), TXmlNodeKind::CharData);
  EXPECT_EQ(mixed->Child(1)->RawValue(), "tail");
  const TXmlNode& top = xml.TopNodes();
  EXPECT_EQ(top.Child(1)->Kind(), TXmlNodeKind::Stylesheet);
  EXPECT_EQ(top.Child(1)->RawValue(), "type=\"text/xsl\" href=\"a.xsl\"");
  const TXmlNode* dtd = top.Child(2);
  EXPECT_EQ(dtd->Kind(), TXmlNodeKind::DocType);
  EXPECT_EQ(dtd->Name(), "page");
  EXPECT_EQ(dtd->RawValue(), "SYSTEM \"page.dtd\"");
  ASSERT_EQ(dtd->ChildCount(), 4);
  EXPECT_EQ(dtd->Child(0)->Kind(), TXmlNodeKind::DtdElement);
  EXPECT_EQ(dtd->Child(0)->RawValue(), "(#PCDATA)\r\n");
  EXPECT_EQ(dtd->Child(2)->Kind(), TXmlNodeKind::DtdEntity);
  EXPECT_EQ(dtd->Child(2)->Name(), "copy");
  EXPECT_EQ(top.Child(3)->Kind(), TXmlNodeKind::Comment);
  EXPECT_EQ(top.Child(3)->Name(), "Comment");
  EXPECT_EQ(root->Child(0)->Kind(), TXmlNodeKind::Instruction);
  EXPECT_EQ(root->Child(0)->RawValue(), "target some data");
  EXPECT_EQ(root->Child(1)->Kind(), TXmlNodeKind::CData);
  EXPECT_EQ(root->Child(1)->RawValue(), " <raw> & stuff ");
  ASSERT_EQ(root->ChildCount(), 7);
  EXPECT_EQ(root->Child(5)->Kind(), TXmlNodeKind::Exclamation);
  EXPECT_EQ(root->Child(5)->Name(), "Special");
  EXPECT_EQ(root->Child(5)->RawValue(), "special thing");
  EXPECT_EQ(root->ReadInteger("deep"), 0);
  EXPECT_EQ(root->FindChild("deep")->FindChild("deeper")->ReadInteger("deepest"), 1);
}

TEST(NativeXmlRoundTrip, FileRoundTripKeepsBytes) {
  TNativeXml xml("Page");
  xml.SetLayout(TXmlLayout::Readable);
  FillSample(xml);
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  xml.Root()->NewChild("Data")->NewChild("Buffer")->WriteBinary(bytes.data(), 1000);
  xml.Root()->WriteString("Name", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
  const std::string file = TempFolder() + "/native_xml_roundtrip.xml";
  xml.SaveToFile(file);
  TNativeXml reread;
  reread.SetLayout(TXmlLayout::Readable);
  reread.LoadFromFile(file);
  EXPECT_EQ(reread.FileEncoding(), TsdStringEncoding::seUTF8);
  EXPECT_EQ(reread.SaveToString(), xml.SaveToString());
  std::vector<uint8_t> back(1000);
  reread.Root()->FindChild("Data")->FindChild("Buffer")->ReadBinary(back.data(), 1000);
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(reread.Root()->ReadString("Name"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
  std::remove(file.c_str());
}

TEST(NativeXmlValues, WhitespaceAndSpecialCharacters) {
  TNativeXml xml;
  xml.LoadFromString("<r><blank>  \r\n  </blank><spaced>  a b  </spaced></r>");
  EXPECT_EQ(xml.Root()->ReadString("blank", "default"), "");
  EXPECT_EQ(xml.Root()->ReadString("spaced"), "  a b  ");
  EXPECT_EQ(xml.Root()->ReadString("missing", "default"), "default");

  TNativeXml out("r");
  const std::string special = "a&b<c>d'e\"f\tg\r\nh";
  out.Root()->WriteString("s", special);
  const std::string text = out.SaveToString();
  EXPECT_NE(text.find("<s>a&amp;b&lt;c&gt;d&apos;e&quot;f\tg\r\nh</s>"), std::string::npos);
  TNativeXml back;
  back.LoadFromString(text);
  EXPECT_EQ(back.Root()->ReadString("s"), special);

  out.Root()->SetAttribute("att", special);
  back.LoadFromString(out.SaveToString());
  EXPECT_EQ(back.Root()->AttributeValue("att"), special);
}

TEST(NativeXmlValues, EntityDecoding) {
  EXPECT_EQ(XmlDecodeEntities("&#65;&#x41;&#X41;", true), "AAA");
  EXPECT_EQ(XmlDecodeEntities("&amp;&lt;&gt;&apos;&quot;", true), "&<>'\"");
  EXPECT_EQ(XmlDecodeEntities("a &nbsp; b", true), "a &nbsp; b");
  EXPECT_EQ(XmlDecodeEntities("fish & chips", true), "fish & chips");
  EXPECT_EQ(XmlDecodeEntities("x &amp y", true), "x &amp y");
  EXPECT_EQ(XmlDecodeEntities("&#233;", true), "\xC3\xA9");
  EXPECT_EQ(XmlDecodeEntities("&#233;", false), "\xE9");
  EXPECT_EQ(XmlDecodeEntities("&#255;", false), "&#255;");
  EXPECT_EQ(XmlDecodeEntities("&#65534;", true), "\xEF\xBF\xBE");
  EXPECT_EQ(XmlDecodeEntities("&#65535;&#x;&#12a;&#99999999999999999999;", true),
            "&#65535;&#x;&#12a;&#99999999999999999999;");
}

TEST(NativeXmlValues, DtdEntitiesAreNeverExpanded) {
  // The classic exponential entity bomb: declared entities stay opaque text.
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
  for (int i = 1; i <= 9; ++i) {
    bomb += "<!ENTITY lol" + std::to_string(i) + " \"";
    const std::string inner = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
    for (int k = 0; k < 10; ++k) bomb += "&" + inner + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<lolz a=\"&lol9;\">&lol9;</lolz>\n";
  TNativeXml xml;
  xml.LoadFromString(bomb);
  EXPECT_EQ(xml.Root()->Text(), "&lol9;");
  EXPECT_EQ(xml.Root()->AttributeValue("a"), "&lol9;");
}

TEST(NativeXmlValues, TypedWritersHonourWriteDefaults) {
  TNativeXml xml("r");
  ASSERT_FALSE(xml.WriteDefaults());
  TXmlNode* root = xml.Root();
  root->WriteInteger("N", 5, 5);
  EXPECT_EQ(root->ChildCount(), 0);
  root->WriteInteger("N", 6, 5);
  EXPECT_EQ(root->FindChild("N")->RawValue(), "6");
  root->WriteInteger("n", -7, 5);  // found again regardless of letter case
  EXPECT_EQ(root->ChildCount(), 1);
  EXPECT_EQ(root->ReadInteger("N"), -7);
  root->WriteString("S", "", "");
  root->WriteBool("B", false, false);
  root->WriteFloat("F", 1.5, 1.5);
  EXPECT_EQ(root->ChildCount(), 1);
  xml.SetWriteDefaults(true);
  root->WriteInteger("M", 5, 5);
  root->WriteBool("B", false, false);
  EXPECT_EQ(root->ReadString("M"), "5");
  EXPECT_EQ(root->ReadString("B"), "False");
  root->WriteBool("B", true);
  EXPECT_EQ(root->ReadString("B"), "True");
}

TEST(NativeXmlValues, FloatText) {
  EXPECT_EQ(XmlFloatToStr(0.1f), "0.100000001490116");
  EXPECT_EQ(XmlFloatToStr(0.00001), "1E-5");
  EXPECT_EQ(XmlFloatToStr(0.0001), "0.0001");
  EXPECT_EQ(XmlFloatToStr(-0.00012345), "-0.00012345");
  EXPECT_EQ(XmlFloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(XmlFloatToStr(12.5), "12.5");
  EXPECT_EQ(XmlFloatToStr(210), "210");
  EXPECT_EQ(XmlFloatToStr(0), "0");
  EXPECT_EQ(XmlFloatToStr(-3.25), "-3.25");
  EXPECT_EQ(XmlFloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(XmlFloatToStr(1e15), "1E15");
  EXPECT_EQ(XmlFloatToStr(-2.5e20), "-2.5E20");
  EXPECT_EQ(XmlFloatToStr(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(XmlFloatToStr(0.99999999999999999), "1");
  EXPECT_EQ(XmlFloatToStr(15.5f), "15.5");
}

TEST(NativeXmlValues, TypedReaders) {
  TNativeXml xml;
  xml.LoadFromString(
      "<r><comma>1,5</comma><point>1.5</point><exp>-2.5E-3</exp><bad>1.5x</bad><empty></empty>"
      "<i>-12</i><hex>$FF</hex><allbits>$FFFFFFFF</allbits><big>99999999999</big><word>abc</word>"
      "<y>yes</y><t>true</t><no>No</no><zero>0</zero><sp> 42 </sp></r>");
  const TXmlNode* r = xml.Root();
  EXPECT_EQ(r->ReadFloat("comma"), 1.5);
  EXPECT_EQ(r->ReadFloat("point"), 1.5);
  EXPECT_EQ(r->ReadFloat("exp"), -0.0025);
  EXPECT_EQ(r->ReadFloat("bad", 7), 7);
  EXPECT_EQ(r->ReadFloat("word", 7), 7);
  EXPECT_EQ(r->ReadFloat("empty", 7), 7);
  EXPECT_EQ(r->ReadFloat("missing", 7), 7);
  EXPECT_EQ(r->ReadInteger("i"), -12);
  EXPECT_EQ(r->ReadInteger("hex"), 255);
  EXPECT_EQ(r->ReadInteger("allbits"), -1);
  EXPECT_EQ(r->ReadInteger("big", 3), 3);
  EXPECT_EQ(r->ReadInt64("big"), 99999999999);
  EXPECT_EQ(r->ReadInteger("word", 3), 3);
  EXPECT_EQ(r->ReadInteger("sp"), 42);
  EXPECT_TRUE(r->ReadBool("y"));
  EXPECT_TRUE(r->ReadBool("t"));
  EXPECT_FALSE(r->ReadBool("no", true));
  EXPECT_TRUE(r->ReadBool("zero", true));
  EXPECT_FALSE(r->ReadBool("zero", false));
  EXPECT_TRUE(r->ReadBool("empty", true));
  EXPECT_EQ(r->ReadColor("hex"), 255);
  EXPECT_EQ(r->ReadColor("missing", 9), 9);
  EXPECT_EQ(ErrorOf<Exception>([&] { r->ReadColor("word"); }), "\"abc\" is not a valid integer value");
}

TEST(NativeXmlValues, HexColorAndWideStrings) {
  TNativeXml xml("r");
  TXmlNode* r = xml.Root();
  r->WriteHex("MasterAlpha", 128, 255, 2);
  EXPECT_EQ(r->ReadString("MasterAlpha"), "$80");
  r->WriteHex("Same", 255, 255, 2);
  EXPECT_EQ(r->FindChild("Same"), nullptr);
  r->WriteColor("White", 0xFFFFFF, 0);
  EXPECT_EQ(r->ReadString("White"), "$00FFFFFF");
  EXPECT_EQ(r->ReadColor("White"), 0xFFFFFF);
  // A system colour (button face, index 15) is written as its RGB value.
  r->WriteColor("Face", static_cast<int32_t>(0xFF00000F), 0);
  EXPECT_EQ(r->ReadString("Face"), "$00F0F0F0");
  r->WriteColor("Highlight", static_cast<int32_t>(0xFF00000D), 0);
  EXPECT_EQ(r->ReadString("Highlight"), "$00FF9933");

  const std::u16string wide = u"Gr\u00FC\u00DFe \u20AC \U0001F600";
  r->WriteWideString("W", wide);
  EXPECT_EQ(r->ReadWideString("W"), wide);
  EXPECT_EQ(r->ReadString("W"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(r->ReadWideString("missing", u"d\u00E9f"), u"d\u00E9f");
  // With 8-bit strings the text is Windows-1252.
  xml.SetUtf8Strings(false);
  r->WriteWideString("A", u"\u00E9\u20AC");
  EXPECT_EQ(r->ReadString("A"), "\xE9\x80");
  EXPECT_EQ(r->ReadWideString("A"), u"\u00E9\u20AC");
}

TEST(NativeXmlBinary, Base64LinesInReadableLayout) {
  TNativeXml xml("r");
  xml.SetLayout(TXmlLayout::Readable);
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(255 - i);
  TXmlNode* node = xml.Root()->NewChild("Data")->NewChild("Buffer");
  node->WriteBinary(bytes.data(), 100);
  const std::string sep = "\r\n    ";  // the node's line break and its indentation (level 2)
  const std::string& raw = node->RawValue();
  ASSERT_EQ(raw.size(), 136 + 3 * sep.size());
  EXPECT_EQ(raw.substr(0, sep.size()), sep);
  EXPECT_EQ(raw.substr(sep.size() + 76, sep.size()), sep);
  EXPECT_EQ(raw.substr(raw.size() - sep.size()), sep);
  EXPECT_EQ(node->BinaryLength(), 100);
  std::vector<uint8_t> back(100);
  node->ReadBinary(back.data(), 100);
  EXPECT_EQ(back, bytes);
  // Written and parsed again, the value keeps its breaks and the file its bytes.
  const std::string text = xml.SaveToString();
  EXPECT_NE(text.find("<Buffer>" + sep), std::string::npos);
  EXPECT_NE(text.find(sep + "</Buffer>"), std::string::npos);
  EXPECT_EQ(Reparse(text, TXmlLayout::Readable), text);

  xml.SetLayout(TXmlLayout::Compact);
  node->WriteBinary(bytes.data(), 100);
  EXPECT_EQ(node->RawValue().size(), 136u);
  EXPECT_EQ(node->RawValue().find_first_of("\r\n "), std::string::npos);
}

TEST(NativeXmlBinary, Base64AndHexText) {
  TNativeXml xml("r");
  TXmlNode* n = xml.Root();
  const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},       {"fo", "Zm8="},
                              {"foo", "Zm9v"},  {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}};
  for (const auto& v : vectors) {
    n->SetBinaryString(v[0]);
    EXPECT_EQ(n->RawValue(), v[1]);
    EXPECT_EQ(n->BinaryString(), v[0]);
    EXPECT_EQ(n->BinaryLength(), static_cast<int64_t>(std::strlen(v[0])));
  }
  // BinaryString is Base64 whatever BinaryForm says, and leaves the setting alone.
  xml.SetBinaryForm(TXmlBinaryForm::Hex);
  n->SetBinaryString("foo");
  EXPECT_EQ(n->RawValue(), "Zm9v");
  EXPECT_EQ(xml.BinaryForm(), TXmlBinaryForm::Hex);
  const uint8_t bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  n->WriteBinary(bytes, 4);
  EXPECT_EQ(n->RawValue(), "00AB7FFF");
  n->SetRawValue(" 00ab\n7fFF ");
  uint8_t back[4] = {};
  n->ReadBinary(back, 4);
  EXPECT_EQ(std::memcmp(back, bytes, 4), 0);
  EXPECT_EQ(n->BinaryLength(), 4);
  n->SetRawValue("ABC");
  EXPECT_EQ(ErrorOf<EFilerError>([&] { n->BinaryLength(); }), "Error while calculating streamlength");
  n->SetRawValue("ABCD");
  EXPECT_EQ(ErrorOf<EFilerError>([&] { n->ReadBinary(back, 3); }), "Missing data in binary stream");
  xml.SetBinaryForm(TXmlBinaryForm::Base64);
  n->SetRawValue("Zm9vY");
  EXPECT_EQ(ErrorOf<EFilerError>([&] { n->BinaryString(); }), "Error while calculating streamlength");
  n->SetRawValue("Zm9v");
  EXPECT_EQ(ErrorOf<EFilerError>([&] { n->ReadBinary(back, 4); }), "Missing data in binary stream");
  // Characters outside the alphabet count as zero.
  n->SetRawValue("!!!!");
  EXPECT_EQ(n->BinaryString(), std::string(3, '\0'));
}

struct TParseFailure {
  const char* text;
  const char* message;
};

TEST(NativeXmlParser, FailureMessages) {
  const TParseFailure failures[] = {
      {"", "No root element found in xml"},
      {"   \r\n ", "No root element found in xml"},
      {"<?xml version=\"1.0\"?>", "No root element found in xml"},
      {"<!-- only a comment -->", "No root element found in xml"},
      {"<a>", "Missing close tag in element a"},
      {"<a><b>text</b>", "Missing close tag in element a"},
      {"<a>  <  ", "Missing data after \"<\" in element a"},
      {"<a></a", "Missing \">\" in close tag of element a"},
      {"<a><b></a>", "Incorrect close tag in element b"},
      {"<a></b>", "Incorrect close tag in element a"},
      {"<>", "Missing element name"},
      {"<a>< / ></a>", "Incorrect close tag in element a"},
  };
  for (const TParseFailure& f : failures) {
    TNativeXml xml;
    EXPECT_EQ(ErrorOf<EFilerError>([&] { xml.LoadFromString(f.text); }), f.message) << f.text;
  }
  // A name from a hostile file reaches the message quoted, escaped and cut: a megabyte of name
  // with terminal escapes makes one short line.
  const std::string name = "\x1b[2J" + std::string(1 << 20, 'n');
  TNativeXml xml;
  const std::string message = ErrorOf<EFilerError>([&] { xml.LoadFromString("<" + name + ">"); });
  EXPECT_EQ(message, "Missing close tag in element \"\\x1b[2J" + std::string(44, 'n') + "\"...");
}

TEST(NativeXmlParser, StrictChecks) {
  const TParseFailure failures[] = {
      {"<a/><b/>", "More than one root element found in xml"},
      {"<?xml version=\"1.0\"?><?xml version=\"1.0\"?><a/>",
       "More than one xml declaration found in xml"},
      {"<!--c--><?xml version=\"1.0\"?><a/>", "Xml declaration must be first element"},
      {"<!DOCTYPE a><!DOCTYPE a><a/>", "More than one doctype declaration found in root"},
      {"<a/><!DOCTYPE a>", "Doctype declaration found after root element"},
      {"<![CDATA[x]]><a/>", "No CDATA allowed in root"},
  };
  for (const TParseFailure& f : failures) {
    TNativeXml lenient;
    EXPECT_NO_THROW(lenient.LoadFromString(f.text)) << f.text;
    TNativeXml strict;
    strict.Settings().StrictChecks = true;
    EXPECT_EQ(ErrorOf<EFilerError>([&] { strict.LoadFromString(f.text); }), f.message) << f.text;
  }
  TNativeXml strict;
  strict.Settings().StrictChecks = true;
  EXPECT_NO_THROW(strict.LoadFromString("<?xml version=\"1.0\"?><!DOCTYPE a><a/>"));
  strict.TopNodes().DeleteChild(2);
  EXPECT_EQ(ErrorOf<EFilerError>([&] { strict.SaveToString(); }), "XML root element not defined.");
  TMemoryStream out;
  EXPECT_EQ(ErrorOf<EFilerError>([&] { strict.SaveToStream(out); }), "XML root element not defined.");
}

TEST(NativeXmlParser, TolerantInput) {
  TNativeXml xml;
  // Stray text at top level is skipped; end tags match without regard to case; blanks
  // inside tags and around "=" are allowed.
  xml.LoadFromString("junk <Root  a = \"1\"  b='2'   c=\"x\"\"y\"  ><Child/></ROOT > trailing");
  TXmlNode* root = xml.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Name(), "Root");
  EXPECT_EQ(root->AttributeCount(), 3);
  EXPECT_EQ(root->AttributeText(0), "a=\"1\"");
  EXPECT_EQ(root->AttributeValue("a"), "1");
  EXPECT_EQ(root->AttributeValue("b"), "2");
  EXPECT_EQ(root->AttributeValue("c"), "x\"y");
  EXPECT_EQ(root->FindChild("child")->Name(), "Child");
  EXPECT_EQ(xml.TopNodes().ChildCount(), 1);

  // After an error the tree holds what was parsed before it.
  TNativeXml partial;
  EXPECT_THROW(partial.LoadFromString("<a><b>1</b><c>"), EFilerError);
  ASSERT_NE(partial.Root(), nullptr);
  EXPECT_EQ(partial.Root()->ReadInteger("b"), 1);
}

TEST(NativeXmlParser, TextAroundChildren) {
  TNativeXml xml;
  xml.LoadFromString("<a>\r\n  head  \r\n  <b/>\r\n  tail  \r\n</a>");
  const TXmlNode* a = xml.Root();
  EXPECT_EQ(a->RawValue(), "\r\n  head");
  ASSERT_EQ(a->ChildCount(), 2);
  EXPECT_EQ(a->Child(1)->RawValue(), "\r\n  tail");
  // Without a carriage return nothing is trimmed.
  xml.LoadFromString("<a>x <b/> y </a>");
  EXPECT_EQ(xml.Root()->RawValue(), "x ");
  EXPECT_EQ(xml.Root()->Child(1)->RawValue(), " y ");
}

TEST(NativeXmlParser, DropComments) {
  const char* text = "<!--top--><a><!--one--><b>1</b>x<!--two-->y</a>";
  TNativeXml keep;
  keep.LoadFromString(text);
  EXPECT_EQ(keep.Root()->ChildCount(), 5);
  EXPECT_EQ(keep.Root()->Child(0)->Kind(), TXmlNodeKind::Comment);
  EXPECT_EQ(keep.Root()->Child(0)->RawValue(), "one");
  TNativeXml drop;
  drop.Settings().DropComments = true;
  drop.LoadFromString(text);
  const TXmlNode* a = drop.Root();
  ASSERT_EQ(a->ChildCount(), 3);
  EXPECT_EQ(a->Child(0)->Name(), "b");
  EXPECT_EQ(a->Child(1)->RawValue(), "x");
  EXPECT_EQ(a->Child(2)->RawValue(), "y");
  // Only element content loses its comments.
  EXPECT_EQ(drop.TopNodes().Child(0)->Kind(), TXmlNodeKind::Comment);
}

TEST(NativeXmlParser, DeepNestingIsRefusedNotOverflowed) {
  const int depth = 200000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<a>";
  TNativeXml xml;
  EXPECT_EQ(ErrorOf<EFilerError>([&] { xml.LoadFromString(deep); }),
            "Elements nested too deeply in element a");
  std::string fine;
  for (int i = 0; i < 1000; ++i) fine += "<a>";
  for (int i = 0; i < 1000; ++i) fine += "</a>";
  EXPECT_NO_THROW(xml.LoadFromString(fine));
  std::string dtd;
  for (int i = 0; i < 5000; ++i) dtd += "<!DOCTYPE x [";
  EXPECT_THROW(xml.LoadFromString(dtd), EFilerError);

  // One limit for the whole parse: a document type inside an element must not start the count
  // afresh. Each "<d><!DOCTYPE x [" opens two levels; 60 of them hold 120 levels before the
  // 1000-level chain, which then crosses the limit.
  std::string mixed = "<r>";
  for (int i = 0; i < 60; ++i) mixed += "<d><!DOCTYPE x [";
  mixed += fine;
  EXPECT_EQ(ErrorOf<EFilerError>([&] { xml.LoadFromString(mixed); }),
            "Elements nested too deeply in element a");
  // The same document types with a shallow tree inside parse.
  std::string shallow = "<r>";
  for (int i = 0; i < 60; ++i) shallow += "<d><!DOCTYPE x [";
  shallow += "<a/>";
  for (int i = 0; i < 60; ++i) shallow += "]></d>";
  shallow += "</r>";
  EXPECT_NO_THROW(xml.LoadFromString(shallow));
}

TEST(NativeXmlTree, DeepTreeWritesCopiesAndFreesWithoutRecursion) {
  TNativeXml xml("r");
  xml.SetLayout(TXmlLayout::Compact);
  TXmlNode* node = xml.Root();
  const int depth = 300000;
  for (int i = 0; i < depth; ++i) node = node->NewChild("n");
  node->SetText("leaf");
  const std::string text = xml.SaveToString();
  EXPECT_EQ(text.size(), 51 + static_cast<size_t>(depth) * 7);
  TNativeXml copy;
  copy.Assign(xml);
  EXPECT_EQ(copy.SaveToString(), text);
}

TEST(NativeXmlTree, Operations) {
  TNativeXml xml("r");
  TXmlNode* r = xml.Root();
  EXPECT_EQ(r->Level(), 0);
  EXPECT_EQ(xml.TopNodes().Level(), -1);
  TXmlNode* b = r->NewChild("b");
  r->NewChildAt(0, "a");
  r->NewChildAt(99, "d");
  r->InsertChild(2, new TXmlNode(&xml, "c"));
  auto* ignored = new TXmlNode(&xml, "x");
  r->InsertChild(7, ignored);  // out of range: not inserted
  delete ignored;
  ASSERT_EQ(r->ChildCount(), 4);
  EXPECT_EQ(r->Child(0)->Name(), "a");
  EXPECT_EQ(r->Child(3)->Name(), "d");
  EXPECT_EQ(r->Child(4), nullptr);
  EXPECT_EQ(r->Child(-1), nullptr);
  EXPECT_EQ(b->Level(), 1);
  EXPECT_EQ(r->AddChild(nullptr), -1);
  r->NewChild("B");
  EXPECT_EQ(r->ChildIndex("b"), 1);
  EXPECT_EQ(r->ChildIndex("b", 2), 4);
  EXPECT_EQ(r->ChildIndex("zz"), -1);
  std::vector<TXmlNode*> list{r};
  r->FindChildren("B", list);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(r->FindOrAddChild("c"), r->Child(2));
  TXmlNode* e = r->FindOrAddChild("e");
  EXPECT_EQ(e, r->Child(5));
  TXmlNode* extracted = r->ExtractChild(b);
  EXPECT_EQ(extracted, b);
  EXPECT_EQ(b->Parent(), nullptr);
  EXPECT_EQ(r->ExtractChild(b), nullptr);
  delete b;
  r->Child(0)->RemoveFromParent();
  EXPECT_EQ(r->Child(0)->Name(), "c");
  r->DeleteChild(100);
  r->DeleteChild(0);
  EXPECT_EQ(r->ChildCount(), 3);
  EXPECT_EQ(ErrorOf<Exception>([&] { r->Child(0)->SetName("bad name"); }),
            "Illegal character in node name \"bad name\"");
  EXPECT_THROW(r->NewChild("tab\there"), Exception);
  EXPECT_EQ(r->ChildCount(), 3);

  // Assign copies deeply, with Tag, into this node's document.
  TXmlNode* src = r->NewChild("src");
  src->Tag = 42;
  src->AddAttribute("k", int64_t{7});
  src->NewChild("inner")->SetText("v");
  TNativeXml other("o");
  other.Root()->Assign(*src);
  EXPECT_EQ(other.Root()->Name(), "src");
  EXPECT_EQ(other.Root()->Tag, 42);
  EXPECT_EQ(other.Root()->AttributeAsInteger("k"), 7);
  EXPECT_EQ(other.Root()->FindChild("inner")->Document(), &other);
  EXPECT_EQ(other.Root()->ReadString("inner"), "v");
  // Assigning a node's own child into it is safe.
  src->Assign(*src->Child(0));
  EXPECT_EQ(src->Name(), "inner");
  EXPECT_EQ(src->Text(), "v");
  EXPECT_EQ(src->ChildCount(), 0);

  EXPECT_TRUE(r->Child(0)->IsEmpty());
  r->Clear();
  EXPECT_TRUE(r->IsBlank());
}

TEST(NativeXmlTree, Attributes) {
  TXmlNode n(nullptr, "n");
  n.AddAttribute("a", "1");
  n.AddAttribute("A", "2");  // appended although the name exists
  EXPECT_EQ(n.AttributeCount(), 2);
  EXPECT_EQ(n.AttributeValue("a"), "1");
  n.SetAttribute("A", "<3>");
  EXPECT_EQ(n.AttributeText(0), "a=\"&lt;3&gt;\"");
  n.SetAttribute("b", "x");
  EXPECT_EQ(n.AttributeCount(), 3);
  EXPECT_EQ(n.AttributeName(2), "b");
  EXPECT_EQ(n.AttributeValueAt(2), "x");
  EXPECT_EQ(n.AttributeName(9), "");
  EXPECT_TRUE(n.HasAttribute("B"));
  EXPECT_FALSE(n.HasAttribute("c"));
  EXPECT_EQ(n.AttributeValue("c"), "");
  n.SetAttributeInteger("num", -5);
  EXPECT_EQ(n.AttributeAsInteger("num"), -5);
  EXPECT_EQ(n.AttributeAsInteger("b", 9), 9);
  EXPECT_EQ(n.AttributeAsInteger("none", 8), 8);
  n.DeleteAttribute("a");
  EXPECT_EQ(n.AttributeValue("a"), "2");
}

TEST(NativeXmlTree, IllegalKindAndSingleNodeText) {
  TNativeXml xml("r");
  TXmlNode* child = xml.Root()->NewChild("c");
  child->SetKind(static_cast<TXmlNodeKind>(77));
  EXPECT_EQ(ErrorOf<EFilerError>([&] { xml.SaveToString(); }), "Illegal element type");

  TNativeXml readable("r");
  readable.SetLayout(TXmlLayout::Readable);
  TXmlNode* page = readable.Root()->NewChild("Page");
  page->WriteInteger("Left", 3);
  EXPECT_EQ(page->WriteToString(), "  <Page>\r\n    <Left>3</Left>\r\n  </Page>");
  TXmlNode parsed(&readable);
  parsed.ReadFromString("<Shape a=\"1\"><DocLeft>12.5</DocLeft></Shape>");
  EXPECT_EQ(parsed.Name(), "Shape");
  EXPECT_EQ(parsed.ReadFloat("DocLeft"), 12.5);
  TMemoryStream stream;
  parsed.SaveToStream(stream);
  stream.SetPosition(0);
  TXmlNode again(&readable);
  again.LoadFromStream(stream);
  EXPECT_EQ(again.WriteToString(), parsed.WriteToString());
}

TEST(NativeXmlSettings, DefaultsAndReset) {
  const TXmlSettings initial = TXmlSettings::Initial();
  EXPECT_TRUE(initial.WriteDefaults);
  EXPECT_FALSE(initial.Utf8Strings);
  EXPECT_EQ(initial.FileEncoding, TsdStringEncoding::seAnsi);
  EXPECT_EQ(initial.EncodingText, "windows-1252");
  EXPECT_EQ(initial.Layout, TXmlLayout::Compact);
  InitXmlDefaults();
  const TXmlSettings& d = XmlDefaults();
  EXPECT_FALSE(d.WriteDefaults);
  EXPECT_TRUE(d.Utf8Strings);
  EXPECT_EQ(d.FileEncoding, TsdStringEncoding::seUTF8);
  EXPECT_EQ(d.EncodingText, "UTF-8");
  EXPECT_EQ(d.IndentUnit, "  ");
  EXPECT_EQ(d.BinaryForm, TXmlBinaryForm::Base64);

  // Reset takes the program-wide defaults, whatever they are then.
  XmlDefaults() = initial;
  TNativeXml old("r");
  EXPECT_EQ(old.SaveToString(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<r></r>\n");
  old.Root()->WriteInteger("N", 5, 5);
  EXPECT_EQ(old.Root()->ChildCount(), 1);
  InitXmlDefaults();
  old.Reset();
  EXPECT_EQ(old.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<></>\n");
  // A node without document uses the defaults.
  TXmlNode lone(nullptr, "lone");
  lone.WriteInteger("N", 5, 5);
  EXPECT_EQ(lone.ChildCount(), 0);
}

}  // namespace
}  // namespace sw
