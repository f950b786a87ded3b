// The cryptography of sealed books, taken whole from the platform: CNG
// (bcrypt.dll) on Windows, OpenSSL's libcrypto elsewhere. This unit only
// adapts their calls to one shape; it implements no cipher, hash or key
// derivation of its own. Both sides must give the same bytes for the same
// inputs: a book sealed on one opens on the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/exceptions.h"

// The platform's cryptography failed or is missing (not a wrong key or a
// changed message: those are answers, not failures).
EBOOK_DECLARE_EXCEPTION(ECryptoError, Exception);

constexpr size_t kAesKeySize = 32;    // AES-256
constexpr size_t kGcmNonceSize = 12;  // 96-bit nonces, the size GCM is made for
constexpr size_t kGcmTagSize = 16;
constexpr size_t kSha256Size = 32;

using TAesKey = std::span<const uint8_t, kAesKeySize>;
using TGcmNonce = std::span<const uint8_t, kGcmNonceSize>;

inline std::span<const uint8_t> ByteSpan(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Fills out from the system's cryptographic random source.
void RandomBytes(std::span<uint8_t> out);

// PBKDF2 with HMAC-SHA256 as its pseudo-random function; key.size() bytes.
void Pbkdf2HmacSha256(std::span<const uint8_t> password, std::span<const uint8_t> salt, uint32_t iterations,
                      std::span<uint8_t> key);

// HMAC-SHA256 of data under key.
std::array<uint8_t, kSha256Size> HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> data);

// AES-256-GCM: the ciphertext (as long as plain) followed by the 16-byte tag,
// which authenticates the ciphertext and aad together.
std::vector<uint8_t> AesGcmEncrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> plain,
                                   std::span<const uint8_t> aad);
// The reverse: false when sealed is shorter than a tag or the tag does not
// match the ciphertext, aad and key; plain is then left empty, so nothing of
// a changed message is ever handed on.
bool AesGcmDecrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> sealed, std::span<const uint8_t> aad,
                   std::vector<uint8_t>& plain);

// Overwrites bytes with zeros in a way the compiler may not leave out.
void WipeBytes(std::span<uint8_t> bytes);

// Equal sizes and bytes, in a time that depends on the size only.
bool ConstantTimeEqual(std::span<const uint8_t> a, std::span<const uint8_t> b);
