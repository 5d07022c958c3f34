// The ".dat" text converter: both modes in memory, the file converter, and the shipped template.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/ConvertDat.h"
#include "platform/Files.h"

namespace kvt {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Parse(std::string_view text, std::size_t size) {
  DatError error;
  Bytes image = DatTextToImage(text, size, &error);
  EXPECT_EQ(error.kind, DatErrorKind::None) << error.Describe();
  return image;
}

DatError ParseError(std::string_view text, std::size_t size = 16) {
  DatError error;
  Bytes image(size, 0xAA);
  EXPECT_FALSE(ParseDatText(text, image, &error)) << text;
  EXPECT_EQ(image, Bytes(size, 0xAA)) << "a failed parse must leave the image alone";
  return error;
}

std::string Render(std::string_view templ, const Bytes& image) {
  std::string out;
  DatError error;
  EXPECT_TRUE(RenderDatText(templ, image, out, &error)) << error.Describe();
  return out;
}

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& p, std::string_view data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
}

std::string Etalon() {
  return ReadAll(std::filesystem::path(KVT_DATA_DIR) / "Memory/etalon.pat");
}

TEST(ImageConvertDat, WorkedExampleBothModes) {
  const std::string line = "$16bitformat #02 >00 1000 2000 ;limits\n";
  const Bytes image = Parse(line, 1280);
  ASSERT_EQ(image.size(), 1280u);
  EXPECT_EQ(image[512], 0x03);
  EXPECT_EQ(image[513], 0xE8);
  EXPECT_EQ(image[514], 0x07);
  EXPECT_EQ(image[515], 0xD0);
  Bytes expectedZeros = image;
  for (int i = 512; i < 516; ++i) expectedZeros[i] = 0;
  EXPECT_EQ(expectedZeros, Bytes(1280, 0)) << "nothing else is written";

  Bytes source(1280, 0);
  source[513] = 0x64;
  source[514] = 0x01;
  source[515] = 0x2C;
  EXPECT_EQ(Render(line, source), "$16bitformat #02 >00 100 300 ;limits\n");
}

TEST(ImageConvertDat, TokenAtTheVeryEndIsNotInterpreted) {
  EXPECT_EQ(Parse("1 2 3", 4), (Bytes{1, 2, 0, 0}));
  EXPECT_EQ(Parse("1 2 3\n", 4), (Bytes{1, 2, 3, 0}));
  // The rendered text still carries the trailing token, unchanged, so no template text is lost.
  EXPECT_EQ(Render("5 7", Bytes{9, 8}), "9 7");
}

TEST(ImageConvertDat, ValuesAreReducedModuloTheirWidth) {
  EXPECT_EQ(Parse("300\n", 1), (Bytes{0x2C}));
  EXPECT_EQ(Parse("$16bitformat 70000\n", 2), (Bytes{0x11, 0x70}));
  // 10^99 - 1 is -1 modulo 65536 (10^16 is a multiple of 2^16): no overflow on long digit runs.
  const std::string nines(99, '9');
  EXPECT_EQ(Parse("$16bitformat " + nines + "\n", 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Parse(nines + "\n", 1), (Bytes{0xFF}));
  EXPECT_EQ(Parse("$16bitformat 0065535 65536\n", 4), (Bytes{0xFF, 0xFF, 0, 0}));
}

TEST(ImageConvertDat, ValuesOutsideTheImageAreSkippedButTheAddressAdvances) {
  // 7 lands at 0x1FF, outside a one-bank image; the address still moves to 0x200, so "#00"
  // gives 0x000 and not 0x0FF.
  const Bytes image = Parse("#01 >FF 7 #00 8\n", 256);
  EXPECT_EQ(image[0x00], 8);
  EXPECT_EQ(image[0xFF], 0);
  // A 16-bit value needs both bytes inside.
  EXPECT_EQ(Parse("$16bitformat >03 513\n", 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Parse("$16bitformat >02 513\n", 4), (Bytes{0, 0, 2, 1}));
}

TEST(ImageConvertDat, OutOfImageTokensKeepTheirTextWhenRendered) {
  const Bytes image{1, 2, 3, 4};
  EXPECT_EQ(Render(">03 77 $16bitformat 0008 0009\n", image), ">03 4 $16bitformat 0008 0009\n");
  EXPECT_EQ(Render("$16bitformat >02 1 2\n", image), "$16bitformat >02 772 2\n");
}

TEST(ImageConvertDat, AddressDirectives) {
  EXPECT_EQ(Parse("#2 5\n", 1280), Parse("#02 5\n", 1280));
  EXPECT_EQ(Parse("#2 5\n", 1280)[0x200], 5);
  // Each directive changes only its own byte of the current address.
  const Bytes image = Parse(">10 #03 1 #01 2 >00 3\n", 1280);
  EXPECT_EQ(image[0x310], 1);
  EXPECT_EQ(image[0x111], 2);
  EXPECT_EQ(image[0x100], 3);
  // A page other than 0 is outside the image.
  EXPECT_EQ(Parse("&01 >00 9\n", 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Parse("&01 >00 9 &00 >01 8\n", 4), (Bytes{0, 8, 0, 0}));
  // Longer digit runs keep the low byte.
  EXPECT_EQ(Parse(">0102 6\n", 4), (Bytes{0, 0, 6, 0}));
}

TEST(ImageConvertDat, FormatErrors) {
  EXPECT_EQ(ParseError("#0a 5\n").kind, DatErrorKind::BadDigit) << "lower case is not hex here";
  EXPECT_EQ(ParseError(">1G 5\n").kind, DatErrorKind::BadDigit);
  EXPECT_EQ(ParseError("# 5\n").kind, DatErrorKind::NoDigits);
  EXPECT_EQ(ParseError("& 5\n").kind, DatErrorKind::NoDigits);
  EXPECT_EQ(ParseError("12a\n").kind, DatErrorKind::UnknownToken);
  EXPECT_EQ(ParseError("-5\n").kind, DatErrorKind::UnknownToken);
  EXPECT_EQ(ParseError("$8BITFORMAT\n").kind, DatErrorKind::UnknownToken);
  EXPECT_EQ(ParseError("$16bitformatx\n").kind, DatErrorKind::UnknownToken);
  EXPECT_EQ(ParseError(std::string(100, '1') + "\n").kind, DatErrorKind::TooLong);
  // Bytes above 0x7F are ordinary token characters (windows-1251 letters).
  EXPECT_EQ(ParseError("\xC0\xC1 1\n").kind, DatErrorKind::UnknownToken);

  const DatError e = ParseError("1 2\n; fine\n3 4x 5\n");
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.position, 13u);
  EXPECT_EQ(e.token, "4x");
  EXPECT_NE(e.Describe().find("Строка 3"), std::string::npos) << e.Describe();
  EXPECT_NE(e.Describe().find("\"4x\""), std::string::npos) << e.Describe();

  std::string out = "stale";
  DatError renderError;
  EXPECT_FALSE(RenderDatText("1 zz 2\n", Bytes{1, 2}, out, &renderError));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(renderError.token, "zz");
}

TEST(ImageConvertDat, CommentsAndSeparators) {
  // Comments hold anything without effect; ";" ends the token in front of it.
  EXPECT_EQ(Parse("5 ; 7 $16bitformat #03 >zz 99 &\xC0\n6\n", 2), (Bytes{5, 6}));
  EXPECT_EQ(Parse("5;comment\n6\n", 2), (Bytes{5, 6}));
  EXPECT_EQ(Parse("1\r\n2\t3\r\n", 3), (Bytes{1, 2, 3}));
  // The text ends at its first NUL.
  EXPECT_EQ(Parse(std::string("1 \0 2 ", 6), 2), (Bytes{1, 0}));
  // A comment runs to the line feed only: a CR does not end it.
  EXPECT_EQ(Parse("1 ;x\r2\n3\n", 2), (Bytes{1, 3}));
  const std::string crlf =
      "$8bitformat\r\n1 2 ;\xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9 $&#\r\n3\r\n";
  EXPECT_EQ(Render(crlf, Bytes{7, 8, 9}),
            "$8bitformat\r\n7 8 ;\xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9 $&#\r\n9\r\n");
}

TEST(ImageConvertDat, RenderedTextGrowsBeyondTwiceTheTemplate) {
  const std::string templ = "$16bitformat\n0 0 0 0 0 0 0 0 0 0\n";
  std::string expected = "$16bitformat\n";
  for (int i = 0; i < 10; ++i) expected += i ? " 65535" : "65535";
  expected += "\n";
  ASSERT_GT(expected.size(), 2 * templ.size());
  EXPECT_EQ(Render(templ, Bytes(20, 0xFF)), expected);
}

TEST(ImageConvertDat, ListsValueAddresses) {
  std::vector<DatValue> values;
  ASSERT_TRUE(ListDatValues("5 $16bitformat #01 6 ;7\n", values));
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].address, 0u);
  EXPECT_FALSE(values[0].wide);
  EXPECT_EQ(values[1].address, 0x101u);
  EXPECT_TRUE(values[1].wide);
  EXPECT_EQ(values[1].position, 19u);
  EXPECT_EQ(values[1].length, 1u);
}

// The shipped template: every byte of banks 0..4 has exactly one value.
TEST(ImageConvertDat, EtalonCoversEveryByteOnce) {
  const std::string etalon = Etalon();
  ASSERT_FALSE(etalon.empty());
  std::vector<DatValue> values;
  DatError error;
  ASSERT_TRUE(ListDatValues(etalon, values, &error)) << error.Describe();
  std::vector<int> cover(1280, 0);
  for (const DatValue& v : values) {
    ASSERT_LT(v.address + (v.wide ? 1 : 0), 1280u) << "value outside the image at " << v.position;
    ++cover[v.address];
    if (v.wide) ++cover[v.address + 1];
  }
  for (std::size_t i = 0; i < cover.size(); ++i) EXPECT_EQ(cover[i], 1) << "byte " << i;
  // Named cells sit where the program patches them.
  auto at = [&](std::uint64_t address) {
    for (const DatValue& v : values)
      if (v.address == address) return v;
    return DatValue{~0ull};
  };
  EXPECT_FALSE(at(0x13).wide);
  EXPECT_FALSE(at(0x40).wide);
  EXPECT_TRUE(at(0x200).wide);
  EXPECT_TRUE(at(0x210).wide);
  EXPECT_FALSE(at(0x328).wide);
  for (std::uint64_t bank = 0; bank < 5; ++bank) EXPECT_TRUE(at(bank * 256 + 254).wide);
  // Its own values carry valid bank checksums (16-bit sum of bytes 0..253, high byte first).
  const Bytes image = Parse(etalon, 1280);
  for (int bank = 0; bank < 5; ++bank) {
    unsigned sum = 0;
    for (int i = 0; i < 254; ++i) sum += image[bank * 256 + i];
    EXPECT_EQ((sum & 0xFFFF), image[bank * 256 + 254] * 256u + image[bank * 256 + 255]);
  }
}

TEST(ImageConvertDat, RoundTripThroughTheTemplateKeepsItsLayout) {
  const std::string etalon = Etalon();
  // Its own values come back byte for byte.
  EXPECT_EQ(Render(etalon, Parse(etalon, 1280)), etalon);

  std::mt19937 rng(7);
  Bytes image(1280);
  for (auto& b : image) b = std::uint8_t(rng());
  const std::string text = Render(etalon, image);
  EXPECT_EQ(Parse(text, 1280), image);
  // Everything but the value tokens is the template's own text.
  auto layout = [](const std::string& t) {
    std::vector<DatValue> values;
    EXPECT_TRUE(ListDatValues(t, values));
    std::string result;
    std::size_t pos = 0;
    for (const DatValue& v : values) {
      result += t.substr(pos, v.position - pos) + "@";
      pos = v.position + v.length;
    }
    return result + t.substr(pos);
  };
  EXPECT_EQ(layout(text), layout(etalon));
}

class ImageConvertDatFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("kvt-image-convert-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(ImageConvertDatFiles, DatToBinaryWritesExactlySizeBytes) {
  WriteAll(dir_ / "in.dat", "$16bitformat #02 >00 1000 2000 ;limits\n");
  ASSERT_EQ(ConvertDat(DatToBinary, dir_ / "in.dat", dir_ / "out.mi", "", 1280), 0);
  const std::string bin = ReadAll(dir_ / "out.mi");
  ASSERT_EQ(bin.size(), 1280u);
  EXPECT_EQ(std::uint8_t(bin[512]), 0x03);
  EXPECT_EQ(std::uint8_t(bin[515]), 0xD0);
}

TEST_F(ImageConvertDatFiles, BinaryToDatUsesTheTemplate) {
  WriteAll(dir_ / "t.pat", "; header\n$16bitformat #02 >00 1000 2000 ;limits\n");
  std::string bin(1280, '\0');
  bin[513] = 0x64;
  bin[514] = 0x01;
  bin[515] = 0x2C;
  WriteAll(dir_ / "in.mi", bin);
  ASSERT_EQ(ConvertDat(BinaryToDat, dir_ / "out.dat", dir_ / "in.mi", dir_ / "t.pat", 1280), 0);
  EXPECT_EQ(ReadAll(dir_ / "out.dat"), "; header\n$16bitformat #02 >00 100 300 ;limits\n");
}

TEST_F(ImageConvertDatFiles, FailuresWriteNothing) {
  WriteAll(dir_ / "out.mi", "old");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ConvertDat(DatToBinary, dir_ / "missing.dat", dir_ / "out.mi", "", 16), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Can't open file " + (dir_ / "missing.dat").string() + "\n");
  EXPECT_EQ(ReadAll(dir_ / "out.mi"), "old");

  WriteAll(dir_ / "bad.dat", "1 2 oops 3\n");
  DatError error;
  EXPECT_EQ(ConvertDat(DatToBinary, dir_ / "bad.dat", dir_ / "out.mi", "", 16, &error), 1);
  EXPECT_EQ(error.token, "oops");
  EXPECT_EQ(ReadAll(dir_ / "out.mi"), "old");

  // An output that cannot be created is a failure, not a success.
  WriteAll(dir_ / "good.dat", "1 2\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ConvertDat(DatToBinary, dir_ / "good.dat", dir_ / "no/such/dir/out.mi", "", 16), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Can't create file " + (dir_ / "no/such/dir/out.mi").string() + "\n");

  // A binary shorter than the image would need invented values.
  WriteAll(dir_ / "short.mi", std::string(10, '\1'));
  WriteAll(dir_ / "t.pat", "1 2\n");
  WriteAll(dir_ / "out.dat", "old");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ConvertDat(BinaryToDat, dir_ / "out.dat", dir_ / "short.mi", dir_ / "t.pat", 16), 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadAll(dir_ / "out.dat"), "old");

  testing::internal::CaptureStderr();
  EXPECT_EQ(ConvertDat(BinaryToDat, dir_ / "out.dat", dir_ / "short.mi", dir_ / "none.pat", 4), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Can't open file " + (dir_ / "none.pat").string() + "\n");
  EXPECT_EQ(ReadAll(dir_ / "out.dat"), "old");

  // No scratch files are left beside the targets.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "out.mi" || name == "out.dat" || name.ends_with(".dat") ||
                name.ends_with(".mi") || name.ends_with(".pat"))
        << name;
  }
}

}  // namespace
}  // namespace kvt
