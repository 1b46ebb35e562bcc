// resources_test.cpp -- the committed key-map picture is a bitmap the
// resource compiler and the picture control take: a broken one makes windres
// fail with only "memory exhausted", or shows nothing at run time.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

std::vector<uint8_t> readKeymap() {
    std::ifstream in(NOTEWICK_SOURCE_DIR "/ui/keymap.bmp", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(KeymapBitmap, Is479By251At16BitsInASoundBiRgbLayout) {
    std::vector<uint8_t> b = readKeymap();
    ASSERT_GE(b.size(), 54u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), b.size()) << "file size field";
    uint32_t offset = le32(b, 10);
    EXPECT_EQ(le32(b, 14), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(static_cast<int32_t>(le32(b, 18)), 479);
    EXPECT_EQ(static_cast<int32_t>(le32(b, 22)), 251) << "bottom-up, positive height";
    EXPECT_EQ(le16(b, 26), 1) << "planes";
    EXPECT_EQ(le16(b, 28), 16) << "bits per pixel";
    EXPECT_EQ(le32(b, 30), 0u) << "BI_RGB";
    const uint32_t stride = (479 * 2 + 3) & ~3u;
    uint32_t sizeImage = le32(b, 34);
    EXPECT_TRUE(sizeImage == 0 || sizeImage == stride * 251);
    EXPECT_EQ(le32(b, 46), 0u) << "no colour table for 16 bpp BI_RGB";
    EXPECT_EQ(offset, 54u);
    EXPECT_EQ(b.size(), offset + stride * 251);
}

TEST(KeymapBitmap, IsAPictureNotABlank) {
    std::vector<uint8_t> b = readKeymap();
    ASSERT_GT(b.size(), 54u);
    std::set<uint16_t> colours;
    for (size_t at = 54; at + 1 < b.size(); at += 2) colours.insert(le16(b, at) & 0x7FFF);
    EXPECT_GT(colours.size(), 16u);
}

}  // namespace
