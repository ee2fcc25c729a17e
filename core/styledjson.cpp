// The styled layout of the configuration and playlist files, made directly
// into a string: the same bytes as the JSON library's styled stream writer
// with a tab per level (members by name, an array of short plain values on one
// line), without passing every piece through an output stream.
#include <json/json.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "core/jsonfile.h"

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
  void push(const std::string& value) {
    if (m_collecting)
      m_children.push_back(value);
    else
      m_out += value;
  }
  void newLine() {
    m_out += '\n';
    m_out += m_indent;
  }
  void withIndent(const std::string& value) {
    if (!m_indented) newLine();
    m_out += value;
    m_indented = false;
  }

  std::string quoted(const Json::Value& value) {
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    if (memchr(begin, 0, static_cast<size_t>(end - begin))) m_ok = false;
    for (const char* c = begin; c != end; ++c) {
      unsigned char byte = static_cast<unsigned char>(*c);
      if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') return Json::valueToQuotedString(begin);
    }
    std::string plain;
    plain.reserve(static_cast<size_t>(end - begin) + 2);
    return plain.append(1, '"').append(begin, end).append(1, '"');
  }

  void writeValue(const Json::Value& value) {
    switch (value.type()) {
      case Json::nullValue: push("null"); break;
      case Json::intValue: push(Json::valueToString(value.asLargestInt())); break;
      case Json::uintValue: push(Json::valueToString(value.asLargestUInt())); break;
      case Json::realValue: push(Json::valueToString(value.asDouble())); break;
      case Json::stringValue: push(quoted(value)); break;
      case Json::booleanValue: push(value.asBool() ? "true" : "false"); break;
      case Json::arrayValue: writeArray(value); break;
      case Json::objectValue: writeObject(value); break;
    }
  }

  void writeObject(const Json::Value& value) {
    Json::Value::Members names = value.getMemberNames();
    if (names.empty()) return push("{}");
    withIndent("{");
    m_indent += '\t';
    for (size_t i = 0; i < names.size(); ++i) {
      if (i) m_out += ',';
      withIndent(Json::valueToQuotedString(names[i].c_str()));
      m_out += " : ";
      writeValue(value[names[i]]);
    }
    m_indent.pop_back();
    withIndent("}");
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
    if (size == 0) return push("[]");
    if (!isMultiline(value)) {
      m_out += "[ ";
      for (Json::ArrayIndex i = 0; i < size; ++i) {
        if (i) m_out += ", ";
        m_out += m_children[i];
      }
      m_out += " ]";
      return;
    }
    withIndent("[");
    m_indent += '\t';
    std::vector<std::string> children;
    children.swap(m_children);  // the values measured on the way, if any
    for (Json::ArrayIndex i = 0; i < size; ++i) {
      if (i) m_out += ',';
      if (!children.empty()) {
        withIndent(children[i]);
      } else {
        if (!m_indented) newLine();
        m_indented = true;
        writeValue(value[i]);
        m_indented = false;
      }
    }
    m_indent.pop_back();
    withIndent("]");
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
  if (styled.write(document)) return std::move(styled.text());
  std::ostringstream text;
  Json::StyledStreamWriter("\t").write(text, document);
  return text.str();
}
