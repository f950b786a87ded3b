// The resources of a Windows program, read from and written back into its
// file without the platform's resource functions, so that bookc can give an
// e-book program the book's icon on any system it runs on.
//
// The writer rebuilds the resource section in place. It moves nothing that
// code or data refer to: the resource section must be the last section of the
// file, or be followed only by the base relocations (whose position is read
// from one table entry only), and there must be room for one more section
// header when the program has no resources yet. Programs with a COFF symbol
// table (not stripped) are refused, since their symbols would lie behind the
// moved sections. Anything else is refused with EPeError naming the reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/exceptions.h"

EBOOK_DECLARE_EXCEPTION(EPeError, Exception);

// A resource type or name: a number, or a text (UTF-16) when Text is set.
struct TResourceName {
  uint16_t Id = 0;
  std::u16string Text;
  bool IsText() const { return !Text.empty(); }
  bool operator==(const TResourceName&) const = default;
};

struct TPeResource {
  TResourceName Type;
  TResourceName Name;
  uint16_t Language = 0;
  std::vector<uint8_t> Data;
};

constexpr uint16_t kResourceIcon = 3;        // RT_ICON
constexpr uint16_t kResourceGroupIcon = 14;  // RT_GROUP_ICON
constexpr uint16_t kResourceVersion = 16;    // RT_VERSION
constexpr uint16_t kResourceManifest = 24;   // RT_MANIFEST

// The machine a Windows program or library is built for, from its PE
// header: "32-bit" (i386), "64-bit" (x86-64), another name, or empty when
// the bytes are not a Windows file.
std::string PeMachine(std::span<const uint8_t> image);

// Every resource of a program image, in the order of its resource tree.
// Fails with EPeError when the image is not a PE file or its resource tree
// leads outside the file.
std::vector<TPeResource> ReadPeResources(std::span<const uint8_t> image);

// The image with its resources replaced by resources (in any order; the tree
// is written sorted as the platform requires). The checksum field is cleared:
// nothing verifies it for programs, and an e-book's appended archive would
// change it anyway.
std::vector<uint8_t> ReplacePeResources(std::span<const uint8_t> image, const std::vector<TPeResource>& resources);

// The icon file (.ico) as the resources that carry it in a program: one
// RT_ICON per image, numbered from firstIconId, and the RT_GROUP_ICON groupId
// that lists them. Fails with EPeError when the bytes are not an icon file.
std::vector<TPeResource> IconFileResources(std::span<const uint8_t> icoFile, uint16_t groupId,
                                           uint16_t firstIconId, uint16_t language);
