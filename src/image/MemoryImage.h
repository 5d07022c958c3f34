#pragma once
// The memory image: the program's copy of a stretch of page 0 of the controller's configuration
// memory. Image offset n is memory address n of page 0. It is a link object that does not own the
// port, so it can read itself from the apparatus through the shared port.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/SystemLink.h"

namespace kvt {

inline constexpr std::size_t kBankSize = 256;
// A ".dat" file always opens as banks 0 to 4, whatever the settings say.
inline constexpr std::size_t kDatImageSize = 1280;

class TMemoryImage : public TSystemLink {
 public:
  TMemoryImage() = default;

  // A new image holding a copy of n bytes; no exchange with the apparatus.
  static std::unique_ptr<TMemoryImage> CreateFromBuffer(const std::uint8_t* bytes, std::size_t n);
  static std::unique_ptr<TMemoryImage> CreateFromBuffer(const std::vector<std::uint8_t>& bytes) {
    return CreateFromBuffer(bytes.data(), bytes.size());
  }

  // Reads banks (firstBank mod 256) up to but not including (lastBank mod 256) of page 0,
  // starting at memory address firstBank * 256. When the last bank is not above the first the
  // image is empty and nothing is sent. The caller holds the device lock; progress receives the
  // percentage after every chunk (the progress window "Чтение образа памяти..." shows it).
  // Returns false when some chunk of the transfer got no complete reply: the image then holds
  // zeros or stale bytes there and must not be trusted.
  bool LoadFromSystem(std::int32_t firstBank, std::int32_t lastBank,
                      const ProgressCallback& progress = nullptr);

  // Copies count bytes into the image at offset. A write that would reach beyond the image is
  // refused with the warning "Выход за пределы образа при записи. Данные не сохранены!" (title
  // "vmemory") and leaves the image unchanged; returns whether the bytes were stored.
  bool Store(std::size_t offset, std::size_t count, const std::uint8_t* bytes);
  bool Store(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    return Store(offset, bytes.size(), bytes.data());
  }

  std::int32_t Length() const { return std::int32_t(Image.size()); }

  std::vector<std::uint8_t> Image;
  std::int32_t FirstBank = 0;  // settings key "Start_Image_Bank"; only the low 8 bits count
  std::int32_t LastBank = 0;   // settings key "Memory_Image_Size"; only the low 8 bits count
};

}  // namespace kvt
