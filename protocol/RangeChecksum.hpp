#pragma once
// The checksum the Январь bootstrap computes over a flash range on the ECU (request 0x99), so
// that a write can be verified without reading every byte back. CRC-16 with polynomial
// 0x1021, most significant bit first, start value 0xFFFF, nothing added at the end: unlike an
// additive sum it changes when two bytes change by amounts that cancel.
#include <cstddef>
#include <cstdint>

namespace quillorn {

uint16_t RangeChecksumOf(const uint8_t* data, size_t size);

}  // namespace quillorn
