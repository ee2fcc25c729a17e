// Finding the file source responsible for a virtual path or a media URL:
// local storages first, then network sources.
#pragma once

#include <string>

#include "browse/filesource.h"

// None for an empty path, for one no source claims, and for one with a "." or
// ".." component, which could lead outside its source.
IFilesSource* findSourceByVirtualPath(const std::string& path);

// Likewise none for a URL whose part below the source has a "." or "..". A
// source's bare media URL prefix (its root) belongs to it.
IFilesSource* findSourceByMediaUrl(const std::string& url);

// The same, but a network share only when it is mounted already: nothing is
// mounted.
IFilesSource* findMountedSourceByMediaUrl(const std::string& url);
