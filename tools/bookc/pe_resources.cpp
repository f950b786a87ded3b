#include "tools/bookc/pe_resources.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kTextNameFlag = 0x80000000u;
constexpr uint32_t kInitializedData = 0x00000040u;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr uint32_t kMemoryRead = 0x40000000u;       // IMAGE_SCN_MEM_READ
constexpr size_t kSectionHeaderSize = 40;

// Little-endian fields, read with their bounds checked against the bytes.
uint32_t Get(std::span<const uint8_t> bytes, size_t at, size_t width) {
  if (at > bytes.size() || width > bytes.size() - at) throw EPeError("The program's headers end early");
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}
uint16_t U16(std::span<const uint8_t> bytes, size_t at) { return static_cast<uint16_t>(Get(bytes, at, 2)); }
uint32_t U32(std::span<const uint8_t> bytes, size_t at) { return Get(bytes, at, 4); }

void Put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

struct TSection {
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t RawSize = 0;
  uint32_t RawPointer = 0;
  uint32_t Characteristics = 0;
  uint32_t VirtualEnd() const { return VirtualAddress + std::max(VirtualSize, RawSize); }
};

// Where the parts of a PE image are, checked against its size.
struct TPeLayout {
  size_t Coff = 0;  // the COFF file header, after "PE\0\0"
  size_t Optional = 0;
  size_t Directories = 0;
  uint32_t DirectoryCount = 0;
  size_t SectionTable = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t SymbolTable = 0;
  std::vector<TSection> Sections;

  uint32_t DirectoryRva(uint32_t index) const { return index < DirectoryCount ? Rva[index] : 0; }
  uint32_t DirectorySize(uint32_t index) const { return index < DirectoryCount ? Size[index] : 0; }
  std::vector<uint32_t> Rva, Size;

  // The section holding rva, or -1.
  int SectionOf(uint32_t rva) const {
    for (size_t i = 0; i < Sections.size(); ++i)
      if (rva >= Sections[i].VirtualAddress && rva < Sections[i].VirtualEnd()) return static_cast<int>(i);
    return -1;
  }
};

bool PowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

TPeLayout ParseLayout(std::span<const uint8_t> image) {
  if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
    throw EPeError("The file is not a Windows program: it has no MZ header");
  TPeLayout layout;
  const uint32_t pe = U32(image, 0x3C);
  if (U32(image, pe) != 0x00004550u) throw EPeError("The file is not a Windows program: it has no PE header");
  layout.Coff = pe + 4;
  const uint16_t sectionCount = U16(image, layout.Coff + 2);
  layout.SymbolTable = U32(image, layout.Coff + 8);
  const uint16_t optionalSize = U16(image, layout.Coff + 16);
  layout.Optional = layout.Coff + 20;
  const uint16_t magic = U16(image, layout.Optional);
  if (magic != 0x10B && magic != 0x20B)
    throw EPeError(Format("The program's optional header has the unknown kind 0x%X", magic));
  const bool plus = magic == 0x20B;
  layout.SectionAlignment = U32(image, layout.Optional + 32);
  layout.FileAlignment = U32(image, layout.Optional + 36);
  layout.SizeOfHeaders = U32(image, layout.Optional + 60);
  if (!PowerOfTwo(layout.SectionAlignment) || !PowerOfTwo(layout.FileAlignment))
    throw EPeError("The program's section alignments are not powers of two");
  if (layout.FileAlignment > layout.SectionAlignment)
    throw EPeError("The program's file alignment is larger than its section alignment");
  layout.DirectoryCount = U32(image, layout.Optional + (plus ? 108 : 92));
  layout.Directories = layout.Optional + (plus ? 112 : 96);
  if (layout.DirectoryCount > 16 || layout.Directories + 8 * layout.DirectoryCount > layout.Optional + optionalSize)
    throw EPeError("The program's data directories do not fit its optional header");
  for (uint32_t i = 0; i < layout.DirectoryCount; ++i) {
    layout.Rva.push_back(U32(image, layout.Directories + 8 * i));
    layout.Size.push_back(U32(image, layout.Directories + 8 * i + 4));
  }
  layout.SectionTable = layout.Optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t at = layout.SectionTable + kSectionHeaderSize * i;
    TSection section;
    section.VirtualSize = U32(image, at + 8);
    section.VirtualAddress = U32(image, at + 12);
    section.RawSize = U32(image, at + 16);
    section.RawPointer = U32(image, at + 20);
    section.Characteristics = U32(image, at + 36);
    if (section.RawSize > 0 && (section.RawPointer > image.size() || section.RawSize > image.size() - section.RawPointer))
      throw EPeError(Format("Section %u of the program lies outside the file", i + 1u));
    if (uint64_t{section.VirtualAddress} + std::max(section.VirtualSize, section.RawSize) > 0x7FFFFFFF ||
        section.VirtualAddress % layout.SectionAlignment != 0)
      throw EPeError(Format("Section %u of the program has an impossible address", i + 1u));
    if (!layout.Sections.empty() && section.VirtualAddress < layout.Sections.back().VirtualEnd())
      throw EPeError("The program's sections are not in address order");
    layout.Sections.push_back(section);
  }
  return layout;
}

// The file bytes of size bytes at rva, which must lie in one section's data.
std::span<const uint8_t> BytesAt(std::span<const uint8_t> image, const TPeLayout& layout, uint32_t rva, uint32_t size) {
  // Empty data may stand at the very end of its section.
  if (size == 0) return {};
  const int index = layout.SectionOf(rva);
  if (index < 0) throw EPeError(Format("The address 0x%X lies in no section of the program", rva));
  const TSection& section = layout.Sections[static_cast<size_t>(index)];
  const uint32_t offset = rva - section.VirtualAddress;
  if (offset > section.RawSize || size > section.RawSize - offset)
    throw EPeError(Format("%u bytes at the address 0x%X run past their section's data", size, rva));
  return image.subspan(section.RawPointer + offset, size);
}

TResourceName ReadName(std::span<const uint8_t> tree, uint32_t field) {
  TResourceName name;
  if (field & kTextNameFlag) {
    const uint32_t at = field & ~kTextNameFlag;
    const uint16_t length = U16(tree, at);
    if (length == 0) throw EPeError("A resource has an empty name");
    for (uint16_t i = 0; i < length; ++i) name.Text += static_cast<char16_t>(U16(tree, at + 2 + 2u * i));
  } else {
    if (field > 0xFFFF) throw EPeError(Format("A resource number 0x%X is out of range", field));
    name.Id = static_cast<uint16_t>(field);
  }
  return name;
}

// Type, name and language: the tree has exactly these three levels.
void Walk(std::span<const uint8_t> image, const TPeLayout& layout, std::span<const uint8_t> tree, uint32_t offset,
          int level, TPeResource& path, std::vector<TPeResource>& out) {
  const uint32_t entries = static_cast<uint32_t>(U16(tree, offset + 12)) + U16(tree, offset + 14);
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t entry = offset + 16 + 8 * static_cast<size_t>(i);
    const TResourceName name = ReadName(tree, U32(tree, entry));
    const uint32_t target = U32(tree, entry + 4);
    const bool subdirectory = (target & kSubdirectoryFlag) != 0;
    if (subdirectory != (level < 2)) throw EPeError("The program's resource tree is not three levels deep");
    if (level == 0) path.Type = name;
    if (level == 1) path.Name = name;
    if (level == 2) {
      if (name.IsText()) throw EPeError("A resource language is a text instead of a number");
      path.Language = name.Id;
      const uint32_t rva = U32(tree, target);
      const uint32_t size = U32(tree, target + 4);
      const auto data = BytesAt(image, layout, rva, size);
      path.Data.assign(data.begin(), data.end());
      // A tree whose tables point at each other could otherwise list the
      // same data without end.
      if (out.size() >= 0xFFFF) throw EPeError("The program's resource tree lists too many resources");
      out.push_back(path);
    } else {
      Walk(image, layout, tree, target & ~kSubdirectoryFlag, level + 1, path, out);
    }
  }
}

// The platform looks entries up by binary search: named entries first, by
// their text, then numbered entries in ascending order.
struct TNameOrder {
  bool operator()(const TResourceName& a, const TResourceName& b) const {
    if (a.IsText() != b.IsText()) return a.IsText();
    if (a.IsText()) return a.Text < b.Text;
    return a.Id < b.Id;
  }
};

using TTree = std::map<TResourceName, std::map<TResourceName, std::map<uint16_t, const TPeResource*>, TNameOrder>,
                       TNameOrder>;

// The resource section's bytes for resources placed at rva.
std::vector<uint8_t> BuildResourceSection(const std::vector<TPeResource>& resources, uint32_t rva) {
  TTree tree;
  for (const TPeResource& r : resources) {
    auto& slot = tree[r.Type][r.Name][r.Language];
    if (slot != nullptr) throw EPeError("Two resources have the same type, name and language");
    slot = &r;
  }
  // Sizes first: the tables, then the names, then the data entries, then the
  // data, each part aligned.
  auto tableSize = [](size_t entries) { return 16 + 8 * entries; };
  size_t tables = tableSize(tree.size());
  size_t names = 0;
  size_t leaves = 0;
  auto nameSize = [](const TResourceName& n) { return n.IsText() ? 2 + 2 * n.Text.size() : 0; };
  for (const auto& [type, byName] : tree) {
    tables += tableSize(byName.size());
    names += nameSize(type);
    for (const auto& [name, byLanguage] : byName) {
      tables += tableSize(byLanguage.size());
      names += nameSize(name);
      leaves += byLanguage.size();
    }
  }
  const size_t namesAt = tables;
  const size_t entriesAt = AlignUp(namesAt + names, 4);
  size_t dataAt = AlignUp(entriesAt + 16 * leaves, 8);
  size_t total = dataAt;
  for (const TPeResource& r : resources) total = AlignUp(total + r.Data.size(), 8);
  if (total > 0x7FFFFFFF) throw EPeError("The resources are too large for a program");

  std::vector<uint8_t> out(total, 0);
  size_t nextTable = 0;
  size_t nextName = namesAt;
  size_t nextEntry = entriesAt;
  auto startTable = [&](size_t entries, size_t named) {
    const size_t at = nextTable;
    Put(out, at + 12, static_cast<uint32_t>(named), 2);
    Put(out, at + 14, static_cast<uint32_t>(entries - named), 2);
    nextTable += tableSize(entries);
    return at;
  };
  auto nameField = [&](const TResourceName& name) -> uint32_t {
    if (!name.IsText()) return name.Id;
    const size_t at = nextName;
    Put(out, at, static_cast<uint32_t>(name.Text.size()), 2);
    for (size_t i = 0; i < name.Text.size(); ++i) Put(out, at + 2 + 2 * i, name.Text[i], 2);
    nextName += nameSize(name);
    return kTextNameFlag | static_cast<uint32_t>(at);
  };
  auto namedCount = [](const auto& level) {
    return static_cast<size_t>(std::count_if(level.begin(), level.end(), [](const auto& e) { return e.first.IsText(); }));
  };

  // Breadth first: the root, then every type's table, then every name's.
  const size_t root = startTable(tree.size(), namedCount(tree));
  std::vector<size_t> typeTables;
  size_t index = 0;
  for (const auto& [type, byName] : tree) {
    const size_t table = startTable(byName.size(), namedCount(byName));
    typeTables.push_back(table);
    Put(out, root + 16 + 8 * index, nameField(type), 4);
    Put(out, root + 16 + 8 * index + 4, kSubdirectoryFlag | static_cast<uint32_t>(table), 4);
    ++index;
  }
  index = 0;
  for (const auto& [type, byName] : tree) {
    size_t nameIndex = 0;
    for (const auto& [name, byLanguage] : byName) {
      const size_t table = startTable(byLanguage.size(), 0);
      const size_t entry = typeTables[index] + 16 + 8 * nameIndex;
      Put(out, entry, nameField(name), 4);
      Put(out, entry + 4, kSubdirectoryFlag | static_cast<uint32_t>(table), 4);
      size_t languageIndex = 0;
      for (const auto& [language, resource] : byLanguage) {
        Put(out, table + 16 + 8 * languageIndex, language, 4);
        Put(out, table + 16 + 8 * languageIndex + 4, static_cast<uint32_t>(nextEntry), 4);
        Put(out, nextEntry, static_cast<uint32_t>(rva + dataAt), 4);
        Put(out, nextEntry + 4, static_cast<uint32_t>(resource->Data.size()), 4);
        std::copy(resource->Data.begin(), resource->Data.end(), out.begin() + static_cast<ptrdiff_t>(dataAt));
        dataAt = AlignUp(dataAt + resource->Data.size(), 8);
        nextEntry += 16;
        ++languageIndex;
      }
      ++nameIndex;
    }
    ++index;
  }
  return out;
}

}  // namespace

std::string PeMachine(std::span<const uint8_t> image) {
  try {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return {};
    const uint32_t pe = U32(image, 0x3C);
    if (U32(image, pe) != 0x00004550u) return {};
    const uint16_t machine = U16(image, size_t{pe} + 4);
    if (machine == 0x014C) return "32-bit";
    if (machine == 0x8664) return "64-bit";
    return Format("machine 0x%04X", machine);
  } catch (const EPeError&) {
    return {};
  }
}

std::vector<TPeResource> ReadPeResources(std::span<const uint8_t> image) {
  const TPeLayout layout = ParseLayout(image);
  const uint32_t rva = layout.DirectoryRva(kResourceDirectory);
  const uint32_t size = layout.DirectorySize(kResourceDirectory);
  std::vector<TPeResource> resources;
  if (rva == 0 || size == 0) return resources;
  const auto tree = BytesAt(image, layout, rva, size);
  TPeResource path;
  Walk(image, layout, tree, 0, 0, path, resources);
  return resources;
}

std::vector<uint8_t> ReplacePeResources(std::span<const uint8_t> image, const std::vector<TPeResource>& resources) {
  const TPeLayout layout = ParseLayout(image);
  if (layout.SymbolTable != 0)
    throw EPeError("The program is not stripped: its symbol table lies behind the sections that would move");
  const auto& sections = layout.Sections;
  if (sections.empty()) throw EPeError("The program has no sections");
  uint64_t fileEnd = layout.SizeOfHeaders;
  for (const TSection& s : sections) fileEnd = std::max<uint64_t>(fileEnd, uint64_t{s.RawPointer} + s.RawSize);
  if (image.size() != fileEnd)
    throw EPeError(Format("The program has %llu bytes after its last section",
                          static_cast<unsigned long long>(image.size() - std::min<uint64_t>(fileEnd, image.size()))));

  // Only the relocations may follow the resources: they are found through
  // their table entry alone, so they can move.
  auto sectionStartingAt = [&](uint32_t directory) {
    const uint32_t rva = layout.DirectoryRva(directory);
    if (rva == 0 || layout.DirectorySize(directory) == 0) return -1;
    const int index = layout.SectionOf(rva);
    if (index < 0 || sections[static_cast<size_t>(index)].VirtualAddress != rva)
      throw EPeError(Format("Data directory %u does not start a section of its own", directory));
    return index;
  };
  const int resourceIndex = sectionStartingAt(kResourceDirectory);
  const int relocationIndex = sectionStartingAt(kRelocationDirectory);
  const int last = static_cast<int>(sections.size()) - 1;
  // Where the new resource section goes: in place of the old one, else just
  // before the relocations when they are last, else after the last section.
  int position = 0;
  bool added = false;
  if (resourceIndex >= 0) {
    position = resourceIndex;
    if (resourceIndex != last && !(resourceIndex + 1 == last && relocationIndex == last))
      throw EPeError("The program's resources are followed by sections that cannot move");
  } else {
    added = true;
    position = relocationIndex == last ? last : last + 1;
    const size_t tableEnd = layout.SectionTable + kSectionHeaderSize * (sections.size() + 1);
    uint32_t firstData = layout.SizeOfHeaders;
    for (const TSection& s : sections)
      if (s.RawSize > 0) firstData = std::min(firstData, s.RawPointer);
    if (tableEnd > firstData || tableEnd > layout.SizeOfHeaders)
      throw EPeError("The program's headers have no room for a resource section");
    for (size_t i = tableEnd - kSectionHeaderSize; i < tableEnd; ++i)
      if (image[i] != 0) throw EPeError("The program's headers have no room for a resource section");
  }
  // The relocations move when they come right after the resource section.
  const bool moveRelocations =
      relocationIndex == last && relocationIndex != resourceIndex && (added || resourceIndex + 1 == last);

  uint32_t baseRva;
  uint32_t baseRaw;
  if (!added || moveRelocations) {
    const TSection& at = sections[static_cast<size_t>(added ? relocationIndex : resourceIndex)];
    baseRva = at.VirtualAddress;
    baseRaw = at.RawPointer;
  } else {
    baseRva = static_cast<uint32_t>(AlignUp(sections.back().VirtualEnd(), layout.SectionAlignment));
    baseRaw = static_cast<uint32_t>(AlignUp(fileEnd, layout.FileAlignment));
  }
  // The new section is written from baseRaw on: it must not reach back
  // into the headers (a section whose data claims to start inside them).
  if (baseRaw < layout.SizeOfHeaders) throw EPeError("The program's sections overlap its headers");
  // Everything that stays lies before the new section in the file.
  for (int i = 0; i < position; ++i) {
    const TSection& s = sections[static_cast<size_t>(i)];
    if (s.RawSize > 0 && uint64_t{s.RawPointer} + s.RawSize > baseRaw)
      throw EPeError("The program's sections are not in file order");
  }
  const std::vector<uint8_t> section = BuildResourceSection(resources, baseRva);
  const auto rawSize = static_cast<uint32_t>(AlignUp(section.size(), layout.FileAlignment));
  // Sections end below 2 GiB (checked when read); what moves must too.
  uint64_t imageEnd = AlignUp(uint64_t{baseRva} + section.size(), layout.SectionAlignment);
  uint64_t fileSize = uint64_t{baseRaw} + rawSize;
  if (moveRelocations) {
    const TSection& old = sections[static_cast<size_t>(relocationIndex)];
    imageEnd += std::max(old.VirtualSize, old.RawSize);
    fileSize += old.RawSize;
  }
  if (imageEnd > 0x7FFFFFFF || fileSize > 0x7FFFFFFF) throw EPeError("The program would grow beyond 2 GiB");

  // A file whose last section is not padded to the file alignment is padded
  // here before the new section.
  std::vector<uint8_t> out(image.begin(), image.begin() + std::min<size_t>(baseRaw, image.size()));
  out.resize(uint64_t{baseRaw} + rawSize, 0);
  std::copy(section.begin(), section.end(), out.begin() + baseRaw);

  std::vector<TSection> result(sections.begin(), sections.end());
  TSection resource;
  resource.VirtualAddress = baseRva;
  resource.VirtualSize = static_cast<uint32_t>(section.size());
  resource.RawPointer = baseRaw;
  resource.RawSize = rawSize;
  resource.Characteristics = added ? (kInitializedData | kMemoryRead) : sections[static_cast<size_t>(position)].Characteristics;
  if (added)
    result.insert(result.begin() + position, resource);
  else
    result[static_cast<size_t>(position)] = resource;

  if (moveRelocations) {
    TSection& relocations = result.back();
    const TSection& old = sections[static_cast<size_t>(relocationIndex)];
    relocations.VirtualAddress = static_cast<uint32_t>(AlignUp(uint64_t{baseRva} + section.size(), layout.SectionAlignment));
    relocations.RawPointer = baseRaw + rawSize;
    out.insert(out.end(), image.begin() + old.RawPointer, image.begin() + old.RawPointer + old.RawSize);
    Put(out, layout.Directories + 8 * kRelocationDirectory, relocations.VirtualAddress, 4);
  }

  // The section table: a new header shifts the ones after it.
  if (added) {
    const size_t at = layout.SectionTable + kSectionHeaderSize * static_cast<size_t>(position);
    const size_t end = layout.SectionTable + kSectionHeaderSize * sections.size();
    std::copy_backward(out.begin() + static_cast<ptrdiff_t>(at), out.begin() + static_cast<ptrdiff_t>(end),
                       out.begin() + static_cast<ptrdiff_t>(end + kSectionHeaderSize));
    std::fill(out.begin() + static_cast<ptrdiff_t>(at), out.begin() + static_cast<ptrdiff_t>(at + kSectionHeaderSize), 0);
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, out.begin() + static_cast<ptrdiff_t>(at));
    Put(out, layout.Coff + 2, static_cast<uint32_t>(result.size()), 2);
  }
  uint32_t initializedData = 0;
  for (size_t i = 0; i < result.size(); ++i) {
    const size_t at = layout.SectionTable + kSectionHeaderSize * i;
    Put(out, at + 8, result[i].VirtualSize, 4);
    Put(out, at + 12, result[i].VirtualAddress, 4);
    Put(out, at + 16, result[i].RawSize, 4);
    Put(out, at + 20, result[i].RawPointer, 4);
    Put(out, at + 36, result[i].Characteristics, 4);
    if (result[i].Characteristics & kInitializedData) initializedData += result[i].RawSize;
  }
  Put(out, layout.Optional + 8, initializedData, 4);
  const TSection& end = result.back();
  Put(out, layout.Optional + 56,
      static_cast<uint32_t>(AlignUp(uint64_t{end.VirtualAddress} + end.VirtualSize, layout.SectionAlignment)), 4);
  Put(out, layout.Optional + 64, 0, 4);  // checksum
  Put(out, layout.Directories + 8 * kResourceDirectory, baseRva, 4);
  Put(out, layout.Directories + 8 * kResourceDirectory + 4, static_cast<uint32_t>(section.size()), 4);
  return out;
}

std::vector<TPeResource> IconFileResources(std::span<const uint8_t> icoFile, uint16_t groupId, uint16_t firstIconId,
                                           uint16_t language) {
  // ICONDIR: reserved 0, type 1, count; then 16-byte entries whose last field
  // is the image's offset in the file. The group resource keeps the first
  // 12 bytes of each entry and replaces the offset by the RT_ICON number.
  const auto get = [&](size_t at, size_t width) {
    if (at > icoFile.size() || width > icoFile.size() - at) throw EPeError("The icon file ends early");
    return Get(icoFile, at, width);
  };
  if (icoFile.size() < 6 || get(0, 2) != 0 || get(2, 2) != 1) throw EPeError("The data is not an icon file");
  const uint32_t count = get(4, 2);
  if (count == 0) throw EPeError("The icon file holds no image");
  if (uint32_t{firstIconId} + count - 1 > 0xFFFF) throw EPeError("Too many icon images");
  std::vector<TPeResource> out;
  TPeResource group;
  group.Type.Id = kResourceGroupIcon;
  group.Name.Id = groupId;
  group.Language = language;
  group.Data.assign(icoFile.begin(), icoFile.begin() + 6);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * static_cast<size_t>(i);
    const uint32_t size = get(entry + 8, 4);
    const uint32_t offset = get(entry + 12, 4);
    if (size == 0) throw EPeError(Format("Image %u of the icon file is empty", i + 1));
    if (offset > icoFile.size() || size > icoFile.size() - offset)
      throw EPeError(Format("Image %u of the icon file lies outside it", i + 1));
    TPeResource icon;
    icon.Type.Id = kResourceIcon;
    const auto id = static_cast<uint16_t>(firstIconId + i);
    icon.Name.Id = id;
    icon.Language = language;
    icon.Data.assign(icoFile.begin() + offset, icoFile.begin() + offset + size);
    out.push_back(std::move(icon));
    group.Data.insert(group.Data.end(), icoFile.begin() + static_cast<ptrdiff_t>(entry),
                      icoFile.begin() + static_cast<ptrdiff_t>(entry + 12));
    group.Data.push_back(static_cast<uint8_t>(id & 0xFF));
    group.Data.push_back(static_cast<uint8_t>(id >> 8));
  }
  out.push_back(std::move(group));
  return out;
}
