// The byte descrambler.
#include <gtest/gtest.h>

#include "sweep/modCrypt.h"

using namespace vantrel::sweep;

namespace {

TEST(DescrambleBytes, BuffersBelowThreeBytesAreLeftAlone) {
    for (ByteBuffer bytes : {ByteBuffer{}, ByteBuffer{10}, ByteBuffer{10, 20}}) {
        ByteBuffer before = bytes;
        DescrambleBytes(bytes);
        EXPECT_EQ(bytes, before);
    }
}

TEST(DescrambleBytes, TheLastPairStartsThreeBytesFromTheEnd) {
    ByteBuffer four{10, 20, 30, 40};
    DescrambleBytes(four);
    EXPECT_EQ(four, (ByteBuffer{13, 15, 30, 40}));

    ByteBuffer five{10, 20, 30, 40, 50};
    DescrambleBytes(five);
    EXPECT_EQ(five, (ByteBuffer{13, 15, 33, 35, 50}));
}

TEST(DescrambleBytes, BytesNeverWrapAround) {
    ByteBuffer edges{255, 0, 254, 1, 7};
    DescrambleBytes(edges);
    EXPECT_EQ(edges, (ByteBuffer{255, 0, 254, 1, 7}));

    ByteBuffer justInside{252, 5, 0};
    DescrambleBytes(justInside);
    EXPECT_EQ(justInside, (ByteBuffer{255, 0, 0}));

    ByteBuffer justOutside{253, 4, 0};
    DescrambleBytes(justOutside);
    EXPECT_EQ(justOutside, (ByteBuffer{253, 4, 0}));
}

}  // namespace
