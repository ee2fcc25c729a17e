// MD5 (RFC 1321) and SHA-1 (FIPS 180-1) over a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>

void md5Digest(const void* data, size_t length, uint8_t out[16]);
void sha1Digest(const void* data, size_t length, uint8_t out[20]);
