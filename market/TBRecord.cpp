#include "market/TBRecord.h"

#include "market/Gbk.h"
#include "market/HttpClient.h"
#include "market/JsonText.h"
#include "market/Texts.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr const char* kFieldKeys[CTBRecord::FieldCount] = {
    "originalImage", "image", "tip", "currentPrice", "ship", "tradeNum", "nick", "itemId", "href", "ratesum",
};

std::mutex& ReporterMutex()
{
    static std::mutex m;
    return m;
}

ErrorReporter& Reporter()
{
    static ErrorReporter reporter;
    return reporter;
}

bool UsableFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    if (name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        return false;
    // A backslash only where it is a character of its own, not the trail byte of a GBK pair.
    return yfx::FindLastGbkChar(name, '\\') == std::string::npos;
}

// `size` -1: not known, only that it is too long
std::string TooLongMessage(std::int64_t size)
{
    return "* Line 1, Column 1\n  Answer " + (size < 0 ? std::string() : "of " + std::to_string(size) + " bytes ") +
           "is longer than the " + std::to_string(kMaxListAnswerBytes) + " bytes a list page may hold.\n";
}

bool ReadItemList(const std::string& text, std::vector<CTBRecord>& records)
{
    if (text.size() > kMaxListAnswerBytes) {
        ReportError(yfx::text::DeveloperCaption(), TooLongMessage(static_cast<std::int64_t>(text.size())));
        return false;
    }
    yfx::json::Document doc;
    if (!yfx::json::Parse(text, doc)) {
        ReportError(yfx::text::DeveloperCaption(), doc.errors);
        return false;
    }
    if (doc.root.isNull())
        return false;

    const Json::Value& list = yfx::json::Member(doc.root, "itemList");
    if (!list.isArray())
        return true; // missing (or not a list): no items
    // Grown one record at a time: the count the answer claims sizes nothing.
    CTBRecord work;
    for (Json::ArrayIndex i = 0; i < list.size() && records.size() < kMaxListRecords; ++i) {
        const Json::Value& element = list[i];
        if (!element.isObject() && !element.isNull())
            continue;
        work.Clear();
        // the members of null are all missing: a record of empty values
        for (int f = 0; f < CTBRecord::FieldCount; ++f)
            work.SetValue(f, yfx::json::MemberText(doc, element, work.Key(f)));
        work.DeriveThumbnail();
        records.push_back(work);
    }
    return true;
}

} // namespace

CTBRecord::CTBRecord()
{
    for (int i = 0; i < FieldCount; ++i) {
        std::memset(m_keys[i], 0, kKeySize);
        std::strncpy(m_keys[i], kFieldKeys[i], kKeySize - 1);
    }
}

void CTBRecord::Clear()
{
    for (auto& v : m_values)
        v.clear();
    thumbUrl.clear();
    thumbFileName.clear();
    source = ResultSource::ListSearch;
    couponFee.clear();
    finalPrice.clear();
    sellerId.clear();
}

int ThumbnailEdgeFor(double ratio)
{
    return ratio >= kLargeThumbnailRatio ? kLargeThumbnailEdge : kThumbnailEdge; // NaN compares false
}

ThumbnailAddress ThumbnailOf(const std::string& original, int edge)
{
    ThumbnailAddress out;
    const size_t dot = original.rfind('.');
    const size_t lastSlash = original.rfind('/');
    // Another size only where the size lands in the file name, so that each size has its own file.
    const bool inName = lastSlash == std::string::npos || (dot != std::string::npos && dot > lastSlash);
    if (dot != std::string::npos && dot != 0 && (edge == kThumbnailEdge || inName)) {
        const std::string size = std::to_string(edge);
        out.url = original.substr(0, dot) + ".jpg_" + size + "x" + size + original.substr(dot);
    } else if (edge == kThumbnailEdge) {
        out.url = original;
    } else {
        return out;
    }
    const size_t slash = out.url.rfind('/');
    std::string name = slash == std::string::npos ? out.url : out.url.substr(slash + 1);
    if (UsableFileName(name))
        out.fileName = std::move(name);
    return out;
}

void CTBRecord::DeriveThumbnail()
{
    ThumbnailAddress thumb = ThumbnailOf(m_values[OriginalImage], kThumbnailEdge);
    thumbUrl = std::move(thumb.url);
    thumbFileName = std::move(thumb.fileName);
}

void SetErrorReporter(ErrorReporter reporter)
{
    std::lock_guard lock(ReporterMutex());
    Reporter() = std::move(reporter);
}

void ReportError(const std::string& caption, const std::string& text)
{
    ErrorReporter reporter;
    {
        std::lock_guard lock(ReporterMutex());
        reporter = Reporter();
    }
    if (reporter) {
        reporter(caption, text);
        return;
    }
    std::fprintf(stderr, "%s\n%s", caption.c_str(), text.c_str());
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
}

bool ParseItemList(const std::string& text, std::vector<CTBRecord>& records)
{
    records.clear();
    try {
        return ReadItemList(text, records);
    } catch (...) {
        // out of memory (or a reporter that threw): no records rather than an exception
        records.clear();
        return false;
    }
}

bool RefuseLongItemList(std::int64_t length)
{
    try {
        ReportError(yfx::text::DeveloperCaption(), TooLongMessage(length));
    } catch (...) {
        // (a reporter that threw, or no memory left for the message: refused all the same)
    }
    return false;
}

bool LoadItemList(const std::string& url, std::vector<CTBRecord>& records)
{
    records.clear();
    std::string text;
    try {
        if (HttpGetText(url, text) < 0)
            return false;
    } catch (...) {
        return false;
    }
    return ParseItemList(text, records);
}
