// Sealed books: a book whose readers log in, packed so that its file is
// closed to anyone without one of their passwords.
//
// A sealed book is an ordinary archive block (the same directory, the same
// entry names), so every reader of blocks still walks it:
//  - "config.ini" stays a zlib entry in clear and holds only what a viewer
//    needs to open its window before anyone has logged in: [params] title,
//    start, Resolution and Resizable, [Icon] and [Toolbar]. It has no
//    [users]: the readers' passwords are stored nowhere in the book.
//  - Every other entry keeps its name and is sealed: "SEAL", a 12-byte
//    nonce of its own, the entry's zlib stream encrypted with AES-256-GCM
//    under the book's one random content key, and the 16-byte tag. The
//    entry's name, exactly as the directory stores it, is the associated
//    data: an entry moved under another name, or changed in any byte, no
//    longer opens.
//  - "seal:settings" is sealed the same way and holds the book's config.ini
//    without its [users] sections: the bookmarks and the about text among
//    the rest.
//  - "seal:readers", the last entry, is in clear: "SEALKEYS", the format
//    version (1), the key derivation (1: PBKDF2-HMAC-SHA256), its iteration
//    count and the number of readers, all 32-bit little-endian; then per
//    reader a 16-bit name length, the name as its [users] line gives it, a
//    16-byte salt, a 12-byte nonce and 48 bytes: the content key encrypted
//    with AES-256-GCM under PBKDF2-HMAC-SHA256(password, salt, iterations),
//    32 bytes, with the reader's name as associated data, and its tag.
//
// A book is sealed exactly when it holds an entry named "seal:readers" whose
// data starts with "SEALKEYS". A zlib stream names its method 8 in the low
// four bits of its first byte and "S" is 0x53, so no zlib stream starts so:
// an unsealed book with such an entry could never have read it, and nothing
// an unsealed book shows is taken for a seal. Every sealed entry starts with
// "S" too, so a viewer that does not know sealing refuses each of them with
// zlib's "data error" at once and never shows a byte of its ciphertext.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/book_crypto.h"
#include "archive/res_invoker.h"

class TStream;
struct TResSetup;

// What a sealed book's derivation costs by default: each guess at a password
// costs an attacker as much.
constexpr uint32_t kSealIterations = 600000;
// The most iterations a book may ask for: a damaged or forged count must not
// hold a login for minutes.
constexpr uint32_t kMaxSealIterations = 10000000;
constexpr size_t kSealSaltSize = 16;

extern const char kSealReadersName[];   // "seal:readers"
extern const char kSealSettingsName[];  // "seal:settings"

// The refusal of a book that is asked to open while it is sealed, or to be
// sealed while it cannot be (no readers, sealed already).
EBOOK_DECLARE_EXCEPTION(ESealError, Exception);

// A book's content key: 32 bytes, wiped when the key is destroyed or moved
// from. Never copied.
class TContentKey {
 public:
  TContentKey() = default;
  TContentKey(TContentKey&& other) noexcept;
  TContentKey& operator=(TContentKey&& other) noexcept;
  TContentKey(const TContentKey&) = delete;
  TContentKey& operator=(const TContentKey&) = delete;
  ~TContentKey() { Wipe(); }

  static TContentKey Random();
  static TContentKey FromBytes(std::span<const uint8_t, kAesKeySize> bytes);
  TAesKey Bytes() const { return bytes_; }
  void Wipe() { WipeBytes(bytes_); }

 private:
  std::array<uint8_t, kAesKeySize> bytes_{};
};

struct TSealReader {
  std::string Name;
  std::array<uint8_t, kSealSaltSize> Salt{};
  std::array<uint8_t, kGcmNonceSize> Nonce{};
  std::array<uint8_t, kAesKeySize + kGcmTagSize> WrappedKey{};
};

struct TSealHeader {
  uint32_t Iterations = kSealIterations;
  std::vector<TSealReader> Readers;
};

std::vector<uint8_t> WriteSealHeader(const TSealHeader& header);
// Fails with EArchiveError ("The archive is damaged: ...") on anything but a
// whole header of this format with at least one reader.
TSealHeader ReadSealHeader(std::span<const uint8_t> data);

// The content key wrapped for one reader, with the given salt and nonce or
// fresh random ones.
TSealReader WrapContentKey(const TContentKey& key, std::string name, std::span<const uint8_t> password,
                           uint32_t iterations, std::span<const uint8_t, kSealSaltSize> salt, TGcmNonce nonce);
TSealReader WrapContentKey(const TContentKey& key, std::string name, std::span<const uint8_t> password,
                           uint32_t iterations);
// The content key when password is this reader's; nothing otherwise.
std::optional<TContentKey> UnwrapContentKey(const TSealReader& reader, std::span<const uint8_t> password,
                                            uint32_t iterations);

// An entry's stored bytes (its zlib stream) sealed under key and its name,
// with the given nonce or a fresh random one.
std::vector<uint8_t> SealEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> stored,
                               TGcmNonce nonce);
std::vector<uint8_t> SealEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> stored);
bool IsSealedEntry(std::span<const uint8_t> data);
// The stored bytes of a sealed entry. Fails with EArchiveError ("The archive
// is damaged: ...") when data is no sealed entry or does not authenticate
// under key and name; nothing of it is returned then.
std::vector<uint8_t> OpenSealedEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> data);

// The seal of an open book: its readers, and its content key once a reader
// has logged in. Reads the archive it was found in, which must outlive it.
//
// Threads: any number may call Unlock, Extract and the rest at once. The key
// is written once, under a lock, before Unlocked turns true; it is only read
// after that, and wiped when the seal is destroyed.
class TSealedBook {
 public:
  // The seal of archive, or null when the book is not sealed. Fails with
  // EArchiveError when the book is sealed and its seal is damaged.
  static std::unique_ptr<TSealedBook> Find(const TRes_invoker& archive);
  TSealedBook(const TRes_invoker& archive, int readersIndex);
  TSealedBook(const TSealedBook&) = delete;
  TSealedBook& operator=(const TSealedBook&) = delete;

  const TSealHeader& Header() const { return header_; }
  // The seal's own entries ("seal:readers", "seal:settings"): no page of the
  // book.
  bool IsSealEntry(int index) const { return index == readersIndex_ || index == settingsIndex_; }

  // Derives a key from password for every reader named user, in order, until
  // one unwraps the content key (the slow step, a fraction of a second per
  // reader). True when the book is open afterwards, also when it already
  // was (then nothing is derived).
  bool Unlock(std::string_view user, std::span<const uint8_t> password);
  // The same against every reader, for tools that know no reader's name;
  // names the reader whose password it was.
  bool UnlockAnyReader(std::span<const uint8_t> password, std::string* readerName = nullptr);
  bool Unlocked() const { return unlocked_.load(std::memory_order_acquire); }
  // Key derivations run so far.
  int Derivations() const { return derivations_.load(); }

  // Decrypts and inflates entry index and appends it to destination. Fails
  // with ESealError while the book is locked, with EArchiveError for an entry
  // that is damaged or was changed, and like Extract for an entry whose
  // inflating fails.
  void Extract(int index, TStream& destination) const;
  // The entry's stored bytes (its zlib stream) decrypted, not inflated.
  std::vector<uint8_t> StoredBytes(int index) const;
  // The book's settings as the author wrote them, without [users]: read from
  // "seal:settings" once the book is open.
  void ReadSettings(TResSetup& settings) const;
  // The settings text itself (config.ini form).
  std::string SettingsText() const;

 private:
  bool TryReader(const TSealReader& reader, std::span<const uint8_t> password);

  const TRes_invoker& archive_;
  int readersIndex_;
  int settingsIndex_ = -1;
  TSealHeader header_;
  std::mutex unlockLock_;
  TContentKey key_;
  std::atomic<bool> unlocked_{false};
  std::atomic<int> derivations_{0};
};

// What sealing a book does with config.ini: the text without its [users]
// sections (kept byte for byte otherwise, up to a NUL, which ends the text
// for every reader), and the clear settings made from it, holding only the
// keys that open the window.
std::string SettingsWithoutUsers(std::string_view config);
std::string WindowSettingsText(std::string_view config);

struct TSealOptions {
  uint32_t Iterations = kSealIterations;
  // zlib level of the settings entries the seal writes.
  int Level = 9;
};
// Seals an unsealed archive block (every config.ini entry of it read as the
// viewer reads them): clear settings first, then the book's other entries
// sealed in their order, then the seal's entries. Fails with ESealError for
// a book without readers or one that is sealed already, and with
// EArchiveError for a damaged block. The content key is fresh and random,
// or the one given (for fixed test books).
std::vector<uint8_t> SealBookBlock(std::span<const uint8_t> block, const TSealOptions& options = {});
std::vector<uint8_t> SealBookBlock(std::span<const uint8_t> block, const TContentKey& key, const TSealOptions& options);
// The unsealed block of an open sealed book: its settings (without [users])
// as config.ini, then its other entries as they were packed, in order.
std::vector<uint8_t> UnsealBookBlock(const TRes_invoker& archive, const TSealedBook& seal, int level = 9);
