// The styled layout of the configuration and playlist files, made directly
// into a string: the same bytes as the JSON library's styled stream writer
// with a tab per level (members by name, an array of short plain values on one
// line), without passing every piece through an output stream.
#include <json/json.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "core/jsonfile.h"
#include "core/plaintext.h"

namespace {

const unsigned kRightMargin = 74;  // the library's line width for one-line arrays

class StyledText {
 public:
  // False when a text holds a zero byte, which only the library's own writer
  // carries through; the caller then uses it.
  bool write(const Json::Value& root) {
    writeValue(root);
    m_out += '\n';
    return m_ok;
  }
  std::string& text() { return m_out; }

 private:
  // Where a plain value goes: the text, or a value of its own while an array
  // is measured for one line.
  std::string& sink() {
    if (!m_collecting) return m_out;
    m_children.emplace_back();
    return m_children.back();
  }
  void newLine() {
    m_out += '\n';
    m_out += m_indent;
  }
  void withIndent(const char* value, size_t length) {
    if (!m_indented) newLine();
    m_out.append(value, length);
    m_indented = false;
  }

  // Printable ASCII without quote and backslash stands as it is; the library
  // escapes everything else.
  static void appendQuoted(std::string& out, const char* begin, const char* end) {
    if (!isPlainText(begin, static_cast<size_t>(end - begin))) {
      out += Json::valueToQuotedString(begin);
      return;
    }
    out += '"';
    out.append(begin, end);
    out += '"';
  }

  void writeString(const Json::Value& value) {
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    if (memchr(begin, 0, static_cast<size_t>(end - begin))) m_ok = false;
    appendQuoted(sink(), begin, end);
  }

  void writeNumber(long long number) {
    char digits[32];
    sink().append(digits, static_cast<size_t>(snprintf(digits, sizeof digits, "%lld", number)));
  }
  void writeNumber(unsigned long long number) {
    char digits[32];
    sink().append(digits, static_cast<size_t>(snprintf(digits, sizeof digits, "%llu", number)));
  }

  void writeValue(const Json::Value& value) {
    switch (value.type()) {
      case Json::nullValue: sink() += "null"; break;
      case Json::intValue: writeNumber(static_cast<long long>(value.asLargestInt())); break;
      case Json::uintValue: writeNumber(static_cast<unsigned long long>(value.asLargestUInt())); break;
      case Json::realValue: sink() += Json::valueToString(value.asDouble()); break;
      case Json::stringValue: writeString(value); break;
      case Json::booleanValue: sink() += value.asBool() ? "true" : "false"; break;
      case Json::arrayValue: writeArray(value); break;
      case Json::objectValue: writeObject(value); break;
    }
  }

  // Members come in name order, as the object keeps them.
  void writeObject(const Json::Value& value) {
    if (value.empty()) {
      sink() += "{}";
      return;
    }
    withIndent("{", 1);
    m_indent += '\t';
    bool first = true;
    for (Json::Value::const_iterator it = value.begin(); it != value.end(); ++it) {
      if (!first) m_out += ',';
      first = false;
      if (!m_indented) newLine();
      m_indented = false;
      const char* end = nullptr;
      const char* name = it.memberName(&end);
      // The library quotes a name up to its first zero byte.
      appendQuoted(m_out, name, static_cast<const char*>(memchr(name, 0, static_cast<size_t>(end - name))) ?: end);
      m_out += " : ";
      writeValue(*it);
    }
    m_indent.pop_back();
    withIndent("}", 1);
  }

  // One line when the array is short, holds no non-empty container and its
  // values fit the line width; each value on its own line otherwise.
  bool isMultiline(const Json::Value& value) {
    Json::ArrayIndex size = value.size();
    bool multiline = size * 3 >= kRightMargin;
    m_children.clear();
    for (Json::ArrayIndex i = 0; i < size && !multiline; ++i)
      multiline = (value[i].isArray() || value[i].isObject()) && !value[i].empty();
    if (multiline) return true;
    m_children.reserve(size);
    m_collecting = true;
    size_t lineLength = 4 + (size - 1) * 2;
    for (Json::ArrayIndex i = 0; i < size; ++i) {
      writeValue(value[i]);
      lineLength += m_children[i].size();
    }
    m_collecting = false;
    return lineLength >= kRightMargin;
  }

  void writeArray(const Json::Value& value) {
    Json::ArrayIndex size = value.size();
    if (size == 0) {
      sink() += "[]";
      return;
    }
    if (!isMultiline(value)) {
      m_out += "[ ";
      for (Json::ArrayIndex i = 0; i < size; ++i) {
        if (i) m_out += ", ";
        m_out += m_children[i];
      }
      m_out += " ]";
      return;
    }
    withIndent("[", 1);
    m_indent += '\t';
    std::vector<std::string> children;
    children.swap(m_children);  // the values measured on the way, if any
    for (Json::ArrayIndex i = 0; i < size; ++i) {
      if (i) m_out += ',';
      if (!children.empty()) {
        withIndent(children[i].data(), children[i].size());
      } else {
        if (!m_indented) newLine();
        m_indented = true;
        writeValue(value[i]);
        m_indented = false;
      }
    }
    m_indent.pop_back();
    withIndent("]", 1);
  }

  std::string m_out;
  std::string m_indent;
  bool m_indented = true;
  bool m_collecting = false;
  std::vector<std::string> m_children;
  bool m_ok = true;
};

}  // namespace

std::string styledJsonText(const Json::Value& document) {
  StyledText styled;
  styled.text().reserve(1024);
  if (styled.write(document)) return std::move(styled.text());
  std::ostringstream text;
  Json::StyledStreamWriter("\t").write(text, document);
  return text.str();
}
