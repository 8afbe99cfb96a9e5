#include "shared/byte_order.h"
#include "shared/usb_ids.h"

#include <gtest/gtest.h>

#include <array>

namespace b = nv::bytes;

TEST(ByteOrder, WritesAndReadsBothOrders) {
    std::array<std::uint8_t, 8> buf{};
    b::put_le32(buf.data(), 0x12345678);
    EXPECT_EQ(buf[0], 0x78);
    EXPECT_EQ(buf[3], 0x12);
    EXPECT_EQ(b::le32(buf.data()), 0x12345678u);
    b::put_be32(buf.data() + 4, 0x00400000);  // 2 GiB in sectors, big-endian as the capacity field
    EXPECT_EQ(buf[5], 0x40);
    EXPECT_EQ(b::be32(buf.data() + 4), 0x00400000u);
    b::put_le16(buf.data(), 0xAA55);
    EXPECT_EQ(buf[0], 0x55);
    EXPECT_EQ(buf[1], 0xAA);
    b::put_be16(buf.data(), 0xAA55);
    EXPECT_EQ(b::be16(buf.data()), 0xAA55);
    b::put_le64(buf.data(), 0x0102030405060708ull);
    EXPECT_EQ(b::le64(buf.data()), 0x0102030405060708ull);
    EXPECT_EQ(buf[7], 0x01);
}

TEST(ByteOrder, HighBitsDoNotSignExtend) {
    std::uint8_t buf[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(b::le32(buf), 0xFFFFFFFFu);
    EXPECT_EQ(b::be32(buf), 0xFFFFFFFFu);
    EXPECT_EQ(b::le16(buf), 0xFFFF);
}

TEST(UsbIds, TextAndParse) {
    EXPECT_EQ(nv::usb::IdText(0x058F), "058F");
    EXPECT_EQ(nv::usb::ParseId("058f\n"), 0x058F);
    EXPECT_EQ(nv::usb::ParseId("0x1307"), 0x1307);
    EXPECT_FALSE(nv::usb::ParseId("12345"));
    EXPECT_FALSE(nv::usb::ParseId("zz"));
    EXPECT_FALSE(nv::usb::ParseId(""));
}
