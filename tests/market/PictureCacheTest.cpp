// The picture cache: its private folder, the freshness rules, the records beside the files,
// revalidation, and the trim that keeps the budget (least recently used first) and sweeps
// what a killed run left.
#include "LocalHttpServer.h"
#include "market/HttpClient.h"
#include "market/PictureCache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kNow = 1'700'000'000;

class PictureCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = fs::temp_directory_path() / ("yfx-cache-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(parent);
        fs::create_directories(parent);
        app = (parent / "yuefengxuan").string();
        expected = app + "/pictures";
    }
    void TearDown() override { fs::remove_all(parent); }

    // A file of `bytes` bytes in `folder`, last used (access time) at `used`, written at `written`.
    static void Put(const std::string& folder, const std::string& name, std::size_t bytes, std::int64_t used,
                    std::int64_t written = kNow - 3600)
    {
        std::ofstream(folder + name, std::ios::binary) << std::string(bytes, 'p');
        const timespec times[2] = {{used, 0}, {written, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder + name).c_str(), times, 0), 0);
    }
    static std::int64_t UsedAt(const std::string& path)
    {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_atim.tv_sec;
    }

    fs::path parent;
    std::string app, expected;
};

TEST_F(PictureCacheTest, PrivateFolderEndingInTheSeparator)
{
    const fs::path home = parent / "cache-home"; // missing: made too
    const std::string folder = yfx::MakePictureCacheFolderUnder(home.string());
    ASSERT_EQ(folder, (home / "yuefengxuan" / "pictures").string() + "/");
    for (const fs::path& p : {home / "yuefengxuan", home / "yuefengxuan" / "pictures"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
    // a second call finds the same folder
    EXPECT_EQ(yfx::MakePictureCacheFolderUnder(home.string() + "/"), folder);
}

TEST_F(PictureCacheTest, OpenFolderIsClosedAgain)
{
    fs::create_directories(expected);
    ::chmod(app.c_str(), 0777);
    ::chmod(expected.c_str(), 0755);
    ASSERT_EQ(yfx::MakePictureCacheFolderUnder(parent.string()), expected + "/");
    for (const std::string& p : {app, expected}) {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
}

TEST_F(PictureCacheTest, PlantedLinkOrFileIsRefused)
{
    const fs::path elsewhere = parent / "elsewhere";
    fs::create_directories(elsewhere / "pictures");
    for (const std::string& planted : {app, expected}) {
        fs::remove_all(app);
        fs::create_directories(fs::path(planted).parent_path());
        fs::create_directory_symlink(elsewhere, planted);
        EXPECT_EQ(yfx::MakePictureCacheFolderUnder(parent.string()), "") << planted;
        fs::remove(planted);
        std::ofstream(planted) << "not a folder";
        EXPECT_EQ(yfx::MakePictureCacheFolderUnder(parent.string()), "") << planted;
        fs::remove(planted);
    }
    EXPECT_EQ(yfx::MakePictureCacheFolderUnder(""), "");
    EXPECT_EQ(yfx::MakePictureCacheFolderUnder((parent / "missing" / "deeper").string()), "");
    // what the link pointed at was left alone
    EXPECT_TRUE(fs::is_directory(elsewhere / "pictures"));
}

TEST_F(PictureCacheTest, FolderUnderXdgCacheHomeElseHomeCache)
{
    struct Env {
        const char* name;
        std::optional<std::string> old;
        explicit Env(const char* n) : name(n)
        {
            if (const char* v = std::getenv(n))
                old = v;
        }
        ~Env() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    } xdg("XDG_CACHE_HOME"), home("HOME");
    ::setenv("HOME", (parent / "home").c_str(), 1);
    fs::create_directories(parent / "home");
    ::setenv("XDG_CACHE_HOME", (parent / "xdg").c_str(), 1);
    EXPECT_EQ(yfx::MakePictureCacheFolder(), (parent / "xdg" / "yuefengxuan" / "pictures").string() + "/");
    // a relative XDG_CACHE_HOME is not used (as the base directory rules say)
    ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(yfx::MakePictureCacheFolder(), (parent / "home" / ".cache" / "yuefengxuan" / "pictures").string() + "/");
    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(yfx::MakePictureCacheFolder(), (parent / "home" / ".cache" / "yuefengxuan" / "pictures").string() + "/");
    EXPECT_FALSE(fs::exists(parent / "relative"));
}

TEST_F(PictureCacheTest, PlantedLinkInPlaceOfAPictureIsNotFollowed)
{
    const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
    ASSERT_FALSE(folder.empty());
    const fs::path victim = parent / "victim";
    std::ofstream(victim) << "keep me";
    fs::create_symlink(victim, folder + "p.jpg_220x220.jpg");
    LocalHttpServer srv;
    srv.server().Get("/p.jpg_220x220.jpg", [](const auto&, auto& res) { res.set_content("JPEGDATA", "image/jpeg"); });
    srv.Start();
    CHttpSession session;
    EXPECT_EQ(HttpGetFile(session, srv.Base() + "/p.jpg_220x220.jpg", folder + "p.jpg_220x220.jpg"), 0);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
    EXPECT_FALSE(fs::is_symlink(folder + "p.jpg_220x220.jpg"));
}

TEST(PictureFreshness, LifetimeFromTheAnswersHeaders)
{
    struct Row {
        const char* cacheControl;
        const char* expires;
        const char* date;
        std::int64_t lifetime;
    };
    const Row rows[] = {
        {"", "", "", yfx::kPictureDefaultLifetime},
        {"max-age=60", "", "", 60},
        {"public, Max-Age=\"120\"", "", "", 120},
        {"max-age=0", "", "", 0},
        {"no-cache", "", "", 0},
        {"max-age=100, no-store", "", "", 0},
        {"max-age=abc", "", "", yfx::kPictureDefaultLifetime},
        {"max-age=-5", "", "", yfx::kPictureDefaultLifetime},
        {"max-age=999999999999999999999", "", "", 365 * 24 * 3600},
        // max-age wins over Expires
        {"max-age=30", "Wed, 21 Oct 2015 08:28:00 GMT", "Wed, 21 Oct 2015 07:28:00 GMT", 30},
        {"", "Wed, 21 Oct 2015 08:28:00 GMT", "Wed, 21 Oct 2015 07:28:00 GMT", 3600},
        {"", "Wed, 21 Oct 2015 06:28:00 GMT", "Wed, 21 Oct 2015 07:28:00 GMT", 0}, // in the past
        {"", "0", "Wed, 21 Oct 2015 07:28:00 GMT", 0},                             // unreadable: expired
        {"private", "Tue, 14 Nov 2023 22:13:20 GMT", "", 7200}, // no Date: from now, 20:13:20
    };
    for (const Row& r : rows) {
        yfx::net::ResponseHeaders h;
        h.cacheControl = r.cacheControl;
        h.expires = r.expires;
        h.date = r.date;
        EXPECT_EQ(yfx::FreshnessLifetime(h, kNow - 7200), r.lifetime)
            << r.cacheControl << " | " << r.expires << " | " << r.date;
    }
}

TEST_F(PictureCacheTest, RecordSaysWhereAFileCameFromAndUntilWhenItIsFresh)
{
    const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
    yfx::PictureCache cache(folder);
    EXPECT_FALSE(cache.Lookup("a.jpg").present);
    Put(folder, "a.jpg", 500, kNow);
    // a file without a record: present, but nothing vouches for it
    yfx::CachedPicture found = cache.Lookup("a.jpg");
    EXPECT_TRUE(found.present);
    EXPECT_FALSE(found.recorded);
    EXPECT_FALSE(found.FreshAt(kNow));

    yfx::net::ResponseHeaders h;
    h.etag = "\"v1\"";
    h.lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
    h.cacheControl = "max-age=60";
    EXPECT_FALSE(cache.Stored("a.jpg", "http://h/a.jpg", h, kNow)); // far within the budget
    found = cache.Lookup("a.jpg");
    EXPECT_TRUE(found.recorded);
    EXPECT_EQ(found.url, "http://h/a.jpg");
    EXPECT_EQ(found.etag, "\"v1\"");
    EXPECT_EQ(found.lastModified, h.lastModified);
    EXPECT_TRUE(found.FreshAt(kNow + 59));
    EXPECT_FALSE(found.FreshAt(kNow + 60));
    EXPECT_TRUE(found.HasValidator());

    // A file that took the name afterwards (a new file renamed into place) is not vouched for.
    const std::string other = folder + "other";
    std::ofstream(other) << std::string(500, 'q');
    fs::rename(other, folder + "a.jpg");
    EXPECT_FALSE(cache.Lookup("a.jpg").recorded);

    // Records that are damaged, too long or a link count as none.
    ASSERT_FALSE(cache.Stored("a.jpg", "http://h/a.jpg", h, kNow));
    ASSERT_TRUE(cache.Lookup("a.jpg").recorded);
    const std::string record = folder + ".info/a.jpg";
    std::string text;
    {
        std::ifstream in(record);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (const std::string& damaged : {text.substr(0, text.size() / 2), text.substr(0, text.find("\netag") + 1),
                                       std::string("garbage\n") + text, text + "url http://elsewhere/\n",
                                       text + std::string(9000, 'x') + "\n"}) {
        std::ofstream(record, std::ios::trunc) << damaged;
        EXPECT_FALSE(cache.Lookup("a.jpg").recorded) << damaged.size();
    }
    fs::remove(record);
    std::ofstream(parent / "planted") << text;
    fs::create_symlink(parent / "planted", record);
    EXPECT_FALSE(cache.Lookup("a.jpg").recorded);
    // names that are not plain file names find nothing
    for (const char* name : {"", ".", "..", ".info", "../victim", "a/b"})
        EXPECT_FALSE(cache.Lookup(name).present) << name;
    // a value that would break its line leaves no record rather than a wrong one
    fs::remove(record);
    cache.Stored("a.jpg", "http://h/a.jpg\nexpires 9999999999", h, kNow);
    EXPECT_FALSE(cache.Lookup("a.jpg").recorded);
}

TEST_F(PictureCacheTest, RevalidationRenewsTheLifetimeOfTheSameFileOnly)
{
    const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
    yfx::PictureCache cache(folder);
    Put(folder, "b.jpg", 300, kNow - 1000);
    yfx::net::ResponseHeaders h;
    h.etag = "\"e1\"";
    h.cacheControl = "max-age=10";
    cache.Stored("b.jpg", "http://h/b.jpg", h, kNow - 100);
    ASSERT_FALSE(cache.Lookup("b.jpg").FreshAt(kNow));

    yfx::net::ResponseHeaders notModified; // a 304 that repeats no validator
    notModified.cacheControl = "max-age=500";
    EXPECT_FALSE(cache.Revalidated("b.jpg", "http://elsewhere/b.jpg", notModified, kNow)); // another item's
    EXPECT_TRUE(cache.Revalidated("b.jpg", "http://h/b.jpg", notModified, kNow));
    yfx::CachedPicture found = cache.Lookup("b.jpg");
    EXPECT_TRUE(found.FreshAt(kNow + 499));
    EXPECT_EQ(found.etag, "\"e1\""); // kept
    EXPECT_GE(UsedAt(folder + "b.jpg"), kNow);  // a use
    notModified.etag = "\"e2\"";
    EXPECT_TRUE(cache.Revalidated("b.jpg", "http://h/b.jpg", notModified, kNow));
    EXPECT_EQ(cache.Lookup("b.jpg").etag, "\"e2\"");

    fs::remove(folder + "b.jpg");
    EXPECT_FALSE(cache.Revalidated("b.jpg", "http://h/b.jpg", notModified, kNow));
}

TEST_F(PictureCacheTest, TrimEvictsLeastRecentlyUsedFirst)
{
    struct Row {
        const char* what;
        std::uint64_t budget;
        bool touchOldest; // "a" is used again before the trim
        const char* left; // the pictures left, in name order
        int evicted;
    };
    const Row rows[] = {
        {"within the budget", 4000, false, "abcd", 0},
        {"just over: the oldest goes", 3500, false, "bcd", 1},
        {"down to nine tenths", 2000, false, "d", 3},
        {"a use makes it the newest", 3500, true, "abd", 1},
        {"nothing fits", 500, false, "", 4},
    };
    for (const Row& r : rows) {
        fs::remove_all(parent);
        const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
        ASSERT_FALSE(folder.empty());
        yfx::PictureCache cache(folder, r.budget);
        // used in the order a, c, b, d (a longest ago)
        Put(folder, "a", 1000, kNow - 400);
        Put(folder, "c", 1000, kNow - 300);
        Put(folder, "b", 1000, kNow - 200);
        Put(folder, "d", 1000, kNow - 100);
        if (r.touchOldest)
            cache.Touch("a");
        const yfx::PictureCache::TrimResult result = cache.Trim(kNow);
        std::string left;
        for (const char* name : {"a", "b", "c", "d"})
            if (fs::exists(folder + name))
                left += name;
        EXPECT_EQ(left, r.left) << r.what;
        EXPECT_EQ(result.evicted, r.evicted) << r.what;
        EXPECT_EQ(result.bytes, left.size() * 1000u) << r.what;
        EXPECT_EQ(result.leftovers, 0) << r.what;
    }
}

TEST_F(PictureCacheTest, TrimSweepsLeftoversAndCountsRecordsWithTheirPictures)
{
    const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
    yfx::PictureCache cache(folder, 10000);
    yfx::net::ResponseHeaders h;
    Put(folder, "kept.jpg", 1000, kNow - 10);
    cache.Stored("kept.jpg", "http://h/kept.jpg", h, kNow - 10);
    const std::uint64_t record = fs::file_size(folder + ".info/kept.jpg");
    // what a killed run left: temporary files of transfers and of records, a record whose
    // picture is gone; and a transfer of another run under way (written a moment ago)
    Put(folder, "old.jpg.part-AbC123", 700, kNow - 3600, kNow - 3600);
    Put(folder, ".part-xYz789", 700, kNow - 3600, kNow - 3600);
    Put(folder + ".info/", ".part-QqQqQq", 50, kNow - 3600, kNow - 3600);
    Put(folder + ".info/", "gone.jpg", 50, kNow - 3600, kNow - 3600);
    Put(folder, "young.jpg.part-Def456", 400, kNow - 5, kNow - 5);
    // neither a link nor a folder is followed or removed
    fs::create_symlink(parent / "elsewhere", folder + "link.jpg");
    fs::create_directory(folder + "dir.jpg");

    const yfx::PictureCache::TrimResult result = cache.Trim(kNow);
    EXPECT_EQ(result.leftovers, 4);
    EXPECT_EQ(result.evicted, 0);
    EXPECT_EQ(result.bytes, 1000 + record + 400);
    EXPECT_FALSE(fs::exists(folder + "old.jpg.part-AbC123"));
    EXPECT_FALSE(fs::exists(folder + ".part-xYz789"));
    EXPECT_FALSE(fs::exists(folder + ".info/.part-QqQqQq"));
    EXPECT_FALSE(fs::exists(folder + ".info/gone.jpg"));
    EXPECT_TRUE(fs::exists(folder + "young.jpg.part-Def456"));
    EXPECT_TRUE(cache.Lookup("kept.jpg").recorded);
    EXPECT_TRUE(fs::is_symlink(folder + "link.jpg"));
    EXPECT_TRUE(fs::is_directory(folder + "dir.jpg"));

    // A picture evicted for the budget takes its record with it.
    yfx::PictureCache tight(folder, 500);
    tight.Trim(kNow);
    EXPECT_FALSE(fs::exists(folder + "kept.jpg"));
    EXPECT_FALSE(fs::exists(folder + ".info/kept.jpg"));
}

TEST_F(PictureCacheTest, StoredCallsForOneTrimWhenPastTheBudget)
{
    const std::string folder = yfx::MakePictureCacheFolderUnder(parent.string());
    yfx::PictureCache cache(folder, 5000);
    EXPECT_EQ(cache.Trim(kNow).bytes, 0u);
    yfx::net::ResponseHeaders h;
    std::vector<bool> due;
    for (const char* name : {"1", "2", "3", "4", "5"}) {
        Put(folder, name, 1500, kNow);
        due.push_back(cache.Stored(name, std::string("http://h/") + name, h, kNow));
    }
    EXPECT_EQ(due, (std::vector<bool>{false, false, true, false, false})); // once, until it ran
    EXPECT_LE(cache.Trim(kNow).bytes, 4500u);
    Put(folder, "6", 3000, kNow);
    EXPECT_TRUE(cache.Stored("6", "http://h/6", h, kNow));
}

} // namespace
