// The component calls the toolkit from the window thread and the request
// pool's worker at once. These run the same work on two threads; under the
// tsan preset ThreadSanitizer checks the toolkit's shared state.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "timage/helpers.h"

namespace {

using namespace timage_test;

// The viewer's open-and-fit, an edit and the document rewrite, repeated.
void viewerWork(const std::u16string& folder, int thread, std::atomic<int>& failures) {
    for (int round = 0; round < 4; ++round) {
        // Appended piece by piece: GCC 12 at -O3 takes chained u16string
        // additions for overlapping copies (-Wrestrict).
        const char16_t suffix[] = {u'_', static_cast<char16_t>(u'a' + thread), static_cast<char16_t>(u'0' + round), 0};
        std::u16string jpeg = folder, tiff = folder;
        jpeg.append(u"/page").append(suffix).append(u".jpg");
        tiff.append(u"/doc").append(suffix).append(u".tif");
        Image page(ti_CreateImage(320, 440, TI_BGR24));
        paintSmooth(page.get());
        ti_SetDpi(page.get(), 300, 300);
        if (ti_SaveImage2(jpeg.c_str(), page.get(), 7, 60, 0) != TI_OK) ++failures;

        Image loaded(ti_LoadImage(jpeg.c_str()));
        TI_FILE_INFO file{};
        file.size = sizeof file;
        if (!loaded || ti_GetImageInfo(jpeg.c_str(), &file) != TI_OK) {
            ++failures;
            continue;
        }
        Image fitted(ti_CreateImage(file.width / 3, file.height / 3, TI_BGR24));
        if (ti_Resize(loaded.get(), fitted.get(), TI_INTER_LINEAR) != TI_OK) ++failures;
        Image turned(ti_CreateImage(file.height, file.width, TI_BGR24));
        if (ti_Orientate(loaded.get(), turned.get(), 90) != TI_OK) ++failures;
        TI_MULTIPAGE writer = ti_MultiPageCreateHandle(tiff.c_str());
        TI_PARAM param{};
        param.id = TI_PARAM_COMPRESSION;
        param.value.intValue = TI_COMPRESSION_JPEG;
        if (!writer || ti_MultiPageAddImage(writer, turned.get(), &param, 1) != TI_OK ||
            ti_MultiPageAddImage(writer, fitted.get(), &param, 1) != TI_OK)
            ++failures;
        ti_MultiPageReleaseHandle(&writer);
        TI_FILE_INFO written{};
        written.size = sizeof written;
        if (ti_GetImageInfo(tiff.c_str(), &written) != TI_OK || written.pageCount != 2) ++failures;
        // Each thread's result code is its own.
        if (thread == 0) {
            if (ti_LoadImage(u"/no/such/file.png") != nullptr || ti_Error() != TI_ERR_IO) ++failures;
        } else {
            Image fine(ti_CreateImage(2, 2, TI_GRAY8));
            if (ti_Error() != TI_OK) ++failures;
        }
    }
}

TEST(Concurrency, TwoThreadsWorkSideBySide) {
    testing_support::TempDir dir;
    std::atomic<int> failures{0};
    std::thread a(viewerWork, dir.path(), 0, std::ref(failures));
    std::thread b(viewerWork, dir.path(), 1, std::ref(failures));
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(Concurrency, OneDeferredImageReadByTwoThreads) {
    // Both threads may be first to need the pixels of one loaded JPEG.
    testing_support::TempDir dir;
    const std::u16string path = dir.file(u"shared.jpg");
    Image page = smooth(400, 300, TI_BGR24);
    ASSERT_EQ(ti_SaveImage(path.c_str(), page.get()), TI_OK);
    for (int round = 0; round < 3; ++round) {
        Image shared(ti_LoadImage(path.c_str()));
        ASSERT_TRUE(shared);
        Image small[2] = {create(100, 75, TI_BGR24), create(100, 75, TI_BGR24)};
        std::uint8_t* data[2] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&, t] {
                ti_Resize(shared.get(), small[t].get(), TI_INTER_AREA);
                TI_IMAGE_INFO info{};
                info.size = sizeof info;
                if (ti_GetInfo(shared.get(), &info) == TI_OK) data[t] = info.data;
            });
        for (auto& t : threads) t.join();
        ASSERT_NE(data[0], nullptr);
        EXPECT_EQ(data[0], data[1]);  // decoded once
        // Whichever thread came first, the two reductions look alike (one
        // may come from the reduced decode, the other from the whole page).
        EXPECT_LE(compare(small[0].get(), small[1].get()).mean, 1.5);
    }
}

TEST(Concurrency, ErrorHandlerAndModeChangeWhileOthersWork) {
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread worker([&] {
        while (!stop.load()) {
            Image image(ti_CreateImage(0, 0, TI_GRAY8));  // fails, may report
            ++calls;
        }
    });
    while (calls.load() == 0) std::this_thread::yield();
    for (int i = 0; i < 200; ++i) {
        ti_SetErrMode(i % 2);
        ti_RedirectError(i % 3 ? nullptr : +[](int32_t, const char*, void*) {}, nullptr);
    }
    stop = true;
    worker.join();
    ti_SetErrMode(0);
    ti_RedirectError(nullptr, nullptr);
    EXPECT_GT(calls.load(), 0);
}

}  // namespace
