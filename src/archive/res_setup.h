// The book's settings, read once from the archive's "config.ini" entries.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "runtime/mem_ini_file.h"
#include "runtime/streams.h"
#include "runtime/string_list.h"

struct TToolbarButtonSettings {
  bool Present = false;  // the glyph key exists (even with an empty value)
  std::string Caption;
  std::unique_ptr<TMemoryStream> Glyph;  // a bitmap file; only when Present
};

constexpr int kToolbarButtonCount = 8;

// Keys of the toolbar buttons in section [Toolbar], by index: Back, Forward,
// Refresh, Stop, Print, Search, About, Home.
extern const std::array<const char*, kToolbarButtonCount> kToolbarGlyphKeys;
extern const std::array<const char*, kToolbarButtonCount> kToolbarCaptionKeys;

struct TResSetup {
  std::unique_ptr<TStringList> Users;      // "name=password" lines; empty: no login
  std::unique_ptr<TStringList> Bookmarks;  // "title=target" lines
  std::unique_ptr<TStringList> About;      // HTML lines of the about page
  std::string StartPage;
  std::string Title;
  std::string Resolution;  // "Maximized" or "<width>x<height>"
  bool Resizable = false;
  std::array<TToolbarButtonSettings, kToolbarButtonCount> Toolbar;
  std::unique_ptr<TMemoryStream> Icon;  // always created; empty without an icon
};

// The settings reader: the INI text of "config.ini" held in memory.
class TResSetupObject : public TMemIniFile {
 public:
  // Loads the lines from the stream (rewound first) and builds the sections.
  explicit TResSetupObject(TStream& stream);
  ~TResSetupObject() override;

  // Fills every field of settings, with the defaults for whatever is absent.
  // The record must not own any list or stream before the call.
  void ReadSettings(TResSetup& settings) const;

 private:
  std::unique_ptr<TStringList> lines_;
};

// Frees Icon, Users, Bookmarks, About and every Glyph, in that order.
void FreeSettings(TResSetup& settings);
