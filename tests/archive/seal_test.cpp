// Sealed books: the platform's cryptography against published vectors, the
// seal's own format against fixed vectors (computed once, apart from this
// code, with Python's hashlib and the cryptography package), the same in the
// native (OpenSSL) and the Windows (CNG) trees; then whole books sealed,
// opened, damaged and refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_helpers.h"
#include "archive/book_crypto.h"
#include "archive/book_seal.h"
#include "archive/res_setup.h"
#include "runtime/streams.h"

namespace {

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

std::vector<uint8_t> Range(int first, int count) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(first + i));
  return out;
}

std::string Text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string Inflated(std::span<const uint8_t> stored) {
  TReadOnlyMemoryStream source(stored);
  TMemoryStream out;
  InflateStream(source, out);
  return {reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())};
}

// The fixed vectors of the seal's format.
const std::vector<uint8_t> kContentKey = Range(0x00, 32);
const std::string kPassword = "correct horse battery staple";
const std::vector<uint8_t> kSalt = Range(0xA0, 16);
const std::vector<uint8_t> kWrapNonce = Range(0xB0, 12);
const std::vector<uint8_t> kWrapped = FromHex(
    "ff08b3e5660e7b0c44abc6332d82a0f32bcada826066584306ad61624d1a1b5eef0639600ca3ef25eb2e81212a518598");
const std::vector<uint8_t> kHeader = FromHex(
    "5345414c4b4559530100000001000000c0270900010000000600726561646572a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6"
    "b7b8b9babbff08b3e5660e7b0c44abc6332d82a0f32bcada826066584306ad61624d1a1b5eef0639600ca3ef25eb2e81212a518598");
const std::string kPage = "<html><body>Hello, sealed world</body></html>";
// kPage as a zlib stream of stored blocks (level 0), the same from any zlib.
const std::vector<uint8_t> kStored = FromHex(
    "7801012d00d2ff3c68746d6c3e3c626f64793e48656c6c6f2c207365616c656420776f726c643c2f626f64793e3c2f68746d6c3e72991003");
const std::vector<uint8_t> kEntryNonce = Range(0xC0, 12);
const std::vector<uint8_t> kSealedEntry = FromHex(
    "5345414cc0c1c2c3c4c5c6c7c8c9cacb7849264a77aa6962f0ad90ce0c908a39280add77598e73d506e3386f56111ad29ce1f8d51ebf79"
    "2caa223060c7f84ae1f908b344a054b01ab64392f3c8fbc36694e4dea7856801b6");

TContentKey FixedKey() { return TContentKey::FromBytes(std::span<const uint8_t, 32>(kContentKey.data(), 32)); }
TGcmNonce NonceOf(const std::vector<uint8_t>& bytes) { return TGcmNonce(bytes.data(), 12); }

TEST(SealCryptoTest, Pbkdf2HmacSha256MatchesPublishedAndFixedVectors) {
  struct TCase {
    std::string Password, Salt;
    uint32_t Iterations;
    std::string Key;
  };
  const TCase cases[] = {
      // RFC 7914, section 11.
      {"passwd", "salt", 1,
       "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1e30bd"
       "509112041d3a19783"},
      {"Password", "NaCl", 80000,
       "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bdebba1d07"
       "8478f62b397f33c8d"},
      // The key that wraps the fixed content key below, at the seal's count.
      {kPassword, Text(kSalt), kSealIterations, "5e15ba4e3e1c2558826aabea1d3fe1688b18909303a416c9578f17066a6bc2ee"},
  };
  for (const TCase& c : cases) {
    std::vector<uint8_t> key(c.Key.size() / 2);
    Pbkdf2HmacSha256(ByteSpan(c.Password), ByteSpan(c.Salt), c.Iterations, key);
    EXPECT_EQ(key, FromHex(c.Key)) << c.Password << " " << c.Iterations;
  }
}

TEST(SealCryptoTest, HmacSha256MatchesRfc4231) {
  const auto mac = HmacSha256(ByteSpan("Jefe"), ByteSpan("what do ya want for nothing?"));
  EXPECT_EQ(std::vector<uint8_t>(mac.begin(), mac.end()),
            FromHex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));
}

TEST(SealCryptoTest, AesGcmMatchesPublishedVectorsAndRefusesAnyChange) {
  // "The Galois/Counter Mode of Operation", test cases 13 and 16.
  struct TCase {
    std::string Key, Nonce, Plain, Aad, Sealed;
  };
  const TCase cases[] = {
      {std::string(64, '0'), std::string(24, '0'), "", "", "530f8afbc74536b9a963b4f1c4cb738b"},
      {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
       "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba"
       "637b39",
       "feedfacedeadbeeffeedfacedeadbeefabaddad2",
       "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0a"
       "bcc9f66276fc6ece0f4e1768cddf8853bb2d551b"},
  };
  for (const TCase& c : cases) {
    const std::vector<uint8_t> key = FromHex(c.Key), nonce = FromHex(c.Nonce), plain = FromHex(c.Plain),
                               aad = FromHex(c.Aad), sealed = FromHex(c.Sealed);
    const TAesKey k(key.data(), 32);
    const TGcmNonce n(nonce.data(), 12);
    EXPECT_EQ(AesGcmEncrypt(k, n, plain, aad), sealed);
    std::vector<uint8_t> opened{1, 2, 3};
    ASSERT_TRUE(AesGcmDecrypt(k, n, sealed, aad, opened));
    EXPECT_EQ(opened, plain);
    // Any byte changed, of the message or of what it is bound to, and
    // nothing comes out.
    for (size_t at = 0; at < sealed.size(); at += std::max<size_t>(1, sealed.size() / 7)) {
      std::vector<uint8_t> changed = sealed;
      changed[at] ^= 0x01;
      EXPECT_FALSE(AesGcmDecrypt(k, n, changed, aad, opened)) << "byte " << at;
      EXPECT_TRUE(opened.empty());
    }
    std::vector<uint8_t> otherAad = aad;
    otherAad.push_back('x');
    EXPECT_FALSE(AesGcmDecrypt(k, n, sealed, otherAad, opened));
    EXPECT_FALSE(AesGcmDecrypt(k, n, std::span(sealed).first(15), aad, opened)) << "shorter than a tag";
  }
}

TEST(SealFormatTest, KeyWrapAndHeaderMatchTheFixedVector) {
  const TContentKey key = FixedKey();
  const TSealReader reader = WrapContentKey(key, "reader", ByteSpan(kPassword), kSealIterations,
                                            std::span<const uint8_t, 16>(kSalt.data(), 16), NonceOf(kWrapNonce));
  EXPECT_EQ(std::vector<uint8_t>(reader.WrappedKey.begin(), reader.WrappedKey.end()), kWrapped);
  TSealHeader header;
  header.Readers.push_back(reader);
  EXPECT_EQ(WriteSealHeader(header), kHeader);

  const TSealHeader read = ReadSealHeader(kHeader);
  EXPECT_EQ(read.Iterations, kSealIterations);
  ASSERT_EQ(read.Readers.size(), 1u);
  EXPECT_EQ(read.Readers[0].Name, "reader");
  const std::optional<TContentKey> opened = UnwrapContentKey(read.Readers[0], ByteSpan(kPassword), read.Iterations);
  ASSERT_TRUE(opened.has_value());
  EXPECT_TRUE(std::equal(opened->Bytes().begin(), opened->Bytes().end(), kContentKey.begin()));
  EXPECT_FALSE(UnwrapContentKey(read.Readers[0], ByteSpan("correct horse battery stapler"), 1000).has_value())
      << "a wrong password (and count) unwraps nothing";
  TSealReader renamed = read.Readers[0];
  renamed.Name = "Reader";
  EXPECT_FALSE(UnwrapContentKey(renamed, ByteSpan(kPassword), kSealIterations).has_value())
      << "the wrapped key is bound to its reader's name";
}

TEST(SealFormatTest, SealedEntryMatchesTheFixedVectorAndOpensToThePage) {
  const TContentKey key = FixedKey();
  EXPECT_EQ(SealEntry(key, "index.htm", kStored, NonceOf(kEntryNonce)), kSealedEntry);
  EXPECT_TRUE(IsSealedEntry(kSealedEntry));
  EXPECT_EQ(Inflated(OpenSealedEntry(key, "index.htm", kSealedEntry)), kPage);
  // A viewer that does not know sealing reads the entry as a zlib stream.
  EXPECT_THROW(Inflated(kSealedEntry), EZCompressionError);
}

TEST(SealFormatTest, DamagedOrMovedEntriesAreRefusedAsDamage) {
  const TContentKey key = FixedKey();
  struct TCase {
    const char* What;
    std::vector<uint8_t> Data;
    std::string Name;
  };
  auto flipped = [](size_t at) {
    std::vector<uint8_t> data = kSealedEntry;
    data[at] ^= 0x80;
    return data;
  };
  const TCase cases[] = {
      {"its mark", flipped(0), "index.htm"},
      {"its nonce", flipped(6), "index.htm"},
      {"its ciphertext", flipped(40), "index.htm"},
      {"its tag", flipped(kSealedEntry.size() - 1), "index.htm"},
      {"cut short", std::vector<uint8_t>(kSealedEntry.begin(), kSealedEntry.end() - 1), "index.htm"},
      {"only its head", std::vector<uint8_t>(kSealedEntry.begin(), kSealedEntry.begin() + 20), "index.htm"},
      {"under another name", kSealedEntry, "other.htm"},
      {"under its name in other letter case", kSealedEntry, "INDEX.HTM"},
  };
  for (const TCase& c : cases) {
    try {
      OpenSealedEntry(key, c.Name, c.Data);
      ADD_FAILURE() << c.What << ": opened";
    } catch (const EArchiveError& e) {
      EXPECT_EQ(e.Message.rfind("The archive is damaged: ", 0), 0u) << c.What << ": " << e.Message;
    }
  }
  const std::vector<uint8_t> otherKey(32, 7);
  EXPECT_THROW(OpenSealedEntry(TContentKey::FromBytes(std::span<const uint8_t, 32>(otherKey.data(), 32)), "index.htm",
                               kSealedEntry),
               EArchiveError);
}

TEST(SealFormatTest, DamagedHeadersAreRefused) {
  auto with = [](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> header = kHeader;
    std::copy(bytes.begin(), bytes.end(), header.begin() + static_cast<long>(at));
    return header;
  };
  std::vector<uint8_t> trailing = kHeader;
  trailing.push_back(0);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"no mark", with(0, {'X'})},
      {"a later version", with(8, {2})},
      {"an unknown derivation", with(12, {9})},
      {"no iterations", with(16, {0, 0, 0, 0})},
      {"too many iterations", with(16, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"no reader", with(20, {0, 0, 0, 0})},
      {"more readers than bytes", with(20, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"a name longer than the entry", with(24, {0xFF, 0xFF})},
      {"cut in the key", std::vector<uint8_t>(kHeader.begin(), kHeader.end() - 1)},
      {"cut after the count", std::vector<uint8_t>(kHeader.begin(), kHeader.begin() + 24)},
      {"bytes after the readers", trailing},
  };
  for (const auto& [what, bytes] : cases) {
    try {
      ReadSealHeader(bytes);
      ADD_FAILURE() << what << ": read";
    } catch (const EArchiveError& e) {
      EXPECT_EQ(e.Message.rfind("The archive is damaged: ", 0), 0u) << what << ": " << e.Message;
    }
  }
}

TEST(SealFormatTest, ContentKeysAreWipedWhenMovedFromOrWiped) {
  TContentKey first = FixedKey();
  TContentKey second = std::move(first);
  EXPECT_TRUE(std::all_of(first.Bytes().begin(), first.Bytes().end(), [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(second.Bytes().begin(), second.Bytes().end(), kContentKey.begin()));
  second.Wipe();
  EXPECT_TRUE(std::all_of(second.Bytes().begin(), second.Bytes().end(), [](uint8_t b) { return b == 0; }));
  const TContentKey random = TContentKey::Random();
  EXPECT_NE(Text(std::vector<uint8_t>(random.Bytes().begin(), random.Bytes().end())), std::string(32, '\0'));
}

TEST(SealSettingsTest, UsersSectionsAreLeftOutAndTheRestKeptByteForByte) {
  struct TCase {
    std::string Config, Expected;
  };
  const TCase cases[] = {
      {"[params]\r\ntitle=T\r\n[users]\r\nann=secret\r\n[bookmarks]\r\nA=a.htm\r\n",
       "[params]\r\ntitle=T\r\n[bookmarks]\r\nA=a.htm\r\n"},
      {"; intro\n  [ Users ]  \nann=secret\n; note\n[Toolbar]\neBack=Back\n", "; intro\n[Toolbar]\neBack=Back\n"},
      {"[USERS]\rann=1\r[params]\rtitle=x\r[users]\rbob=2", "[params]\rtitle=x\r"},
      {"[params]\ntitle=x\n[users]\nann=1\n\0[users]\n", "[params]\ntitle=x\n"},
      {";[users]\nann=1\n[params]\n", ";[users]\nann=1\n[params]\n"},
      {"[users2]\nann=1\n", "[users2]\nann=1\n"},
  };
  for (const TCase& c : cases) EXPECT_EQ(SettingsWithoutUsers(c.Config), c.Expected) << c.Config;
}

TEST(SealSettingsTest, WindowSettingsHoldOnlyWhatOpensTheWindow) {
  const std::string config =
      "[users]\r\nann=secret\r\n[params]\r\ntitle = Sealed Title\r\nstart=chapters/one.htm\r\nabout=3C623E\r\n"
      "Resizable=1\r\n[bookmarks]\r\nOne=chapters/one.htm\r\n[Icon]\r\nBitmap=0001\r\n[Toolbar]\r\ntbBack=4142\r\n"
      "eBack=Go back\r\n[params]\r\ntitle=Later Title\r\n";
  const std::string text = WindowSettingsText(config);
  TMemoryStream stream;
  stream.WriteString(text);
  TResSetup settings;
  TResSetupObject(stream).ReadSettings(settings);
  EXPECT_EQ(settings.Title, "Later Title") << "read as the viewer reads: the last [params] holds";
  EXPECT_EQ(settings.StartPage, "index.htm") << "the last [params] names no start page";
  EXPECT_EQ(settings.Resolution, "800x600");
  EXPECT_EQ(settings.Users->Count(), 0);
  EXPECT_EQ(settings.Bookmarks->Count(), 0);
  EXPECT_EQ(settings.About->Count(), 0);
  EXPECT_EQ(settings.Icon->Size(), 2);
  EXPECT_TRUE(settings.Toolbar[0].Present);
  EXPECT_EQ(settings.Toolbar[0].Caption, "Go back");
  EXPECT_EQ(text.find("secret"), std::string::npos);
  EXPECT_EQ(text.find("3C623E"), std::string::npos);
  FreeSettings(settings);
}

// A book with two readers, bookmarks, an about text, a toolbar and pages.
const std::string kConfig =
    "[params]\r\ntitle=The Sealed Book\r\nstart=index.htm\r\nResolution=640x480\r\nabout=3C703E41626F75743C2F703E\r\n"
    "[users]\r\nalice = apple pie\r\nbob=banana split\r\nwholeline\r\n[bookmarks]\r\nChapter=chapters/one.htm\r\n"
    "[Toolbar]\r\ntbRegister=424D\r\neRegister=Home\r\n";

TTestArchive UnsealedBook() {
  TArchiveBuilder builder;
  builder.Add("config.ini", kConfig);
  builder.Add("book.lst", "index.htm\t12\r\n");
  builder.Add("index.htm", "<html><title>Start</title><p>The secret garden</p></html>");
  builder.Add("chapters\\one.htm", "<p>Chapter one of the secret garden</p>");
  builder.Add("pic.gif", std::string("GIF89a\0\1\2", 9));
  builder.Add("empty.htm", "");
  TTestArchive archive;
  archive.Block = builder.Build();
  return archive;
}

TSealOptions QuickOptions() {
  TSealOptions options;
  options.Iterations = 1000;  // the count is the book's; the steps are the same
  return options;
}

std::string ExtractText(const TRes_invoker& reader, int index) {
  TMemoryStream out;
  reader.Extract(index, out);
  return {reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())};
}
std::string ExtractText(const TSealedBook& seal, int index) {
  TMemoryStream out;
  seal.Extract(index, out);
  return {reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())};
}

TEST(SealedBookTest, ASealedBookOpensOnlyWithAReadersPassword) {
  const TTestArchive plain = UnsealedBook();
  TTestArchive sealed;
  sealed.Block = SealBookBlock(plain.Block, QuickOptions());
  const TRes_invoker reader = sealed.CheckedReader();
  const TRes_invoker original = plain.CheckedReader();

  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i) names.push_back(EntryName(reader.GetEntry(i)));
  EXPECT_EQ(names, (std::vector<std::string>{"config.ini", "book.lst", "index.htm", "chapters\\one.htm", "pic.gif",
                                             "empty.htm", "seal:settings", "seal:readers"}));

  // What a viewer reads before anyone logs in: the window's settings only.
  const std::string clear = ExtractText(reader, 0);
  EXPECT_NE(clear.find("title=The Sealed Book"), std::string::npos) << clear;
  for (const char* secret : {"apple", "banana", "wholeline", "[users]", "Chapter", "3C703E"})
    EXPECT_EQ(clear.find(secret), std::string::npos) << secret;
  // Every other entry is closed to a reader that does not know sealing.
  for (int i = 1; i < reader.Count() - 1; ++i) {
    EXPECT_TRUE(IsSealedEntry(reader.EntryData(i))) << names[static_cast<size_t>(i)];
    EXPECT_THROW(ExtractText(reader, i), EZCompressionError) << names[static_cast<size_t>(i)];
  }

  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);
  ASSERT_NE(seal, nullptr);
  EXPECT_EQ(seal->Header().Iterations, 1000u);
  std::vector<std::string> readers;
  for (const TSealReader& r : seal->Header().Readers) readers.push_back(r.Name);
  EXPECT_EQ(readers, (std::vector<std::string>{"alice", "bob", ""}));
  EXPECT_TRUE(seal->IsSealEntry(6) && seal->IsSealEntry(7) && !seal->IsSealEntry(1));

  EXPECT_THROW(ExtractText(*seal, 2), ESealError) << "locked";
  EXPECT_FALSE(seal->Unlock("carol", ByteSpan("apple pie")));
  EXPECT_EQ(seal->Derivations(), 0) << "an unknown name costs no derivation";
  EXPECT_FALSE(seal->Unlock("alice", ByteSpan("banana split")));
  EXPECT_FALSE(seal->Unlock("Alice", ByteSpan("apple pie")));
  EXPECT_EQ(seal->Derivations(), 1);
  EXPECT_FALSE(seal->Unlocked());
  EXPECT_TRUE(seal->Unlock("alice", ByteSpan("apple pie")));
  EXPECT_TRUE(seal->Unlocked());
  EXPECT_TRUE(seal->Unlock("anyone", ByteSpan("anything"))) << "open stays open";
  EXPECT_EQ(seal->Derivations(), 2);

  for (int i = 1; i < original.Count(); ++i)
    EXPECT_EQ(ExtractText(*seal, i), ExtractText(original, i)) << names[static_cast<size_t>(i)];
  TResSetup settings;
  seal->ReadSettings(settings);
  EXPECT_EQ(settings.Users->Count(), 0) << "no password is stored";
  ASSERT_EQ(settings.Bookmarks->Count(), 1);
  EXPECT_EQ((*settings.Bookmarks)[0], "Chapter=chapters/one.htm");
  ASSERT_EQ(settings.About->Count(), 1);
  EXPECT_EQ((*settings.About)[0], "<p>About</p>");
  EXPECT_EQ(settings.Title, "The Sealed Book");
  FreeSettings(settings);

  // Unsealed again: the book as packed, its settings without [users].
  const std::vector<uint8_t> unsealed = UnsealBookBlock(reader, *seal);
  const TRes_invoker back(reinterpret_cast<const THostArchive*>(unsealed.data()), static_cast<int64_t>(unsealed.size()));
  ASSERT_EQ(back.Count(), original.Count());
  EXPECT_EQ(ExtractText(back, 0), SettingsWithoutUsers(kConfig));
  for (int i = 1; i < original.Count(); ++i) {
    EXPECT_EQ(EntryName(back.GetEntry(i)), EntryName(original.GetEntry(i)));
    EXPECT_TRUE(std::ranges::equal(back.EntryData(i), original.EntryData(i))) << "the stored stream itself";
  }

  // Every reader's password opens it, the name-less line's too.
  for (const auto& [user, password] : std::vector<std::pair<std::string, std::string>>{
           {"bob", "banana split"}, {"", "wholeline"}}) {
    const std::unique_ptr<TSealedBook> other = TSealedBook::Find(reader);
    EXPECT_TRUE(other->Unlock(user, ByteSpan(password))) << user;
    std::string who;
    const std::unique_ptr<TSealedBook> any = TSealedBook::Find(reader);
    EXPECT_TRUE(any->UnlockAnyReader(ByteSpan(password), &who));
    EXPECT_EQ(who, user);
    // Once the book is open another password is still judged on its own.
    EXPECT_FALSE(any->UnlockAnyReader(ByteSpan("not a password"), &who));
    EXPECT_EQ(who, user);
    EXPECT_TRUE(any->Unlocked());
  }
}

TEST(SealedBookTest, EachEntryHasItsOwnNonceAndEachBookItsOwnKey) {
  const TTestArchive plain = UnsealedBook();
  TTestArchive first, second;
  first.Block = SealBookBlock(plain.Block, QuickOptions());
  second.Block = SealBookBlock(plain.Block, QuickOptions());
  std::set<std::vector<uint8_t>> nonces;
  const TRes_invoker a = first.CheckedReader(), b = second.CheckedReader();
  for (int i = 1; i < a.Count() - 1; ++i) {
    nonces.insert(std::vector<uint8_t>(a.EntryData(i).begin() + 4, a.EntryData(i).begin() + 16));
    EXPECT_FALSE(std::ranges::equal(a.EntryData(i), b.EntryData(i))) << i;
  }
  EXPECT_EQ(nonces.size(), static_cast<size_t>(a.Count() - 2));
  // The second book's key does not open the first one's entries.
  const std::unique_ptr<TSealedBook> sealB = TSealedBook::Find(b);
  ASSERT_TRUE(sealB->Unlock("alice", ByteSpan("apple pie")));
  TTestArchive mixed = second;
  // The first book's index.htm under the second book's directory record.
  const auto data = a.EntryData(2);
  mixed.Block.insert(mixed.Block.end(), data.begin(), data.end());
  mixed.SetEntryField(2, 256, static_cast<int32_t>(second.Block.size()));
  mixed.SetEntryField(2, 260, static_cast<int32_t>(data.size()));
  const TRes_invoker mixedReader = mixed.CheckedReader();
  const std::unique_ptr<TSealedBook> mixedSeal = TSealedBook::Find(mixedReader);
  ASSERT_TRUE(mixedSeal->Unlock("alice", ByteSpan("apple pie")));
  try {
    ExtractText(*mixedSeal, 2);
    ADD_FAILURE() << "an entry of another book opened";
  } catch (const EArchiveError& e) {
    EXPECT_EQ(e.Message, "The archive is damaged: the sealed entry \"index.htm\" has been changed or cut short");
  }
}

TEST(SealedBookTest, EntriesSwappedWithinTheBookAreDamage) {
  TTestArchive sealed;
  sealed.Block = SealBookBlock(UnsealedBook().Block, QuickOptions());
  // index.htm's record pointed at chapters\one.htm's data.
  int32_t offset = 0, size = 0;
  std::memcpy(&offset, sealed.Block.data() + 20 + 264 * 3 + 256, 4);
  std::memcpy(&size, sealed.Block.data() + 20 + 264 * 3 + 260, 4);
  sealed.SetEntryField(2, 256, offset);
  sealed.SetEntryField(2, 260, size);
  const TRes_invoker reader = sealed.CheckedReader();
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);
  ASSERT_TRUE(seal->Unlock("bob", ByteSpan("banana split")));
  EXPECT_THROW(ExtractText(*seal, 2), EArchiveError);
  EXPECT_EQ(ExtractText(*seal, 3), "<p>Chapter one of the secret garden</p>");
}

TEST(SealedBookTest, UnsealedBooksAreNotTakenForSealedOnes) {
  EXPECT_EQ(TSealedBook::Find(UnsealedBook().CheckedReader()), nullptr);
  // A file of the book that happens to carry the seal's name is a zlib
  // entry, which no seal is.
  TArchiveBuilder builder;
  builder.Add("config.ini", "[users]\r\na=b\r\n");
  builder.Add("seal:readers", "SEALKEYS as text");
  TTestArchive archive;
  archive.Block = builder.Build();
  EXPECT_EQ(TSealedBook::Find(archive.CheckedReader()), nullptr);
}

TEST(SealedBookTest, DamagedSealsAndBooksThatCannotBeSealedAreRefused) {
  const TTestArchive plain = UnsealedBook();
  const std::vector<uint8_t> sealed = SealBookBlock(plain.Block, QuickOptions());
  const TRes_invoker reader(reinterpret_cast<const THostArchive*>(sealed.data()), static_cast<int64_t>(sealed.size()));

  // A seal given twice, or one without its settings.
  TArchiveBuilder twice, noSettings;
  for (int i = 0; i < reader.Count(); ++i) {
    const std::string name = EntryName(reader.GetEntry(i));
    const auto data = reader.EntryData(i);
    twice.AddRaw(name, {data.begin(), data.end()});
    if (name != kSealSettingsName) noSettings.AddRaw(name, {data.begin(), data.end()});
  }
  twice.AddRaw(kSealReadersName, {reader.EntryData(7).begin(), reader.EntryData(7).end()});
  for (const auto& [what, block] : std::vector<std::pair<const char*, std::vector<uint8_t>>>{
           {"two seals", twice.Build()}, {"no sealed settings", noSettings.Build()}}) {
    TTestArchive archive;
    archive.Block = block;
    try {
      TSealedBook::Find(archive.CheckedReader());
      ADD_FAILURE() << what;
    } catch (const EArchiveError& e) {
      EXPECT_EQ(e.Message.rfind("The archive is damaged: ", 0), 0u) << e.Message;
    }
  }

  TArchiveBuilder noUsers, reserved;
  noUsers.Add("config.ini", "[params]\r\ntitle=x\r\n[users]\r\n");
  reserved.Add("config.ini", "[users]\r\na=b\r\n");
  reserved.Add("seal:settings", "mine");
  EXPECT_THROW(SealBookBlock(noUsers.Build(), QuickOptions()), ESealError);
  EXPECT_THROW(SealBookBlock(reserved.Build(), QuickOptions()), ESealError);
  EXPECT_THROW(SealBookBlock(sealed, QuickOptions()), ESealError) << "sealed already";
}

TEST(SealedBookTest, TheDefaultSealUsesTheFullDerivation) {
  TArchiveBuilder builder;
  builder.Add("config.ini", "[users]\r\nreader=pass word\r\n");
  builder.Add("book.lst", "");
  builder.Add("page.htm", kPage);
  TTestArchive sealed;
  sealed.Block = SealBookBlock(builder.Build());
  const TRes_invoker reader = sealed.CheckedReader();
  const std::unique_ptr<TSealedBook> seal = TSealedBook::Find(reader);
  EXPECT_EQ(seal->Header().Iterations, kSealIterations);
  ASSERT_TRUE(seal->Unlock("reader", ByteSpan("pass word")));
  EXPECT_EQ(ExtractText(*seal, 2), kPage);
}

}  // namespace
