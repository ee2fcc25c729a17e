#include "browse/filelisting.h"

#include <json/writer.h>

#include <cstring>

#include "core/plaintext.h"

namespace {

bool isPlain(const char* text) { return isPlainText(text, strlen(text)); }

void appendQuoted(std::string& out, const char* text, bool plain) {
  if (!plain) {
    out += Json::valueToQuotedString(text);
    return;
  }
  out += '"';
  out += text;
  out += '"';
}

void startEntry(std::string& out) { out += out.empty() ? "{" : ",{"; }

}  // namespace

FileListWriter::FileListWriter(const std::string& listingPath, size_t expectedEntries)
    : m_listingPath(listingPath), m_plainPath(isPlain(listingPath.c_str())) {
  // Room for a typical entry: its name twice and the path once.
  m_files.reserve(expectedEntries * (listingPath.size() + 64));
}

// Path and name are quoted apart when both are plain; the path ends with "/",
// so no character is split between them.
void FileListWriter::appendPath(std::string& out, const char* member, const char* name, bool plainName) const {
  out += member;
  if (m_plainPath && plainName) {
    out += '"';
    out += m_listingPath;
    out += name;
    out += '"';
  } else {
    out += Json::valueToQuotedString((m_listingPath + name).c_str());
  }
}

// Members in the writer's order (sorted by name): cover, name, path, play_path.
void FileListWriter::addFolder(const char* name, const std::string& cover, bool playable) {
  bool plain = isPlain(name);
  startEntry(m_folders);
  if (!cover.empty()) {
    m_folders += "\"cover\":";
    appendQuoted(m_folders, cover.c_str(), isPlain(cover.c_str()));
    m_folders += ',';
  }
  m_folders += "\"name\":";
  appendQuoted(m_folders, name, plain);
  appendPath(m_folders, ",\"path\":", name, plain);
  if (playable) appendPath(m_folders, ",\"play_path\":", name, plain);
  m_folders += '}';
}

void FileListWriter::addFile(const char* name, bool playable) {
  bool plain = isPlain(name);
  startEntry(m_files);
  m_files += "\"name\":";
  appendQuoted(m_files, name, plain);
  if (playable) appendPath(m_files, ",\"play_path\":", name, plain);
  m_files += '}';
}

// The files, usually the bulk of a listing, stay where they were written:
// the head and the folders go in front of them, in the room reserved for them.
std::string FileListWriter::finish(const std::string& currDirPlayPath) {
  std::string head = "{\"currDirPlayPath\":";
  appendQuoted(head, currDirPlayPath.c_str(), isPlain(currDirPlayPath.c_str()));
  head += ",\"files\":[";
  head += m_folders;
  if (!m_folders.empty() && !m_files.empty()) head += ',';
  std::string().swap(m_folders);
  std::string out = std::move(m_files);
  out.reserve(head.size() + out.size() + 3);
  out.insert(0, head);
  out += "]}\n";
  return out;
}
