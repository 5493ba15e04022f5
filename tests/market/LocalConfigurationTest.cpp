// The configuration composed from the user's file, the system's files and the remote document;
// bad local files; the XDG folders; private files on disk.
#include "market/Gbk.h"
#include "market/LocalConfiguration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

LocalConfigFile Local(const std::string& json)
{
    LocalConfigFile f;
    const LocalConfigProblem problem = ReadLocalConfigText(json, f);
    EXPECT_EQ(problem.kind, LocalConfigProblem::Kind::None) << json;
    return f;
}

ConfigurationLayer Remote(const std::string& json)
{
    ConfigurationLayer layer;
    EXPECT_TRUE(ReadConfigurationLayer(0, json, layer)) << json;
    return layer;
}

std::string Nicks(const Configuration& cfg)
{
    std::string out;
    for (const auto& [nick, index] : cfg.sellerNicks)
        out += nick + "=" + std::to_string(index) + ";";
    return out;
}

std::string Join(const std::vector<std::string>& list)
{
    std::string out;
    for (const std::string& s : list)
        out += s + ";";
    return out;
}

TEST(LocalConfiguration, EachMemberFromTheFirstThatHasIt)
{
    const std::string remote =
        R"({"appkey":"rk","secret":"rs","pid":"mm_9_9_9","nicks":[{"nick":"r"}],"affiches":[{"affiche":"ra"}]})";
    struct Case {
        const char* name;
        std::string user, system, remote;
        bool demo;
        const char *appKey, *secret, *pid;
        ResultSource source;
        SignMethod sign;
        const char *nicks, *affiches;
        const char* sellerIds = ""; // "nick=id;" for each
    } cases[] = {
        {"the user's own keys win", R"({"appkey":"uk","secret":"us","pid":"mm_1_2_3","search":"material"})",
         R"({"appkey":"sk","secret":"ss"})", remote, false, "uk", "us", "mm_1_2_3", ResultSource::OpenPlatform,
         SignMethod::Md5, "r=0;", "ra;"},
        {"per member: the system fills what the user left out", R"({"appkey":"uk"})",
         R"({"appkey":"sk","secret":"ss","sign_method":"hmac-sha256"})", remote, false, "uk", "ss", "mm_9_9_9",
         ResultSource::ListSearch, SignMethod::HmacSha256, "r=0;", "ra;"},
        {"the remote document alone", "", "", remote, false, "rk", "rs", "mm_9_9_9", ResultSource::ListSearch,
         SignMethod::Md5, "r=0;", "ra;"},
        {"no document: only the files", R"({"appkey":12345678,"pid":"mm_1_2_3","search":"material"})", "", "{}",
         false, "12345678", "", "mm_1_2_3", ResultSource::OpenPlatform, SignMethod::Md5, "", ""},
        {"an empty list is a list", R"({"nicks":[],"affiches":[]})", R"({"nicks":[{"nick":"s"}]})", remote, false,
         "rk", "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5, "", ""},
        {"the system's lists before the remote ones", "",
         R"({"nicks":[{"nick":"a"},{"nick":"b"},{"nick":"a"}],"affiches":[{"affiche":"公告"}]})", remote, false, "rk",
         "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5, "a=2;b=1;", "公告;"},
        {"the remote document chooses the search when no file does", R"({"appkey":"uk"})", "",
         R"({"search":"material","sign_method":"hmac-sha256"})", false, "uk", "", "", ResultSource::OpenPlatform,
         SignMethod::HmacSha256, "", ""},
        {"a file's list search wins over the document's material search", R"({"search":"list"})", "",
         R"({"search":"material"})", false, "", "", "", ResultSource::ListSearch, SignMethod::Md5, "", ""},
        {"choosing a server leaves the user's application out",
         R"({"source":"server","appkey":"uk","secret":"us","search":"material","nicks":[{"nick":"u"}]})",
         R"({"pid":"mm_5_5_5"})", remote, false, "rk", "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5,
         "u=0;", "ra;"},
        {"the system's choice of a server counts when the user made none", R"({"appkey":"uk"})",
         R"({"source":"server","config_server":"http://cfg.example"})", remote, false, "rk", "rs", "mm_9_9_9",
         ResultSource::ListSearch, SignMethod::Md5, "r=0;", "ra;"},
        {"the user's choice wins over the system's", R"({"source":"platform","appkey":"uk"})",
         R"({"source":"server"})", remote, false, "uk", "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5,
         "r=0;", "ra;"},
        {"the demo chosen in a file: the document alone", R"({"source":"demo","appkey":"uk","nicks":[]})", "",
         remote, false, "rk", "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5, "r=0;", "ra;"},
        {"a demo run: the document alone", R"({"appkey":"uk","affiches":[]})", R"({"pid":"mm_5_5_5"})", remote, true,
         "rk", "rs", "mm_9_9_9", ResultSource::ListSearch, SignMethod::Md5, "r=0;", "ra;"},
        {"seller ids beside the nicks, from the user's file", R"({"nicks":[{"nick":"青禾"}],
          "sellerids":{"青禾":2200000000000001,"x":"12a","y":"7"}})", "",
         R"({"sellerids":{"r":"99"}})", false, "", "", "", ResultSource::ListSearch, SignMethod::Md5, "青禾=0;", "",
         "y=7;青禾=2200000000000001;"},
        {"the document's ids when no file gives any", R"({"appkey":"uk"})", "", R"({"sellerids":{"r":99}})", false,
         "uk", "", "", ResultSource::ListSearch, SignMethod::Md5, "", "", "r=99;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<LocalConfigFile> local;
        local.push_back(Local(c.user));
        local.push_back(Local(c.system));
        const Configuration cfg = MergeConfiguration(local, Remote(c.remote), c.demo);
        EXPECT_EQ(cfg.appKey, c.appKey);
        EXPECT_EQ(cfg.appSecret, c.secret);
        EXPECT_EQ(cfg.pid, c.pid);
        EXPECT_EQ(cfg.source, c.source);
        EXPECT_EQ(cfg.signMethod, c.sign);
        EXPECT_EQ(yfx::GbkToUtf8(Nicks(cfg)), c.nicks);
        EXPECT_EQ(yfx::GbkToUtf8(Join(cfg.announcements)), c.affiches);
        std::string ids;
        for (const auto& [nick, id] : cfg.sellerIds)
            ids += yfx::GbkToUtf8(nick) + "=" + id + ";";
        EXPECT_EQ(ids, c.sellerIds);
    }
}

TEST(LocalConfiguration, BadFiles)
{
    using Kind = LocalConfigProblem::Kind;
    struct Case {
        const char* name;
        std::string text;
        Kind kind;
        std::vector<std::string> members; // left out
        const char* appKey;               // what is still read
    } cases[] = {
        {"written by hand, with a comment", "// mine\n{\"appkey\":\"k\"}\n", Kind::None, {}, "k"},
        {"empty", " \n", Kind::None, {}, ""},
        {"not JSON", "appkey = k\n", Kind::NotJson, {}, ""},
        {"cut off", R"({"appkey":"k",)", Kind::NotJson, {}, ""},
        {"an array", R"([{"appkey":"k"}])", Kind::NotJson, {}, ""},
        {"a text", R"("k")", Kind::NotJson, {}, ""},
        {"too deep", std::string(5000, '['), Kind::NotJson, {}, ""},
        {"GBK, not UTF-8", "{\"affiches\":[{\"affiche\":\"\xB9\xAB\xB8\xE6\"}]}", Kind::NotUtf8, {}, ""},
        {"members of the wrong type",
         R"({"appkey":"k","secret":true,"pid":1.5,"search":["material"],"sign_method":null,
             "nicks":[{"nick":"a"},{"nick":7}],"sellerids":[1],"affiches":{"affiche":"x"},"source":"cloud",
             "config_server":"ftp://x"})",
         Kind::BadMembers,
         {"secret", "pid", "search", "sign_method", "nicks", "sellerids", "affiches", "source", "config_server"},
         "k"},
        {"a negative number is no id", R"({"appkey":-1})", Kind::BadMembers, {"appkey"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalConfigFile f;
        f.members.appKey = "stale";
        const LocalConfigProblem problem = ReadLocalConfigText(c.text, f);
        EXPECT_EQ(problem.kind, c.kind);
        EXPECT_EQ(problem.members, c.members);
        EXPECT_EQ(f.members.appKey.value_or(""), c.appKey);
        if (c.kind != Kind::BadMembers && c.kind != Kind::None) {
            EXPECT_FALSE(f.members.appSecret || f.members.sellerNicks || f.members.announcements);
            EXPECT_EQ(f.dataSource, DataSource::Unset);
        }
        // a left-out member lets the next file give it
        if (c.kind == Kind::BadMembers && !c.members.empty() && c.members.front() == "secret") {
            const Configuration cfg = MergeConfiguration({f, Local(R"({"secret":"sys"})")}, ConfigurationLayer{}, false);
            EXPECT_EQ(cfg.appSecret, "sys");
        }
    }
}

TEST(LocalConfiguration, ChoicesOfTheFiles)
{
    const LocalConfigFile f = Local(R"({"source":"server","config_server":"https://cfg.example:8443/"})");
    EXPECT_EQ(f.dataSource, DataSource::Server);
    EXPECT_EQ(f.configServer, "https://cfg.example:8443");
    EXPECT_EQ(ChosenConfigServer({Local("{}"), f}), "https://cfg.example:8443");
    EXPECT_EQ(ChosenDataSource({Local(R"({"source":"demo"})"), f}), DataSource::Demo);
    EXPECT_EQ(ChosenDataSource({Local("{}"), Local(R"({"source":"platform"})")}), DataSource::OpenPlatform);
    EXPECT_EQ(ChosenDataSource({}), DataSource::Unset);
}

TEST(LocalConfiguration, SecretFromTheKeyringWhenAKeyHasNone)
{
    struct Case {
        std::string user, system;
        bool demo, keyring;
    } cases[] = {
        {R"({"appkey":"k"})", "", false, true},
        {"", R"({"appkey":"k"})", false, true},
        {R"({"appkey":"k","secret":"s"})", "", false, false},
        {R"({"appkey":"k"})", R"({"secret":"s"})", false, false},
        {"", "", false, false},
        {R"({"appkey":"k"})", "", true, false},
        {R"({"appkey":"k","source":"server"})", "", false, false},
        {R"({"appkey":"k","source":"demo"})", "", false, false},
        {R"({"appkey":"k","source":"platform"})", "", false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SecretFromKeyring({Local(c.user), Local(c.system)}, c.demo), c.keyring) << c.user << c.system;
}

TEST(LocalConfiguration, NothingToReachWithoutAnySource)
{
    Configuration own;
    own.source = ResultSource::OpenPlatform;
    own.appKey = "k";
    own.pid = "mm_1_2_3";
    Configuration noPid = own;
    noPid.pid.clear();
    Configuration listSearch = own;
    listSearch.source = ResultSource::ListSearch;
    struct Case {
        const char* name;
        Configuration cfg;
        bool demo, serverChosen, remoteRead, nothing;
    } cases[] = {
        {"first run", Configuration{}, false, false, false, true},
        {"the demo", Configuration{}, true, false, false, false},
        {"a server named", Configuration{}, false, true, false, false},
        {"a document read once", Configuration{}, false, false, true, false},
        {"the user's application", own, false, false, false, false},
        {"an application without an affiliate id", noPid, false, false, false, true},
        {"keys for the list search", listSearch, false, false, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NothingToReach(c.cfg, c.demo, c.serverChosen, c.remoteRead), c.nothing) << c.name;
}

TEST(LocalConfiguration, XdgFolders)
{
    struct Case {
        const char *configHome, *configDirs, *cacheHome, *home;
        std::string user;
        std::vector<std::string> system;
        std::string cache;
    } cases[] = {
        {nullptr, nullptr, nullptr, "/home/u", "/home/u/.config/yuefengxuan/config.json",
         {"/etc/xdg/yuefengxuan/config.json"}, "/home/u/.cache/yuefengxuan"},
        {"/c/", "/a:/b/", "/k", "/home/u", "/c/yuefengxuan/config.json",
         {"/a/yuefengxuan/config.json", "/b/yuefengxuan/config.json"}, "/k/yuefengxuan"},
        {"relative", "rel::/x", "", "/home/u/", "/home/u/.config/yuefengxuan/config.json",
         {"/x/yuefengxuan/config.json"}, "/home/u/.cache/yuefengxuan"},
        {"", "", nullptr, nullptr, "", {"/etc/xdg/yuefengxuan/config.json"}, ""},
    };
    for (const Case& c : cases) {
        const XdgFolders f = XdgFoldersFrom(c.configHome, c.configDirs, c.cacheHome, c.home);
        EXPECT_EQ(f.userConfigFile, c.user);
        EXPECT_EQ(f.systemConfigFiles, c.system);
        EXPECT_EQ(f.cacheFolder, c.cache);
    }
}

class LocalConfigurationFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/yfx-local-XXXXXX";
        ASSERT_TRUE(::mkdtemp(tmpl));
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static unsigned Mode(const std::string& path)
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0;
    }
    std::string dir;
};

TEST_F(LocalConfigurationFiles, WrittenForTheUserOnlyIntoNewFolders)
{
    const std::string path = dir + "/a/b/config.json";
    std::string error;
    ASSERT_TRUE(WritePrivateFile(path, "{}", error)) << error;
    EXPECT_EQ(Contents(path), "{}");
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(dir + "/a/b"), 0700u);
    ASSERT_TRUE(WritePrivateFile(path, "[1]", error)) << error;
    EXPECT_EQ(Contents(path), "[1]");
    // nothing left behind by the writing
    EXPECT_EQ(std::system(("test $(ls -A '" + dir + "/a/b' | wc -l) -eq 1").c_str()), 0);
    // a folder standing where the file should go
    EXPECT_FALSE(WritePrivateFile(dir + "/a", "x", error));
    EXPECT_FALSE(error.empty());
}

TEST_F(LocalConfigurationFiles, UpdateKeepsTheRest)
{
    const std::string path = dir + "/config.json";
    std::string error;
    ASSERT_TRUE(WritePrivateFile(path, R"({"appkey":"old","nicks":[{"nick":"青禾"}],"mine":1})", error));
    ASSERT_TRUE(::chmod(path.c_str(), 0644) == 0);
    ASSERT_TRUE(UpdateLocalConfigFile(path, {{"appkey", "新"}, {"secret", "s"}, {"mine", std::nullopt}}, error))
        << error;
    EXPECT_EQ(Mode(path), 0600u); // it may hold the secret now
    LocalConfigFile f;
    ASSERT_EQ(ReadLocalConfigFile(path, f).kind, LocalConfigProblem::Kind::None);
    EXPECT_EQ(f.members.appKey, yfx::Utf8ToGbk("新"));
    EXPECT_EQ(f.members.appSecret, "s");
    ASSERT_TRUE(f.members.sellerNicks);
    EXPECT_EQ(f.members.sellerNicks->count(yfx::Utf8ToGbk("青禾")), 1u);
    EXPECT_EQ(Contents(path).find("mine"), std::string::npos);
    EXPECT_NE(Contents(path).find("青禾"), std::string::npos); // written as UTF-8, not as escapes

    // a file that is not JSON is left as it is
    ASSERT_TRUE(WritePrivateFile(path, "appkey = k", error));
    EXPECT_FALSE(UpdateLocalConfigFile(path, {{"appkey", "x"}}, error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_EQ(Contents(path), "appkey = k");
    // a missing file is made
    ASSERT_TRUE(UpdateLocalConfigFile(dir + "/new/config.json", {{"source", "demo"}}, error)) << error;
    ASSERT_EQ(ReadLocalConfigFile(dir + "/new/config.json", f).kind, LocalConfigProblem::Kind::None);
    EXPECT_EQ(f.dataSource, DataSource::Demo);
}

TEST_F(LocalConfigurationFiles, MissingUnreadableAndTooLong)
{
    LocalConfigFile f;
    EXPECT_EQ(ReadLocalConfigFile(dir + "/none.json", f).kind, LocalConfigProblem::Kind::None);
    EXPECT_EQ(ReadLocalConfigFile(dir, f).kind, LocalConfigProblem::Kind::Unreadable); // a folder
    std::string error;
    ASSERT_TRUE(WritePrivateFile(dir + "/long.json", R"({"appkey":"k")" + std::string(kMaxConfigurationBytes, ' ') + "}",
                                 error));
    EXPECT_EQ(ReadLocalConfigFile(dir + "/long.json", f).kind, LocalConfigProblem::Kind::Unreadable);
    EXPECT_FALSE(f.members.appKey);
}

} // namespace
