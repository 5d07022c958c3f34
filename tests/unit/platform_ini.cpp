#include <gtest/gtest.h>

#include "platform/Codepage.h"
#include "platform/Ini.h"
#include "support/TempDir.h"

using platform::IniFile;
using platform::Utf8ToCp1251;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

// A windows-1251 file with CRLF line ends, comments and odd spacing, as the apparatus's own
// settings files look.
std::string SampleCp1251() {
  return Utf8ToCp1251(
      "; Настройки\r\n"
      "[General]\r\n"
      "Start_Image_Bank = 0\r\n"
      "Memory_Image_Size=5\r\n"
      "Comment=text ; not a comment\r\n"
      "\r\n"
      "[Описание ошибок флюорографа]\r\n"
      "01=Нет связи\r\n"
      "1F=Перегрев\r\n"
      "01=второе значение\r\n"
      "\r\n"
      "[Page0]\r\n"
      "Codes=10\r\n");
}

TEST(PlatformIni, ReadsCaseInsensitivelyIncludingCyrillicAndFirstMatchWins) {
  TempDir dir;
  WriteBytes(dir / "a.ini", SampleCp1251());
  IniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadString("general", "START_IMAGE_BANK", "x"), "0");
  EXPECT_EQ(ini.ReadInteger("GENERAL", "memory_image_size", -1), 5);
  EXPECT_EQ(ini.ReadString("ОПИСАНИЕ ОШИБОК ФЛЮОРОГРАФА", "1f", ""), "Перегрев");
  EXPECT_EQ(ini.ReadString("описание ошибок флюорографа", "01", ""), "Нет связи");
  // Inline ';' stays part of the value, as the Windows functions keep it.
  EXPECT_EQ(ini.ReadString("General", "Comment", ""), "text ; not a comment");
  EXPECT_EQ(ini.ReadString("General", "Missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nope", "Codes", "def"), "def");
  EXPECT_TRUE(ini.SectionExists("page0"));
  EXPECT_FALSE(ini.SectionExists("Page1"));
  EXPECT_EQ(ini.ReadSectionKeys("Описание ошибок флюорографа"),
            (std::vector<std::string>{"01", "1F"}));
}

TEST(PlatformIni, FoldsYoAndTheWholeCyrillicAlphabet) {
  TempDir dir;
  WriteBytes(dir / "a.ini", Utf8ToCp1251("[ЁЖИК АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ]\r\nКлюч=1\r\n"));
  IniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadInteger("ёжик абвгдежзийклмнопрстуфхцчшщъыьэюя", "КЛЮЧ", 0), 1);
}

TEST(PlatformIni, ReadIntegerParsesLikeGetPrivateProfileInt) {
  TempDir dir;
  WriteBytes(dir / "a.ini",
             "[S]\nplain=42\nblanks=   -17  \nplus=+8\ntrail=12abc\ntext=abc\nempty=\n"
             "huge=99999999999999\nsign=-\nquoted=\"12\"\n");
  IniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadInteger("S", "plain", 0), 42);
  EXPECT_EQ(ini.ReadInteger("S", "blanks", 0), -17);
  EXPECT_EQ(ini.ReadInteger("S", "plus", 0), 8);
  EXPECT_EQ(ini.ReadInteger("S", "trail", 0), 12);
  EXPECT_EQ(ini.ReadInteger("S", "text", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "empty", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "sign", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "huge", 0), 2147483647);
  EXPECT_EQ(ini.ReadInteger("S", "quoted", 0), 12);
  EXPECT_EQ(ini.ReadString("S", "empty", "def"), "");
}

TEST(PlatformIni, DropsQuotationMarksThatEncloseTheWholeValue) {
  TempDir dir;
  WriteBytes(dir / "a.ini",
             "[S]\nd=\"C:\\Images\\ \"\ns=' x '\nmixed=\"x'\nlone=\"\ninner=a \"b\" c\n");
  IniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadString("S", "d", ""), "C:\\Images\\ ");
  EXPECT_EQ(ini.ReadString("S", "s", ""), " x ");
  EXPECT_EQ(ini.ReadString("S", "mixed", ""), "\"x'");
  EXPECT_EQ(ini.ReadString("S", "lone", ""), "\"");
  EXPECT_EQ(ini.ReadString("S", "inner", ""), "a \"b\" c");
}

TEST(PlatformIni, WriteReplacesOnlyTheValueAndKeepsEveryOtherByte) {
  TempDir dir;
  const std::string before = SampleCp1251();
  WriteBytes(dir / "a.ini", before);
  IniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.WriteString("GENERAL", "start_image_bank", "3"));
  std::string expected = before;
  expected.replace(expected.find("Start_Image_Bank = 0"), 20, "Start_Image_Bank = 3");
  EXPECT_EQ(ReadBytes(dir / "a.ini"), expected);

  // The first of two equal keys is the one changed.
  ASSERT_TRUE(ini.WriteString("Описание ошибок флюорографа", "01", "Обрыв"));
  EXPECT_EQ(ini.ReadString("Описание ошибок флюорографа", "01", ""), "Обрыв");
  const std::string after = ReadBytes(dir / "a.ini");
  EXPECT_NE(after.find(Utf8ToCp1251("01=Обрыв\r\n")), std::string::npos);
  EXPECT_NE(after.find(Utf8ToCp1251("01=второе значение\r\n")), std::string::npos);
}

TEST(PlatformIni, WriteAddsKeyAfterTheSectionsLastEntry) {
  TempDir dir;
  WriteBytes(dir / "a.ini", SampleCp1251());
  IniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.WriteInteger("general", "ImageDir", 12));
  const std::string text = ReadBytes(dir / "a.ini");
  EXPECT_NE(text.find("Comment=text ; not a comment\r\nImageDir=12\r\n\r\n["), std::string::npos)
      << text;
  EXPECT_EQ(ini.ReadInteger("General", "ImageDir", 0), 12);
  EXPECT_EQ(text.size(), SampleCp1251().size() + std::string("ImageDir=12\r\n").size());
}

TEST(PlatformIni, WriteAppendsNewSectionWithTheFilesLineEnd) {
  TempDir dir;
  WriteBytes(dir / "a.ini", "[A]\nx=1\n[B]\ny=2");  // LF only, no final line end
  IniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.WriteString("B", "z", "3"));
  EXPECT_EQ(ReadBytes(dir / "a.ini"), "[A]\nx=1\n[B]\ny=2\nz=3");
  ASSERT_TRUE(ini.WriteString("Новая", "Ключ", "Значение"));
  EXPECT_EQ(ReadBytes(dir / "a.ini"),
            "[A]\nx=1\n[B]\ny=2\nz=3\n" + Utf8ToCp1251("[Новая]\nКлюч=Значение\n"));
  EXPECT_EQ(ini.ReadString("НОВАЯ", "ключ", ""), "Значение");
}

TEST(PlatformIni, MissingFileGivesDefaultsAndAWriteCreatesIt) {
  TempDir dir;
  IniFile ini(dir / "new.ini");
  EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("S", "k", 9), 9);
  EXPECT_FALSE(ini.SectionExists("S"));
  EXPECT_TRUE(ini.ReadSectionKeys("S").empty());
  ASSERT_TRUE(ini.WriteString("Раздел", "k", "Да"));
  EXPECT_EQ(ReadBytes(dir / "new.ini"), Utf8ToCp1251("[Раздел]\r\nk=Да\r\n"));
}

TEST(PlatformIni, Utf8FileStaysUtf8WithItsByteOrderMark) {
  TempDir dir;
  const std::string bom = "\xEF\xBB\xBF";
  WriteBytes(dir / "u.ini", bom + "[Порты]\r\nCOM1=simulator\r\n");
  IniFile ini(dir / "u.ini");
  EXPECT_EQ(ini.ReadString("порты", "com1", ""), "simulator");
  ASSERT_TRUE(ini.WriteString("ПОРТЫ", "COM2", "Устройство"));
  EXPECT_EQ(ReadBytes(dir / "u.ini"), bom + "[Порты]\r\nCOM1=simulator\r\nCOM2=Устройство\r\n");

  // Without a byte-order mark, valid UTF-8 with Cyrillic is recognised too.
  WriteBytes(dir / "v.ini", "[Ошибки]\n01=Нет\n");
  IniFile v(dir / "v.ini");
  EXPECT_EQ(v.ReadString("ОШИБКИ", "01", ""), "Нет");
  ASSERT_TRUE(v.WriteString("ошибки", "01", "Да"));
  EXPECT_EQ(ReadBytes(dir / "v.ini"), "[Ошибки]\n01=Да\n");
}

TEST(PlatformIni, RefusesNamesThatWouldBreakTheFileAndFlattensLineBreaksInValues) {
  TempDir dir;
  IniFile ini(dir / "a.ini");
  EXPECT_FALSE(ini.WriteString("", "k", "v"));
  EXPECT_FALSE(ini.WriteString("S", "", "v"));
  EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
  EXPECT_FALSE(ini.WriteString("S]x", "k", "v"));
  EXPECT_FALSE(ini.WriteString("S", "k\nj", "v"));
  EXPECT_FALSE(std::filesystem::exists(dir / "a.ini"));
  ASSERT_TRUE(ini.WriteString("S", "k", "one\r\n[Evil]\r\nx=1"));
  EXPECT_FALSE(ini.SectionExists("Evil"));
  EXPECT_EQ(ini.ReadString("S", "k", ""), "one  [Evil]  x=1");
}

TEST(PlatformIni, BrokenAndBinaryInputDoesNotCrash) {
  TempDir dir;
  std::string junk;
  for (int i = 0; i < 70000; ++i) junk += static_cast<char>((i * 7919) % 256);
  junk += "\n[S\nk=v\n[]\n=\n==\n[X]]\nlong=" + std::string(200000, 'a');  // no final line end
  WriteBytes(dir / "j.ini", junk);
  IniFile ini(dir / "j.ini");
  EXPECT_EQ(ini.ReadString("S", "k", "d"), "v");  // an unclosed header still names its section
  EXPECT_EQ(ini.ReadString("X", "long", "").size(), 200000u);
  EXPECT_EQ(ini.ReadInteger("Q", "q", 3), 3);
  ASSERT_TRUE(ini.WriteString("X", "long", "short"));
  const std::string after = ReadBytes(dir / "j.ini");
  EXPECT_EQ(after.substr(0, 70000), junk.substr(0, 70000));
  EXPECT_EQ(ini.ReadString("X", "long", ""), "short");
  ASSERT_TRUE(ini.WriteString("X", "new", "1"));
  EXPECT_EQ(ini.ReadString("X", "new", ""), "1");
  EXPECT_EQ(ini.ReadString("X", "long", ""), "short");

  // A folder where the file should be is not readable as a file and not overwritten.
  std::filesystem::create_directory(dir / "d.ini");
  IniFile folder(dir / "d.ini");
  EXPECT_EQ(folder.ReadString("S", "k", "d"), "d");
  EXPECT_FALSE(folder.WriteString("S", "k", "v"));
}

}  // namespace
