// An update package as it arrives from the update server: a zip archive
// whose listing is read before anything is unpacked, and a manifest of its
// files, signed by the maker.
//
// The manifest is sha256sum's output for every file of the package but the
// manifest and its signature: one line "<64 lower-case hex digits>  <path>"
// per file. Paths are plain relative paths made of letters, digits and
// "._+-" between slashes, never "." or "..".
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// Bounds of a package: the download, what it unpacks to, its entries, and
// the two files read before its signature is known to be good.
inline constexpr size_t kMaxArchiveBytes = 16u << 20;
inline constexpr size_t kMaxUnpackedBytes = 32u << 20;
inline constexpr size_t kMaxEntries = 512;
inline constexpr size_t kMaxManifestBytes = 64u << 10;
inline constexpr size_t kMaxSignatureBytes = 4u << 10;

inline constexpr const char* kManifestName = "manifest";
inline constexpr const char* kSignatureName = "manifest.minisig";
inline constexpr const char* kScriptName = "update.sh";

struct ArchiveEntry {
  std::string name;  // a folder's ends with "/"
  unsigned long long size = 0;
};

// The entries of an archive's listing ("unzip -qql": length, date, time and,
// after three blanks, the name). False when a line is no entry.
bool readListing(const std::string& text, std::vector<ArchiveEntry>& entries);

// The size of the file entry of that name, -1 when there is none.
long long entrySize(const std::vector<ArchiveEntry>& entries, const std::string& name);

// True when every name is a plain relative path (folders with their "/"),
// no file is listed twice, and the number of entries and the files' total
// size stay within the bounds.
bool listingWithinBounds(const std::vector<ArchiveEntry>& entries);

// The manifest's files, by path: their SHA-256 in hexadecimal. False when a
// line is malformed, a path not plain, listed twice, or the manifest's or its
// signature's own.
bool readManifest(const std::string& text, std::map<std::string, std::string>& files);

// True when the archive's files are exactly the manifest's, the manifest
// and its signature.
bool listingMatchesManifest(const std::vector<ArchiveEntry>& entries, const std::map<std::string, std::string>& files);

// A plain relative path, as the package's names must be.
bool isPackagePath(const std::string& path);

inline constexpr const char* kVersionName = "version";

// True when version a ("0.7.1", "0.7.1-b": numbers between dots, anything
// after them ignored) is older than version b.
bool isOlderVersion(const std::string& a, const std::string& b);
