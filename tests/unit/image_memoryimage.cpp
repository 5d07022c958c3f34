// TMemoryImage without the apparatus: buffers and the guarded Store.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "image/MemoryImage.h"
#include "support/ScopedUi.h"

namespace kvt {
namespace {

class ImageMemoryImage : public ::testing::Test {
 protected:
  testsupport::ScopedUi scoped_;
  platform::ScriptedUi& ui_ = *scoped_;
};

TEST_F(ImageMemoryImage, CreateFromBufferCopies) {
  std::vector<std::uint8_t> bytes{1, 2, 3};
  auto image = TMemoryImage::CreateFromBuffer(bytes);
  bytes[0] = 9;
  EXPECT_EQ(image->Image, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(image->Length(), 3);
  EXPECT_FALSE(image->OwnsPort());
  EXPECT_EQ(TMemoryImage::CreateFromBuffer(nullptr, 0)->Length(), 0);
}

TEST_F(ImageMemoryImage, StoreInsideAndAtTheEdge) {
  auto image = TMemoryImage::CreateFromBuffer(std::vector<std::uint8_t>(8, 0));
  EXPECT_TRUE(image->Store(6, {7, 8}));
  EXPECT_TRUE(image->Store(8, 0, nullptr));
  EXPECT_EQ(image->Image, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 7, 8}));
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(ImageMemoryImage, StoreBeyondTheImageWarnsAndChangesNothing) {
  auto image = TMemoryImage::CreateFromBuffer(std::vector<std::uint8_t>(8, 5));
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_FALSE(image->Store(6, 3, bytes));
  // An offset near the top of size_t must not wrap around the check.
  EXPECT_FALSE(image->Store(std::numeric_limits<std::size_t>::max() - 1, 4, bytes));
  EXPECT_FALSE(image->Store(9, 0, bytes));
  EXPECT_EQ(image->Image, std::vector<std::uint8_t>(8, 5));
  const auto messages = ui_.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text, "Выход за пределы образа при записи. Данные не сохранены!");
  EXPECT_EQ(messages[0].title, "vmemory");
  EXPECT_EQ(messages[0].icon, platform::Icon::Warning);
}

}  // namespace
}  // namespace kvt
