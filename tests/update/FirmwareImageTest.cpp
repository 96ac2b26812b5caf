// Reading an image file and choosing the image of the run.
#include "FirmwareImage.h"
#include "UpdateTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

TEST(FirmwareImage, OnlyAWholeImageIsRead)
{
    QTemporaryDir dir;
    const ByteVector image = updatetest::MakeImage(3);
    for (const std::size_t size : {0, 7103, 7104, 7105, 14208}) {
        SCOPED_TRACE(size);
        ByteVector bytes(size, 0x5A);
        std::copy_n(image.begin(), std::min(size, image.size()), bytes.begin());
        const std::string path = dir.filePath(QString::number(size)).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::string error;
        EXPECT_EQ(firmware::LoadFile(path, &error), size == 7104 ? image : ByteVector{});
        EXPECT_EQ(error.find("7104") != std::string::npos, size != 7104) << error;
    }
    std::string error;
    EXPECT_TRUE(firmware::LoadFile(dir.filePath("missing").toStdString(), &error).empty());
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(FirmwareImage, TheRunsImageReplacesTheBuiltInOne)
{
    const ByteVector built = firmware::BuiltIn();
    EXPECT_TRUE(built.empty() || built.size() == firmware::kImageSize);
    EXPECT_EQ(firmware::Current(), built);
    // Taking a whole image or none is proven by the update window tests.
    EXPECT_FALSE(firmware::SetForRun(ByteVector(100, 0))) << "only a whole image";
    EXPECT_EQ(firmware::Current(), built);
    EXPECT_TRUE(firmware::SetForRun(updatetest::MakeImage(4)));
    firmware::ResetForRun();
    EXPECT_EQ(firmware::Current(), built);
}
