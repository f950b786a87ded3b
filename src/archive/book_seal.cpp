#include "archive/book_seal.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "archive/book_file.h"
#include "archive/res_setup.h"
#include "archive/string_routines.h"
#include "runtime/ansi.h"
#include "runtime/mem_ini_file.h"
#include "runtime/scope_exit.h"
#include "runtime/streams.h"
#include "runtime/string_list.h"

const char kSealReadersName[] = "seal:readers";
const char kSealSettingsName[] = "seal:settings";

namespace {

constexpr char kEntryMagic[4] = {'S', 'E', 'A', 'L'};
constexpr char kHeaderMagic[8] = {'S', 'E', 'A', 'L', 'K', 'E', 'Y', 'S'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kPbkdf2HmacSha256 = 1;
constexpr size_t kHeaderFixedSize = sizeof(kHeaderMagic) + 4 * 4;
constexpr size_t kWrappedKeySize = kAesKeySize + kGcmTagSize;
constexpr size_t kReaderFixedSize = 2 + kSealSaltSize + kGcmNonceSize + kWrappedKeySize;
constexpr size_t kEntryOverhead = sizeof(kEntryMagic) + kGcmNonceSize + kGcmTagSize;

[[noreturn]] void Damaged(const std::string& what) { throw EArchiveError("The archive is damaged: " + what); }

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Reads the header's fields in order, refusing to read past its end.
class THeaderReader {
 public:
  explicit THeaderReader(std::span<const uint8_t> data) : data_(data) {}
  std::span<const uint8_t> Take(size_t count, const char* what) {
    if (data_.size() - at_ < count) Damaged(Format("its list of readers is cut short in %s", what));
    const auto part = data_.subspan(at_, count);
    at_ += count;
    return part;
  }
  uint32_t Le32(const char* what) {
    const auto p = Take(4, what);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  uint16_t Le16(const char* what) {
    const auto p = Take(2, what);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  size_t Left() const { return data_.size() - at_; }

 private:
  std::span<const uint8_t> data_;
  size_t at_ = 0;
};

template <size_t N>
void CopyInto(std::array<uint8_t, N>& to, std::span<const uint8_t> from) {
  std::memcpy(to.data(), from.data(), N);
}

// The derived key-encryption key of one reader, wiped when it goes.
struct TWrappingKey {
  std::array<uint8_t, kAesKeySize> Bytes{};
  ~TWrappingKey() { WipeBytes(Bytes); }
};

std::string_view TrimBlanks(std::string_view text) {
  size_t first = 0;
  while (first < text.size() && static_cast<uint8_t>(text[first]) <= ' ') ++first;
  size_t last = text.size();
  while (last > first && static_cast<uint8_t>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

// The concatenated "config.ini" entries of a block, as the viewer reads them.
std::string ConfigText(const TRes_invoker& reader) {
  TMemoryStream config;
  for (int i = 0; i < reader.Count(); ++i)
    if (EntryName(reader.GetEntry(i)) == "config.ini") reader.Extract(i, config);
  return std::string(reinterpret_cast<const char*>(config.Memory()), static_cast<size_t>(config.Size()));
}

TMemIniFile IniOf(std::string_view text) {
  TStringList lines;
  lines.SetText(text);
  TMemIniFile ini{std::string()};
  ini.SetStrings(lines);
  return ini;
}

}  // namespace

TContentKey::TContentKey(TContentKey&& other) noexcept : bytes_(other.bytes_) { other.Wipe(); }

TContentKey& TContentKey::operator=(TContentKey&& other) noexcept {
  if (this != &other) {
    bytes_ = other.bytes_;
    other.Wipe();
  }
  return *this;
}

TContentKey TContentKey::Random() {
  TContentKey key;
  RandomBytes(key.bytes_);
  return key;
}

TContentKey TContentKey::FromBytes(std::span<const uint8_t, kAesKeySize> bytes) {
  TContentKey key;
  std::memcpy(key.bytes_.data(), bytes.data(), kAesKeySize);
  return key;
}

std::vector<uint8_t> WriteSealHeader(const TSealHeader& header) {
  std::vector<uint8_t> out(kHeaderMagic, kHeaderMagic + sizeof(kHeaderMagic));
  PutLe32(out, kFormatVersion);
  PutLe32(out, kPbkdf2HmacSha256);
  PutLe32(out, header.Iterations);
  PutLe32(out, static_cast<uint32_t>(header.Readers.size()));
  for (const TSealReader& reader : header.Readers) {
    if (reader.Name.size() > 0xFFFF)
      throw ESealError(Format("A reader's name is %zu bytes long; at most 65535 fit", reader.Name.size()));
    out.push_back(static_cast<uint8_t>(reader.Name.size()));
    out.push_back(static_cast<uint8_t>(reader.Name.size() >> 8));
    out.insert(out.end(), reader.Name.begin(), reader.Name.end());
    out.insert(out.end(), reader.Salt.begin(), reader.Salt.end());
    out.insert(out.end(), reader.Nonce.begin(), reader.Nonce.end());
    out.insert(out.end(), reader.WrappedKey.begin(), reader.WrappedKey.end());
  }
  return out;
}

TSealHeader ReadSealHeader(std::span<const uint8_t> data) {
  THeaderReader in(data);
  if (data.size() < sizeof(kHeaderMagic) || std::memcmp(data.data(), kHeaderMagic, sizeof(kHeaderMagic)) != 0)
    Damaged("its list of readers does not start as one");
  in.Take(sizeof(kHeaderMagic), "its mark");
  const uint32_t version = in.Le32("its version");
  if (version != kFormatVersion)
    Damaged(Format("its seal is of version %u, which this viewer does not know (it reads version %u)", version,
                   kFormatVersion));
  const uint32_t derivation = in.Le32("its key derivation");
  if (derivation != kPbkdf2HmacSha256) Damaged(Format("its seal names an unknown key derivation (%u)", derivation));
  TSealHeader header;
  header.Iterations = in.Le32("its iteration count");
  if (header.Iterations == 0 || header.Iterations > kMaxSealIterations)
    Damaged(Format("its seal asks for %u iterations of the key derivation (at most %u are taken)", header.Iterations,
                   kMaxSealIterations));
  const uint32_t count = in.Le32("its number of readers");
  if (count == 0) Damaged("its seal names no reader");
  // Every reader needs its fixed part: a count the entry cannot hold is
  // refused before anything is reserved for it.
  if (count > in.Left() / kReaderFixedSize) Damaged(Format("its seal announces %u readers it does not hold", count));
  header.Readers.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    TSealReader reader;
    const uint16_t nameSize = in.Le16("a reader's name");
    const auto name = in.Take(nameSize, "a reader's name");
    reader.Name.assign(name.begin(), name.end());
    CopyInto(reader.Salt, in.Take(kSealSaltSize, "a reader's salt"));
    CopyInto(reader.Nonce, in.Take(kGcmNonceSize, "a reader's nonce"));
    CopyInto(reader.WrappedKey, in.Take(kWrappedKeySize, "a reader's key"));
    header.Readers.push_back(std::move(reader));
  }
  if (in.Left() != 0) Damaged(Format("its list of readers is followed by %zu unknown bytes", in.Left()));
  return header;
}

TSealReader WrapContentKey(const TContentKey& key, std::string name, std::span<const uint8_t> password,
                           uint32_t iterations, std::span<const uint8_t, kSealSaltSize> salt, TGcmNonce nonce) {
  TSealReader reader;
  reader.Name = std::move(name);
  std::memcpy(reader.Salt.data(), salt.data(), salt.size());
  std::memcpy(reader.Nonce.data(), nonce.data(), nonce.size());
  TWrappingKey wrapping;
  Pbkdf2HmacSha256(password, reader.Salt, iterations, wrapping.Bytes);
  const std::vector<uint8_t> wrapped = AesGcmEncrypt(wrapping.Bytes, reader.Nonce, key.Bytes(), ByteSpan(reader.Name));
  CopyInto(reader.WrappedKey, wrapped);
  return reader;
}

TSealReader WrapContentKey(const TContentKey& key, std::string name, std::span<const uint8_t> password,
                           uint32_t iterations) {
  std::array<uint8_t, kSealSaltSize> salt{};
  std::array<uint8_t, kGcmNonceSize> nonce{};
  RandomBytes(salt);
  RandomBytes(nonce);
  return WrapContentKey(key, std::move(name), password, iterations, salt, nonce);
}

std::optional<TContentKey> UnwrapContentKey(const TSealReader& reader, std::span<const uint8_t> password,
                                            uint32_t iterations) {
  TWrappingKey wrapping;
  Pbkdf2HmacSha256(password, reader.Salt, iterations, wrapping.Bytes);
  std::vector<uint8_t> plain;
  if (!AesGcmDecrypt(wrapping.Bytes, reader.Nonce, reader.WrappedKey, ByteSpan(reader.Name), plain)) return {};
  const TScopeExit wipe([&plain] { WipeBytes(plain); });
  if (plain.size() != kAesKeySize) return {};
  return TContentKey::FromBytes(std::span<const uint8_t, kAesKeySize>(plain.data(), kAesKeySize));
}

std::vector<uint8_t> SealEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> stored,
                               TGcmNonce nonce) {
  const std::vector<uint8_t> sealed = AesGcmEncrypt(key.Bytes(), nonce, stored, ByteSpan(name));
  std::vector<uint8_t> out(sizeof(kEntryMagic) + kGcmNonceSize + sealed.size());
  std::memcpy(out.data(), kEntryMagic, sizeof(kEntryMagic));
  std::memcpy(out.data() + sizeof(kEntryMagic), nonce.data(), kGcmNonceSize);
  std::memcpy(out.data() + sizeof(kEntryMagic) + kGcmNonceSize, sealed.data(), sealed.size());
  return out;
}

std::vector<uint8_t> SealEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> stored) {
  std::array<uint8_t, kGcmNonceSize> nonce{};
  RandomBytes(nonce);
  return SealEntry(key, name, stored, nonce);
}

bool IsSealedEntry(std::span<const uint8_t> data) {
  return data.size() >= kEntryOverhead && std::memcmp(data.data(), kEntryMagic, sizeof(kEntryMagic)) == 0;
}

std::vector<uint8_t> OpenSealedEntry(const TContentKey& key, std::string_view name, std::span<const uint8_t> data) {
  std::string shown(1, '"');
  shown.append(name);
  shown += '"';
  if (!IsSealedEntry(data)) Damaged("the entry " + shown + " of this sealed book is not sealed");
  const TGcmNonce nonce(data.data() + sizeof(kEntryMagic), kGcmNonceSize);
  std::vector<uint8_t> stored;
  if (!AesGcmDecrypt(key.Bytes(), nonce, data.subspan(sizeof(kEntryMagic) + kGcmNonceSize), ByteSpan(name), stored))
    Damaged("the sealed entry " + shown + " has been changed or cut short");
  return stored;
}

std::unique_ptr<TSealedBook> TSealedBook::Find(const TRes_invoker& archive) {
  int found = -1;
  for (int i = 0; i < archive.Count(); ++i) {
    if (EntryName(archive.GetEntry(i)) != kSealReadersName) continue;
    const std::span<const uint8_t> data = archive.EntryData(i);
    if (data.size() < sizeof(kHeaderMagic) || std::memcmp(data.data(), kHeaderMagic, sizeof(kHeaderMagic)) != 0)
      continue;
    if (found >= 0) Damaged("it holds two seals");
    found = i;
  }
  if (found < 0) return nullptr;
  return std::make_unique<TSealedBook>(archive, found);
}

TSealedBook::TSealedBook(const TRes_invoker& archive, int readersIndex)
    : archive_(archive), readersIndex_(readersIndex), header_(ReadSealHeader(archive.EntryData(readersIndex))) {
  for (int i = 0; i < archive.Count(); ++i) {
    if (EntryName(archive.GetEntry(i)) != kSealSettingsName) continue;
    if (settingsIndex_ >= 0) Damaged("it holds two sealed settings");
    settingsIndex_ = i;
  }
  if (settingsIndex_ < 0) Damaged("its sealed settings are missing");
}

bool TSealedBook::TryReader(const TSealReader& reader, std::span<const uint8_t> password) {
  ++derivations_;
  std::optional<TContentKey> key = UnwrapContentKey(reader, password, header_.Iterations);
  if (!key) return false;
  // Other threads may read the key once the book is open: it is written
  // only the first time.
  if (!Unlocked()) {
    key_ = std::move(*key);
    unlocked_.store(true, std::memory_order_release);
  }
  return true;
}

bool TSealedBook::Unlock(std::string_view user, std::span<const uint8_t> password) {
  std::lock_guard lock(unlockLock_);
  if (Unlocked()) return true;
  for (const TSealReader& reader : header_.Readers)
    if (reader.Name == user && TryReader(reader, password)) return true;
  return false;
}

bool TSealedBook::UnlockAnyReader(std::span<const uint8_t> password, std::string* readerName) {
  std::lock_guard lock(unlockLock_);
  // An open book proves nothing about this password: it is tried like any
  // other, so that the reader named is the one it belongs to.
  for (const TSealReader& reader : header_.Readers) {
    if (TryReader(reader, password)) {
      if (readerName != nullptr) *readerName = reader.Name;
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> TSealedBook::StoredBytes(int index) const {
  if (!Unlocked()) throw ESealError("The book is sealed: its pages open after a reader has logged in");
  return OpenSealedEntry(key_, EntryName(archive_.GetEntry(index)), archive_.EntryData(index));
}

void TSealedBook::Extract(int index, TStream& destination) const {
  std::vector<uint8_t> stored = StoredBytes(index);
  // Pages are no secret once the reader is in, but the decrypted stream
  // leaves no copy behind either.
  const TScopeExit wipe([&stored] { WipeBytes(stored); });
  TReadOnlyMemoryStream source(stored);
  InflateStream(source, destination);
}

std::string TSealedBook::SettingsText() const {
  TMemoryStream text;
  Extract(settingsIndex_, text);
  return std::string(reinterpret_cast<const char*>(text.Memory()), static_cast<size_t>(text.Size()));
}

void TSealedBook::ReadSettings(TResSetup& settings) const {
  TMemoryStream text;
  Extract(settingsIndex_, text);
  TResSetupObject(text).ReadSettings(settings);
}

std::string SettingsWithoutUsers(std::string_view config) {
  const size_t nul = config.find('\0');
  if (nul != std::string_view::npos) config = config.substr(0, nul);
  std::string out;
  bool inUsers = false;
  size_t at = 0;
  while (at < config.size()) {
    size_t end = config.find_first_of("\r\n", at);
    size_t next = end;
    if (end == std::string_view::npos) {
      end = next = config.size();
    } else {
      next = end + (config[end] == '\r' && end + 1 < config.size() && config[end + 1] == '\n' ? 2 : 1);
    }
    // Sections open as the settings reader opens them: a trimmed line in
    // brackets, its name trimmed and compared in ANSI upper case.
    const std::string_view line = TrimBlanks(config.substr(at, end - at));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      inUsers = AnsiUpperCase(TrimBlanks(line.substr(1, line.size() - 2))) == "USERS";
    if (!inUsers) out.append(config.substr(at, next - at));
    at = next;
  }
  return out;
}

std::string WindowSettingsText(std::string_view config) {
  const TMemIniFile ini = IniOf(config);
  std::string out =
      "; A sealed book: its pages, pictures, bookmarks and about text open only after a reader has logged in,\r\n"
      "; in a viewer that reads sealed books. What the window needs before that is here.\r\n";
  auto section = [&](const char* name, std::span<const char* const> keys) {
    std::string lines;
    for (const char* key : keys)
      if (ini.ValueExists(name, key)) lines += std::string(key) + "=" + ini.ReadString(name, key, "") + "\r\n";
    if (lines.empty()) return;
    out += '[';
    out += name;
    out += "]\r\n";
    out += lines;
  };
  static const char* const kParams[] = {"title", "start", "Resolution", "Resizable"};
  static const char* const kIcon[] = {"Bitmap"};
  std::vector<const char*> toolbar;
  for (int i = 0; i < kToolbarButtonCount; ++i) {
    toolbar.push_back(kToolbarGlyphKeys[static_cast<size_t>(i)]);
    toolbar.push_back(kToolbarCaptionKeys[static_cast<size_t>(i)]);
  }
  section("params", kParams);
  section("Icon", kIcon);
  section("Toolbar", toolbar);
  return out;
}

std::vector<uint8_t> SealBookBlock(std::span<const uint8_t> block, const TSealOptions& options) {
  const TContentKey key = TContentKey::Random();
  return SealBookBlock(block, key, options);
}

std::vector<uint8_t> SealBookBlock(std::span<const uint8_t> block, const TContentKey& key,
                                   const TSealOptions& options) {
  ValidateArchiveBlock(block);
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(block.data()), static_cast<int64_t>(block.size()));
  if (TSealedBook::Find(reader)) throw ESealError("The book is sealed already");
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name = EntryName(reader.GetEntry(i));
    if (name == kSealReadersName || name == kSealSettingsName)
      throw ESealError(Format("The book holds an entry named \"%s\", a name that sealed books keep for themselves",
                              name.c_str()));
  }

  const std::string config = ConfigText(reader);
  TStringList users;
  IniOf(config).ReadSectionValues("users", users);
  if (users.Count() == 0)
    throw ESealError(
        "The book has no readers: its config.ini has no [users] lines, so no password could ever open it sealed");

  TSealHeader header;
  header.Iterations = options.Iterations;
  std::set<std::string> seen;
  for (const std::string& line : users) {
    // A line given twice is one reader.
    if (!seen.insert(line).second) continue;
    const TParamRec account = SplitParam(line);
    header.Readers.push_back(WrapContentKey(key, account.Name, ByteSpan(account.Value), options.Iterations));
  }

  TArchiveBuilder builder;
  builder.Add("config.ini", WindowSettingsText(config), options.Level);
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name = EntryName(reader.GetEntry(i));
    if (name == "config.ini") continue;
    builder.AddRaw(name, SealEntry(key, name, reader.EntryData(i)));
  }
  const std::string settings = SettingsWithoutUsers(config);
  builder.AddRaw(kSealSettingsName,
                 SealEntry(key, kSealSettingsName, ZlibCompress(ByteSpan(settings), options.Level)));
  builder.AddRaw(kSealReadersName, WriteSealHeader(header));
  return builder.Build();
}

std::vector<uint8_t> UnsealBookBlock(const TRes_invoker& archive, const TSealedBook& seal, int level) {
  TArchiveBuilder builder;
  builder.Add("config.ini", seal.SettingsText(), level);
  for (int i = 0; i < archive.Count(); ++i) {
    if (seal.IsSealEntry(i)) continue;
    const std::string name = EntryName(archive.GetEntry(i));
    if (name == "config.ini") continue;
    // As it was packed: the stored zlib stream itself, not inflated again.
    builder.AddRaw(name, seal.StoredBytes(i));
  }
  return builder.Build();
}
