#include "graphics/sk_wave.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/exceptions.h"

// The platform's player (sk_wave_win.cpp / sk_wave_posix.cpp), used unless
// another is installed.
bool PlatformPlaySound(const uint8_t* data, uint32_t flags);

namespace {

TskSoundPlayer currentPlayer = nullptr;
// The data the platform may still be reading: the last wave started in the
// background. Cleared when a sound is stopped.
const uint8_t* playingData = nullptr;

bool PlaySound(const uint8_t* data, uint32_t flags) {
  return (currentPlayer != nullptr ? currentPlayer : &PlatformPlaySound)(data, flags);
}

void StopSound() {
  PlaySound(nullptr, 0);
  playingData = nullptr;
}

// A count of the record, refused when it does not fit its 32 bits.
void WriteCount32(TStream& stream, int64_t value) {
  if (value > INT32_MAX) throw EWriteError("Stream write error");
  WriteInt32(stream, static_cast<int32_t>(value));
}

uint32_t ReadLittle32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

TSkExtraWaveList* libraryList = nullptr;

}  // namespace

TskSoundPlayer SetSoundPlayer(TskSoundPlayer player) { return std::exchange(currentPlayer, player); }

bool IsPlayableWave(std::span<const uint8_t> bytes) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return false;
  }
  const uint64_t riffEnd = uint64_t{ReadLittle32(bytes.data() + 4)} + 8;
  if (riffEnd > bytes.size()) return false;
  // Every chunk must lie within the image, and the format and the samples
  // must both be there: the platform's reader trusts the chunk sizes.
  bool format = false, samples = false;
  uint64_t position = 12;
  while (position + 8 <= riffEnd) {
    const uint8_t* chunk = bytes.data() + position;
    const uint64_t length = ReadLittle32(chunk + 4);
    if (position + 8 + length > riffEnd) return false;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16) return false;
      format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      samples = true;
    }
    position += 8 + length + (length & 1);  // chunks are padded to even sizes
  }
  return format && samples;
}

// ---- TSkWave ------------------------------------------------------------------

TSkWave::~TSkWave() { ReplaceData(nullptr); }

std::span<const uint8_t> TSkWave::Data() const {
  return data_ != nullptr ? data_->Bytes() : std::span<const uint8_t>();
}

void TSkWave::ReplaceData(std::unique_ptr<TMemoryStream> data) {
  if (data_ != nullptr && playingData != nullptr && data_->Memory() == playingData) {
    try {
      StopSound();
    } catch (...) {
      playingData = nullptr;
    }
  }
  data_ = std::move(data);
}

void TSkWave::LoadFromStream(TStream& stream) {
  auto data = std::make_unique<TMemoryStream>();
  const int64_t position = stream.Position();
  if (position == 0) {
    data->CopyFrom(stream, 0);
  } else {
    const int32_t dataSize = ReadInt32(stream);
    const int32_t nameLength = ReadInt32(stream);
    const int64_t remaining = stream.Size() - stream.Position();
    if (dataSize < 0 || nameLength < 0 || int64_t{dataSize} + nameLength > remaining) {
      throw EReadError("Stream read error");
    }
    std::string name(static_cast<size_t>(nameLength), '\0');
    stream.ReadBuffer(name.data(), nameLength);
    // CopyFrom takes a count of 0 as "the whole stream".
    if (dataSize > 0) data->CopyFrom(stream, dataSize);
    Name = std::move(name);
  }
  data->SetPosition(0);
  ReplaceData(std::move(data));
  changed_ = true;
  if (OnChange) OnChange();
}

void TSkWave::SaveToStream(TStream& stream) const {
  const std::span<const uint8_t> bytes = Data();
  if (stream.Position() != 0) {
    WriteCount32(stream, static_cast<int64_t>(bytes.size()));
    WriteCount32(stream, static_cast<int64_t>(Name.size()));
    stream.WriteBuffer(Name.data(), static_cast<int64_t>(Name.size()));
  }
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TSkWave::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::OpenRead);
  LoadFromStream(file);
}

void TSkWave::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::Create);
  SaveToStream(file);
  file.Close();
}

void TSkWave::Assign(const TSkWave* source) {
  if (source == this) return;
  if (source == nullptr || !source->HasData()) {
    ReplaceData(nullptr);
    return;
  }
  auto data = std::make_unique<TMemoryStream>();
  const std::span<const uint8_t> bytes = source->Data();
  data->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  data->SetPosition(0);
  ReplaceData(std::move(data));
}

// ---- TSkExtraWave ---------------------------------------------------------------

TSkExtraWaveOptions::TSkExtraWaveOptions(std::initializer_list<TSkExtraWaveOption> options) {
  for (TSkExtraWaveOption option : options) bits_ = static_cast<uint8_t>(bits_ | 1u << option);
}

void TSkExtraWave::SetOptions(TSkExtraWaveOptions options) {
  options_ = options;
  flags_ = kSndMemory;
  if (options.Contains(ewoAsync)) flags_ |= kSndAsync;
  if (options.Contains(ewoNoDefault)) flags_ |= kSndNoDefault;
  if (options.Contains(ewoLoop)) flags_ |= kSndLoop;
  if (options.Contains(ewoNoStop)) flags_ |= kSndNoStop;
}

void TSkExtraWave::Play() const {
  try {
    const std::span<const uint8_t> bytes = Data();
    if (!IsPlayableWave(bytes)) return;
    if (PlaySound(bytes.data(), flags_)) playingData = (flags_ & kSndAsync) != 0 ? bytes.data() : nullptr;
  } catch (...) {
    // A sound that cannot be played is simply not heard.
  }
}

void TSkExtraWave::Stop() {
  try {
    StopSound();
  } catch (...) {
  }
}

// ---- collection and list ------------------------------------------------------------

TSkExtraWaveCollectionItem& TSkExtraWaveCollection::Add() {
  items_.push_back(std::make_unique<TSkExtraWaveCollectionItem>());
  return *items_.back();
}

TSkExtraWaveCollectionItem* TSkExtraWaveCollection::Item(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

void TSkExtraWaveCollection::Delete(int32_t index) {
  if (index >= 0 && index < Count()) items_.erase(items_.begin() + index);
}

TSkExtraWaveList::TSkExtraWaveList() {
  if (libraryList == nullptr) libraryList = this;
}

TSkExtraWaveList::~TSkExtraWaveList() {
  if (libraryList == this) libraryList = nullptr;
}

TSkExtraWaveList* LibraryWaveList() { return libraryList; }

void PlayWave(const TSkExtraWaveList* list, int32_t index) {
  if (list == nullptr || index == -1) return;
  if (const TSkExtraWaveCollectionItem* item = list->Waves().Item(index)) item->Wave().Play();
}

int32_t ClampWaveIndex(const TSkExtraWaveList* list, int32_t value) {
  if (list == nullptr || list->Waves().Count() < 1 || value < 0) return -1;
  return std::min(value, list->Waves().Count() - 1);
}
