// The WAV writer: what it writes reads back as a plain WAV file with every
// sample (libsndfile turns it into RF64 only past 4 GiB), and a file that
// cannot be created says why.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "platform/wav_file.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

TEST(WavFileTest, SamplesAndSilenceReadBackFromAPlainWavFile) {
    test::ScratchDirectory dir;
    int errorNumber = 0;
    auto file = WavFile::Create("out.wav", 8000, {}, errorNumber);
    ASSERT_TRUE(file) << std::strerror(errorNumber);
    std::vector<std::int16_t> written;
    for (int i = 0; i < 10000; ++i) written.push_back(static_cast<std::int16_t>(i * 37 % 30000));
    file->Write(written.data(), written.size());
    file->WriteSilence(5000);
    written.insert(written.end(), 5000, 0);
    file->Close();
    ASSERT_EQ(file->error(), "");

    SF_INFO info{};
    SNDFILE* in = sf_open("out.wav", SFM_READ, &info);
    ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
    // A WAV file (the extensible form libsndfile writes), not RF64.
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAVEX);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    EXPECT_EQ(info.samplerate, 8000);
    std::vector<std::int16_t> read(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_read_short(in, read.data(), info.frames), info.frames);
    sf_close(in);
    EXPECT_EQ(read, written);
}

TEST(WavFileTest, CreationFailsWithTheReason) {
    test::ScratchDirectory dir;
    std::ofstream("taken.wav") << "an earlier recording";
    const struct {
        const char* path;
        bool exclusive;
        int errorNumber;
    } cases[] = {
        {"taken.wav", true, EEXIST},
        {"missing/x.wav", false, ENOENT},
        {"taken.wav/x.wav", false, ENOTDIR},
    };
    for (const auto& c : cases) {
        int errorNumber = 0;
        WavFile::Options options;
        options.exclusive = c.exclusive;
        EXPECT_EQ(WavFile::Create(c.path, 8000, options, errorNumber), nullptr) << c.path;
        EXPECT_EQ(errorNumber, c.errorNumber) << c.path << ": " << std::strerror(errorNumber);
    }
    std::ifstream kept("taken.wav");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "an earlier recording");
}

}  // namespace
}  // namespace sked
