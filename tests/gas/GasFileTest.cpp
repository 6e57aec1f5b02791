#include "gas/GasFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gas/Suplfunc.h"

namespace {

uint16_t crcOf(std::string_view s) {
  return Crc16(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint16_t>(s.size()));
}

TEST(Crc16, CheckValues) {
  EXPECT_EQ(crcOf("123456789"), 0x4B37);
  EXPECT_EQ(crcOf(""), 0xFFFF);
  EXPECT_EQ(crcOf("SP: 0.6800 1.0000 0.5000 750.0"), 0x4e4f);
}

TEST(Crc16, BothFormsAgreeForEveryRegisterAndByte) {
  // Both forms are the same step applied byte by byte, so agreeing on every (register, byte) pair proves
  // them equal over all inputs.
  for (uint32_t reg = 0; reg <= 0xFFFF; ++reg) {
    for (uint32_t b = 0; b <= 0xFF; ++b) {
      const auto r = static_cast<uint16_t>(reg);
      const auto x = static_cast<uint8_t>(b);
      if (crc16StepBitwise(r, x) != crc16StepBytewise(r, x)) {
        FAIL() << "register " << reg << " byte " << b;
      }
    }
  }
  std::mt19937 rng(7);
  std::string s(1000, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  EXPECT_EQ(Crc16(p, 1000), Crc16Bytewise(p, 1000));
  EXPECT_EQ(Crc16Bytewise(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x4B37);
}

TEST(GasFile, ComposedLayout) {
  const GasParameters example{0.68f, 1.0f, 0.5f, 750.0f};
  EXPECT_EQ(gas::parameterLine(example), "SP: 0.6800 1.0000 0.5000 750.0");
  const std::string file = gas::composeFile(example);
  EXPECT_EQ(file, "\r\n\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\n");
  EXPECT_EQ(file.size(), gas::parameterLine(example).size() + 13);
  // The longest line within the entry ranges.
  EXPECT_EQ(gas::composeFile({1.05f, 15.0f, 15.0f, 800.0f}).size(), 45u);
  EXPECT_LE(gas::composeFile({0.6666f, 14.9999f, 14.9999f, 799.9f}).size(), 45u);
}

TEST(GasFile, ReadingRule) {
  using gas::Check;
  const std::string good = "SP: 0.6800 1.0000 0.5000 750.0";
  const auto withCrc = [](const std::string& line, const char* fmt = "%04x") {
    char crc[8];
    std::snprintf(crc, sizeof crc, fmt, crcOf(line));
    return line + " 0x" + crc;
  };
  struct Case {
    const char* what;
    std::string content;
    Check status;
  };
  const Case cases[] = {
      {"as written", "\r\n\r\n" + withCrc(good) + "\r\n", Check::Ok},
      {"text-mode line ends", "\n\n" + withCrc(good) + "\n", Check::Ok},
      {"CR CR LF", "\r\r\n\r\r\n" + withCrc(good) + "\r\r\n", Check::Ok},
      {"upper-case digits", "\r\n\r\n" + withCrc(good, "%04X") + "\r\n", Check::Ok},
      {"0X is not found", "\r\n\r\n" + good + " 0X4E4F\r\n", Check::Format},
      {"another tag starting with S", withCrc("SQ: 0.6800 1.0000 0.5000 750.0"), Check::Ok},
      {"text before the tag", "note: " + withCrc(good), Check::Ok},
      {"an S before the tag", "Some " + withCrc(good), Check::Format},
      {"anything after the digits", withCrc(good) + "zzz\r\nmore", Check::Ok},
      {"wrong checksum", good + " 0x4e4e", Check::Checksum},
      {"no S", "\r\n0x1234\r\n", Check::Format},
      {"no 0x", good, Check::Format},
      {"0x before the S", "0x12 SP: 1 2 3 4", Check::Format},
      {"0x right after the S", "S0x1234", Check::Format},
      {"matching checksum, values that do not scan", withCrc("SP: 0.6800 abc 0.5000 750.0"), Check::Format},
      {"too few values", withCrc("SP: 0.6800 1.0000"), Check::Format},
      {"no hex digits", good + " 0xzz", Check::Format},
      {"empty", "", Check::Format},
      {"longer than 99 bytes", withCrc(good) + std::string(70, ' '), Check::Format},
      // The checksum covers "SP: ... 7"; the pressure 750 would be read from past that range.
      {"a value past the covered range",
       [] {
         const std::string covered = "SP: 0.6800 1.0000 0.5000 7";
         char crc[8];
         std::snprintf(crc, sizeof crc, "%04x", crcOf(covered));
         return covered + "50xzz" + crc;
       }(),
       Check::Format},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(gas::verify(c.content).status, c.status);
  }
  const auto r = gas::verify("\r\n\r\n" + withCrc(good) + "\r\n");
  EXPECT_EQ(gas::showValue(r.values.density), "0.68");
  EXPECT_EQ(gas::showValue(r.values.co2), "1");
  EXPECT_EQ(gas::showValue(r.values.n2), "0.5");
  EXPECT_EQ(gas::showValue(r.values.pressure), "750");
  // Values outside the entry ranges read as they stand.
  const auto out = gas::verify(withCrc("SP: 2.5000 -1.0000 20.0000 900.0"));
  ASSERT_EQ(out.status, Check::Ok);
  EXPECT_EQ(gas::showValue(out.values.co2), "-1");
  EXPECT_EQ(gas::showValue(out.values.pressure), "900");
}

}  // namespace
