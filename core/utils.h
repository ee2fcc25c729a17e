// Small helpers shared by every subsystem.
#pragma once

#include <ctime>
#include <list>
#include <string>
#include <vector>

#include "core/process.h"

// Formats value in base 2..36 into buffer (lower-case digits, "-" for negative
// values); an invalid base gives an empty text. Returns buffer, which must hold
// at least 34 characters.
char* intToString(int value, char* buffer, int base);

std::string hexUpper(const unsigned char* bytes, size_t count);
// The value of a hexadecimal digit of either case, -1 for any other character.
int hexValue(char c);
void appendHexUpper(std::string& out, const unsigned char* bytes, size_t count);
std::string md5Hex(const std::string& text);
std::string sha1Hex(const std::string& text);

// SHA-1 of the player's serial number line, or empty when there is none.
std::string readSerialId();

// Percent-encoding of a query value: letters, digits and "-_.~" stay, a blank
// becomes "+", other bytes "%xx" in lower case. The caller frees the result.
char* urlEncode(const char* text);

// Appends the pieces between separators; a trailing separator adds nothing.
void splitString(const char* text, char separator, std::list<std::string>& pieces);

// Whole-text match ignoring case: "?" is one character, "*" any run.
bool wildcardMatch(const char* pattern, const char* text);

bool isDirectory(const std::string& path);
bool isDirectoryEmpty(const std::string& path);
bool canOpenDirectory(const std::string& path);

// The text as the log may show it: each occurrence of password as "***". With
// wholeValue the text is a password's value (a query pair's, a mount option's)
// and shows as "***" even when empty, so the log never tells that none was given.
std::string maskPassword(std::string text, const std::string& password, bool wholeValue = false);

// The current time as decimal seconds ("%lu"), as the configuration keeps times.
std::string timeText(long offsetSeconds = 0);

// The calendar parts of a time in GMT (year, month, day, weekday, hour,
// minute, second), worked out without the C library's time zone files.
struct tm gmtParts(time_t when);
