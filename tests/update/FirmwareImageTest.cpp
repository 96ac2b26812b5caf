// Reading an image file and choosing the image of the run: only a whole
// image, or none, is ever taken.
#include "FirmwareImage.h"
#include "UpdateTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

TEST(FirmwareImage, OnlyAWholeImageIsReadOrTaken)
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
        const ByteVector before = firmware::Current();
        const bool whole = size == 0 || size == 7104;
        EXPECT_EQ(firmware::SetForRun(bytes), whole);
        EXPECT_EQ(firmware::Current(), whole ? bytes : before);
        firmware::ResetForRun();
        EXPECT_EQ(firmware::Current(), firmware::BuiltIn());
    }
    std::string error;
    EXPECT_TRUE(firmware::LoadFile(dir.filePath("missing").toStdString(), &error).empty());
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}
