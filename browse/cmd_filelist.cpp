// "file_list": one folder of a source, subfolders first, with play paths and
// covers; finished answers are kept in a cache folder until asked afresh.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "browse/covers.h"
#include "browse/entryorder.h"
#include "browse/filetypes.h"
#include "browse/sourcelookup.h"
#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

const char kSettingsFile[] = "tavo_folder.txt";

// The entries of a folder in one batch, in entry order, freed on leaving.
class SortedEntries {
 public:
  explicit SortedEntries(const std::string& folder) : m_count(scandir(folder.c_str(), &m_list, nullptr, compareDirents)) {}
  ~SortedEntries() {
    for (int i = 0; i < m_count; ++i) free(m_list[i]);
    free(m_list);
  }
  SortedEntries(const SortedEntries&) = delete;
  SortedEntries& operator=(const SortedEntries&) = delete;

  bool ok() const { return m_count >= 0; }
  int count() const { return m_count; }
  const char* name(int i) const { return m_list[i]->d_name; }

 private:
  struct dirent** m_list = nullptr;
  int m_count;
};

std::string cacheFile(const std::string& key) { return rooted(paths::kCacheDir) + sha1Hex(key); }

class CmdProcFileList : public CmdProcessor {
 public:
  explicit CmdProcFileList(Request* request)
      : CmdProcessor(request),
        m_path(request->get("path")),
        m_showCovers(Config::instance()->get("show_covers") == "true"),
        m_playFoldersWithCover(Config::instance()->get("play_dwc") == "true") {}

  ProcessResult* process() override {
    std::string cached;
    if (m_request->getInt("ignore_cache") == 0 && readFile(cacheFile(m_path), cached) && !cached.empty())
      return new ProcessResultJsonText(cached);
    IFilesSource* source = findSourceByVirtualPath(m_path);
    if (!source) return makeErrorResult("invalid path");
    if (m_path.back() != '/') m_path += '/';
    Json::Value root(Json::objectValue);
    root["files"] = listFolder(source->virtualToReal(m_path));
    m_path.pop_back();
    root["currDirPlayPath"] = m_path;
    std::string text = toJsonText(root);
    store(m_path, text);
    return new ProcessResultJsonText(text);
  }

 private:
  // Subfolders, then files, each group in entry order; m_path ends with "/".
  Json::Value listFolder(const std::string& folder) {
    SortedEntries entries(folder);
    if (!entries.ok()) {
      int error = errno;
      throw AppException("dir error (" + std::to_string(error) + "): " + folder);
    }
    Json::Value folders(Json::arrayValue), files(Json::arrayValue);
    std::string entryPath = folder;
    for (int i = 0; i < entries.count(); ++i) {
      const char* name = entries.name(i);
      if (name[0] == '.') continue;
      entryPath.replace(folder.size(), std::string::npos, name);
      struct stat64 status;
      if (stat64(entryPath.c_str(), &status) != 0) throw AppException("stat64 error 0-" + std::to_string(errno));
      if (S_ISDIR(status.st_mode))
        folders.append(folderEntry(name, entryPath));
      else if (S_ISREG(status.st_mode) && (isPlayableFile(name) || strcmp(name, kSettingsFile) != 0))
        files.append(fileEntry(name));
    }
    for (Json::Value& file : files) folders.append(std::move(file));
    return folders;
  }

  Json::Value folderEntry(const char* name, std::string& realPath) {
    Json::Value entry(Json::objectValue);
    entry["name"] = name;
    entry["path"] = m_path + name;
    realPath += '/';
    CoverFinder finder(realPath, m_showCovers || m_playFoldersWithCover);
    const std::string& cover = finder.cover();
    bool playable = finder.isDiscFolder();
    if (finder.hasMedia() || (m_playFoldersWithCover && !cover.empty())) {
      playable = true;
      if (m_showCovers && !cover.empty()) entry["cover"] = cover;
    }
    if (playable) entry["play_path"] = m_path + name;
    return entry;
  }

  Json::Value fileEntry(const char* name) {
    Json::Value entry(Json::objectValue);
    entry["name"] = name;
    if (isPlayableFile(name)) entry["play_path"] = m_path + name;
    return entry;
  }

  // A cache that cannot be written only costs the next request a new listing.
  static void store(const std::string& key, const std::string& text) {
    std::string folder = rooted(paths::kCacheDir);
    if (!canOpenDirectory(folder) && !makeDirectory(folder, 0775)) {
      logError("mkdir '%s' failed", folder.c_str());
      return;
    }
    writeFileAtomic(cacheFile(key), text);
  }

  std::string m_path;
  bool m_showCovers;
  bool m_playFoldersWithCover;
};

CmdProcessorCreatorImpl<CmdProcFileList> s_creator("file_list");

}  // namespace
