// The outcome of logins already verified against a sealed book. A browser
// sends its credentials again with every request, and each check of a
// password against the seal runs the slow key derivation; the cache makes
// that happen once per distinct credentials, whatever their outcome, so that
// a wrong password resent by the browser costs nothing further either.
//
// Credentials are kept only as an HMAC under a key of this cache's own
// (random, wiped with the cache), and looked up with a comparison whose time
// does not depend on where two of them differ. Not thread-safe: its owner
// serialises logins.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/book_crypto.h"

class TCredentialCache {
 public:
  // Credentials remembered at most; the oldest give way.
  static constexpr size_t kCapacity = 16;

  TCredentialCache();
  ~TCredentialCache();
  TCredentialCache(const TCredentialCache&) = delete;
  TCredentialCache& operator=(const TCredentialCache&) = delete;

  // Whether these credentials opened the book when they were verified;
  // nothing when they never were.
  std::optional<bool> Find(std::string_view user, std::string_view password) const;
  void Add(std::string_view user, std::string_view password, bool valid);

 private:
  using TDigest = std::array<uint8_t, kSha256Size>;
  struct TItem {
    TDigest Digest{};
    bool Valid = false;
  };
  TDigest DigestOf(std::string_view user, std::string_view password) const;

  std::array<uint8_t, kSha256Size> key_{};
  std::vector<TItem> items_;  // oldest first
};
