// Date and time texts for log headers: fixed width, digits where a value
// decodes, question marks where it does not.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "ZemSys.h"

namespace {

constexpr DWORD Pack(DWORD high, DWORD middle, DWORD low) { return high << 16 | middle << 8 | low; }

// The text, after checking its length and that nothing follows its terminator.
std::string Checked(char (&buffer)[16], int length, int expected) {
  EXPECT_EQ(length, expected);
  EXPECT_EQ(buffer[expected + 1], '#') << "written past the terminator of \"" << buffer << "\"";
  return buffer;
}

std::string Date(DWORD dwDate) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  return Checked(buffer, SysFormatDate(dwDate, dwDate, buffer, 1, 0), 10);
}

std::string Time(DWORD dwTime) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  return Checked(buffer, SysFormatTime(dwTime, buffer, 0x2222), 8);
}

// True when text has shape's length and a digit wherever shape has a 'D'.
bool HasShape(const std::string &text, const std::string &shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (shape[i] == 'D' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

TEST(DateTimeText, TodayAndNowAreFixedWidthDigits) {
  DWORD dwDate = 0, dwTime = 0xFFFFFFFF;
  SysGetDate(&dwDate);
  SysGetTime(&dwTime);
  EXPECT_TRUE(HasShape(Date(dwDate), "DDDD-DD-DD")) << "today reads " << Date(dwDate);
  EXPECT_TRUE(HasShape(Time(dwTime), "DD:DD:DD")) << "now reads " << Time(dwTime);
}

TEST(DateTimeText, DecodesValidValuesAndMarksImpossibleOnes) {
  EXPECT_EQ(Date(Pack(2024, 2, 29)), "2024-02-29");
  EXPECT_EQ(Date(Pack(7, 1, 5)), "0007-01-05");
  for (DWORD bad : {Pack(2023, 2, 29), Pack(2100, 2, 29), Pack(2024, 13, 1), Pack(2024, 4, 31), 0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Date(bad), "?\?\?\?-?\?-?\?") << std::hex << bad;  // escaped: "??-" is a trigraph
  }
  EXPECT_EQ(Time(Pack(13, 5, 9)), "13:05:09");
  EXPECT_EQ(Time(0), "00:00:00");
  for (DWORD bad : {Pack(24, 0, 0), Pack(12, 60, 0), 0x01000000 | Pack(1, 2, 3)}) {
    EXPECT_EQ(Time(bad), "??:??:??") << std::hex << bad;
  }
  EXPECT_EQ(SysFormatDate(Pack(2024, 1, 1), 0, nullptr, 1, 0), 0);
  EXPECT_EQ(SysFormatTime(0, nullptr, 0x2222), 0);
}

}  // namespace
