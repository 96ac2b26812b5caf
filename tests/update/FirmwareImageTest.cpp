// Reading an image file and choosing the image of the run.
#include "FirmwareImage.h"
#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

class FirmwareImageTest : public testing::Test {
protected:
    void TearDown() override
    {
        firmware::ResetForRun();
        std::filesystem::remove_all(dir_);
    }
    std::string Write(const char* name, const ByteVector& bytes)
    {
        std::filesystem::create_directories(dir_);
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() / ("kestra-image-test-" + std::to_string(::getpid()));
};

TEST_F(FirmwareImageTest, OnlyAWholeImageIsRead)
{
    const ByteVector image = updatetest::MakeImage(3);
    struct Case {
        const char* name;
        std::size_t size;
        bool ok;
    };
    for (const Case& c : {Case{"empty", 0, false}, Case{"one short", 7103, false}, Case{"exact", 7104, true},
                          Case{"one long", 7105, false}, Case{"double", 14208, false}}) {
        SCOPED_TRACE(c.name);
        ByteVector bytes(c.size, 0x5A);
        std::copy_n(image.begin(), std::min(c.size, image.size()), bytes.begin());
        std::string error;
        const ByteVector read = firmware::LoadFile(Write(c.name, bytes), &error);
        if (c.ok) {
            EXPECT_EQ(read, image);
            EXPECT_TRUE(error.empty());
        } else {
            EXPECT_TRUE(read.empty());
            EXPECT_NE(error.find("7104"), std::string::npos) << error;
        }
    }
    std::string error;
    EXPECT_TRUE(firmware::LoadFile((dir_ / "missing").string(), &error).empty());
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST_F(FirmwareImageTest, TheRunsImageReplacesTheBuiltInOne)
{
    const ByteVector built = firmware::BuiltIn();
    EXPECT_TRUE(built.empty() || built.size() == firmware::kImageSize);
    EXPECT_EQ(firmware::Current(), built);

    const ByteVector image = updatetest::MakeImage(4);
    EXPECT_FALSE(firmware::SetForRun(ByteVector(100, 0)));
    EXPECT_EQ(firmware::Current(), built);
    EXPECT_TRUE(firmware::SetForRun(image));
    EXPECT_EQ(firmware::Current(), image);
    EXPECT_TRUE(firmware::SetForRun({}));
    EXPECT_TRUE(firmware::Current().empty());
    firmware::ResetForRun();
    EXPECT_EQ(firmware::Current(), built);
}

}  // namespace
