#pragma once
// The gas-parameter file "<object>-gaspar.txt": CR LF CR LF, the parameter line
// "SP: %.4f %.4f %.4f %.1f", a space, "0x" and the line's CRC-16 as four lower-case hex digits, CR LF.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct GasParameters {
  float density = 0;   // kg/m3
  float co2 = 0;       // molar fraction of CO2, %
  float n2 = 0;        // molar fraction of N2, %
  float pressure = 0;  // atmospheric pressure, mm Hg
};

namespace gas {

// Content beyond this many bytes is refused (the written file is at most 45 bytes).
inline constexpr size_t kMaxContent = 99;

std::string parameterLine(const GasParameters& p);
// Whether each value lies in its range (inclusive, compared in double precision): density 0.65999 to
// 1.05001, CO2 and N2 -0.00001 to 15.00001, pressure 629.99999 to 800.00001.
bool inRange(const GasParameters& p);
// The whole file as written over FTP.
std::string composeFile(const GasParameters& p);

enum class Check { Ok, Format, Checksum };

struct ReadResult {
  Check status = Check::Format;
  GasParameters values;
};

// Verifies file content (either line-end form): locates the tag at the first "S" and the checksum at
// the first "0x", scans the four values and compares the checksum over the parameter line.
ReadResult verify(std::string_view content);

// A value as shown on the main window ("%g" of the float widened to double).
std::string showValue(float v);

}  // namespace gas
