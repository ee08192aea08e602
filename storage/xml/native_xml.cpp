#include "storage/xml/native_xml.h"

#include "base/exception.h"
#include "storage/xml/xml_text_p.h"

namespace sw {

namespace {

const char kMsgNoRootDefined[] = "XML root element not defined.";
const char kMsgNoRoot[] = "No root element found in xml";
const char kMsgTwoRoots[] = "More than one root element found in xml";
const char kMsgTwoDeclarations[] = "More than one xml declaration found in xml";
const char kMsgDeclarationFirst[] = "Xml declaration must be first element";
const char kMsgTwoDocTypes[] = "More than one doctype declaration found in root";
const char kMsgDocTypeAfterRoot[] = "Doctype declaration found after root element";
const char kMsgCDataInRoot[] = "No CDATA allowed in root";

}  // namespace

TNativeXml::TNativeXml() : settings_(XmlDefaults()), topNodes_(this) { Reset(); }

TNativeXml::TNativeXml(std::string_view rootName) : TNativeXml() { Root()->SetName(rootName); }

TNativeXml::~TNativeXml() = default;

TXmlNode* TNativeXml::Root() const {
  for (TXmlNode* node : topNodes_.children_) {
    if (node->kind_ == TXmlNodeKind::Element) return node;
  }
  return nullptr;
}

TXmlNode* TNativeXml::Declaration() const {
  for (TXmlNode* node : topNodes_.children_) {
    if (node->kind_ == TXmlNodeKind::Declaration) return node;
  }
  return nullptr;
}

void TNativeXml::Reset() {
  settings_ = XmlDefaults();
  topNodes_.Clear();
  auto* declaration = new TXmlNode(this, TXmlNodeKind::Declaration);
  declaration->name_ = "xml";
  declaration->AddAttribute("version", settings_.VersionText);
  declaration->AddAttribute("encoding", settings_.EncodingText);
  topNodes_.AddChild(declaration);
  topNodes_.AddChild(new TXmlNode(this, TXmlNodeKind::Element));
}

void TNativeXml::Assign(const TNativeXml& source) {
  if (&source == this) return;
  settings_ = source.settings_;
  topNodes_.Assign(source.topNodes_);
}

void TNativeXml::LoadFromStream(TStream& stream) {
  const bool utf8 = settings_.Utf8Strings;
  TsdBufferedReadStream pages(&stream);
  TsdCodecStream codec(&pages, TsdCodecMode::Read, utf8);
  std::string text;
  codec.ReadAll(text);

  topNodes_.ClearChildren();
  TXmlParser parser(this, text, settings_.DropComments);
  bool declaredUtf8 = false;
  while (!parser.AtEnd()) {
    auto* node = new TXmlNode(this);
    topNodes_.AddChild(node);
    parser.ParseNode(node);
    if (node->kind_ == TXmlNodeKind::Declaration && node->AttributeValue("encoding") == "UTF-8") {
      declaredUtf8 = true;
      codec.SwitchToUtf8(text, parser.Position());
    }
    if (node->IsBlank()) topNodes_.DeleteChild(topNodes_.ChildCount() - 1);
  }

  int elements = 0;
  int declarations = 0;
  int docTypes = 0;
  bool cdata = false;
  bool docTypeAfterRoot = false;
  int declarationIndex = -1;
  for (int i = 0; i < topNodes_.ChildCount(); ++i) {
    const TXmlNodeKind kind = topNodes_.Child(i)->kind_;
    if (kind == TXmlNodeKind::Element) ++elements;
    if (kind == TXmlNodeKind::Declaration) {
      ++declarations;
      declarationIndex = i;
    }
    if (kind == TXmlNodeKind::DocType) {
      ++docTypes;
      if (elements > 0) docTypeAfterRoot = true;
    }
    if (kind == TXmlNodeKind::CData) cdata = true;
  }
  if (elements == 0) RaiseFilerError(kMsgNoRoot);
  if (settings_.StrictChecks) {
    if (elements > 1) RaiseFilerError(kMsgTwoRoots);
    if (declarations > 1) RaiseFilerError(kMsgTwoDeclarations);
    if (declarations == 1 && declarationIndex != 0) RaiseFilerError(kMsgDeclarationFirst);
    if (docTypes > 1) RaiseFilerError(kMsgTwoDocTypes);
    if (docTypeAfterRoot) RaiseFilerError(kMsgDocTypeAfterRoot);
    if (cdata) RaiseFilerError(kMsgCDataInRoot);
  }
  settings_.FileEncoding = codec.Encoding();
  if (codec.Encoding() == TsdStringEncoding::seUTF8 || declaredUtf8) settings_.Utf8Strings = true;
}

void TNativeXml::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

void TNativeXml::LoadFromString(std::string_view text) {
  TReadOnlyMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  LoadFromStream(stream);
}

std::string TNativeXml::SaveToString() const {
  if (settings_.StrictChecks && Root() == nullptr) RaiseFilerError(kMsgNoRootDefined);
  std::string out;
  TXmlWriter writer(settings_, out);
  const char* lineBreak = settings_.Layout == TXmlLayout::Readable ? kXmlCrLf : "\n";
  for (const TXmlNode* node : topNodes_.children_) {
    writer.Write(*node, 0);
    out += lineBreak;
  }
  return out;
}

void TNativeXml::SaveToStream(TStream& stream) const {
  const std::string text = SaveToString();
  TsdBufferedWriteStream buffer(&stream);
  TsdCodecStream codec(&buffer, TsdCodecMode::Write, settings_.Utf8Strings);
  codec.SetEncoding(settings_.FileEncoding);
  codec.WriteText(text);
  buffer.Flush();
}

void TNativeXml::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::fmCreate);
  SaveToStream(file);
}

}  // namespace sw
