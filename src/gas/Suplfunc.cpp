#include "gas/Suplfunc.h"

#include <bit>

uint16_t crc16StepBitwise(uint16_t reg, uint8_t byte) {
  reg ^= byte;
  for (int i = 0; i < 8; ++i) reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : (reg >> 1);
  return reg;
}

uint16_t crc16StepBytewise(uint16_t reg, uint8_t byte) {
  const uint8_t hi = static_cast<uint8_t>(reg >> 8);
  const uint8_t x = static_cast<uint8_t>(reg) ^ byte;  // lo XOR d
  // High byte 7 for an odd number of one bits, low byte x; rotate right, XOR x, rotate right again.
  uint16_t w = static_cast<uint16_t>(((std::popcount(x) & 1) ? 0x0700 : 0) | x);
  w = std::rotr(w, 1);
  w ^= x;
  w = std::rotr(w, 1);
  const uint8_t newHi = static_cast<uint8_t>(w);
  const uint8_t newLo = static_cast<uint8_t>((w >> 8) ^ hi);
  return static_cast<uint16_t>(newHi << 8 | newLo);
}

uint16_t Crc16(const uint8_t* data, uint16_t count) {
  uint16_t reg = 0xFFFF;
  for (uint16_t i = 0; i < count; ++i) reg = crc16StepBitwise(reg, data[i]);
  return reg;
}

uint16_t Crc16Bytewise(const uint8_t* data, uint16_t count) {
  uint16_t reg = 0xFFFF;
  for (uint16_t i = 0; i < count; ++i) reg = crc16StepBytewise(reg, data[i]);
  return reg;
}
