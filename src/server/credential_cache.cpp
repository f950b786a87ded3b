#include "server/credential_cache.h"

#include <string>

TCredentialCache::TCredentialCache() { RandomBytes(key_); }

TCredentialCache::~TCredentialCache() {
  WipeBytes(key_);
  for (TItem& item : items_) WipeBytes(item.Digest);
}

TCredentialCache::TDigest TCredentialCache::DigestOf(std::string_view user, std::string_view password) const {
  // The name's length first: "ab" + "c" and "a" + "bc" are other credentials.
  std::string message(4, '\0');
  for (int i = 0; i < 4; ++i) message[static_cast<size_t>(i)] = static_cast<char>(user.size() >> (8 * i));
  message += user;
  message += password;
  const TDigest digest = HmacSha256(key_, ByteSpan(message));
  WipeBytes({reinterpret_cast<uint8_t*>(message.data()), message.size()});
  return digest;
}

std::optional<bool> TCredentialCache::Find(std::string_view user, std::string_view password) const {
  const TDigest digest = DigestOf(user, password);
  // Every item is compared, the match or not: the time tells nothing about
  // which credentials are known.
  std::optional<bool> found;
  for (const TItem& item : items_)
    if (ConstantTimeEqual(item.Digest, digest)) found = item.Valid;
  return found;
}

void TCredentialCache::Add(std::string_view user, std::string_view password, bool valid) {
  if (items_.size() >= kCapacity) {
    WipeBytes(items_.front().Digest);
    items_.erase(items_.begin());
  }
  items_.push_back({DigestOf(user, password), valid});
}
