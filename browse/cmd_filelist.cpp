// "file_list": one folder of a source, subfolders first, with play paths and
// covers; finished answers are kept in a cache folder while the folder and
// the cover options stay as they were, or until asked afresh.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "browse/covers.h"
#include "browse/entryorder.h"
#include "browse/filelisting.h"
#include "browse/filetypes.h"
#include "browse/listingcache.h"
#include "browse/sourcelookup.h"
#include "browse/storage.h"
#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/utils.h"

namespace {

// FNV-1a: a short fingerprint of the cover patterns for the cache's side file.
unsigned fingerprint(const std::string& text) {
  unsigned hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

class CmdProcFileList : public CmdProcessor {
 public:
  explicit CmdProcFileList(Request* request)
      : CmdProcessor(request),
        m_path(request->get("path")),
        m_showCovers(Config::instance()->get("show_covers") == "true"),
        m_playFoldersWithCover(Config::instance()->get("play_dwc") == "true") {}

  ProcessResult* process() override {
    bool useCache = m_request->getInt("ignore_cache") == 0;
    unsigned options = coverOptions();
    if (useCache) {
      if (ProcessResult* cached = listingcache::answer(m_path, options)) return cached;
    }
    IFilesSource* source = findSourceByVirtualPath(m_path);
    if (!source) {
      // A storage unplugged can leave its empty mount point behind, which no
      // longer looks like the folder listed: the stored listing is all there is.
      ProcessResult* stored = useCache ? listingcache::storedAnswer(m_path) : nullptr;
      return stored ? stored : makeErrorResult("invalid path");
    }
    if (m_path.back() != '/') m_path += '/';
    std::string currDirPlayPath = m_path.substr(0, m_path.size() - 1);
    std::string folder = source->virtualToReal(m_path);
    m_sourceRoot = sourceRootOf(*source);
    listingcache::FolderStamp stamp = listingcache::FolderStamp::of(folder, options);
    SortedFolder entries(folder);
    if (!entries.ok()) return makeErrorResult(entries.readError());
    std::string text = listFolder(entries).finish(currDirPlayPath);
    if (trimPublishedCovers()) listingcache::drop();  // stored listings may name covers now gone
    listingcache::store(currDirPlayPath, text, stamp);
    return new ProcessResultJsonText(std::move(text));
  }

 private:
  // Subfolders, then files, each group in entry order.
  FileListWriter listFolder(const SortedFolder& entries) {
    FileListWriter listing(m_path, entries.count());
    size_t unreadable = entries.forEachEntry([&](const char* name, std::string& path, const struct stat64& status) {
      if (S_ISDIR(status.st_mode)) {
        path += '/';
        addFolder(listing, name, path);
      } else if (S_ISREG(status.st_mode)) {
        bool playable = isPlayableFile(name);
        if (playable || strcmp(name, Storage::kSettingsFileName) != 0) listing.addFile(name, playable);
      }
    });
    // One link whose target is gone must not hide the whole folder.
    if (unreadable) logError("listing left out entries that cannot be read: %zu", unreadable);
    return listing;
  }

  // A folder is playable as a disc folder, when it holds media, or when it has a
  // cover and folders with covers are played; only then does it show its cover.
  void addFolder(FileListWriter& listing, const char* name, const std::string& realPath) {
    if (!m_coverPatterns) m_coverPatterns.emplace();
    CoverFinder finder(realPath, m_showCovers || m_playFoldersWithCover, *m_coverPatterns, m_sourceRoot);
    const std::string& cover = finder.cover();
    bool playable = finder.isDiscFolder();
    bool showCover = false;
    if (finder.hasMedia() || (m_playFoldersWithCover && !cover.empty())) {
      playable = true;
      showCover = m_showCovers && !cover.empty();
    }
    listing.addFolder(name, showCover ? cover : std::string(), playable);
  }

  // What decides a listing's covers: whether they are shown or make a folder
  // playable and, when either, the options naming the cover files.
  unsigned coverOptions() const {
    unsigned flags = (m_showCovers ? listingcache::kShowCovers : 0u) |
                     (m_playFoldersWithCover ? listingcache::kPlayFoldersWithCover : 0u);
    if (!flags) return 0;
    return flags | (fingerprint(CoverPatterns::inEffect()) &
                    ~(listingcache::kShowCovers | listingcache::kPlayFoldersWithCover));
  }

  std::string m_path;
  std::string m_sourceRoot;
  bool m_showCovers;
  bool m_playFoldersWithCover;
  std::optional<CoverPatterns> m_coverPatterns;  // read from the configuration at the first subfolder
};

CmdProcessorCreatorImpl<CmdProcFileList> s_creator("file_list");

}  // namespace
