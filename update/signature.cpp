#include "update/signature.h"

#include <sodium.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "core/sysio.h"

namespace {

const size_t kAlgorithmBytes = 2;
const size_t kKeyIdBytes = 8;
const char kUntrustedPrefix[] = "untrusted comment: ";
const char kTrustedPrefix[] = "trusted comment: ";

// The decoded bytes of a base64 text (with padding), only when all of it
// decodes to exactly `bytes` bytes.
bool decodeBase64(const std::string& text, size_t bytes, std::vector<unsigned char>& out) {
  out.assign(bytes + 1, 0);
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != bytes)
    return false;
  out.resize(bytes);
  return true;
}

// The four lines of a signature file, each without its line feed (and a
// carriage return before it).
bool splitLines(const std::string& text, std::vector<std::string>& lines) {
  size_t start = 0;
  while (start < text.size() && lines.size() < 5) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines.size() == 4;
}

bool startsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

bool verified(const unsigned char* signature, const unsigned char* message, size_t length, const unsigned char* key) {
  return crypto_sign_verify_detached(signature, message, length, key) == 0;
}

}  // namespace

// sodium_init() is not called: it would pick faster implementations of
// everything the library holds, and so link them all into the program (66 kB
// on the player). The functions used here start with their portable
// implementations and need nothing set up.
bool signatureValid(const std::string& message, const std::string& signatureText, const std::string& publicKey) {
  std::vector<unsigned char> key, signature, global;
  std::vector<std::string> lines;
  if (!decodeBase64(publicKey, kAlgorithmBytes + kKeyIdBytes + crypto_sign_PUBLICKEYBYTES, key) ||
      memcmp(key.data(), "Ed", kAlgorithmBytes) != 0 || !splitLines(signatureText, lines) ||
      !startsWith(lines[0], kUntrustedPrefix) || !startsWith(lines[2], kTrustedPrefix) ||
      !decodeBase64(lines[1], kAlgorithmBytes + kKeyIdBytes + crypto_sign_BYTES, signature) ||
      !decodeBase64(lines[3], crypto_sign_BYTES, global))
    return false;
  const unsigned char* keyId = key.data() + kAlgorithmBytes;
  const unsigned char* keyBytes = keyId + kKeyIdBytes;
  const unsigned char* signatureBytes = signature.data() + kAlgorithmBytes + kKeyIdBytes;
  if (memcmp(signature.data() + kAlgorithmBytes, keyId, kKeyIdBytes) != 0) return false;

  const auto* text = reinterpret_cast<const unsigned char*>(message.data());
  if (memcmp(signature.data(), "ED", kAlgorithmBytes) == 0) {
    unsigned char hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, text, message.size(), nullptr, 0);
    if (!verified(signatureBytes, hash, sizeof hash, keyBytes)) return false;
  } else if (memcmp(signature.data(), "Ed", kAlgorithmBytes) == 0) {
    if (!verified(signatureBytes, text, message.size(), keyBytes)) return false;
  } else {
    return false;
  }
  // The trusted comment is signed together with the signature it follows.
  std::string trusted(reinterpret_cast<const char*>(signatureBytes), crypto_sign_BYTES);
  trusted += lines[2].substr(strlen(kTrustedPrefix));
  return verified(global.data(), reinterpret_cast<const unsigned char*>(trusted.data()), trusted.size(), keyBytes);
}

std::string fileSha256(const std::string& path) {
  int fd = openRegularFile(path);
  if (fd < 0) return "";
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  unsigned char buffer[16384];
  ssize_t got;
  while ((got = readFully(fd, buffer, sizeof buffer)) > 0)
    crypto_hash_sha256_update(&state, buffer, static_cast<unsigned long long>(got));
  closeFile(fd);
  if (got < 0) return "";
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}
