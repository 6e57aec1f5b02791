#pragma once
// CRC-16/MODBUS (polynomial 0x8005 reflected = 0xA001, initial 0xFFFF, no final XOR): the checksum of
// the gas-parameter line. The value is the 16-bit register itself (not byte-swapped).

#include <cstdint>

// Bit-wise form.
uint16_t Crc16(const uint8_t* data, uint16_t count);

// The table-free byte-wise form with the register held as two bytes; gives the same values.
uint16_t Crc16Bytewise(const uint8_t* data, uint16_t count);

// One byte step of each form, for proving them equal over every register value and byte.
uint16_t crc16StepBitwise(uint16_t reg, uint8_t byte);
uint16_t crc16StepBytewise(uint16_t reg, uint8_t byte);
