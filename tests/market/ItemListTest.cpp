// Reading list-search answers into records.
#include "LocalHttpServer.h"
#include "market/TBRecord.h"
#include "market/Texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>

// Allocation failure on demand: while armed on a thread, the n-th allocation of that thread
// throws std::bad_alloc. Every form of operator new and delete is replaced so that they pair.
namespace {
thread_local long t_allocationsLeft = -1; // -1: never fail
thread_local bool t_allocationFailed = false;

void* Allocate(std::size_t size)
{
    if (t_allocationsLeft == 0) {
        t_allocationsLeft = -1;
        t_allocationFailed = true;
        throw std::bad_alloc();
    }
    if (t_allocationsLeft > 0)
        --t_allocationsLeft;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// Arms the failure of allocation number `n` (0: the first) of this thread.
class FailAllocation {
public:
    explicit FailAllocation(long n)
    {
        t_allocationFailed = false;
        t_allocationsLeft = n;
    }
    ~FailAllocation() { t_allocationsLeft = -1; }
    bool Failed() const { return t_allocationFailed; }
};
} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// A list answer of `count` copies of `element`.
std::string ListOf(std::size_t count, const std::string& element)
{
    std::string s = R"({"itemList":[)";
    for (std::size_t i = 0; i < count; ++i)
        s += (i ? "," : "") + element;
    return s + "]}";
}

struct Reported {
    int count = 0;
    std::string caption, text;
};

class ItemListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetErrorReporter([this](const std::string& c, const std::string& t) {
            ++reported.count;
            reported.caption = c;
            reported.text = t;
        });
    }
    void TearDown() override { SetErrorReporter(nullptr); }
    Reported reported;
    std::vector<CTBRecord> records{CTBRecord()}; // not empty: every load must empty it
};

TEST_F(ItemListTest, ThumbnailRules)
{
    // largeName: the local file of the larger thumbnail (ThumbnailOf with kLargeThumbnailEdge),
    // "-" where there is no larger one to ask for
    struct Case {
        std::string original, thumbUrl, fileName, largeName;
    } cases[] = {
        {"http://img.example/a/p.jpg", "http://img.example/a/p.jpg_220x220.jpg", "p.jpg_220x220.jpg",
         "p.jpg_460x460.jpg"},
        {"http://img.example/a/p.png", "http://img.example/a/p.jpg_220x220.png", "p.jpg_220x220.png",
         "p.jpg_460x460.png"},
        // only the last '.' counts, even inside the host name (then there is no larger one: both
        // sizes would be the file "abc")
        {"http://img.example/abc", "http://img.jpg_220x220.example/abc", "abc", "-"},
        {"nodot", "nodot", "nodot", "-"},
        {".hidden", ".hidden", ".hidden", "-"},
        {"", "", "", "-"},
        // names that would leave the picture folder give no picture file
        {"http://h/..", "http://h/..jpg_220x220.", "..jpg_220x220.", "..jpg_460x460."},
        {".", ".", "", "-"},
        {"http://h/x/", "http://h/x/", "", "-"},
        {"a\\b.jpg", "a\\b.jpg_220x220.jpg", "", ""},
        {std::string("http://h/a\0b.jpg", 16), std::string("http://h/a\0b.jpg_220x220.jpg", 28), "", ""},
        // a GBK character whose trail byte is 0x5C is no backslash ("淺", "誠", "衆")
        {"http://h/\x9C\x5C.jpg", "http://h/\x9C\x5C.jpg_220x220.jpg", "\x9C\x5C.jpg_220x220.jpg",
         "\x9C\x5C.jpg_460x460.jpg"},
        {"http://h/a\xD5\x5C\xB1\x5C.png", "http://h/a\xD5\x5C\xB1\x5C.jpg_220x220.png",
         "a\xD5\x5C\xB1\x5C.jpg_220x220.png", "a\xD5\x5C\xB1\x5C.jpg_460x460.png"},
        // but a real one after such a character still is
        {"http://h/\x9C\x5C\x5C.jpg", "http://h/\x9C\x5C\x5C.jpg_220x220.jpg", "", ""},
        {"http://h/\x5C\x9C\x5C.jpg", "http://h/\x5C\x9C\x5C.jpg_220x220.jpg", "", ""},
    };
    for (const auto& c : cases) {
        CTBRecord r;
        r.SetValue(CTBRecord::OriginalImage, c.original);
        r.DeriveThumbnail();
        EXPECT_EQ(r.thumbUrl, c.thumbUrl) << c.original;
        EXPECT_EQ(r.thumbFileName, c.fileName) << c.original;
        const ThumbnailAddress large = ThumbnailOf(c.original, kLargeThumbnailEdge);
        if (c.largeName == "-") {
            EXPECT_TRUE(large.url.empty() && large.fileName.empty()) << c.original;
            continue;
        }
        EXPECT_EQ(large.fileName, c.largeName) << c.original;
        // the same picture: only the size in the address differs
        std::string url = large.url;
        url.replace(url.rfind("_460x460"), 8, "_220x220");
        EXPECT_EQ(url, c.thumbUrl) << c.original;
    }
    // the larger thumbnail from a ratio of 1.5 on
    const std::pair<double, int> ratios[] = {{0.5, 220}, {1.0, 220}, {1.25, 220}, {1.49, 220},
                                             {1.5, 460}, {2.0, 460}, {3.0, 460},  {std::nan(""), 220}};
    for (const auto& [ratio, edge] : ratios)
        EXPECT_EQ(ThumbnailEdgeFor(ratio), edge) << ratio;
}

TEST_F(ItemListTest, RecordCarriesItsOwnKeysAndCopies)
{
    CTBRecord a;
    EXPECT_STREQ(a.Key(CTBRecord::OriginalImage), "originalImage");
    EXPECT_STREQ(a.Key(CTBRecord::Ratesum), "ratesum");
    a.SetValue(CTBRecord::Tip, "t");
    a.thumbUrl = "u";
    a.source = ResultSource::OpenPlatform;
    a.couponFee = "10";
    a.finalPrice = "49.90";
    CTBRecord b = a;
    a.Clear();
    EXPECT_EQ(b.tip(), "t");
    EXPECT_EQ(b.thumbUrl, "u");
    EXPECT_EQ(b.source, ResultSource::OpenPlatform);
    EXPECT_EQ(b.couponFee, "10");
    EXPECT_EQ(b.finalPrice, "49.90");
    EXPECT_EQ(a.tip(), "");
    EXPECT_EQ(a.source, ResultSource::ListSearch);
    EXPECT_EQ(a.couponFee, "");
    EXPECT_EQ(a.finalPrice, "");
    EXPECT_STREQ(a.Key(CTBRecord::Tip), "tip");
}

TEST_F(ItemListTest, ReadsEveryFieldAsText)
{
    const std::string text = R"({"itemList":[
      {"originalImage":"http://i/p.jpg","image":"http://i2/p.jpg","tip":")" "\xCA\xD6\xBB\xFA" R"(","currentPrice":"12.50",
       "ship":"0.00","tradeNum":"1523","nick":"n","itemId":"42","href":"http://item/42","ratesum":"6"},
      {"tip":"x"},
      {"tradeNum":true, "ship":null, "nick":false}
    ]} // comments are allowed
    )";
    ASSERT_TRUE(ParseItemList(text, records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].tip(), "\xCA\xD6\xBB\xFA");
    EXPECT_EQ(records[0].currentPrice(), "12.50");
    EXPECT_EQ(records[0].itemId(), "42");
    EXPECT_EQ(records[0].thumbFileName, "p.jpg_220x220.jpg");
    EXPECT_EQ(records[1].tip(), "x");
    for (int f = 0; f < CTBRecord::FieldCount; ++f) {
        if (f != CTBRecord::Tip) {
            EXPECT_EQ(records[1].Value(f), "") << f;
        }
    }
    EXPECT_EQ(records[2].tradeNum(), "true");
    EXPECT_EQ(records[2].ship(), "");
    EXPECT_EQ(records[2].nick(), "false");
    EXPECT_EQ(reported.count, 0);
}

TEST_F(ItemListTest, NumbersReadAsTheTextTheServerSent)
{
    ASSERT_TRUE(ParseItemList(R"({"itemList":[{"currentPrice":12.30,"itemId":12345678901234567890,
        "ship":-0.5e1,"ratesum":7,"tip":["a"],"href":{"u":1}}]})", records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].currentPrice(), "12.30");
    EXPECT_EQ(records[0].itemId(), "12345678901234567890");
    EXPECT_EQ(records[0].ship(), "-0.5e1");
    EXPECT_EQ(records[0].ratesum(), "7");
    EXPECT_EQ(records[0].tip(), "");
    EXPECT_EQ(records[0].href(), "");
}

TEST_F(ItemListTest, ShapesThatAreNotAListOfObjects)
{
    struct Case {
        const char* text;
        bool result;
        size_t count;
    } cases[] = {
        {R"({"itemList":[]})", true, 0},
        {"{}", true, 0},
        {R"({"itemList":{"tip":"x"}})", true, 0},
        {R"({"itemList":"x"})", true, 0},
        {R"({"itemList":[1,"a",null,[],{"tip":"ok"}]})", true, 2},
        {R"({"itemList":[null,null]})", true, 2},
        {"[1,2,3]", true, 0},
        {"42", true, 0},
        {"null", false, 0},
    };
    for (const auto& c : cases) {
        records.assign(2, CTBRecord());
        EXPECT_EQ(ParseItemList(c.text, records), c.result) << c.text;
        EXPECT_EQ(records.size(), c.count) << c.text;
    }
    EXPECT_EQ(reported.count, 0);

    // A null element reads as an element whose members are all missing.
    ASSERT_TRUE(ParseItemList(R"({"itemList":[{"tip":"a"},null,{"tip":"b"}]})", records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].tip(), "a");
    for (int f = 0; f < CTBRecord::FieldCount; ++f)
        EXPECT_EQ(records[1].Value(f), "") << f;
    EXPECT_EQ(records[1].thumbUrl, "");
    EXPECT_EQ(records[1].thumbFileName, "");
    EXPECT_EQ(records[2].tip(), "b");
}

TEST_F(ItemListTest, ReadingStopsAtTheRecordBound)
{
    std::string text = R"({"itemList":[)";
    for (std::size_t i = 0; i < kMaxListRecords + 400; ++i)
        text += (i ? "," : "") + std::string(R"({"itemId":")") + std::to_string(i) + "\"}";
    text += "]}";
    ASSERT_LE(text.size(), kMaxListAnswerBytes);
    ASSERT_TRUE(ParseItemList(text, records));
    ASSERT_EQ(records.size(), kMaxListRecords);
    EXPECT_EQ(records.front().itemId(), "0");
    EXPECT_EQ(records.back().itemId(), std::to_string(kMaxListRecords - 1));
    // Elements that give no record do not count towards it.
    std::string mixed = R"({"itemList":[)";
    for (std::size_t i = 0; i < kMaxListRecords; ++i)
        mixed += "1,";
    mixed += R"({"tip":"last"}]})";
    ASSERT_TRUE(ParseItemList(mixed, records));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].tip(), "last");
}

TEST_F(ItemListTest, NothingIsSizedByTheCountTheAnswerClaims)
{
    // About 300 000 empty elements, under the answer bound: the vector grows with what is
    // kept, never by the list's length (which would be about a gigabyte of records).
    const std::string text = ListOf(300000, "{}");
    ASSERT_LE(text.size(), kMaxListAnswerBytes);
    records.clear();
    records.shrink_to_fit();
    ASSERT_TRUE(ParseItemList(text, records));
    EXPECT_EQ(records.size(), kMaxListRecords);
    EXPECT_LE(records.capacity(), 2 * kMaxListRecords);
    EXPECT_EQ(reported.count, 0);
}

TEST_F(ItemListTest, AnswerLongerThanAPageCanHoldIsRefusedUnread)
{
    // A readable document padded to the bound is read; one byte more is refused as unreadable.
    const std::string doc = R"({"itemList":[{"tip":"x"}]})";
    std::string atBound = doc;
    atBound.insert(atBound.size() - 1, kMaxListAnswerBytes - doc.size(), ' ');
    ASSERT_EQ(atBound.size(), kMaxListAnswerBytes);
    ASSERT_TRUE(ParseItemList(atBound, records));
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(reported.count, 0);

    for (const std::string& text : {std::string(atBound).insert(1, " "), ListOf(10000000, "{}")}) {
        reported = {};
        records.assign(1, CTBRecord());
        EXPECT_FALSE(ParseItemList(text, records)) << text.size();
        EXPECT_TRUE(records.empty());
        EXPECT_EQ(reported.count, 1);
        EXPECT_EQ(reported.caption, yfx::text::DeveloperCaption());
        EXPECT_NE(reported.text.find(std::to_string(text.size()) + " bytes"), std::string::npos) << reported.text;
    }
    // An answer that the network stopped taking at the bound is refused alike: with the length it
    // announced, or without one when it announced none.
    for (const std::int64_t length : {std::int64_t{30000014}, std::int64_t{-1}}) {
        reported = {};
        EXPECT_FALSE(RefuseLongItemList(length));
        EXPECT_EQ(reported.count, 1);
        EXPECT_EQ(reported.caption, yfx::text::DeveloperCaption());
        EXPECT_NE(reported.text.find("longer than the " + std::to_string(kMaxListAnswerBytes) + " bytes"),
                  std::string::npos);
        EXPECT_EQ(reported.text.find("30000014 bytes") != std::string::npos, length > 0) << reported.text;
    }
}

TEST_F(ItemListTest, OutOfMemoryNeverLeavesTheCore)
{
    const std::string text = R"({"itemList":[{"originalImage":"http://i/p.jpg","tip":"a","currentPrice":12.5},
        {"tip":"b"}, {"nick":"n","ship":true}]})";
    ASSERT_TRUE(ParseItemList(text, records));
    ASSERT_EQ(records.size(), 3u);
    // Every allocation of the read fails once in turn: each time the read ends with no
    // records and false, and nothing is thrown.
    long failures = 0;
    for (long n = 0; n < 100000; ++n) {
        records.assign(2, CTBRecord());
        bool result = true, threw = false, failed = false;
        {
            FailAllocation fail(n);
            try {
                result = ParseItemList(text, records);
            } catch (...) {
                threw = true;
            }
            failed = fail.Failed();
        }
        if (!failed) {
            EXPECT_TRUE(result); // past the last allocation: the read went through
            EXPECT_EQ(records.size(), 3u);
            break;
        }
        ++failures;
        EXPECT_FALSE(threw) << "allocation " << n;
        EXPECT_FALSE(result) << "allocation " << n;
        EXPECT_TRUE(records.empty()) << "allocation " << n;
    }
    EXPECT_GT(failures, 20);
}

TEST_F(ItemListTest, UnreadableAnswerIsReportedWithTheReadersWords)
{
    for (const char* text : {"", "<html>busy</html>", R"({"itemList":[{"tip":"x")"}) {
        reported = {};
        records.assign(1, CTBRecord());
        EXPECT_FALSE(ParseItemList(text, records)) << text;
        EXPECT_TRUE(records.empty());
        EXPECT_EQ(reported.count, 1) << text;
        EXPECT_EQ(reported.caption, yfx::text::DeveloperCaption());
        EXPECT_NE(reported.text.find("Line 1, Column"), std::string::npos) << reported.text;
    }
}

TEST_F(ItemListTest, DeepNestingIsAFailureNotACrash)
{
    EXPECT_FALSE(ParseItemList(std::string(5000, '['), records));
    EXPECT_EQ(reported.count, 1);
    EXPECT_FALSE(reported.text.empty());
    const std::string deepInside = R"({"itemList":[{"tip":)" + std::string(3000, '[') + std::string(3000, ']') + "}]}";
    EXPECT_FALSE(ParseItemList(deepInside, records));
}

TEST_F(ItemListTest, LoadsOverHttp)
{
    const std::string manyItems = [] {
        std::string s = R"({"itemList":[)";
        for (int i = 0; i < 2000; ++i)
            s += std::string(i ? "," : "") + R"({"itemId":")" + std::to_string(i) + R"(","tip":")" +
                 std::string(200, 'x') + "\"}";
        return s + "]}";
    }();
    LocalHttpServer srv; // (after what its handlers read: it stops first)
    srv.server().Get("/list", [](const auto&, auto& res) {
        res.set_content("{\"itemList\":[\r\n{\"tip\":\"a\"},\n{\"tip\":\"b\"}]}", "text/html");
    });
    srv.server().Get("/huge", [&](const auto&, auto& res) { res.set_content(manyItems, "text/html"); });
    srv.server().Get("/gone", [](const auto&, auto& res) { res.status = 503; });
    srv.Start();

    ASSERT_TRUE(LoadItemList(srv.Base() + "/list", records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].tip(), "b");

    ASSERT_TRUE(LoadItemList(srv.Base() + "/huge", records));
    EXPECT_EQ(records.size(), kMaxListRecords);
    EXPECT_EQ(records.back().itemId(), std::to_string(kMaxListRecords - 1));

    // a non-200 answer is an empty text: reported as unreadable
    EXPECT_FALSE(LoadItemList(srv.Base() + "/gone", records));
    EXPECT_EQ(reported.count, 1);
    EXPECT_TRUE(records.empty());

    // a failed fetch is silent
    reported = {};
    EXPECT_FALSE(LoadItemList("http://no-such-host.invalid/list", records));
    EXPECT_EQ(reported.count, 0);
}

} // namespace
