#include <string>
#include <vector>

#include "base/exception.h"
#include "storage/xml/xml_text_p.h"

namespace sw {

namespace {

const char kMsgIllegalType[] = "Illegal element type";

}  // namespace

void TXmlWriter::Write(const TXmlNode& start, int startLevel) {
  struct Frame {
    const TXmlNode* node;
    int level;
    size_t next;
  };
  std::vector<Frame> stack;
  if (Open(start, startLevel)) stack.push_back({&start, startLevel, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    const TXmlNode* node = f.node;
    const size_t count = node->children_.size();
    if (f.next > 0) AfterChild(*node, f.next - 1);
    if (f.next >= count) {
      Close(*node, f.level);
      stack.pop_back();
      continue;
    }
    const TXmlNode* child = node->children_[f.next++];
    const int level = f.level + 1;
    if (Open(*child, level)) stack.push_back({child, level, 0});
  }
}

void TXmlWriter::LineBreak() {
  if (s_.Layout == TXmlLayout::Readable) out_ += kXmlCrLf;
}

void TXmlWriter::AfterChild(const TXmlNode& node, size_t index) {
  if (node.kind_ == TXmlNodeKind::DocType) {
    out_ += kXmlCrLf;
    return;
  }
  // Character data is joined to its neighbours.
  const auto& c = node.children_;
  if (IsCharData(c[index])) return;
  if (index + 1 < c.size() && IsCharData(c[index + 1])) return;
  LineBreak();
}

void TXmlWriter::Attributes(const TXmlNode& node) {
  for (const std::string& a : node.attributes_) {
    out_.push_back(' ');
    out_ += a;
  }
}

bool TXmlWriter::Open(const TXmlNode& node, int level) {
  switch (node.kind_) {
    case TXmlNodeKind::Element: {
      AppendIndent(out_, s_, level);
      out_.push_back('<');
      out_ += node.name_;
      Attributes(node);
      const bool hasChildren = !node.children_.empty();
      const bool selfClosing =
          node.rawValue_.empty() && !hasChildren && !s_.NoSelfClosing && level >= 1;
      if (selfClosing) {
        out_ += "/>";
        return false;
      }
      out_.push_back('>');
      out_ += node.rawValue_;
      if (hasChildren) {
        LineBreak();
        return true;
      }
      out_ += "</";
      out_ += node.name_;
      out_.push_back('>');
      return false;
    }
    case TXmlNodeKind::CharData:
      out_ += node.rawValue_;
      return false;
    case TXmlNodeKind::Comment:
      Wrap(node, level, "<!--", node.rawValue_, "-->");
      return false;
    case TXmlNodeKind::CData:
      Wrap(node, level, "<![CDATA[", node.rawValue_, "]]>");
      return false;
    case TXmlNodeKind::Declaration:
    case TXmlNodeKind::Stylesheet:
      AppendIndent(out_, s_, level);
      out_ += node.kind_ == TXmlNodeKind::Declaration ? "<?xml" : "<?xml-stylesheet";
      Attributes(node);
      out_ += "?>";
      return false;
    case TXmlNodeKind::DocType:
      AppendIndent(out_, s_, level);
      out_ += "<!DOCTYPE ";
      out_ += node.name_;
      out_.push_back(' ');
      out_ += node.rawValue_;
      if (node.children_.empty()) {
        out_.push_back('>');
        return false;
      }
      out_ += " [";
      out_ += kXmlCrLf;
      return true;
    case TXmlNodeKind::DtdElement: Dtd(node, level, "<!ELEMENT "); return false;
    case TXmlNodeKind::DtdAttList: Dtd(node, level, "<!ATTLIST "); return false;
    case TXmlNodeKind::DtdEntity: Dtd(node, level, "<!ENTITY "); return false;
    case TXmlNodeKind::DtdNotation: Dtd(node, level, "<!NOTATION "); return false;
    case TXmlNodeKind::Exclamation:
      Wrap(node, level, "<!", node.rawValue_, ">");
      return false;
    case TXmlNodeKind::Instruction:
      Wrap(node, level, "<?", node.rawValue_, "?>");
      return false;
  }
  RaiseFilerError(kMsgIllegalType);
}

void TXmlWriter::Close(const TXmlNode& node, int level) {
  if (node.kind_ == TXmlNodeKind::DocType) {
    out_ += "]>";
    return;
  }
  AppendIndent(out_, s_, level);
  out_ += "</";
  out_ += node.name_;
  out_.push_back('>');
}

void TXmlWriter::Wrap(const TXmlNode&, int level, const char* head, const std::string& body, const char* tail) {
  AppendIndent(out_, s_, level);
  out_ += head;
  out_ += body;
  out_ += tail;
}

void TXmlWriter::Dtd(const TXmlNode& node, int level, const char* head) {
  AppendIndent(out_, s_, level);
  out_ += head;
  out_ += node.name_;
  out_.push_back(' ');
  out_ += node.rawValue_;
  out_.push_back('>');
}

}  // namespace sw
