#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "output/memory_stream.h"

namespace {

std::string contents(const CMemoryStream& s) {
    const auto b = s.bytes();
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// Writes through the descriptor, as a library does.
int32_t put(CMemoryStream& s, const std::string& data) {
    TI_STREAM* d = s.descriptor();
    return d->write(d, data.data(), static_cast<int32_t>(data.size()));
}

TEST(MemoryStream, Descriptor) {
    CMemoryStream s;
    TI_STREAM* d = s.descriptor();
    EXPECT_EQ(d->kind, 3);
    EXPECT_EQ(d->size, static_cast<int32_t>(sizeof(TI_STREAM)));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(d->size, 32);
    }
    EXPECT_EQ(d->context, &s);
    EXPECT_EQ(d->tell(d), 0);
    EXPECT_EQ(d->getSize(d), 0);
}

TEST(MemoryStream, InitialCapacity) {
    struct Row {
        std::size_t asked, capacity;
    } rows[] = {{0, 128}, {1, 128}, {127, 128}, {128, 128}, {200, 200}};
    EXPECT_EQ(CMemoryStream().capacity(), std::size_t{1} << 20);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.asked);
        EXPECT_EQ(CMemoryStream(row.asked).capacity(), row.capacity);
    }
}

TEST(MemoryStream, GrowsToWhatIsNeededPlus128AndKeepsTheBytes) {
    CMemoryStream s(128);
    const std::string first(100, 'a');
    EXPECT_EQ(put(s, first), 100);
    EXPECT_EQ(s.capacity(), 128u);  // fits
    const std::string second(50, 'b');
    EXPECT_EQ(put(s, second), 50);
    EXPECT_EQ(s.capacity(), 150u + 128u);
    const std::string third(1000, 'c');
    EXPECT_EQ(put(s, third), 1000);
    EXPECT_EQ(s.capacity(), 1150u + 128u);
    EXPECT_EQ(contents(s), first + second + third);
    TI_STREAM* d = s.descriptor();
    EXPECT_EQ(d->tell(d), 1150);
    EXPECT_EQ(d->getSize(d), 1150);
}

TEST(MemoryStream, Seek) {
    struct Row {
        const char* name;
        int32_t startAt, offset, origin;
        int32_t result, position;
    } rows[] = {
        {"start", 5, 3, 0, 1, 3},
        {"current forward", 5, 2, 1, 1, 7},
        {"current back", 5, -2, 1, 1, 3},
        {"end", 5, 0, 2, 1, 10},
        {"end back", 5, -4, 2, 1, 6},
        {"negative from start lands on 0", 5, -1, 0, 1, 0},
        {"negative from current lands on 0", 5, -100, 1, 1, 0},
        {"negative from end lands on 0", 5, -11, 2, 1, 0},
        {"past the end", 5, 20, 0, 1, 20},
        {"unknown origin changes nothing", 5, 1, 3, 0, 5},
        {"negative origin changes nothing", 5, 1, -1, 0, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CMemoryStream s(128);
        put(s, "0123456789");
        TI_STREAM* d = s.descriptor();
        ASSERT_NE(d->seek(d, row.startAt, 0), 0);
        EXPECT_EQ(d->seek(d, row.offset, row.origin), row.result);
        EXPECT_EQ(d->tell(d), row.position);
        EXPECT_EQ(d->getSize(d), 10);
    }
}

TEST(MemoryStream, ReadFollowsThePosition) {
    CMemoryStream s(128);
    put(s, "0123456789");
    TI_STREAM* d = s.descriptor();
    char buf[8] = {};
    EXPECT_EQ(d->read(d, buf, 4), 0);  // at the end
    d->seek(d, 2, 0);
    EXPECT_EQ(d->read(d, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "2345");
    EXPECT_EQ(d->read(d, buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(d->tell(d), 10);
    d->seek(d, 50, 0);
    EXPECT_EQ(d->read(d, buf, 4), 0);
    EXPECT_EQ(d->read(d, buf, -1), 0);
    EXPECT_EQ(d->read(d, nullptr, 4), 0);
}

TEST(MemoryStream, OverwriteAndWritePastTheEnd) {
    CMemoryStream s(128);
    put(s, "abcdef");
    TI_STREAM* d = s.descriptor();
    d->seek(d, 2, 0);
    put(s, "XY");
    EXPECT_EQ(contents(s), "abXYef");
    EXPECT_EQ(d->tell(d), 4);
    // A gap left by a seek past the end reads as zeros, even when the write
    // makes the buffer grow.
    d->seek(d, 200, 0);
    put(s, "Z");
    EXPECT_EQ(d->getSize(d), 201);
    EXPECT_EQ(contents(s), std::string("abXYef") + std::string(194, '\0') + "Z");
    EXPECT_EQ(s.capacity(), 201u + 128u);
}

TEST(MemoryStream, RefusedWrites) {
    CMemoryStream s(128);
    TI_STREAM* d = s.descriptor();
    EXPECT_EQ(d->write(d, "x", 0), 0);
    EXPECT_EQ(d->write(d, "x", -5), 0);
    EXPECT_EQ(d->write(d, nullptr, 3), 0);
    // Positions are answered in 32 bits: a write that would pass the
    // largest one is refused whole.
    ASSERT_NE(d->seek(d, std::numeric_limits<int32_t>::max() - 1, 0), 0);
    EXPECT_EQ(d->write(d, "xyz", 3), 0);
    EXPECT_EQ(d->getSize(d), 0);
    EXPECT_EQ(d->seek(d, 10, 1), 0);
}

TEST(MemoryStream, WithoutOwnerEveryCallFails) {
    CMemoryStream s(128);
    TI_STREAM orphan = *s.descriptor();
    orphan.context = nullptr;
    EXPECT_EQ(orphan.tell(&orphan), -1);
    EXPECT_EQ(orphan.getSize(&orphan), -1);
    EXPECT_EQ(orphan.write(&orphan, "x", 1), 0);
    char c;
    EXPECT_EQ(orphan.read(&orphan, &c, 1), 0);
    EXPECT_EQ(orphan.seek(&orphan, 0, 0), 0);
    EXPECT_EQ(orphan.tell(nullptr), -1);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST(MemoryStream, WithoutBuffer) {
    // The sanitizers stop the process on an allocation this large instead
    // of failing it.
    if (kSanitized) GTEST_SKIP() << "needs an allocation that fails";
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() - 64;
    CMemoryStream s(huge);
    ASSERT_FALSE(s.hasBuffer());
    TI_STREAM* d = s.descriptor();
    EXPECT_EQ(d->tell(d), -1);
    EXPECT_EQ(d->getSize(d), -1);
    EXPECT_EQ(d->write(d, "abc", 3), 0);
    EXPECT_EQ(d->seek(d, 0, 0), 0);
    char c;
    EXPECT_EQ(d->read(d, &c, 1), 0);
}

}  // namespace
