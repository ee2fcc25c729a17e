// Fuzz target: what an update package hands the program before its signature
// is known to be good. The input is split at its first zero byte into an
// archive listing and a manifest (the signature file is the manifest's last
// four lines). An accepted listing within the bounds names only plain
// relative paths, each file once, within the total; an accepted manifest only
// plain paths with 64-digit digests; and no message but the one signed with
// the key (that of the seeds) passes as signed.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "update/package.h"
#include "update/signature.h"

namespace {

const char kKey[] = "RWT1N/rWJCtyl16SyE8CpCiKhKA4Wuhd8297naAvc5uuWq0B9BC67m3/";
const char kSigned[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef  update.sh\n";

// No empty, "." or ".." part, nothing in front of the first "/".
bool plainRelative(const std::string& path) {
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

void checkListing(const std::string& text) {
  std::vector<ArchiveEntry> entries;
  if (!readListing(text, entries) || !listingWithinBounds(entries)) return;
  std::set<std::string> names;
  unsigned long long total = 0;
  for (const ArchiveEntry& entry : entries) {
    std::string path = entry.name;
    if (!path.empty() && path.back() == '/') path.pop_back();
    if (!plainRelative(path) || !names.insert(entry.name).second) abort();
    total += entry.size;
  }
  if (entries.size() > kMaxEntries || total > kMaxUnpackedBytes) abort();
}

void checkManifest(const std::string& text) {
  std::map<std::string, std::string> files;
  if (!readManifest(text, files)) return;
  for (const auto& [path, digest] : files)
    if (!plainRelative(path) || digest.size() != 64) abort();
  std::vector<ArchiveEntry> listed;
  for (const auto& file : files) listed.push_back({file.first, 1});
  if (!listingMatchesManifest(listed, files)) abort();
}

}  // namespace

int fuzzUpdatePackage(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t zero = input.find('\0');
  std::string listing = input.substr(0, zero);
  std::string manifest = zero == std::string::npos ? "" : input.substr(zero + 1);
  checkListing(listing);
  checkManifest(manifest);
  // The signature: what follows the fifth line feed from the end.
  size_t at = manifest.size();
  int feeds = 0;
  while (feeds < 5 && at > 0 && manifest.rfind('\n', at - 1) != std::string::npos) {
    at = manifest.rfind('\n', at - 1);
    ++feeds;
  }
  std::string signature = feeds == 5 ? manifest.substr(at + 1) : manifest;
  std::string message = manifest.substr(0, manifest.size() - signature.size());
  if (signatureValid(message, signature, kKey) && message != kSigned) abort();
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzUpdatePackage(data, size); }
#endif
