#include "tools/bookc/pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/book_file.h"
#include "runtime/streams.h"
#include "tools/bookc/bookc.h"

namespace {

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A program as the linker lays it out, small: headers, a code section, and
// (optionally) base relocations as the last section.
struct TProgram {
  std::vector<uint8_t> Bytes;
  bool Plus = false;
  size_t Optional() const { return 0x40 + 4 + 20; }
  size_t Directory(uint32_t index) const { return Optional() + (Plus ? 112 : 96) + 8 * index; }
  size_t SectionHeader(size_t index) const { return Optional() + (Plus ? 240 : 224) + 40 * index; }
  uint16_t SectionCount() const { return Get16(Bytes, 0x40 + 4 + 2); }
  // The file bytes at rva, found through the section table.
  std::vector<uint8_t> At(uint32_t rva, uint32_t size) const {
    for (size_t i = 0; i < SectionCount(); ++i) {
      const uint32_t va = Get32(Bytes, SectionHeader(i) + 12);
      const uint32_t raw = Get32(Bytes, SectionHeader(i) + 20);
      if (rva >= va && rva < va + Get32(Bytes, SectionHeader(i) + 16))
        return {Bytes.begin() + raw + (rva - va), Bytes.begin() + raw + (rva - va) + size};
    }
    return {};
  }
};

TProgram MakeProgram(bool plus, bool relocations) {
  TProgram p;
  p.Plus = plus;
  const uint16_t sections = relocations ? 2 : 1;
  p.Bytes.assign(0x400 + 0x200 * sections, 0);
  auto& b = p.Bytes;
  b[0] = 'M';
  b[1] = 'Z';
  Set32(b, 0x3C, 0x40);
  std::copy_n("PE\0\0", 4, b.begin() + 0x40);
  Set16(b, 0x44, plus ? 0x8664 : 0x014C);
  Set16(b, 0x46, sections);
  Set16(b, 0x54, plus ? 240 : 224);
  const size_t o = p.Optional();
  Set16(b, o, plus ? 0x20B : 0x10B);
  Set32(b, o + 32, kSectionAlignment);
  Set32(b, o + 36, kFileAlignment);
  Set32(b, o + 56, 0x1000 * (sections + 1));
  Set32(b, o + 60, 0x400);
  Set32(b, o + (plus ? 108 : 92), 16);
  auto section = [&](size_t index, const char* name, uint32_t va, uint32_t raw, uint32_t flags, uint8_t fill) {
    const size_t h = p.SectionHeader(index);
    std::copy_n(name, 6, b.begin() + static_cast<ptrdiff_t>(h));
    Set32(b, h + 8, 0x100);
    Set32(b, h + 12, va);
    Set32(b, h + 16, 0x200);
    Set32(b, h + 20, raw);
    Set32(b, h + 36, flags);
    std::fill_n(b.begin() + raw, 0x200, fill);
  };
  section(0, ".text", 0x1000, 0x400, 0x60000020, 0xC3);
  if (relocations) {
    section(1, ".reloc", 0x2000, 0x600, 0x42000040, 0x5A);
    Set32(b, p.Directory(5), 0x2000);
    Set32(b, p.Directory(5) + 4, 0x0C);
  }
  return p;
}

TPeResource Resource(uint16_t type, TResourceName name, uint16_t language, size_t size, uint8_t fill) {
  TPeResource r;
  r.Type.Id = type;
  r.Name = std::move(name);
  r.Language = language;
  r.Data.assign(size, fill);
  return r;
}

TResourceName Id(uint16_t id) { return TResourceName{id, {}}; }

// The resources as the reader lists them: the written tree's order.
std::vector<TPeResource> Sorted(std::vector<TPeResource> resources) {
  std::stable_sort(resources.begin(), resources.end(), [](const TPeResource& a, const TPeResource& b) {
    auto key = [](const TResourceName& n) { return std::make_pair(n.IsText() ? 0 : 1, n.IsText() ? 0 : n.Id); };
    if (a.Type != b.Type) return key(a.Type) < key(b.Type) || (a.Type.IsText() && b.Type.IsText() && a.Type.Text < b.Type.Text);
    if (a.Name != b.Name) return key(a.Name) < key(b.Name) || (a.Name.IsText() && b.Name.IsText() && a.Name.Text < b.Name.Text);
    return a.Language < b.Language;
  });
  return resources;
}

void ExpectSame(const std::vector<TPeResource>& expected, const std::vector<TPeResource>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(expected[i].Type == actual[i].Type) << i;
    EXPECT_TRUE(expected[i].Name == actual[i].Name) << i;
    EXPECT_EQ(expected[i].Language, actual[i].Language) << i;
    EXPECT_EQ(expected[i].Data, actual[i].Data) << i;
  }
}

// The checks every rewritten program must pass: the tree reads back, the
// code is where it was, the relocations are intact wherever their directory
// now points, and the image size covers the last section.
void ExpectSound(const TProgram& before, const TProgram& after, const std::vector<TPeResource>& resources) {
  ExpectSame(Sorted(resources), ReadPeResources(after.Bytes));
  EXPECT_EQ(after.At(0x1000, 0x200), std::vector<uint8_t>(0x200, 0xC3));
  const uint32_t relocations = Get32(after.Bytes, after.Directory(5));
  if (Get32(before.Bytes, before.Directory(5)) != 0) {
    EXPECT_EQ(after.At(relocations, 0x200), std::vector<uint8_t>(0x200, 0x5A));
    EXPECT_EQ(Get32(after.Bytes, after.Directory(5) + 4), 0x0Cu);
  }
  uint32_t end = 0;
  uint32_t previousEnd = 0;
  for (size_t i = 0; i < after.SectionCount(); ++i) {
    const uint32_t va = Get32(after.Bytes, after.SectionHeader(i) + 12);
    EXPECT_GE(va, previousEnd) << "sections overlap";
    EXPECT_EQ(va % kSectionAlignment, 0u);
    EXPECT_EQ(Get32(after.Bytes, after.SectionHeader(i) + 20) % kFileAlignment, 0u);
    previousEnd = end = va + Get32(after.Bytes, after.SectionHeader(i) + 8);
  }
  EXPECT_EQ(Get32(after.Bytes, after.Optional() + 56), (end + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment);
  EXPECT_EQ(Get32(after.Bytes, after.Optional() + 64), 0u) << "checksum cleared";
}

TEST(PeResources, AddedBeforeTheRelocationsThenReplacedWhateverTheirSize) {
  for (const bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const TProgram original = MakeProgram(plus, true);
    EXPECT_TRUE(ReadPeResources(original.Bytes).empty());

    TResourceName named;
    named.Text = u"MAINICON";
    const std::vector<TPeResource> first = {Resource(16, Id(1), 0x409, 300, 1), Resource(14, named, 0, 20, 2),
                                            Resource(3, Id(2), 0, 40, 3), Resource(3, Id(1), 0, 50, 4),
                                            Resource(3, Id(1), 0x407, 10, 5)};
    TProgram added{ReplacePeResources(original.Bytes, first), plus};
    ASSERT_EQ(added.SectionCount(), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&added.Bytes[added.SectionHeader(1)])), ".rsrc");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&added.Bytes[added.SectionHeader(2)])), ".reloc");
    ExpectSound(original, added, first);

    // Larger than a section: the relocations move further.
    const std::vector<TPeResource> second = {Resource(3, Id(1), 0, 9000, 7), Resource(14, Id(1), 0, 20, 8)};
    TProgram replaced{ReplacePeResources(added.Bytes, second), plus};
    EXPECT_EQ(replaced.SectionCount(), 3);
    ExpectSound(original, replaced, second);

    // Smaller again, and with nothing at all.
    TProgram shrunk{ReplacePeResources(replaced.Bytes, first), plus};
    ExpectSound(original, shrunk, first);
    TProgram empty{ReplacePeResources(shrunk.Bytes, {}), plus};
    ExpectSound(original, empty, {});
  }
}

TEST(PeResources, AppendedWhenNothingFollows) {
  const TProgram original = MakeProgram(false, false);
  const std::vector<TPeResource> resources = {Resource(24, Id(1), 0x409, 123, 9)};
  TProgram added{ReplacePeResources(original.Bytes, resources), false};
  ASSERT_EQ(added.SectionCount(), 2);
  EXPECT_EQ(Get32(added.Bytes, added.SectionHeader(1) + 12), 0x2000u);
  ExpectSound(original, added, resources);
}

TEST(PeResources, WhatCannotBeRewrittenSafelyIsRefused) {
  auto refused = [](const std::vector<uint8_t>& bytes, const std::string& reason) {
    try {
      ReplacePeResources(bytes, {Resource(3, Id(1), 0, 4, 1)});
      ADD_FAILURE() << "accepted; expected: " << reason;
    } catch (const EPeError& e) {
      EXPECT_NE(e.Message.find(reason), std::string::npos) << e.Message;
    }
  };
  TProgram p = MakeProgram(false, true);
  refused({'M', 'Z'}, "no MZ header");
  std::vector<uint8_t> noPe = p.Bytes;
  noPe[0x40] = 'X';
  refused(noPe, "no PE header");

  std::vector<uint8_t> symbols = p.Bytes;
  Set32(symbols, 0x40 + 4 + 8, 0x800);
  refused(symbols, "not stripped");

  std::vector<uint8_t> overlay = p.Bytes;
  overlay.push_back(0);
  refused(overlay, "1 bytes after its last section");

  // Resources followed by a section that code may refer to.
  TProgram rsrc{ReplacePeResources(p.Bytes, {Resource(3, Id(1), 0, 4, 1)}), false};
  std::vector<uint8_t> blocked = rsrc.Bytes;
  Set32(blocked, rsrc.Directory(5), 0);
  Set32(blocked, rsrc.Directory(5) + 4, 0);
  refused(blocked, "followed by sections that cannot move");

  // A section table that fills the headers.
  std::vector<uint8_t> full = p.Bytes;
  std::fill_n(full.begin() + static_cast<ptrdiff_t>(p.SectionHeader(2)), 40, 0xEE);
  refused(full, "no room for a resource section");

  // A resource section whose data would start inside the headers: writing
  // the new one there would overwrite them.
  std::vector<uint8_t> overHeaders = rsrc.Bytes;
  const size_t rsrcHeader = rsrc.SectionHeader(rsrc.SectionCount() - 2);
  Set32(overHeaders, rsrcHeader + 16, 0);
  Set32(overHeaders, rsrcHeader + 20, 0);
  refused(overHeaders, "overlap its headers");

  std::vector<uint8_t> outside = p.Bytes;
  Set32(outside, p.SectionHeader(1) + 16, 0x10000);
  refused(outside, "lies outside the file");
}

TEST(PeResources, ATreeLeadingOutsideItsSectionIsReportedWhenRead) {
  const TProgram p = MakeProgram(false, true);
  TProgram with{ReplacePeResources(p.Bytes, {Resource(3, Id(1), 0, 4, 1)}), false};
  // The one data entry lies after the three tables; point it far away.
  const uint32_t rsrc = Get32(with.Bytes, with.Directory(2));
  const uint32_t raw = Get32(with.Bytes, with.SectionHeader(1) + 20);
  const size_t entry = raw + 3 * (16 + 8);
  ASSERT_EQ(Get32(with.Bytes, entry + 4), 4u) << "the data entry's size";
  Set32(with.Bytes, entry, rsrc + 0x100000);
  EXPECT_THROW(ReadPeResources(with.Bytes), EPeError);
  // A subdirectory flag where data belongs.
  TProgram looped{ReplacePeResources(p.Bytes, {Resource(3, Id(1), 0, 4, 1)}), false};
  Set32(looped.Bytes, raw + 2 * (16 + 8) + 16 + 4, 0x80000000u);
  EXPECT_THROW(ReadPeResources(looped.Bytes), EPeError);
}

TEST(PeResources, IconFilesBecomeImagesAndTheirGroup) {
  // Two images: 16x16 (8 bytes) and 32x32 (5 bytes) at the end of the file.
  std::vector<uint8_t> ico = {0, 0, 1, 0, 2, 0};
  const uint8_t first[16] = {16, 16, 0, 0, 1, 0, 32, 0, 8, 0, 0, 0, 38, 0, 0, 0};
  const uint8_t second[16] = {32, 32, 0, 0, 1, 0, 32, 0, 5, 0, 0, 0, 46, 0, 0, 0};
  ico.insert(ico.end(), first, first + 16);
  ico.insert(ico.end(), second, second + 16);
  for (uint8_t i = 0; i < 13; ++i) ico.push_back(static_cast<uint8_t>(100 + i));

  const auto resources = IconFileResources(ico, 7, 20, 0x409);
  ASSERT_EQ(resources.size(), 3u);
  EXPECT_EQ(resources[0].Type.Id, kResourceIcon);
  EXPECT_EQ(resources[0].Name.Id, 20);
  EXPECT_EQ(resources[0].Data, std::vector<uint8_t>(ico.begin() + 38, ico.begin() + 46));
  EXPECT_EQ(resources[1].Name.Id, 21);
  EXPECT_EQ(resources[1].Data, std::vector<uint8_t>(ico.begin() + 46, ico.end()));
  const TPeResource& group = resources[2];
  EXPECT_EQ(group.Type.Id, kResourceGroupIcon);
  EXPECT_EQ(group.Name.Id, 7);
  EXPECT_EQ(group.Language, 0x409);
  ASSERT_EQ(group.Data.size(), 6u + 2 * 14);
  EXPECT_TRUE(std::equal(group.Data.begin(), group.Data.begin() + 6, ico.begin()));
  EXPECT_TRUE(std::equal(group.Data.begin() + 6, group.Data.begin() + 18, first));
  EXPECT_EQ(Get16(group.Data, 18), 20);
  EXPECT_EQ(Get16(group.Data, 32), 21);

  EXPECT_THROW(IconFileResources(std::vector<uint8_t>{'B', 'M', 0, 0, 0, 0}, 1, 1, 0), EPeError);
  std::vector<uint8_t> cut(ico.begin(), ico.end() - 1);
  EXPECT_THROW(IconFileResources(cut, 1, 1, 0), EPeError);
  EXPECT_THROW(IconFileResources(std::vector<uint8_t>{0, 0, 1, 0, 0, 0}, 1, 1, 0), EPeError);
}

// bookc exe gives the e-book program the book's icon; the appended archive
// still opens. A value that is not an icon leaves the host as it is, with a
// warning, as does a book without an icon.
TEST(PeResources, BookcExeGivesTheProgramTheBooksIcon) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "pe_resources_test_exe";
  fs::remove_all(dir);
  fs::create_directories(dir / "book");
  fs::create_directories(dir / "tools");
  WriteWholeFile(Utf8Of(dir / "tools" / "ebookhost.exe"), MakeProgram(false, true).Bytes);
  WriteWholeFile(Utf8Of(dir / "tools" / "ebookview.dll"), MakeProgram(false, false).Bytes);
  WriteWholeFile(Utf8Of(dir / "book" / "index.htm"), std::vector<uint8_t>{'<', 'p', '>'});
  const std::vector<uint8_t> ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 22, 0, 0, 0, 1, 2, 3, 4};
  auto make = [&](const std::string& iconValue, std::string& err) {
    std::ofstream(dir / "book" / "config.ini", std::ios::binary) << "[params]\r\ntitle=Icon\r\n" << iconValue;
    std::ostringstream out, errors;
    const int status = RunBookc({"exe", Utf8Of(dir / "book"), Utf8Of(dir / "book.exe"), "--host",
                                 Utf8Of(dir / "tools" / "ebookhost.exe")},
                                out, errors);
    err = errors.str();
    EXPECT_EQ(status, 0) << err;
    const std::vector<uint8_t> book = ReadWholeFile(Utf8Of(dir / "book.exe"));
    EXPECT_NO_THROW(LoadBookImage(Utf8Of(dir / "book.exe"))) << "the archive behind the rewritten program";
    return ReadPeResources(book);
  };

  std::string hex;
  for (uint8_t b : ico) hex += "0123456789ABCDEF"[b >> 4], hex += "0123456789ABCDEF"[b & 15];
  std::string err;
  const auto resources = make("[Icon]\r\nBitmap=" + hex + "\r\n", err);
  ASSERT_EQ(resources.size(), 2u);
  EXPECT_EQ(resources[0].Type.Id, kResourceIcon);
  EXPECT_EQ(resources[0].Data, std::vector<uint8_t>({1, 2, 3, 4}));
  EXPECT_EQ(resources[1].Type.Id, kResourceGroupIcon);
  EXPECT_EQ(resources[1].Name.Id, 1);

  EXPECT_TRUE(make("[Icon]\r\nBitmap=424D0000\r\n", err).empty());
  EXPECT_NE(err.find("warning: the book's icon cannot be used"), std::string::npos) << err;
  EXPECT_TRUE(make("", err).empty());
  EXPECT_EQ(err.find("cannot be used"), std::string::npos) << "no icon is no fault of the program: " << err;
  EXPECT_NE(err.find("error: the book has no icon"), std::string::npos) << "but the book check reports it: " << err;
  fs::remove_all(dir);
}

}  // namespace
