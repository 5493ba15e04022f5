// libFuzzer: any text read as an open-platform answer (material search or item details) must
// end in an orderly way, with a bounded number of safe records.
#include "market/Gbk.h"
#include "market/OpenPlatformAnswer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SearchQuery query;
    query.exclude = "a";
    query.priceLow = "1.5";
    query.priceHigh = "99";
    MaterialAnswer answer;
    const bool items = ReadMaterialSearchAnswer(text, query, answer);
    if (items != (answer.outcome == AnswerOutcome::Items) || answer.records.size() > kMaxMaterialRecords)
        __builtin_trap();
    if (!items && (!answer.records.empty() || answer.message.empty()))
        __builtin_trap();
    for (const CTBRecord& r : answer.records) {
        // the picture name never leaves the picture folder
        if (r.thumbFileName.find('/') != std::string::npos || r.thumbFileName == ".." ||
            r.thumbFileName.find('\0') != std::string::npos)
            __builtin_trap();
        if (r.source != ResultSource::OpenPlatform || yfx::GbkContains(r.tip(), "a"))
            __builtin_trap();
    }

    ItemInfoAnswer info;
    if (ParseItemInfoAnswer(text, info) != (info.outcome == AnswerOutcome::Items))
        __builtin_trap();
    std::vector<CTBRecord> records = answer.records;
    ApplyRatesums(records, info.ratesums);
    for (const auto& batch : ItemInfoBatches(records))
        if (batch.empty() || batch.size() > 20)
            __builtin_trap();
    return 0;
}
