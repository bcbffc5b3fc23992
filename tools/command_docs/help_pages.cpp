// The help pages made from the keyword table and the descriptions: a page per command family,
// the list of families and the index that context help reads. Only the tags the viewer knows.
#include <algorithm>
#include <cctype>
#include <set>

#include "tools/command_docs/command_docs.h"

namespace command_docs {

namespace {

// Text as a page holds it: the four marks as entities, the rest ISO 8859-1 (UTF-8 letters of
// that range become their byte, anything beyond it "?").
std::string PageText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (c < 0x80) out += static_cast<char>(c);
    else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
    } else {
      while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
      out += '?';
    }
  }
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A family's page name from its heading: the words before any "(", ";" or ",", without
// the number ranges ("sprites 1-65535" gives "sprites").
std::string FamilySlug(const std::string& family) {
  const std::string head = family.substr(0, family.find_first_of("(;,"));
  std::string slug, word;
  auto endWord = [&] {
    const bool numbered = std::any_of(word.begin(), word.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (!word.empty() && (slug.empty() || !numbered)) slug += (slug.empty() ? "" : "_") + word;
    word.clear();
  };
  for (char c : head) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else endWord();
  }
  endWord();
  std::replace(slug.begin(), slug.end(), '-', '_');
  return slug.empty() ? "family" : slug;
}

// An example as the page shows it: its lines in the code colour (yellow, the page's plain size),
// then what it prints.
std::string Lines(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out += PageText(text.substr(at, end - at)) + "<BR>\r\n";
    at = end + 1;
  }
  return out;
}

std::string ExampleBlock(const std::string& example, const std::string& output) {
  std::string block = "Example:<BR>\r\n<FONT COLOR=YELLOW>" + Lines(example) + "<FONT SIZE=4 COLOR=WHITE>\r\n";
  if (!output.empty()) block += "It prints:<BR>\r\n" + Lines(output);
  return block;
}

const char* TypeWord(char type) {
  switch (std::tolower(static_cast<unsigned char>(type))) {
    case 'f': return "float";
    case 's': return "text";
    case 'a': case 'b': case 'c': return "array";
    default: return "integer";
  }
}

constexpr const char* kPageHead = "<FONT SIZE=4 COLOR=WHITE>";

std::string Title(const std::string& text) {
  return "<P ALIGN=CENTER><FONT SIZE=6 COLOR=YELLOW>" + PageText(text) + "</P>\r\n" + kPageHead + "\r\n";
}

std::string Bar(const std::string& up) {
  return "<P><A HREF=\"" + up + "main.htm\">Contents</A> <A HREF=\"" + up + "commands.htm\">Command families</A> <A HREF=\"" +
         up + "index.htm\">Index</A></P>\r\n";
}

}  // namespace

std::vector<HelpPage> RenderHelpPages(const std::vector<Keyword>& keywords, const std::vector<Description>& descriptions,
                                      const std::map<int, std::string>& errorTexts) {
  std::map<std::string, const Description*> byKey;
  for (const Description& entry : descriptions) byKey[KeywordKey(entry.name, entry.number)] = &entry;
  std::vector<std::string> families;
  std::map<std::string, std::string> pageOf;  // family -> page name
  std::set<std::string> slugs;
  for (const Keyword& keyword : keywords) {
    if (pageOf.count(keyword.family) != 0) continue;
    families.push_back(keyword.family);
    std::string slug = FamilySlug(keyword.family);
    for (int n = 2; slugs.count(slug) != 0; ++n) slug = FamilySlug(keyword.family) + "_" + std::to_string(n);
    slugs.insert(slug);
    pageOf[keyword.family] = "commands/" + slug + ".htm";
  }

  std::vector<HelpPage> pages;
  std::set<std::string> anchors;
  std::string list = Title("Command families") + Bar("") +
                     "<P>Every command and function of the language, family by family. The index lists them all by "
                     "name.</P>\r\n";
  for (const std::string& family : families) {
    list += "<A HREF=\"" + pageOf[family] + "\">" + PageText(FamilyTitle(family)) + "</A><BR>\r\n";
    std::string page = Title(FamilyTitle(family)) + Bar("../");
    for (const Keyword& keyword : keywords) {
      if (keyword.family != family) continue;
      auto found = byKey.find(KeywordKey(keyword.name, keyword.number));
      const Description* entry = found != byKey.end() ? found->second : nullptr;
      // The anchor context help and the index land on (the first entry of a name).
      const std::string anchor = EntryAnchor(keyword.name);
      if (anchors.insert(pageOf[family] + "#" + anchor).second) page += "<A NAME=\"" + PageText(anchor) + "\">";
      page += "<P><FONT SIZE=5 COLOR=YELLOW>" + PageText(Upper(keyword.name)) + "<BR>\r\n" + kPageHead;
      if (entry != nullptr && keyword.params.empty() && !entry->operandField.empty())
        page += "Usage: " + PageText(entry->operandField) + "<BR>\r\n";
      else page += "Usage: " + PageText(Upper(keyword.name) + CommandForm(keyword, entry).substr(keyword.name.size())) + "<BR>\r\n";
      page += PageText(entry != nullptr ? entry->text : "(no description yet)") + "<BR>\r\n";
      if (!keyword.params.empty()) {
        page += "Operands:";
        for (size_t i = 0; i < keyword.params.size(); ++i)
          page += std::string(i > 0 ? "," : "") + " " + PageText(OperandName(keyword, entry, i)) + " (" +
                  TypeWord(keyword.params[i]) + ")";
        page += "<BR>\r\n";
      }
      if (keyword.function)
        page += "Result: " + PageText(entry != nullptr && !entry->result.empty() ? entry->result : "a value") + " (" +
                TypeWord(keyword.result) + ")<BR>\r\n";
      if (entry != nullptr && !entry->errors.empty()) {
        page += "Errors:";
        for (size_t i = 0; i < entry->errors.size(); ++i) {
          const ErrorRef& error = entry->errors[i];
          auto text = errorTexts.find(error.number);
          page += std::string(i > 0 ? ";" : "") + " " + std::to_string(error.number);
          if (text != errorTexts.end()) page += " " + PageText(text->second);
          if (error.warning) page += " (a warning: the program goes on)";
        }
        page += "<BR>\r\n";
      }
      if (entry != nullptr && !entry->example.empty()) page += ExampleBlock(entry->example, entry->output);
      page += "</P>\r\n";
    }
    pages.push_back({pageOf[family], page});
  }
  pages.push_back({"commands.htm", list});

  // The index: each name once, as the link text context help compares with the words of a
  // line (">NAME</A>", the target quoted directly before the ">"), landing on its entry.
  std::map<std::string, std::string> names;
  for (const Keyword& keyword : keywords)
    names.emplace(Upper(keyword.name), pageOf[keyword.family] + "#" + EntryAnchor(keyword.name));
  std::string index = Title("Index") + Bar("") + "<P>Every command and function by name.</P>\r\n";
  char letter = 0;
  for (const auto& [name, page] : names) {
    const char initial = std::isalpha(static_cast<unsigned char>(name[0])) ? name[0] : '#';
    if (initial != letter) {
      index += "<P><FONT SIZE=5 COLOR=YELLOW>" + std::string(1, initial) + "</P>\r\n" + kPageHead + "\r\n";
      letter = initial;
    }
    index += "<A HREF=\"" + page + "\">" + name + "</A><BR>\r\n";
  }
  pages.push_back({"index.htm", index});
  return pages;
}

std::vector<HelpPage> RenderExamplePages(const std::vector<ExampleProgram>& examples) {
  std::vector<HelpPage> pages;
  std::string list = Title("Example programs") + Bar("") +
                     "<P>Each program is in the examples folder of the installation: load it from the File menu and "
                     "press F5 to run it.</P>\r\n";
  for (const ExampleProgram& example : examples) {
    const std::string base = example.name.substr(0, example.name.rfind('.'));
    // The leading REM lines say what the program shows.
    std::string about, code;
    bool leading = true;
    size_t at = 0;
    while (at < example.source.size()) {
      size_t end = example.source.find('\n', at);
      if (end == std::string::npos) end = example.source.size();
      std::string line = example.source.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      at = end + 1;
      if (leading && line.rfind("rem ", 0) == 0) {
        about += (about.empty() ? "" : " ") + line.substr(4);
        continue;
      }
      leading = false;
      code += PageText(line) + "<BR>\r\n";
    }
    list += "<P><A HREF=\"examples/" + base + ".htm\">" + PageText(Upper(base)) + "</A><BR>\r\n" + PageText(about) + "</P>\r\n";
    // The page links its source (a copy beside it): a click offers to load it into the editor.
    pages.push_back({"examples/" + base + ".htm", Title(example.name) + Bar("../") + "<P>" + PageText(about) +
                                                      "</P>\r\n<P><A HREF=\"" + example.name + "\">Load " +
                                                      PageText(example.name) + " into the editor</A></P>\r\n"
                                                      "<P><FONT COLOR=YELLOW>" + code + kPageHead + "</P>\r\n"});
    pages.push_back({"examples/" + example.name, example.source});
  }
  pages.push_back({"examples.htm", list});
  return pages;
}

}  // namespace command_docs
