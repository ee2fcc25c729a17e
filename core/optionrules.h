// Options whose values are checked before they are stored or used: the cover
// file patterns (a cover must stay a picture of the folder) and the further
// host names of the box. Every other option takes any text.
#pragma once

#include <string>

// The answer of an "option set" that would store a value its option refuses.
inline constexpr const char* kInvalidOptionValue = "invalid option value";

// False when the option has rules and the value breaks them. An empty value
// always passes: the option's default then applies.
bool isAcceptableOptionValue(const std::string& name, const std::string& value);

// The extension (without its dot, any case) of a picture type a cover may be:
// jpg, jpeg, png, gif, bmp or webp.
bool isImageExtension(const char* extension);

// Whether host (lower case, without port) is one of the names in the
// "allowed_hosts" value (comma-separated, blanks around names ignored, any case).
bool isListedHost(const std::string& list, const std::string& host);
