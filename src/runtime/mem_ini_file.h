// INI text held in memory. The reading rules are those book authors rely on
// for "config.ini":
//  - lines end at CR LF, LF or CR; a NUL byte ends the text;
//  - every line is trimmed of blanks and control characters; empty lines and
//    lines starting with ";" are skipped;
//  - "[name]" opens a section (name trimmed); lines before the first section
//    are skipped;
//  - "key = value" is stored as "key=value" (both sides trimmed); a line
//    without "=" is kept as it is and has no key;
//  - section names and keys ignore letter case (ANSI); a repeated section
//    replaces the earlier one, and a repeated key reads as its last value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/string_list.h"

class TStream;

class TCustomIniFile {
 public:
  explicit TCustomIniFile(std::string fileName) : FileName(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;

  virtual std::string ReadString(std::string_view section, std::string_view ident,
                                 std::string_view defaultValue) const = 0;
  virtual bool SectionExists(std::string_view section) const = 0;
  virtual bool ValueExists(std::string_view section, std::string_view ident) const = 0;
  // Every stored line of the section, in file order (lines without "=" too).
  virtual void ReadSectionValues(std::string_view section, TStringList& lines) const = 0;

  // The value as an integer; the default when the key is absent, empty or
  // not an integer.
  int32_t ReadInteger(std::string_view section, std::string_view ident, int32_t defaultValue) const;
  // Decodes a hex-encoded value (two digits per byte, high digit first) into
  // value at its position: the stream grows by half the value's length (an
  // odd last digit is dropped). Decoding stops at the first pair holding a
  // character that is not a hex digit; the bytes from there on stay zero, so
  // the stream still gets its full length. The stream's position is left
  // where it was. Returns the number of bytes added.
  int64_t ReadBinaryStream(std::string_view section, std::string_view ident, TStream& value) const;

  const std::string FileName;
};

class TMemIniFile : public TCustomIniFile {
 public:
  explicit TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {}

  // Replaces the content with the sections read from lines by the rules
  // above.
  void SetStrings(const TStringList& lines);

  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view defaultValue) const override;
  bool SectionExists(std::string_view section) const override;
  bool ValueExists(std::string_view section, std::string_view ident) const override;
  void ReadSectionValues(std::string_view section, TStringList& lines) const override;

  // Where the values read come from, as 1-based line numbers of the lines
  // given to SetStrings (0 when there is no such section or key): the header
  // of the section that is read, the line of the key's occurrence that is
  // read, and every stored line of the section in order.
  int SectionLine(std::string_view section) const;
  int KeyLine(std::string_view section, std::string_view ident) const;
  std::vector<int> SectionLineNumbers(std::string_view section) const;

 protected:
  void ClearSections() { sections_.clear(); }

 private:
  struct TSection {
    std::string Name;
    std::string UpperName;
    TStringList Lines;
    int HeaderLine = 0;
    std::vector<int> LineNumbers;  // of each entry of Lines
  };
  const TSection* FindSection(std::string_view section) const;
  // The index of the last line whose key is ident, or -1.
  static int FindKey(const TSection& section, std::string_view ident);

  std::vector<TSection> sections_;
};

// Decodes hex digit pairs from text into out (out.size() bytes at most);
// stops at the first pair with a non-hex character. Returns the bytes made.
size_t HexToBin(std::string_view text, uint8_t* out, size_t count);
