// "try_update" downloads an update package, checks its bounds and the maker's
// signature, unpacks what the signed manifest names and runs its update.sh;
// "cancel_update" puts the next automatic version check a week off.
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"
#include "core/utils.h"
#include "core/version.h"
#include "update/boundedrun.h"
#include "update/package.h"
#include "update/signature.h"
#include "update/updateserver.h"

namespace {

const char kDownloadPath[] = "/download.php?file_name=tavo_update";
const long kCancelDelay = 604800;

// An archive may take a while on a slow line, but a server silent for 10
// seconds gets only one more try, and no download outlasts 10 minutes.
const DownloadLimits kArchiveLimits = {10, 2, 600, kMaxArchiveBytes + 1};
const int kUnpackLimit = 300;
// The script installs a release of a few megabytes on the flash and checks
// it before switching to it; after 5 minutes it is killed with everything it
// started (its process group).
const int kScriptLimit = 300;
// Room for the listing lines of the most entries with the longest paths.
const size_t kMaxListingBytes = kMaxEntries * 320;

// "error 0 " keeps its trailing blank: clients of the update answer match the whole text.
const char kNoArchive[] = "error 0 ";
const char kNoUnpackDirectory[] = "error 1";
const char kNoScript[] = "error 2";
const char kScriptFailed[] = "error 3";
const char kRefused[] = "error 4";

size_t fileSize(const std::string& path) {
  int fd = openRegularFile(path);
  if (fd < 0) return 0;
  size_t size = regularFileSize(fd);
  closeFile(fd);
  return size;
}

// The archive, its listing and the unpack folder live only as long as the
// request: /tmp is the player's RAM.
class Scratch {
 public:
  Scratch()
      : archive(rooted(paths::kUpdateArchive)),
        listing(rooted(paths::kUpdateListing)),
        errors(rooted(paths::kUpdateErrors)),
        dir(rooted(paths::kUpdateDir)) {
    unlink(archive.c_str());
  }
  // Also what an update ended before its clean-up left.
  ~Scratch() {
    for (const std::string* file : {&archive, &listing, &errors}) unlink(file->c_str());
    if (m_dirMade || isDirectory(dir)) removeTree(dir);
  }

  // An empty unpack folder: one left by an earlier update goes first. False
  // when it cannot be made.
  bool makeDir() {
    if (isDirectory(dir)) removeTree(dir);
    m_dirMade = makeDirectory(dir, 0775);
    return m_dirMade;
  }

  const std::string archive;
  const std::string listing;
  const std::string errors;  // what update.sh wrote to its standard error
  const std::string dir;

 private:
  bool m_dirMade = false;
};

// Unpacks one file of the archive to path, cut at the size its listing gives
// it (a forged archive cannot unpack to more than it lists).
bool extract(const std::string& archive, const std::string& name, unsigned long long size, const std::string& path) {
  return exitedCleanly(runWithinFileSize({"unzip", "-p", archive, name}, size, path, kUnpackLimit));
}

// Makes the folders of a package path below dir.
bool makeParents(const std::string& dir, const std::string& name) {
  for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
    std::string folder = dir + "/" + name.substr(0, slash);
    if (!isDirectory(folder) && !makeDirectory(folder, 0775)) return false;
  }
  return true;
}

// The manifest, once its signature has been checked against the maker's key.
bool signedManifest(const Scratch& scratch, const std::vector<ArchiveEntry>& entries,
                    std::map<std::string, std::string>& files) {
  long long manifestSize = entrySize(entries, kManifestName);
  long long signatureSize = entrySize(entries, kSignatureName);
  std::string manifestPath = scratch.dir + "/" + kManifestName;
  std::string signaturePath = scratch.dir + "/" + kSignatureName;
  std::string manifest, signature;
  return manifestSize >= 0 && manifestSize <= static_cast<long long>(kMaxManifestBytes) && signatureSize >= 0 &&
         signatureSize <= static_cast<long long>(kMaxSignatureBytes) &&
         extract(scratch.archive, kManifestName, manifestSize, manifestPath) &&
         extract(scratch.archive, kSignatureName, signatureSize, signaturePath) &&
         readFile(manifestPath, manifest, kMaxManifestBytes) &&
         readFile(signaturePath, signature, kMaxSignatureBytes) &&
         signatureValid(manifest, signature, updatePublicKey()) && readManifest(manifest, files);
}

// Unpacks every file of the manifest and checks it against its digest.
bool unpackManifestFiles(const Scratch& scratch, const std::vector<ArchiveEntry>& entries,
                         const std::map<std::string, std::string>& files) {
  for (const auto& [name, digest] : files) {
    std::string path = scratch.dir + "/" + name;
    if (!makeParents(scratch.dir, name) || !extract(scratch.archive, name, entrySize(entries, name), path) ||
        fileSha256(path) != digest)
      return false;
  }
  return true;
}

// The last line a file's first kilobytes end with.
std::string lastLine(const std::string& path) {
  std::string text;
  readFile(path, text, 4096);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
}

// Why a package is not run: its answer, and what the log says.
struct Refusal {
  const char* answer;
  const char* reason;
};

class CmdProcTryUpdate : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Scratch scratch;
    download(updateBaseUrl() + kDownloadPath + "&user_id=" + readSerialId(), scratch.archive, kArchiveLimits);
    size_t size = fileSize(scratch.archive);
    if (size == 0) return makeErrorResult(kNoArchive);  // wget leaves an empty file when it fails
    if (size > kMaxArchiveBytes) return refuse({kRefused, "the archive is larger than the bound"});
    if (!scratch.makeDir()) return makeErrorResult(kNoUnpackDirectory);
    Refusal refusal = check(scratch);
    if (refusal.answer) return refuse(refusal);

    ProgramResult script =
        runProgram("sh", {"-c", "cd \"$1\" && exec sh update.sh 2>\"$2\"", "sh", scratch.dir, scratch.errors},
                   sandboxTimeLimit("TAVORC_UPDATE_TIME_LIMIT", kScriptLimit));
    if (exitedCleanly(script)) return makeOkResult("");
    logError("update.sh %s: %s", script.timedOut ? "was stopped at its time limit" : "failed",
             lastLine(scratch.errors).c_str());
    return makeErrorResult(kScriptFailed);
  }

 private:
  // Reads the listing before anything is unpacked: a package must list an
  // update.sh, keep its bounds, carry a manifest signed with the maker's key
  // that names exactly its files, and unpack to exactly those files.
  static Refusal check(const Scratch& scratch) {
    std::vector<ArchiveEntry> entries;
    ProgramResult listing =
        runWithinFileSize({"unzip", "-qql", scratch.archive}, kMaxListingBytes, scratch.listing, kUnpackLimit);
    std::string text;
    if (fileSize(scratch.listing) >= kMaxListingBytes) return {kRefused, "the archive lists too many entries"};
    if (!exitedCleanly(listing)) return {kNoScript, nullptr};  // no zip archive
    if (!readFile(scratch.listing, text, kMaxListingBytes) || !readListing(text, entries))
      return {kRefused, "the archive's listing cannot be read"};
    if (entrySize(entries, kScriptName) < 0) return {kNoScript, nullptr};
    if (!listingWithinBounds(entries)) return {kRefused, "the archive is beyond the bounds or names a path outside"};
    std::map<std::string, std::string> files;
    if (!signedManifest(scratch, entries, files)) return {kRefused, "the package is not signed with the maker's key"};
    if (!listingMatchesManifest(entries, files))
      return {kRefused, "the archive holds files its manifest does not name"};
    if (!unpackManifestFiles(scratch, entries, files)) return {kRefused, "a file differs from the manifest"};
    // Every package the maker ever signed stays signed: an older one would
    // bring back what a newer one mended.
    std::string version;
    if (files.count(kVersionName) && readFile(scratch.dir + "/" + kVersionName, version, 256) &&
        isOlderVersion(version, kProgramVersion))
      return {kRefused, "the package is older than the version running"};
    return {nullptr, nullptr};
  }

  static ProcessResult* refuse(const Refusal& refusal) {
    if (refusal.reason) logError("update refused: %s", refusal.reason);
    return makeErrorResult(refusal.answer);
  }
};

class CmdProcCancelUpdate : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Config::instance()->root()["nnvc"] = timeText(kCancelDelay);
    return makeOkResult("");
  }
};

CmdProcessorCreatorImpl<CmdProcTryUpdate> s_tryCreator("try_update");
CmdProcessorCreatorImpl<CmdProcCancelUpdate> s_cancelCreator("cancel_update");

}  // namespace
