// Short wave sounds held in memory, collected in a wave list and played by
// the platform (winmm's sndPlaySound on Windows; natively there is no sound
// and playing does nothing). Playing never fails: a sound is a courtesy.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/streams.h"

// The platform's play flags.
inline constexpr uint32_t kSndAsync = 1;
inline constexpr uint32_t kSndNoDefault = 2;
inline constexpr uint32_t kSndMemory = 4;
inline constexpr uint32_t kSndLoop = 8;
inline constexpr uint32_t kSndNoStop = 16;

// Plays the wave image at data with flags, or stops the sound playing when
// data is nullptr; false when the platform played nothing. Replaceable so
// that what is played can be observed.
using TskSoundPlayer = bool (*)(const uint8_t* data, uint32_t flags);
// Installs player (nullptr: the platform's) and returns the previous one.
TskSoundPlayer SetSoundPlayer(TskSoundPlayer player);

// True when bytes hold a RIFF "WAVE" image with a format and a data chunk,
// every chunk within the image. The platform reads a memory image by the
// sizes in its headers, so anything else could make it read past the data.
bool IsPlayableWave(std::span<const uint8_t> bytes);

class TSkWave {
 public:
  TSkWave() = default;
  virtual ~TSkWave();
  TSkWave(const TSkWave&) = delete;
  TSkWave& operator=(const TSkWave&) = delete;

  std::string Name;
  // Fired whenever loading replaces the data.
  std::function<void()> OnChange;

  bool HasData() const { return data_ != nullptr; }
  std::span<const uint8_t> Data() const;
  bool Changed() const { return changed_; }
  void SetChanged(bool value) { changed_ = value; }

  // At position 0 the whole stream is the wave data (a .wav file); at a
  // later position a record: data size and name length (32-bit each), the
  // name, the data. A record that is inconsistent or longer than the stream
  // raises EReadError "Stream read error" before anything is allocated or
  // replaced.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  // The data of source (none when source is nullptr or has none).
  void Assign(const TSkWave* source);

 protected:
  // Replaces the data; a sound still playing from the old data is stopped
  // first, since the platform reads it while it plays.
  void ReplaceData(std::unique_ptr<TMemoryStream> data);

 private:
  std::unique_ptr<TMemoryStream> data_;
  bool changed_ = false;
};

enum TSkExtraWaveOption : uint8_t { ewoSync, ewoAsync, ewoNoDefault, ewoLoop, ewoNoStop };

// A set of TSkExtraWaveOption, one bit per option.
class TSkExtraWaveOptions {
 public:
  TSkExtraWaveOptions() = default;
  TSkExtraWaveOptions(std::initializer_list<TSkExtraWaveOption> options);
  bool Contains(TSkExtraWaveOption option) const { return (bits_ >> option) & 1u; }
  friend bool operator==(TSkExtraWaveOptions, TSkExtraWaveOptions) = default;

 private:
  uint8_t bits_ = 0;
};

class TSkExtraWave : public TSkWave {
 public:
  TSkExtraWave() { Name = "Extra Wave"; }

  TSkExtraWaveOptions Options() const { return options_; }
  void SetOptions(TSkExtraWaveOptions options);
  // SND_MEMORY and the flag of each option (ewoSync has none).
  uint32_t PlayFlags() const { return flags_; }

  // Plays the data, if it is a playable wave image; swallows any failure.
  void Play() const;
  // Stops whatever sound is playing.
  static void Stop();

 private:
  TSkExtraWaveOptions options_{ewoAsync};
  uint32_t flags_ = kSndMemory | kSndAsync;
};

class TSkExtraWaveCollectionItem {
 public:
  int32_t Tag = 0;

  TSkExtraWave& Wave() { return wave_; }
  const TSkExtraWave& Wave() const { return wave_; }
  // Copies source's data.
  void SetWave(const TSkExtraWave& source) { wave_.Assign(&source); }
  TSkExtraWaveOptions Options() const { return wave_.Options(); }
  void SetOptions(TSkExtraWaveOptions options) { wave_.SetOptions(options); }
  const std::string& DisplayName() const { return wave_.Name; }

 private:
  TSkExtraWave wave_;
};

class TSkExtraWaveCollection {
 public:
  TSkExtraWaveCollectionItem& Add();
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // nullptr when index is out of range.
  TSkExtraWaveCollectionItem* Item(int32_t index) const;
  void Delete(int32_t index);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TSkExtraWaveCollectionItem>> items_;
};

// The first wave list made in the process is the library-wide one until it
// is destroyed.
class TSkExtraWaveList {
 public:
  static constexpr std::string_view Extra_Version = "2.0.6";

  TSkExtraWaveList();
  ~TSkExtraWaveList();
  TSkExtraWaveList(const TSkExtraWaveList&) = delete;
  TSkExtraWaveList& operator=(const TSkExtraWaveList&) = delete;

  TSkExtraWaveCollection& Waves() { return waves_; }
  const TSkExtraWaveCollection& Waves() const { return waves_; }

 private:
  TSkExtraWaveCollection waves_;
};

TSkExtraWaveList* LibraryWaveList();

// Plays item index of list; nothing for index -1, no list or no such item.
// Never raises.
void PlayWave(const TSkExtraWaveList* list, int32_t index);
// What a control's wave index setter stores: value limited to the list's
// last item when there is a list with items and value ≥ 0, else -1.
int32_t ClampWaveIndex(const TSkExtraWaveList* list, int32_t value);
