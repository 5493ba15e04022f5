// libFuzzer: any answer text read as a list-search answer must end in an orderly way.
#include "market/TBRecord.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        SetErrorReporter([](const std::string&, const std::string&) {});
        return true;
    }();
    (void)quiet;
    std::vector<CTBRecord> records;
    ParseItemList(std::string(reinterpret_cast<const char*>(data), size), records);
    for (const CTBRecord& r : records) {
        // the picture name never leaves the picture folder
        if (r.thumbFileName.find('/') != std::string::npos || r.thumbFileName == ".." ||
            r.thumbFileName.find('\0') != std::string::npos)
            __builtin_trap();
    }
    return 0;
}
