// What a file is, judged by the extension after the last "." of its name.
#pragma once

bool isMediaFile(const char* name);
bool isPlaylistFile(const char* name);
bool isDiscImageFile(const char* name);
bool isImageFile(const char* name);
bool isDatFile(const char* name);
bool isPlayableFile(const char* name);
