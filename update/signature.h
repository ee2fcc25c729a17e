// Signatures of update packages in minisign's format (Ed25519), and the
// digests that tie a package's files to its signed manifest; both through
// libsodium.
#pragma once

#include <string>

// True when signatureText, a minisign signature file, signs message with the
// key publicKey (the base64 line of a minisign public key file): the key ids
// agree, the signature verifies over the message itself (algorithm "Ed") or
// over its BLAKE2b-512 hash ("ED", what minisign writes by default), and the
// global signature verifies over that signature and the trusted comment.
bool signatureValid(const std::string& message, const std::string& signatureText, const std::string& publicKey);

// The SHA-256 of a regular file in lower-case hexadecimal, as sha256sum
// prints it; empty when it cannot be read.
std::string fileSha256(const std::string& path);
