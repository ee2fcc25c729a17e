// The kernel's mount table (/etc/mtab): a line per mount, its fields separated
// by blanks, a blank, tab, line feed or backslash inside a field written as an
// octal escape ("\040", "\011", "\012", "\134").
#pragma once

#include <string>
#include <vector>

// How the table writes a text, and back. Each escape decodes once, left to
// right: "a\134134b" is "a\134b", never "a\b".
std::string mtabEscape(const std::string& text);
std::string mtabUnescape(const std::string& text);

// One line of the table: the mounted source as written (escapes kept, so that
// it compares with an escaped name) and the directory it is mounted on, decoded.
struct MountEntry {
  std::string source;
  std::string mountPoint;
};

// The source is the first field. The mount point runs from the first "/" after
// it to the next blank; false when there is none (not a usable mount).
bool parseMountLine(const std::string& line, MountEntry& entry);

// The lines of the table's text, each whole; a last line needs no line feed.
std::vector<std::string> mountTableLines(const std::string& text);

// The table file's text (far more than any box's table is read; a longer one
// this far); empty when it cannot be read.
std::string readMountTable(const std::string& path);
