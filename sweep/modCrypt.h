// Undoes the light byte scrambling that some of the product's files carry.
#pragma once

#include <vector>

namespace vantrel::sweep {

// A run of bytes, indexed from 0.
using ByteBuffer = std::vector<unsigned char>;

// Amounts added at even positions and subtracted at odd positions. The
// software that scrambles files for this reader must use the same two
// values, the other way round.
inline constexpr int kDescrambleEvenAmount = 3;
inline constexpr int kDescrambleOddAmount = 5;

// Adds the even amount to bytes 0, 2, 4 ... and subtracts the odd amount
// from bytes 1, 3, 5 ..., pair by pair while a pair starts at most three
// bytes from the end. A byte that would leave 0..255 keeps its value.
void DescrambleBytes(ByteBuffer& bytes);

}  // namespace vantrel::sweep
