#include "image/MemoryImage.h"

#include <algorithm>

#include "platform/Ui.h"

namespace kvt {

std::unique_ptr<TMemoryImage> TMemoryImage::CreateFromBuffer(const std::uint8_t* bytes,
                                                             std::size_t n) {
  auto image = std::make_unique<TMemoryImage>();
  if (n > 0 && bytes) image->Image.assign(bytes, bytes + n);
  return image;
}

bool TMemoryImage::LoadFromSystem(std::int32_t firstBank, std::int32_t lastBank,
                                  const ProgressCallback& progress) {
  FirstBank = firstBank;
  LastBank = lastBank;
  const std::uint32_t first = std::uint32_t(firstBank) & 0xFF;
  const std::uint32_t last = std::uint32_t(lastBank) & 0xFF;
  Image.clear();
  if (last <= first) return true;  // nothing to read: an empty image, nothing sent
  const std::uint32_t total = (last - first) * kBankSize;
  Image.assign(total, 0);

  ReadMemory(first * kBankSize, total, Image.data(), progress);
  return LastTransferOk();
}

bool TMemoryImage::Store(std::size_t offset, std::size_t count, const std::uint8_t* bytes) {
  if (offset > Image.size() || count > Image.size() - offset) {
    platform::ShowMessage("Выход за пределы образа при записи. Данные не сохранены!", "vmemory",
                          platform::Icon::Warning);
    return false;
  }
  if (count > 0) std::copy(bytes, bytes + count, Image.begin() + std::ptrdiff_t(offset));
  return true;
}

}  // namespace kvt
