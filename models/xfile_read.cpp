// The .x reader: one token stream over text or binary bodies, templates (built in and declared
// in the file), data objects packed per template, and references resolved by name.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "models/models_local.h"

namespace {

// The standard templates the model loaders and savers use, declared in .x text; every read
// starts with them, and a file may declare more or redeclare these.
const char kBuiltInTemplates[] = R"(xof 0302txt 0032
template Header { WORD major; WORD minor; DWORD flags; }
template Vector { FLOAT x; FLOAT y; FLOAT z; }
template Coords2d { FLOAT u; FLOAT v; }
template Matrix4x4 { array FLOAT matrix[16]; }
template ColorRGBA { FLOAT red; FLOAT green; FLOAT blue; FLOAT alpha; }
template ColorRGB { FLOAT red; FLOAT green; FLOAT blue; }
template IndexedColor { DWORD index; ColorRGBA indexColor; }
template Boolean { WORD truefalse; }
template Boolean2d { Boolean u; Boolean v; }
template MaterialWrap { Boolean u; Boolean v; }
template TextureFilename { STRING filename; }
template Material { ColorRGBA faceColor; FLOAT power; ColorRGB specularColor;
  ColorRGB emissiveColor; [...] }
template MeshFace { DWORD nFaceVertexIndices; array DWORD faceVertexIndices[nFaceVertexIndices]; }
template MeshFaceWraps { DWORD nFaceWrapValues; array Boolean2d faceWrapValues[nFaceWrapValues]; }
template MeshTextureCoords { DWORD nTextureCoords; array Coords2d textureCoords[nTextureCoords]; }
template MeshMaterialList { DWORD nMaterials; DWORD nFaceIndexes;
  array DWORD faceIndexes[nFaceIndexes]; [Material] }
template MeshNormals { DWORD nNormals; array Vector normals[nNormals]; DWORD nFaceNormals;
  array MeshFace faceNormals[nFaceNormals]; }
template MeshVertexColors { DWORD nVertexColors; array IndexedColor vertexColors[nVertexColors]; }
template Mesh { DWORD nVertices; array Vector vertices[nVertices]; DWORD nFaces;
  array MeshFace faces[nFaces]; [...] }
template FrameTransformMatrix { Matrix4x4 frameMatrix; }
template Frame { [...] }
template FloatKeys { DWORD nValues; array FLOAT values[nValues]; }
template TimedFloatKeys { DWORD time; FloatKeys tfkeys; }
template AnimationKey { DWORD keyType; DWORD nKeys; array TimedFloatKeys keys[nKeys]; }
template AnimationOptions { DWORD openclosed; DWORD positionquality; }
template Animation { [...] }
template AnimationSet { [Animation] }
)";

constexpr int kMaxObjectDepth = 200;   // nesting of data objects and of template members
constexpr size_t kHeaderSize = 16;

enum class Tok : uint8_t { End, Error, Name, String, Integer, Float, Guid, OpenBrace,
                           CloseBrace, OpenBracket, CloseBracket, Comma, Semicolon, Other };

struct Token {
  Tok kind = Tok::End;
  uint32_t integer = 0;
  double real = 0;
  std::string_view text;
  size_t offset = 0;  // where the token starts in the body
};

// Binary token numbers of the public .x format.
enum : uint16_t {
  kBinName = 1, kBinString = 2, kBinInteger = 3, kBinGuid = 5, kBinIntegerList = 6,
  kBinFloatList = 7, kBinOpenBrace = 10, kBinCloseBrace = 11, kBinOpenParen = 12,
  kBinCloseParen = 13, kBinOpenBracket = 14, kBinCloseBracket = 15, kBinOpenAngle = 16,
  kBinCloseAngle = 17, kBinDot = 18, kBinComma = 19, kBinSemicolon = 20, kBinTemplate = 31,
  kBinWord = 40, kBinDword = 41, kBinFloat = 42, kBinDouble = 43, kBinChar = 44, kBinUchar = 45,
  kBinSword = 46, kBinSdword = 47, kBinVoid = 48, kBinLpstr = 49, kBinUnicode = 50,
  kBinCstring = 51, kBinArray = 52,
};

// A float given where an integer is expected is truncated; out of range it becomes a value
// no count check accepts.
uint32_t FloatToWord(double value) {
  if (value >= -2147483648.0 && value < 4294967296.0)
    return static_cast<uint32_t>(static_cast<int64_t>(value));
  return 0xFFFFFFFFu;
}

// Token stream over the body of a text or binary file; lists of the binary format come out
// one number at a time. Errors are sticky: after one, every token is Tok::Error.
class TokenStream {
 public:
  TokenStream(const uint8_t* bytes, size_t size, bool binary, bool doubles)
      : bytes_(bytes), size_(size), binary_(binary), doubles_(doubles) {}

  const Token& Peek() {
    if (!hasPeek_) {
      peek_ = binary_ ? ReadBinary() : ReadText();
      hasPeek_ = true;
    }
    return peek_;
  }
  Token Next() {
    Peek();
    hasPeek_ = false;
    last_ = peek_;
    return peek_;
  }
  // Where the last token taken is, for messages: its line in a text body (its byte in a
  // binary one, counted from the file's start) and its text.
  std::string Where() const {
    std::string where;
    if (binary_) {
      where = "byte " + std::to_string(last_.offset + 16);
    } else {
      size_t line = 1;
      for (size_t i = 0; i < last_.offset && i < size_; i++) line += bytes_[i] == '\n';
      where = "line " + std::to_string(line);
    }
    if (last_.kind == Tok::End) return where + ", at the end of the file";
    std::string_view text = last_.text;
    if (text.empty() && !binary_ && last_.offset < size_) text = View(last_.offset, last_.offset + 1);  // punctuation
    if (!text.empty()) where += ", at \"" + std::string(text.substr(0, 40)) + "\"";
    return where;
  }
  size_t Remaining() const { return size_ - position_ + listLeft_; }
  bool Failed() const { return failed_; }
  std::string error;

 private:
  Token Fail(const char* why) {
    Token token;
    token.kind = Tok::Error;
    if (!failed_) {
      error = why;
      token.offset = position_;
      last_ = token;
    }
    failed_ = true;
    return token;
  }

  static bool IsDelimiter(uint8_t c) {
    return c <= ' ' || c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')' ||
           c == ',' || c == ';' || c == '<' || c == '>' || c == '"';
  }

  Token ReadText() {
    Token token;
    if (failed_) return Fail("");
    for (;;) {
      while (position_ < size_ && bytes_[position_] <= ' ') position_++;
      token.offset = position_;
      if (position_ >= size_) return token;  // Tok::End
      uint8_t c = bytes_[position_];
      bool slashComment = c == '/' && position_ + 1 < size_ && bytes_[position_ + 1] == '/';
      if (c == '#' || slashComment) {
        while (position_ < size_ && bytes_[position_] != '\n') position_++;
        continue;
      }
      break;
    }
    size_t start = position_;
    token.offset = start;
    uint8_t c = bytes_[position_++];
    switch (c) {
      case '{': token.kind = Tok::OpenBrace; return token;
      case '}': token.kind = Tok::CloseBrace; return token;
      case '[': token.kind = Tok::OpenBracket; return token;
      case ']': token.kind = Tok::CloseBracket; return token;
      case ',': token.kind = Tok::Comma; return token;
      case ';': token.kind = Tok::Semicolon; return token;
      case '(': case ')': case '>': token.kind = Tok::Other; return token;
      case '"': {
        while (position_ < size_ && bytes_[position_] != '"') position_++;
        if (position_ >= size_) return Fail("unterminated string");
        token.kind = Tok::String;
        token.text = View(start + 1, position_);
        position_++;
        return token;
      }
      case '<': {
        while (position_ < size_ && bytes_[position_] != '>') position_++;
        if (position_ >= size_) return Fail("unterminated GUID");
        token.kind = Tok::Guid;
        token.text = View(start + 1, position_);
        position_++;
        return token;
      }
      default: break;
    }
    while (position_ < size_ && !IsDelimiter(bytes_[position_])) position_++;
    token.text = View(start, position_);
    ClassifyWord(token);
    return token;
  }

  // A word is a number when it reads whole as one, else a name.
  static void ClassifyWord(Token& token) {
    token.kind = Tok::Name;
    const char* first = token.text.data();
    const char* last = first + token.text.size();
    if (first < last && *first == '+') first++;
    if (first == last) return;
    bool isFloat = false;
    for (const char* p = first; p < last; p++) {
      if (*p == '.' || *p == 'e' || *p == 'E') isFloat = true;
    }
    if (!isFloat) {
      long long value = 0;
      auto [end, ec] = std::from_chars(first, last, value);
      if (end == last && ec == std::errc()) {
        token.kind = Tok::Integer;
        token.real = static_cast<double>(value);
        token.integer = (value >= -2147483648LL && value <= 4294967295LL)
                            ? static_cast<uint32_t>(value)
                            : 0xFFFFFFFFu;
        return;
      }
    }
    double value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (end == last && (ec == std::errc() || ec == std::errc::result_out_of_range)) {
      token.kind = Tok::Float;
      token.real = value;
      token.integer = FloatToWord(value);
    }
  }

  std::string_view View(size_t from, size_t to) const {
    return std::string_view(reinterpret_cast<const char*>(bytes_) + from, to - from);
  }

  bool Have(size_t count) const { return count <= size_ - position_; }
  uint16_t U16() {
    uint16_t v = static_cast<uint16_t>(bytes_[position_] | bytes_[position_ + 1] << 8);
    position_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t v = static_cast<uint32_t>(bytes_[position_]) |
                 static_cast<uint32_t>(bytes_[position_ + 1]) << 8 |
                 static_cast<uint32_t>(bytes_[position_ + 2]) << 16 |
                 static_cast<uint32_t>(bytes_[position_ + 3]) << 24;
    position_ += 4;
    return v;
  }

  Token ReadBinary() {
    Token token;
    if (failed_) return Fail("");
    if (listLeft_ > 0) {
      listLeft_--;
      if (listIsFloat_) {
        token.kind = Tok::Float;
        if (doubles_) {
          uint64_t bits = U32();
          bits |= static_cast<uint64_t>(U32()) << 32;
          std::memcpy(&token.real, &bits, 8);
        } else {
          uint32_t bits = U32();
          float f;
          std::memcpy(&f, &bits, 4);
          token.real = f;
        }
        token.integer = FloatToWord(token.real);
      } else {
        token.kind = Tok::Integer;
        token.integer = U32();
        token.real = token.integer;
      }
      return token;
    }
    token.offset = position_;
    if (position_ >= size_) return token;  // Tok::End
    if (!Have(2)) return Fail("truncated binary token");
    uint16_t id = U16();
    switch (id) {
      case kBinName:
      case kBinString: {
        if (!Have(4)) return Fail("truncated name");
        uint32_t count = U32();
        if (!Have(count)) return Fail("name runs past the end");
        token.kind = id == kBinName ? Tok::Name : Tok::String;
        token.text = View(position_, position_ + count);
        position_ += count;
        if (id == kBinString) {  // a string carries its terminating separator token
          if (!Have(2)) return Fail("truncated string");
          uint16_t end = U16();
          if (end != kBinSemicolon && end != kBinComma) return Fail("string without separator");
        }
        return token;
      }
      case kBinInteger:
        if (!Have(4)) return Fail("truncated integer");
        token.kind = Tok::Integer;
        token.integer = U32();
        token.real = token.integer;
        return token;
      case kBinGuid:
        if (!Have(16)) return Fail("truncated GUID");
        position_ += 16;
        token.kind = Tok::Guid;
        return token;
      case kBinIntegerList:
      case kBinFloatList: {
        if (!Have(4)) return Fail("truncated list");
        uint32_t count = U32();
        size_t each = id == kBinIntegerList ? 4 : (doubles_ ? 8 : 4);
        if (count > (size_ - position_) / each) return Fail("list runs past the end");
        listLeft_ = count;
        listIsFloat_ = id == kBinFloatList;
        return ReadBinary();
      }
      case kBinOpenBrace: token.kind = Tok::OpenBrace; return token;
      case kBinCloseBrace: token.kind = Tok::CloseBrace; return token;
      case kBinOpenBracket: token.kind = Tok::OpenBracket; return token;
      case kBinCloseBracket: token.kind = Tok::CloseBracket; return token;
      case kBinComma: token.kind = Tok::Comma; return token;
      case kBinSemicolon: token.kind = Tok::Semicolon; return token;
      case kBinOpenParen: case kBinCloseParen: case kBinOpenAngle: case kBinCloseAngle:
      case kBinDot:
        token.kind = Tok::Other;
        return token;
      default: break;
    }
    static const struct { uint16_t id; const char* word; } kKeywords[] = {
        {kBinTemplate, "template"}, {kBinWord, "WORD"}, {kBinDword, "DWORD"},
        {kBinFloat, "FLOAT"}, {kBinDouble, "DOUBLE"}, {kBinChar, "CHAR"}, {kBinUchar, "UCHAR"},
        {kBinSword, "SWORD"}, {kBinSdword, "SDWORD"}, {kBinVoid, "VOID"},
        {kBinLpstr, "STRING"}, {kBinUnicode, "UNICODE"}, {kBinCstring, "CSTRING"},
        {kBinArray, "array"}};
    for (const auto& keyword : kKeywords) {
      if (keyword.id == id) {
        token.kind = Tok::Name;
        token.text = keyword.word;
        return token;
      }
    }
    return Fail("unknown binary token");
  }

  const uint8_t* bytes_;
  size_t size_;
  size_t position_ = 0;
  bool binary_;
  bool doubles_;
  bool failed_ = false;
  uint32_t listLeft_ = 0;
  bool listIsFloat_ = false;
  bool hasPeek_ = false;
  Token peek_;
  Token last_;  // the last token Next gave, for messages
};

bool PrimitiveByName(std::string_view word, XPrim& prim) {
  static const struct { const char* word; XPrim prim; } kPrims[] = {
      {"WORD", XPrim::Word}, {"DWORD", XPrim::Dword}, {"FLOAT", XPrim::Float},
      {"DOUBLE", XPrim::Double}, {"CHAR", XPrim::Char}, {"UCHAR", XPrim::Uchar},
      {"BYTE", XPrim::Byte}, {"SWORD", XPrim::Sword}, {"SDWORD", XPrim::Sdword},
      {"STRING", XPrim::String}, {"CSTRING", XPrim::String}, {"UNICODE", XPrim::String},
      {"LPSTR", XPrim::String}};
  for (const auto& p : kPrims) {
    if (XSameWord(word, p.word)) {
      prim = p.prim;
      return true;
    }
  }
  return false;
}

// Parses the body of one file into an XFile: templates are added to file.templates, objects
// to file.objects.
class Parser {
 public:
  Parser(XFile& file, TokenStream& tokens) : file_(file), tokens_(tokens) {}

  bool ParseBody() {
    for (;;) {
      Token token = tokens_.Next();
      switch (token.kind) {
        case Tok::End: return true;
        case Tok::Comma: case Tok::Semicolon: continue;
        case Tok::Name:
          if (XSameWord(token.text, "template")) {
            if (!ParseTemplate()) return false;
          } else {
            XObject* object = nullptr;
            if (!ParseObject(token.text, 0, object)) return false;
            if (object) file_.topLevel.push_back(object);
          }
          continue;
        default: return Fail("unexpected token at the top level");
      }
    }
  }

  std::string error;

 private:
  bool Fail(const char* why) {
    if (error.empty()) error = (tokens_.Failed() ? tokens_.error : std::string(why)) + " (" + tokens_.Where() + ")";
    return false;
  }

  bool Expect(Tok kind, const char* why) {
    if (tokens_.Next().kind != kind) return Fail(why);
    return true;
  }

  bool ParseTemplate() {
    Token name = tokens_.Next();
    if (name.kind != Tok::Name) return Fail("template without a name");
    if (!Expect(Tok::OpenBrace, "template without '{'")) return false;
    if (tokens_.Peek().kind == Tok::Guid) tokens_.Next();
    XTemplate templ;
    templ.name = std::string(name.text);
    for (;;) {
      Token token = tokens_.Next();
      if (token.kind == Tok::CloseBrace) break;
      if (token.kind == Tok::OpenBracket) {  // restrictions: children are not checked
        for (;;) {
          Token inner = tokens_.Next();
          if (inner.kind == Tok::CloseBracket) break;
          if (inner.kind == Tok::End || inner.kind == Tok::Error)
            return Fail("unterminated template restriction");
        }
        continue;
      }
      if (token.kind != Tok::Name) return Fail("bad template member");
      XMember member;
      if (XSameWord(token.text, "array")) {
        member.isArray = true;
        token = tokens_.Next();
        if (token.kind != Tok::Name) return Fail("bad array member");
      }
      if (!PrimitiveByName(token.text, member.prim)) {
        // Member types must be declared earlier, so templates can never contain themselves.
        member.prim = XPrim::Template;
        member.templateIndex = XFindTemplate(file_, token.text);
        if (member.templateIndex < 0) return Fail("member of an unknown template type");
      }
      if (tokens_.Peek().kind == Tok::Name) member.name = std::string(tokens_.Next().text);
      while (tokens_.Peek().kind == Tok::OpenBracket) {
        tokens_.Next();
        Token size = tokens_.Next();
        XDimension dimension;
        if (size.kind == Tok::Integer) dimension.fixed = size.integer;
        else if (size.kind == Tok::Name) dimension.reference = std::string(size.text);
        else return Fail("bad array dimension");
        if (!Expect(Tok::CloseBracket, "array dimension without ']'")) return false;
        member.dimensions.push_back(std::move(dimension));
      }
      if (member.isArray && member.dimensions.empty()) return Fail("array without dimension");
      if (!Expect(Tok::Semicolon, "template member without ';'")) return false;
      if (!member.isArray) {
        templ.leastValues += member.prim == XPrim::Template
                                 ? file_.templates[member.templateIndex].leastValues : 1;
      }
      templ.members.push_back(std::move(member));
    }
    // A redeclaration hides the earlier one (lookups search from the end); members already
    // bound to the earlier one keep it.
    file_.templates.push_back(std::move(templ));
    return true;
  }

  // Reads one value token, passing over separators.
  bool ReadValue(Token& value) {
    for (;;) {
      value = tokens_.Next();
      if (value.kind == Tok::Comma || value.kind == Tok::Semicolon) continue;
      if (value.kind == Tok::Integer || value.kind == Tok::Float || value.kind == Tok::String)
        return true;
      return Fail("expected a value");
    }
  }

  static void PutLittle(std::vector<uint8_t>& data, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; i++) data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }

  bool ReadPrimitive(XPrim prim, XObject& object, uint32_t& integer) {
    Token value;
    if (!ReadValue(value)) return false;
    integer = value.integer;
    if (value.kind == Tok::String && prim != XPrim::String)
      return Fail("string in place of a number");
    switch (prim) {
      case XPrim::Word: case XPrim::Sword:
        PutLittle(object.data, integer, 2);
        break;
      case XPrim::Dword: case XPrim::Sdword:
        PutLittle(object.data, integer, 4);
        break;
      case XPrim::Float: {
        float f = static_cast<float>(value.real);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        PutLittle(object.data, bits, 4);
        break;
      }
      case XPrim::Double: {
        uint64_t bits;
        std::memcpy(&bits, &value.real, 8);
        PutLittle(object.data, bits, 8);
        break;
      }
      case XPrim::Char: case XPrim::Uchar: case XPrim::Byte:
        PutLittle(object.data, integer, 1);
        break;
      case XPrim::String:
        if (value.kind != Tok::String) return Fail("number in place of a string");
        PutLittle(object.data, object.strings.size(), 4);
        object.strings.emplace_back(value.text);
        break;
      case XPrim::Template: return Fail("bad member");
    }
    return true;
  }

  // Reads the members of one template instance into the object's data.
  bool ParseMembers(const XTemplate& templ, XObject& object, int depth) {
    if (depth > kMaxObjectDepth) return Fail("templates nested too deep");
    XScalars values;  // earlier scalar members
    for (const XMember& member : templ.members) {
      uint64_t count = 1;
      if (member.isArray) {
        if (!XArrayCount(member, values, count)) return Fail("bad array dimension");
        // Every element takes at least one byte of input.
        if (count > tokens_.Remaining()) return Fail("array larger than the file");
      }
      if (member.prim == XPrim::Template) {
        const XTemplate& inner = file_.templates[member.templateIndex];
        if (member.isArray && count > 0 && inner.leastValues == 0)
          return Fail("array of an empty template");
        for (uint64_t i = 0; i < count; i++) {
          if (!ParseMembers(inner, object, depth + 1)) return false;
        }
        continue;
      }
      for (uint64_t i = 0; i < count; i++) {
        uint32_t integer = 0;
        if (!ReadPrimitive(member.prim, object, integer)) return false;
        if (!member.isArray) values.Add(member.name, integer);
      }
    }
    return true;
  }

  // Skips the rest of an object whose template is unknown, by its braces.
  bool SkipObject() {
    int depth = 1;
    while (depth > 0) {
      Token token = tokens_.Next();
      if (token.kind == Tok::OpenBrace) depth++;
      else if (token.kind == Tok::CloseBrace) depth--;
      else if (token.kind == Tok::End || token.kind == Tok::Error)
        return Fail("object without its closing '}'");
    }
    return true;
  }

  // Parses a data object whose template name was just read. `out` stays null for an object
  // of an unknown template, which is skipped.
  bool ParseObject(std::string_view type, int depth, XObject*& out) {
    out = nullptr;
    if (depth > kMaxObjectDepth) return Fail("data objects nested too deep");
    std::string_view name;
    Token token = tokens_.Next();
    if (token.kind == Tok::Name || token.kind == Tok::Integer || token.kind == Tok::Float) {
      name = token.text;
      token = tokens_.Next();
    }
    if (token.kind != Tok::OpenBrace) return Fail("data object without '{'");
    if (tokens_.Peek().kind == Tok::Guid) tokens_.Next();
    int index = XFindTemplate(file_, type);
    if (index < 0) return SkipObject();
    auto object = std::make_unique<XObject>();
    // Template names are matched without regard to case ("TextureFileName" is the standard
    // "TextureFilename"): the object takes its template's own spelling.
    object->type = file_.templates[index].name;
    object->name = std::string(name);
    XObject* raw = object.get();
    file_.objects.push_back(std::move(object));
    if (!ParseMembers(file_.templates[index], *raw, depth)) return false;
    for (;;) {
      token = tokens_.Next();
      switch (token.kind) {
        case Tok::CloseBrace:
          out = raw;
          return true;
        case Tok::Comma: case Tok::Semicolon: continue;
        case Tok::OpenBrace: {
          XChild child;
          child.isReference = true;
          Token target = tokens_.Next();
          if (target.kind == Tok::Name || target.kind == Tok::Integer ||
              target.kind == Tok::Float) {
            child.referenceName = std::string(target.text);
            target = tokens_.Next();
          }
          if (target.kind == Tok::Guid) target = tokens_.Next();
          if (target.kind != Tok::CloseBrace) return Fail("bad reference");
          raw->children.push_back(std::move(child));
          continue;
        }
        case Tok::Name: {
          XObject* inner = nullptr;
          if (!ParseObject(token.text, depth + 1, inner)) return false;
          if (inner) raw->children.push_back(XChild{inner, false, {}});
          continue;
        }
        case Tok::End: return Fail("object without its closing '}'");
        default: return Fail("unexpected token in a data object");
      }
    }
  }

  XFile& file_;
  TokenStream& tokens_;
};

bool ParseImage(const uint8_t* bytes, size_t size, XFile& file) {
  if (size < kHeaderSize || std::memcmp(bytes, "xof ", 4) != 0) {
    file.error = "not a .x file (no \"xof \" header)";
    return false;
  }
  std::string_view format(reinterpret_cast<const char*>(bytes) + 8, 4);
  std::string_view floats(reinterpret_cast<const char*>(bytes) + 12, 4);
  const bool compressed = format == "tzip" || format == "bzip";
  if (format != "txt " && format != "bin " && !compressed) {
    file.error = "unknown .x format \"" + std::string(format) + "\"";
    return false;
  }
  if (floats != "0032" && floats != "0064") {
    file.error = "unknown .x float size \"" + std::string(floats) + "\"";
    return false;
  }
  const uint8_t* body = bytes + kHeaderSize;
  size_t bodySize = size - kHeaderSize;
  std::string inflated;  // a compressed file's body; the tokens point into it while parsing
  if (compressed) {
    if (!XInflateBody(body, bodySize, inflated, file.error)) return false;
    body = reinterpret_cast<const uint8_t*>(inflated.data());
    bodySize = inflated.size();
  }
  TokenStream tokens(body, bodySize, format == "bin " || format == "bzip", floats == "0064");
  Parser parser(file, tokens);
  if (!parser.ParseBody()) {
    file.error = parser.error;
    return false;
  }
  return true;
}

void LoadBuiltInTemplates(XFile& file) {
  static XFile builtIn;
  static bool ready = false;  // the parsed built-in set, made once for the whole process
  if (!ready) {
    ParseImage(reinterpret_cast<const uint8_t*>(kBuiltInTemplates), sizeof kBuiltInTemplates - 1,
               builtIn);
    ready = true;
  }
  file.templates = builtIn.templates;
}

void ResolveReferences(XFile& file) {
  std::unordered_map<std::string_view, XObject*> byName;
  for (const auto& object : file.objects) {
    if (!object->name.empty()) byName.emplace(object->name, object.get());
  }
  for (const auto& object : file.objects) {
    for (XChild& child : object->children) {
      if (!child.isReference) continue;
      auto found = byName.find(child.referenceName);
      child.object = found == byName.end() ? nullptr : found->second;
    }
  }
}

}  // namespace

bool XSameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

int XFindTemplate(const XFile& file, std::string_view name) {
  for (size_t i = file.templates.size(); i-- > 0;) {
    if (XSameWord(file.templates[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool XReadMemory(const void* bytes, size_t size, XFile& file) {
  file.objects.clear();
  file.topLevel.clear();
  file.error.clear();
  LoadBuiltInTemplates(file);
  if (!ParseImage(static_cast<const uint8_t*>(bytes), size, file)) {
    file.objects.clear();
    file.topLevel.clear();
    return false;
  }
  ResolveReferences(file);
  return true;
}

bool XReadWholeFile(const char* path, std::string& bytes) {
  std::FILE* handle = std::fopen(path, "rb");
  if (!handle) return false;
  char block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, handle)) > 0) bytes.append(block, got);
  bool ok = !std::ferror(handle);
  std::fclose(handle);
  return ok;
}

bool XArrayCount(const XMember& member, const XScalars& values, uint64_t& count) {
  count = 1;
  for (const XDimension& dimension : member.dimensions) {
    uint64_t size = dimension.fixed;
    if (!dimension.reference.empty()) {
      bool found = false;
      for (size_t i = 0; i < values.count; i++) {
        if (values.items[i].first == dimension.reference) {
          size = values.items[i].second;
          found = true;
        }
      }
      if (!found) return false;
    }
    count *= size;
    if (count > 0xFFFFFFFFu) return false;
  }
  return true;
}

bool XReadFile(const char* path, XFile& file) {
  std::string bytes;
  if (!XReadWholeFile(path, bytes)) {
    file.error = std::string("cannot read ") + path;
    return false;
  }
  return XReadMemory(bytes.data(), bytes.size(), file);
}

uint32_t XDataCursor::ReadU32() {
  if (failed || Remaining() < 4) {
    failed = true;
    return 0;
  }
  const uint8_t* p = bytes + position;
  position += 4;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float XDataCursor::ReadFloat() {
  uint32_t bits = ReadU32();
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

bool XDataCursor::Skip(size_t count) {
  if (failed || Remaining() < count) {
    failed = true;
    return false;
  }
  position += count;
  return true;
}
