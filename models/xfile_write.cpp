// The .x text writer: data objects built member by member and written in the standard text
// layout, with numbers formatted the same whatever the process locale is.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "models/models_local.h"
#include "platform/file_replace.h"

namespace {

const char kTextHeader[] = "xof 0302txt 0032\n";

void Indent(std::string& out, int indent) { out.append(static_cast<size_t>(indent) * 2, ' '); }

struct InlineWriter {
  const XFile& file;
  const XObject* object;
  XDataCursor& cursor;
  std::string& out;

  bool Value(XPrim prim, uint32_t& integer) {
    switch (prim) {
      case XPrim::Word: case XPrim::Sword:
        if (cursor.failed || cursor.Remaining() < 2) return false;
        integer = static_cast<uint32_t>(cursor.bytes[cursor.position] |
                                        cursor.bytes[cursor.position + 1] << 8);
        cursor.Skip(2);
        XAppendInt(out, prim == XPrim::Sword ? static_cast<int16_t>(integer) : integer);
        return true;
      case XPrim::Char: case XPrim::Uchar: case XPrim::Byte:
        if (cursor.Remaining() < 1) return false;
        integer = cursor.bytes[cursor.position];
        cursor.Skip(1);
        XAppendInt(out, integer);
        return true;
      case XPrim::Dword: case XPrim::Sdword:
        integer = cursor.ReadU32();
        XAppendInt(out, prim == XPrim::Sdword ? static_cast<int32_t>(integer)
                                              : static_cast<long long>(integer));
        return !cursor.failed;
      case XPrim::Float:
        XAppendFloat(out, cursor.ReadFloat());
        return !cursor.failed;
      case XPrim::Double: {
        uint64_t bits = cursor.ReadU32();
        bits |= static_cast<uint64_t>(cursor.ReadU32()) << 32;
        double value;
        std::memcpy(&value, &bits, 8);
        XAppendFloat(out, value);
        return !cursor.failed;
      }
      case XPrim::String: {
        uint32_t index = cursor.ReadU32();
        if (cursor.failed || index >= object->strings.size()) return false;
        out += '"';
        for (char c : object->strings[index]) out += c == '"' ? '\'' : c;  // no escapes in .x
        out += '"';
        return true;
      }
      case XPrim::Template: return false;
    }
    return false;
  }

  // Writes one template instance on the current line: every member followed by ';', array
  // elements separated by ','. With `lineIndent` >= 0, each member of this level goes on a
  // line of its own and the elements of struct arrays too.
  bool Struct(const XTemplate& templ, int depth, int lineIndent) {
    if (depth > 200) return false;  // as deep as the reader accepts
    XScalars values;
    for (const XMember& member : templ.members) {
      if (lineIndent >= 0) Indent(out, lineIndent);
      uint64_t count = 1;
      if (member.isArray && !XArrayCount(member, values, count)) return false;
      if (member.isArray && count > cursor.Remaining() + 1) return false;
      bool structArray = member.prim == XPrim::Template && member.isArray && lineIndent >= 0;
      for (uint64_t i = 0; i < count; i++) {
        if (structArray && i > 0) Indent(out, lineIndent);
        if (member.prim == XPrim::Template) {
          if (!Struct(file.templates[member.templateIndex], depth + 1, -1)) return false;
        } else {
          uint32_t integer = 0;
          if (!Value(member.prim, integer)) return false;
          if (!member.isArray) values.Add(member.name, integer);
        }
        if (i + 1 < count) {
          out += ',';
          if (structArray) out += '\n';
        }
      }
      out += ';';
      if (lineIndent >= 0) out += '\n';
    }
    return true;
  }
};

}  // namespace

void XAppendFloat(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0.0;
  if (value == 0.0) value = 0.0;  // no "-0.000000"
  char digits[64];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value,
                                 std::chars_format::fixed, 6);
  if (ec != std::errc()) {
    out += "0.000000";
    return;
  }
  out.append(digits, end);
}

void XAppendInt(std::string& out, long long value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;
  out.append(digits, end);
}

XTextWriter::XTextWriter() {
  XReadMemory(kTextHeader, sizeof kTextHeader - 1, file_);
  text_ = kTextHeader;
  text_ += '\n';
}

XObject* XTextWriter::CreateObject(std::string_view type, std::string_view name) {
  auto object = std::make_unique<XObject>();
  object->type = std::string(type);
  object->name = std::string(name);
  file_.objects.push_back(std::move(object));
  return file_.objects.back().get();
}

void XTextWriter::AddU32(XObject* object, uint32_t value) {
  for (int i = 0; i < 4; i++) object->data.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void XTextWriter::AddFloat(XObject* object, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  AddU32(object, bits);
}

void XTextWriter::AddString(XObject* object, std::string_view text) {
  AddU32(object, static_cast<uint32_t>(object->strings.size()));
  object->strings.emplace_back(text);
}

void XTextWriter::AddChild(XObject* parent, XObject* child) {
  parent->children.push_back(XChild{child, false, {}});
}

void XTextWriter::AddReference(XObject* parent, std::string_view name) {
  parent->children.push_back(XChild{nullptr, true, std::string(name)});
}

bool XTextWriter::Write(const XObject* object) {
  size_t mark = text_.size();
  if (!WriteObject(object, 0)) {
    text_.resize(mark);
    return false;
  }
  text_ += '\n';
  return true;
}

bool XTextWriter::WriteObject(const XObject* object, int indent) {
  int index = XFindTemplate(file_, object->type);
  if (index < 0) return false;
  Indent(text_, indent);
  text_ += object->type;
  if (!object->name.empty()) {
    text_ += ' ';
    text_ += object->name;
  }
  text_ += " {\n";
  XDataCursor cursor(*object);
  if (!WriteMembers(file_.templates[index], cursor, object, indent + 1)) return false;
  if (cursor.Remaining() != 0) return false;
  for (const XChild& child : object->children) {
    if (child.isReference) {
      Indent(text_, indent + 1);
      text_ += '{';
      text_ += child.referenceName;
      text_ += "}\n";
    } else if (!WriteObject(child.object, indent + 1)) {
      return false;
    }
  }
  Indent(text_, indent);
  text_ += "}\n";
  return true;
}

bool XTextWriter::WriteMembers(const XTemplate& templ, XDataCursor& cursor,
                               const XObject* object, int indent) {
  InlineWriter writer{file_, object, cursor, text_};
  return writer.Struct(templ, 0, indent);
}

bool XTextWriter::SaveTo(const char* path, std::string* whyNot) const { return XWriteFileReplacing(path, text_, whyNot); }

bool XWriteFileReplacing(const char* path, std::string_view bytes, std::string* whyNot) {
  std::string why;
  if (PlatformReplaceFile(path, bytes.data(), bytes.size(), false, &why)) return true;
  if (whyNot != nullptr) *whyNot = std::string("cannot write ") + path + ": " + why;
  return false;
}
