// The private picture folder and the badge table.
#include "LocalHttpServer.h"
#include "market/AppState.h"
#include "market/HttpClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PictureFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = fs::temp_directory_path() / ("yfx-state-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(parent);
        fs::create_directories(parent);
        expected = (parent / ("yuefengxuan-" + std::to_string(::getuid()))).string();
    }
    void TearDown() override { fs::remove_all(parent); }
    fs::path parent;
    std::string expected;
};

TEST_F(PictureFolderTest, PrivateFolderEndingInTheSeparator)
{
    const std::string folder = yfx::MakePictureFolderUnder(parent.string());
    ASSERT_EQ(folder, expected + "/");
    struct stat st {};
    ASSERT_EQ(::lstat(expected.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // a second call finds the same folder
    EXPECT_EQ(yfx::MakePictureFolderUnder(parent.string() + "/"), folder);
}

TEST_F(PictureFolderTest, OpenFolderIsClosedAgain)
{
    fs::create_directory(expected);
    ::chmod(expected.c_str(), 0777);
    ASSERT_EQ(yfx::MakePictureFolderUnder(parent.string()), expected + "/");
    struct stat st {};
    ::lstat(expected.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PictureFolderTest, PlantedLinkOrFileIsRefused)
{
    const fs::path elsewhere = parent / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, expected);
    EXPECT_EQ(yfx::MakePictureFolderUnder(parent.string()), "");
    fs::remove(expected);
    std::ofstream(expected) << "not a folder";
    EXPECT_EQ(yfx::MakePictureFolderUnder(parent.string()), "");
    EXPECT_EQ(yfx::MakePictureFolderUnder(""), "");
    EXPECT_EQ(yfx::MakePictureFolderUnder((parent / "missing" / "deeper").string()), "");
}

TEST_F(PictureFolderTest, PlantedLinkInPlaceOfAPictureIsNotFollowed)
{
    const std::string folder = yfx::MakePictureFolderUnder(parent.string());
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

TEST(BadgeTable, LevelsOneToTwentyOnly)
{
    yfx::BadgeTable table;
    EXPECT_EQ(table.ForLevel(1), 315u);
    EXPECT_EQ(table.ForLevel(6), 320u);
    EXPECT_EQ(table.ForLevel(20), 334u);
    EXPECT_EQ(table.ForLevel(0), 0u);
    EXPECT_EQ(table.ForLevel(21), 0u);
    EXPECT_EQ(table.ForLevel(-3), 0u);
}

} // namespace
