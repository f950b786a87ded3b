// OpenSSL's libcrypto behind book_crypto.h.
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "archive/book_crypto.h"

namespace {

// EVP's lengths are ints: long inputs go in steps that fit one.
constexpr size_t kStep = size_t{1} << 30;

[[noreturn]] void Fail(const char* what) {
  const unsigned long code = ERR_get_error();
  char detail[256] = "no detail";
  if (code != 0) ERR_error_string_n(code, detail, sizeof detail);
  ERR_clear_error();
  throw ECryptoError(Format("The cryptography library failed (%s: %s)", what, detail));
}

struct TCipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree>;

TCipherContext StartGcm(TAesKey key, TGcmNonce nonce, bool encrypt) {
  TCipherContext context(EVP_CIPHER_CTX_new());
  if (!context) Fail("EVP_CIPHER_CTX_new");
  if (EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) != 1 ||
      EVP_CipherInit_ex(context.get(), nullptr, nullptr, key.data(), nonce.data(), encrypt ? 1 : 0) != 1)
    Fail("AES-GCM set-up");
  return context;
}

void Update(EVP_CIPHER_CTX* context, uint8_t* out, std::span<const uint8_t> in) {
  for (size_t done = 0; done < in.size(); done += kStep) {
    const int count = static_cast<int>(std::min(kStep, in.size() - done));
    int written = 0;
    if (EVP_CipherUpdate(context, out ? out + done : nullptr, &written, in.data() + done, count) != 1)
      Fail("AES-GCM update");
  }
}

}  // namespace

void RandomBytes(std::span<uint8_t> out) {
  for (size_t done = 0; done < out.size(); done += kStep) {
    const int count = static_cast<int>(std::min(kStep, out.size() - done));
    if (RAND_bytes(out.data() + done, count) != 1) Fail("RAND_bytes");
  }
}

void Pbkdf2HmacSha256(std::span<const uint8_t> password, std::span<const uint8_t> salt, uint32_t iterations,
                      std::span<uint8_t> key) {
  if (iterations == 0 || iterations > INT_MAX || password.size() > INT_MAX || salt.size() > INT_MAX ||
      key.size() > INT_MAX)
    throw ECryptoError("PBKDF2 was asked for a size or an iteration count it cannot take");
  // OpenSSL reads an empty password through its pointer all the same.
  static const char kEmpty = 0;
  const char* text = password.empty() ? &kEmpty : reinterpret_cast<const char*>(password.data());
  if (PKCS5_PBKDF2_HMAC(text, static_cast<int>(password.size()), salt.data(), static_cast<int>(salt.size()),
                        static_cast<int>(iterations), EVP_sha256(), static_cast<int>(key.size()), key.data()) != 1)
    Fail("PBKDF2");
}

std::array<uint8_t, kSha256Size> HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> data) {
  std::array<uint8_t, kSha256Size> mac{};
  unsigned int size = 0;
  static const uint8_t kEmpty = 0;
  if (key.size() > INT_MAX ||
      HMAC(EVP_sha256(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()),
           data.empty() ? &kEmpty : data.data(), data.size(), mac.data(), &size) == nullptr ||
      size != mac.size())
    Fail("HMAC-SHA256");
  return mac;
}

std::vector<uint8_t> AesGcmEncrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> plain,
                                   std::span<const uint8_t> aad) {
  TCipherContext context = StartGcm(key, nonce, true);
  std::vector<uint8_t> sealed(plain.size() + kGcmTagSize);
  Update(context.get(), nullptr, aad);
  Update(context.get(), sealed.data(), plain);
  uint8_t rest[16];
  int written = 0;
  if (EVP_CipherFinal_ex(context.get(), rest, &written) != 1 || written != 0)
    Fail("AES-GCM final");
  if (EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kGcmTagSize),
                          sealed.data() + plain.size()) != 1)
    Fail("AES-GCM tag");
  return sealed;
}

bool AesGcmDecrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> sealed, std::span<const uint8_t> aad,
                   std::vector<uint8_t>& plain) {
  plain.clear();
  if (sealed.size() < kGcmTagSize) return false;
  const std::span<const uint8_t> cipher = sealed.first(sealed.size() - kGcmTagSize);
  std::array<uint8_t, kGcmTagSize> tag{};
  std::copy(sealed.end() - kGcmTagSize, sealed.end(), tag.begin());
  TCipherContext context = StartGcm(key, nonce, false);
  std::vector<uint8_t> out(cipher.size());
  Update(context.get(), nullptr, aad);
  Update(context.get(), out.data(), cipher);
  if (EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(tag.size()), tag.data()) != 1)
    Fail("AES-GCM tag");
  // GCM writes nothing at its end; the buffer only has to exist.
  uint8_t rest[16];
  int written = 0;
  if (EVP_CipherFinal_ex(context.get(), rest, &written) != 1) {
    // The tag does not match: what was decrypted must not be used.
    WipeBytes(out);
    ERR_clear_error();
    return false;
  }
  plain = std::move(out);
  return true;
}

void WipeBytes(std::span<uint8_t> bytes) {
  if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
}

bool ConstantTimeEqual(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size()) return false;
  return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}
