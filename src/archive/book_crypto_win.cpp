// The platform's CNG (bcrypt.dll) behind book_crypto.h. Every call opens the
// algorithm it needs and closes it again: the library can be loaded and
// unloaded by its host many times, and nothing of it may outlive a run
// (closing providers when the library is unloaded would call into another
// library under the loader's lock). Entries are decrypted once each while a
// book is open, so the openings cost nothing that shows.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <climits>

#include "archive/book_crypto.h"
#include "runtime/scope_exit.h"

namespace {

constexpr NTSTATUS kAuthTagMismatch = static_cast<NTSTATUS>(0xC000A002L);

[[noreturn]] void Fail(const char* what, NTSTATUS status) {
  throw ECryptoError(Format("The system's cryptography failed (%s: status 0x%08lX)", what,
                            static_cast<unsigned long>(status)));
}

void Check(NTSTATUS status, const char* what) {
  if (!BCRYPT_SUCCESS(status)) Fail(what, status);
}

ULONG SizeOf(size_t size, const char* what) {
  if (size > ULONG_MAX) throw ECryptoError(Format("%s is too large for the system's cryptography", what));
  return static_cast<ULONG>(size);
}

// CNG reads through its pointers even for empty inputs on some versions.
PUCHAR Pointer(std::span<const uint8_t> bytes) {
  static UCHAR empty = 0;
  return bytes.empty() ? &empty : const_cast<PUCHAR>(bytes.data());
}

// An open algorithm provider, closed when the scope ends.
class TAlgorithm {
 public:
  TAlgorithm(LPCWSTR name, ULONG flags) {
    Check(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, flags), "BCryptOpenAlgorithmProvider");
  }
  ~TAlgorithm() { BCryptCloseAlgorithmProvider(handle_, 0); }
  TAlgorithm(const TAlgorithm&) = delete;
  TAlgorithm& operator=(const TAlgorithm&) = delete;
  BCRYPT_ALG_HANDLE Handle() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// An AES-256 key in GCM mode; the key object is destroyed (and wiped by the
// system) when the scope ends.
class TGcmKey {
 public:
  explicit TGcmKey(TAesKey key) : algorithm_(BCRYPT_AES_ALGORITHM, 0) {
    Check(BCryptSetProperty(algorithm_.Handle(), BCRYPT_CHAINING_MODE,
                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                            sizeof(BCRYPT_CHAIN_MODE_GCM), 0),
          "BCryptSetProperty(ChainingModeGCM)");
    Check(BCryptGenerateSymmetricKey(algorithm_.Handle(), &handle_, nullptr, 0, const_cast<PUCHAR>(key.data()),
                                     static_cast<ULONG>(key.size()), 0),
          "BCryptGenerateSymmetricKey");
  }
  ~TGcmKey() { BCryptDestroyKey(handle_); }
  TGcmKey(const TGcmKey&) = delete;
  TGcmKey& operator=(const TGcmKey&) = delete;
  BCRYPT_KEY_HANDLE Handle() const { return handle_; }

 private:
  TAlgorithm algorithm_;
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO ModeInfo(TGcmNonce nonce, std::span<const uint8_t> aad, uint8_t* tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce.data());
  info.cbNonce = static_cast<ULONG>(nonce.size());
  info.pbAuthData = aad.empty() ? nullptr : const_cast<PUCHAR>(aad.data());
  info.cbAuthData = SizeOf(aad.size(), "The associated data");
  info.pbTag = tag;
  info.cbTag = static_cast<ULONG>(kGcmTagSize);
  return info;
}

}  // namespace

void RandomBytes(std::span<uint8_t> out) {
  constexpr size_t kStep = size_t{1} << 30;
  for (size_t done = 0; done < out.size(); done += kStep) {
    const auto count = static_cast<ULONG>(std::min(kStep, out.size() - done));
    Check(BCryptGenRandom(nullptr, out.data() + done, count, BCRYPT_USE_SYSTEM_PREFERRED_RNG), "BCryptGenRandom");
  }
}

void Pbkdf2HmacSha256(std::span<const uint8_t> password, std::span<const uint8_t> salt, uint32_t iterations,
                      std::span<uint8_t> key) {
  if (iterations == 0) throw ECryptoError("PBKDF2 was asked for no iterations");
  const TAlgorithm hmac(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  Check(BCryptDeriveKeyPBKDF2(hmac.Handle(), Pointer(password), SizeOf(password.size(), "The password"),
                              Pointer(salt), SizeOf(salt.size(), "The salt"), iterations, key.data(),
                              SizeOf(key.size(), "The key"), 0),
        "BCryptDeriveKeyPBKDF2");
}

std::array<uint8_t, kSha256Size> HmacSha256(std::span<const uint8_t> key, std::span<const uint8_t> data) {
  const TAlgorithm hmac(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  BCRYPT_HASH_HANDLE hash = nullptr;
  Check(BCryptCreateHash(hmac.Handle(), &hash, nullptr, 0, Pointer(key), SizeOf(key.size(), "The key"), 0),
        "BCryptCreateHash");
  const TScopeExit destroy([hash] { BCryptDestroyHash(hash); });
  Check(BCryptHashData(hash, Pointer(data), SizeOf(data.size(), "The data"), 0), "BCryptHashData");
  std::array<uint8_t, kSha256Size> mac{};
  Check(BCryptFinishHash(hash, mac.data(), static_cast<ULONG>(mac.size()), 0), "BCryptFinishHash");
  return mac;
}

std::vector<uint8_t> AesGcmEncrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> plain,
                                   std::span<const uint8_t> aad) {
  const TGcmKey gcm(key);
  std::vector<uint8_t> sealed(plain.size() + kGcmTagSize);
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, aad, sealed.data() + plain.size());
  ULONG written = 0;
  // A null output asks CNG only for the length and computes no tag, so an
  // empty message still gets a buffer (of no bytes) to be written to.
  uint8_t none = 0;
  Check(BCryptEncrypt(gcm.Handle(), Pointer(plain), SizeOf(plain.size(), "The message"), &info, nullptr, 0,
                      plain.empty() ? &none : sealed.data(), static_cast<ULONG>(plain.size()), &written, 0),
        "BCryptEncrypt");
  if (written != plain.size()) Fail("BCryptEncrypt wrote a different length", 0);
  return sealed;
}

bool AesGcmDecrypt(TAesKey key, TGcmNonce nonce, std::span<const uint8_t> sealed, std::span<const uint8_t> aad,
                   std::vector<uint8_t>& plain) {
  plain.clear();
  if (sealed.size() < kGcmTagSize) return false;
  const std::span<const uint8_t> cipher = sealed.first(sealed.size() - kGcmTagSize);
  std::array<uint8_t, kGcmTagSize> tag{};
  std::copy(sealed.end() - kGcmTagSize, sealed.end(), tag.begin());
  const TGcmKey gcm(key);
  std::vector<uint8_t> out(cipher.size());
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, aad, tag.data());
  ULONG written = 0;
  // As in encrypting: with a null output CNG would only tell the length and
  // check no tag, which would let any empty message pass.
  uint8_t none = 0;
  const NTSTATUS status = BCryptDecrypt(gcm.Handle(), Pointer(cipher), SizeOf(cipher.size(), "The message"), &info,
                                        nullptr, 0, out.empty() ? &none : out.data(),
                                        static_cast<ULONG>(out.size()), &written, 0);
  if (status == kAuthTagMismatch) {
    WipeBytes(out);
    return false;
  }
  Check(status, "BCryptDecrypt");
  if (written != out.size()) Fail("BCryptDecrypt wrote a different length", 0);
  plain = std::move(out);
  return true;
}

void WipeBytes(std::span<uint8_t> bytes) {
  if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size());
}

bool ConstantTimeEqual(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  if (a.size() != b.size()) return false;
  // Every byte is looked at whatever the earlier ones held; the volatile
  // keeps the compiler from ending the loop at the first difference.
  volatile uint8_t difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference = difference | static_cast<uint8_t>(a[i] ^ b[i]);
  return difference == 0;
}
