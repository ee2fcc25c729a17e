// What makes a package acceptable before anything of it runs: minisign
// signatures (made with the minisign program and a throw-away key), the
// archive's listing and the manifest.
#include "update/package.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/fuzzrun.h"
#include "update/signature.h"

int fuzzUpdatePackage(const uint8_t* data, size_t size);

namespace {

const char kKey[] = "RWT1N/rWJCtyl16SyE8CpCiKhKA4Wuhd8297naAvc5uuWq0B9BC67m3/";
const char kOtherKey[] = "RWTPzzPz/5M0n0l7FJg03luLNv7ZZonrRDzXemyxbMIE86r3MSY0L3mf";
const char kMessage[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef  update.sh\n";
const char kUntrusted[] = "untrusted comment: signature from minisign secret key\n";
const char kTrusted[] = "trusted comment: tavorc 0.8.0\n";
// minisign -S (the hash of the message is signed, "ED"), with kKey.
const char kHashed[] =
    "RUT1N/rWJCtyl/65mLpa/wASDTu1Mn0zSU0VsOQJpwDPzTBigYIPPCh26MpPUfS7u4bYUU6/UwkOeGnRB3gNsJnt1fVc2IuLoQc=\n";
const char kHashedGlobal[] =
    "fmVz7C1YYKnvyZ/WReQrndJaiooV1mI+gyKsD8/3+8O00DOGzSFKkNymd3MgStEYZjXTuwy89sUiqaflj2KBAw==\n";
// minisign -S -l (the message itself, "Ed"), with kKey.
const char kLegacy[] =
    "RWT1N/rWJCtyl9Ico81P01D1HaUw4V9yFhLPGMFTtZUe7bJCoL4dS7N8HMRXSk07iHgUasl9gf/L4GCQCGEc4bJlFYa11/1Mtw4=\n";
const char kLegacyGlobal[] =
    "0Bvgnurwc2DNQ019JeEdPb8xLa9ycwr3wI+gyhdy3Qlz43pmd/uSN/tAl9jKdg6B6RHYLx/kAb68BGSSxAYdDg==\n";
// minisign -S with kOtherKey, and the same with kKey's id put in.
const char kOther[] =
    "RUTPzzPz/5M0n1DVUbMLK5G7ChybnW+AleX84+chEyHUvqh/C12yOc27JmyjCbHOWAx5iqOsNUA+LWXvYRbtVINdCCfRSGwuMgo=\n";
const char kOtherGlobal[] =
    "a/xjSKHUZi6xDAsiDrDXpBgGYjGyS4daOmdtW+Ei2JHKZxKqvqKsIWnYJjNHdLEY4SQg1o432T/+Y1+e1pI0Bw==\n";
const char kOtherAsKey[] =
    "RUT1N/rWJCtyl1DVUbMLK5G7ChybnW+AleX84+chEyHUvqh/C12yOc27JmyjCbHOWAx5iqOsNUA+LWXvYRbtVINdCCfRSGwuMgo=\n";

std::string signatureFile(const char* signature, const char* global, const char* trusted = kTrusted) {
  return std::string(kUntrusted) + signature + trusted + global;
}

TEST(Signature, OnlyTheMakersKeyOverTheWholeMessageAndTrustedComment) {
  const struct {
    const char* description;
    std::string message, signature, key;
    bool valid;
  } cases[] = {
      {"hashed, as minisign signs by default", kMessage, signatureFile(kHashed, kHashedGlobal), kKey, true},
      {"the message itself (legacy)", kMessage, signatureFile(kLegacy, kLegacyGlobal), kKey, true},
      {"the message changed after signing", std::string(kMessage) + "x", signatureFile(kHashed, kHashedGlobal), kKey,
       false},
      {"legacy, the message changed", std::string(kMessage, 10), signatureFile(kLegacy, kLegacyGlobal), kKey, false},
      {"signed with another key", kMessage, signatureFile(kOther, kOtherGlobal), kKey, false},
      {"another key under this key's id", kMessage, signatureFile(kOtherAsKey, kOtherGlobal), kKey, false},
      {"checked against another key", kMessage, signatureFile(kHashed, kHashedGlobal), kOtherKey, false},
      {"trusted comment changed", kMessage, signatureFile(kHashed, kHashedGlobal, "trusted comment: tavorc 9.9.9\n"),
       kKey, false},
      {"global signature of another signature", kMessage, signatureFile(kHashed, kLegacyGlobal), kKey, false},
      {"no global signature", kMessage, std::string(kUntrusted) + kHashed + kTrusted, kKey, false},
      {"a line more", kMessage, signatureFile(kHashed, kHashedGlobal) + "\n", kKey, false},
      {"no built-in key", kMessage, signatureFile(kHashed, kHashedGlobal), "", false},
      {"a key that is no base64", kMessage, signatureFile(kHashed, kHashedGlobal), std::string(kKey, 55) + "*", false},
      {"empty", kMessage, "", kKey, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.valid, signatureValid(c.message, c.signature, c.key)) << c.description;
}

TEST(PackageListing, BoundsAndPlainPathsBeforeAnythingIsUnpacked) {
  const struct {
    const char* description;
    std::string listing;
    bool readable, withinBounds;
  } cases[] = {
      {"a package",
       "      120  2026-12-09 22:19   update.sh\n        0  2026-12-09 22:19   bin/\n"
       "  1682200  12-09-2026 22:19   bin/tavorc\n",
       true, true},
      {"a blank in a name", "       10  2026-12-09 22:19   www/rc/a b\n", true, false},
      {"a parent folder", "        1  2026-12-09 22:19   ../update.sh\n", true, false},
      {"a folder in the path", "        1  2026-12-09 22:19   a/../../x\n", true, false},
      {"an absolute path", "        1  2026-12-09 22:19   /etc/x\n", true, false},
      {"a file twice", "        1  2026-12-09 22:19   x\n        1  2026-12-09 22:19   x\n", true, false},
      {"beyond the unpacked bound", "  33554433  2026-12-09 22:19   x\n", true, false},
      {"together beyond it", "  33554430  2026-12-09 22:19   x\n        3  2026-12-09 22:19   y\n", true, false},
      {"a size that overflows", "99999999999999999999999  2026-12-09 22:19   x\n", false, false},
      {"a header line", "  Length      Date    Time    Name\n", false, false},
      {"no blanks before the name", "        1  2026-12-09 22:19 x\n", false, false},
  };
  for (const auto& c : cases) {
    std::vector<ArchiveEntry> entries;
    ASSERT_EQ(c.readable, readListing(c.listing, entries)) << c.description;
    EXPECT_EQ(c.withinBounds, c.readable && listingWithinBounds(entries)) << c.description;
  }
  std::vector<ArchiveEntry> many(kMaxEntries + 1, ArchiveEntry{"x", 0});
  for (size_t i = 0; i < many.size(); ++i) many[i].name += std::to_string(i);
  EXPECT_FALSE(listingWithinBounds(many));
}

TEST(PackageManifest, NamesExactlyTheArchivesFiles) {
  const std::string digest(64, 'a');
  std::map<std::string, std::string> files;
  ASSERT_TRUE(readManifest(digest + "  update.sh\n" + digest + "  bin/tavorc\n", files));
  EXPECT_EQ((std::map<std::string, std::string>{{"update.sh", digest}, {"bin/tavorc", digest}}), files);

  for (const std::string& bad :
       {digest + "  update.sh", digest + " update.sh\n", digest + "  ../x\n", std::string(64, 'A') + "  x\n",
        digest + "  x\n" + digest + "  x\n", digest + "  manifest\n", digest + "  manifest.minisig\n", std::string()}) {
    std::map<std::string, std::string> read;
    EXPECT_FALSE(readManifest(bad, read)) << bad;
  }

  auto entries = [](std::vector<std::string> names) {
    std::vector<ArchiveEntry> list;
    for (const std::string& name : names) list.push_back({name, 1});
    return list;
  };
  EXPECT_TRUE(
      listingMatchesManifest(entries({"bin/", "bin/tavorc", "update.sh", "manifest", "manifest.minisig"}), files));
  EXPECT_FALSE(listingMatchesManifest(entries({"bin/tavorc", "update.sh", "manifest", "extra.sh"}), files));
  EXPECT_FALSE(listingMatchesManifest(entries({"update.sh", "manifest", "manifest.minisig"}), files));
}

TEST(UpdatePackageFuzz, AcceptedListingsAndManifestsKeepTheirPromises) {
  std::string digest(64, 'a');
  std::vector<std::string> seeds = {
      std::string("      120  2026-12-09 22:19   update.sh\n        0  2026-12-09 22:19   bin/\n") + '\0' + digest +
          "  update.sh\n" + digest + "  bin/tavorc\n",
      std::string("        1  12-09-2026 22:19   ../x\n") + '\0' + kUntrusted + kHashed + kTrusted + kHashedGlobal,
      std::string(kMessage) + '\0' + kMessage + kUntrusted + kLegacy + kTrusted + kLegacyGlobal,
  };
  EXPECT_GT(runFuzzBriefly(fuzzUpdatePackage, seeds), 20000u);
}

}  // namespace
