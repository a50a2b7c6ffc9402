// The paper sizes a source offers. Every table size is the single-precision
// value of its number in inches (11.69 is 11.6899995803833), as the SDK
// compares and reports them.
#include <cstdint>

#include "platform/text.h"
#include "scanner/dociva_wrap.h"

namespace {

constexpr double sp(float inches) { return static_cast<double>(inches); }

struct Row {
    const char16_t* name;
    double width;
    double height;
    std::int32_t firstId;
    std::int32_t secondId;  // -1: the row is never turned
    bool centred;
};

const Row kA3 = {u"A3", sp(16.5f), sp(11.7f), 3, 2, false};

// Flatbeds take the sizes lying (landscape) first.
const Row kFlatbedRows[] = {
    {u"A4", sp(11.69f), sp(8.27f), 5, 4, false},
    {u"A5", sp(8.27f), sp(5.83f), 7, 6, false},
    {u"B4", sp(13.9f), sp(9.8f), 9, 8, false},
    {u"B5", sp(9.8f), sp(6.9f), 11, 10, false},
    {u"Invoice", sp(8.5f), sp(5.5f), 14, 13, false},
    {u"Ledger", sp(17.0f), sp(11.0f), 16, 15, false},
    {u"Legal", sp(14.0f), sp(8.5f), 18, 17, false},
    {u"Letter", sp(11.0f), sp(8.5f), 20, 19, false},
};

// Sheet feeders take them upright and centred on the feeder's width.
const Row kFeederRows[] = {
    {u"A4", sp(8.27f), sp(11.69f), 4, 5, true},
    {u"A5", sp(5.83f), sp(8.27f), 6, 7, true},
    {u"B4", sp(9.8f), sp(13.9f), 8, 9, true},
    {u"B5", sp(6.9f), sp(9.8f), 10, 11, true},
    {u"Invoice", sp(5.5f), sp(8.5f), 13, 14, true},
    {u"Ledger", sp(11.0f), sp(17.0f), 15, 16, true},
    {u"Legal", sp(8.5f), sp(14.0f), 17, 18, true},
    {u"Letter", sp(8.5f), sp(11.0f), 19, 20, true},
};

using paper_id::kAuto;
using paper_id::kCustom;
using paper_id::kLongPaper;
using paper_id::kMax;
using paper_id::kMultiAuto;

PaperSize makeSize(const char16_t* name, std::int32_t id, double width, double height) {
    PaperSize size;
    text::copyBounded(size.name, kPaperNameUnits, text::view(name));
    size.id = id;
    size.width = width;
    size.height = height;
    return size;
}

// Stores the row as it stands when it fits the limits, else turned when it
// may be turned and then fits, else not at all.
void addFitting(PaperSizeMap& sizes, const Row& row, double maxW, double maxH) {
    PaperSize size;
    if (row.width <= maxW && row.height <= maxH) {
        size = makeSize(row.name, row.firstId, row.width, row.height);
    } else if (row.secondId != -1 && row.width <= maxH && row.height <= maxW) {
        size = makeSize(row.name, row.secondId, row.height, row.width);
    } else {
        return;
    }
    if (row.centred) size.left = (maxW - size.width) / 2;
    sizes[size.id] = size;
}

}  // namespace

std::size_t CDocivaWrap::buildPaperSizes(PaperSizeMap& sizes, const SourceCapability* capability) {
    if (!capability) return 0;
    sizes.clear();
    const bool flatbed = capability->source == 0;
    const double maxW = capability->maxWidth;
    const double maxH = capability->maxHeight;

    sizes[kAuto] = makeSize(u"Auto", kAuto, 0.0, 0.0);
    if (flatbed) sizes[kMultiAuto] = makeSize(u"Multi-Auto", kMultiAuto, 0.0, 0.0);
    addFitting(sizes, kA3, maxW, maxH);
    for (const Row& row : flatbed ? kFlatbedRows : kFeederRows) addFitting(sizes, row, maxW, maxH);
    if (!flatbed && static_cast<float>(capability->maxLength) > 0.000001f) {
        const Row longPaper = {u"Long Paper", maxW, capability->maxLength, kLongPaper, kLongPaper, true};
        addFitting(sizes, longPaper, maxW, capability->maxLength);
    }
    sizes[kMax] = makeSize(u"Max", kMax, maxW, maxH);
    sizes[kCustom] = makeSize(u"Custom", kCustom, 0.0, 0.0);
    return sizes.size();
}

bool CDocivaWrap::getPaperSize(std::int32_t id, double& width, double& height) {
    struct Size {
        double width;
        double height;
    };
    // Index = id; ids 12 and 22 have no table size.
    static const Size kSizes[] = {
        {0.0, 0.0},                 // 0 Auto
        {0.0, 0.0},                 // 1 Multi-Auto
        {sp(11.7f), sp(16.5f)},     // 2 A3
        {sp(16.5f), sp(11.7f)},     // 3 A3
        {sp(8.27f), sp(11.69f)},    // 4 A4
        {sp(11.69f), sp(8.27f)},    // 5 A4
        {sp(5.83f), sp(8.27f)},     // 6 A5
        {sp(8.27f), sp(5.83f)},     // 7 A5
        {sp(9.8f), sp(13.9f)},      // 8 B4
        {sp(13.9f), sp(9.8f)},      // 9 B4
        {sp(6.9f), sp(9.8f)},       // 10 B5
        {sp(9.8f), sp(6.9f)},       // 11 B5
        {-1.0, -1.0},               // 12
        {sp(5.5f), sp(8.5f)},       // 13 Invoice
        {sp(8.5f), sp(5.5f)},       // 14 Invoice
        {sp(11.0f), sp(17.0f)},     // 15 Ledger
        {sp(17.0f), sp(11.0f)},     // 16 Ledger
        {sp(8.5f), sp(14.0f)},      // 17 Legal
        {sp(14.0f), sp(8.5f)},      // 18 Legal
        {sp(8.5f), sp(11.0f)},      // 19 Letter
        {sp(11.0f), sp(8.5f)},      // 20 Letter
        {0.0, 0.0},                 // 21 Max
        {-1.0, -1.0},               // 22 Custom
        {0.0, 0.0},                 // 23 Long Paper
    };
    constexpr std::int32_t kCount = static_cast<std::int32_t>(sizeof(kSizes) / sizeof(kSizes[0]));
    if (id < 0 || id >= kCount || kSizes[id].width < 0.0) return false;
    width = kSizes[id].width;
    height = kSizes[id].height;
    return true;
}
