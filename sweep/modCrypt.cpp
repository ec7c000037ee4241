#include "sweep/modCrypt.h"

#include <cstddef>

namespace vantrel::sweep {

void DescrambleBytes(ByteBuffer& bytes) {
    // The last pair processed starts at size - 3, so the final two bytes of
    // an even-length buffer stay as they are; so does any buffer below 3.
    for (std::size_t i = 0; i + 3 <= bytes.size(); i += 2) {
        int even = bytes[i] + kDescrambleEvenAmount;
        if (even <= 255) {
            bytes[i] = static_cast<unsigned char>(even);
        }
        int odd = bytes[i + 1] - kDescrambleOddAmount;
        if (odd >= 0) {
            bytes[i + 1] = static_cast<unsigned char>(odd);
        }
    }
}

}  // namespace vantrel::sweep
