// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "picture/decode_result.h"
#include "picture/picture_loader.h"
#include "tests/test_support.h"

namespace pixolan {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::TempDir;
using testing::WriteFile;

// --- Files that are not pictures, and pictures Qt reads for us --------------------

TEST(LoadPicture, NonRegularFilesAreRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(30);  // a load that blocks stops the test program instead of hanging
  for (const std::string& path : {fifo, dir.path().string(), std::string("/dev/zero")})
    EXPECT_EQ(LoadPicture(path).error, "Could not load " + path + ": not a regular file");
  ::alarm(0);
}

TEST(LoadPicture, MissingFilesAndProgramsSayWhy) {
  TempDir dir;
  WriteFile(dir / "empty.png", "");
  EXPECT_EQ(LoadPicture(dir / "empty.png").error, "Could not load " + (dir / "empty.png") + ": the file is empty");
  EXPECT_EQ(LoadPicture("/no/such/picture.bmp").error,
            "Could not load /no/such/picture.bmp: No such file or directory");
  const int empty = ::open("/dev/null", O_RDONLY);
  EXPECT_EQ(LoadPictureStream(empty, "standard input").error, "Could not load standard input: the file is empty");
  ::close(empty);
  WriteFile(dir / "short.gif", "GIF89a");
  EXPECT_EQ(LoadPicture(dir / "short.gif", kDefaultBackground, {}, {"/no/such/decoder", {}}).error,
            "Could not load " + (dir / "short.gif") +
                ": the decoding program /no/such/decoder could not be started: "
                "No such file or directory");
}

// Each format goes to its own decoding program, any other one to Qt's.
TEST(LoadPicture, EveryFormatReachesItsDecoderWithTheRegion) {
  TempDir dir;
  // 64 colours, which a GIF keeps exactly.
  auto color = [](int x, int y) { return MakeColor((x + 3 * y) % 64 * 4, 0x20, 0x40); };
  WriteFile(dir / "coord.ppm", testing::Ppm(200, 150, color));
  for (const std::string format : {"ppm", "png", "bmp", "tif", "gif", "webp"}) {
    const std::string path = dir / ("coord." + format);
    ASSERT_EQ(testing::RunCommand("convert " + (dir / "coord.ppm") + " -define webp:lossless=true " + path).status, 0);
    const LoadResult part = LoadPicture(path, kDefaultBackground, {150, 20, 60, 40});
    ASSERT_TRUE(part.Ok()) << part.error;
    EXPECT_EQ(std::pair(part.picture.width, part.picture.height), std::pair(50, 40));  // the picture ends at column 200
    EXPECT_EQ(part.picture.At(0, 0), color(150, 20)) << format;
    EXPECT_EQ(part.picture.At(49, 39), color(199, 59)) << format;
  }
  EXPECT_TRUE(LoadPicture(PIXOLAN_TESTDATA_DIR "/libjpegturbo_testorig.jpg").Ok());
  // Our BMP reader's words, not Qt's.
  EXPECT_THAT(LoadPicture(PIXOLAN_TESTDATA_DIR "/crafted_huge_60000x60000.bmp").error,
              HasSubstr("not a BMP Pixolan can read"));
  WriteFile(dir / "notes.txt", "no picture in here, just words\n");
  EXPECT_EQ(LoadPicture(dir / "notes.txt").error,
            "Could not load " + (dir / "notes.txt") + ": not a picture format Pixolan can read");
  WriteFile(dir / "huge.ppm", "P6\n20000 20000\n255\n" + std::string(64, '\0'));
  EXPECT_EQ(
      LoadPicture(dir / "huge.ppm").error,
      "Could not load " + (dir / "huge.ppm") +
          ": the picture is 20000 x 20000 pixels and would need 1526 MB, more than the 512 MB a picture may take");
}

// --- Placed pictures -------------------------------------------------------------------

TEST(LoadPicture, APlacedPictureFillsTheDrawingAreaOverTheBackground) {
  TempDir dir;
  WriteFile(dir / "grey.ppm", testing::Ppm(400, 100, [](int, int) { return MakeColor(0x20, 0x40, 0x60); }));
  Placement fit{.size = PictureSize::Fit, .area_width = 128, .area_height = 128};
  fit.orientation = fit.orientation.RotatedClockwise(90);
  const LoadResult loaded = LoadPicture(dir / "grey.ppm", 0x0000FF, fit);
  ASSERT_TRUE(loaded.Ok()) << loaded.error;
  // Turned, 100 x 400 becomes 32 x 128, centred: the bands either side are the background.
  EXPECT_EQ(std::pair(loaded.picture.width, loaded.picture.height), std::pair(128, 128));
  EXPECT_EQ(loaded.picture.At(47, 0), 0x0000FF);
  EXPECT_EQ(loaded.picture.At(48, 0), MakeColor(0x20, 0x40, 0x60));
  EXPECT_EQ(loaded.picture.At(79, 127), MakeColor(0x20, 0x40, 0x60));
  EXPECT_EQ(loaded.picture.At(80, 127), 0x0000FF);
  EXPECT_EQ(std::tie(loaded.picture_width, loaded.picture_height), std::make_tuple(400, 100));
  EXPECT_DOUBLE_EQ(loaded.scale, 0.32);
  EXPECT_EQ(LoadPicture(dir / "grey.ppm", 0, Placement{.size = PictureSize::Crop, .crop = {400, 0, 5, 5}}).error,
            "Could not load " + (dir / "grey.ppm") + ": the crop 400,0,5,5 lies outside the 400 x 100 picture");
}

// Peak resident kilobytes of a decoding program fitting the picture at path.
long DecoderPeakKb(const std::string& program, const std::string& path) {
  const fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
  const std::string executable = (dir / program).string();
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(path.c_str(), O_RDONLY), out = ::open("/dev/null", O_WRONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::execl(executable.c_str(), executable.c_str(), "--place", "fit:172x128:0,0,0,0:-", "0", "0", "0", "0", nullptr);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

TEST(LoadPicture, FittingALargePictureNeverHoldsIt) {
  TempDir dir;
  // 4000 x 3000: 46 MB as RGBA. Few colours, so that the GIF is quick to write.
  const std::string picture = "-size 4000x3000 xc:navy -fill orange -draw 'circle 2000,1500 2000,200' ";
  const std::pair<const char*, const char*> formats[] = {{"jpg", "jpeg"}, {"png", "png"}, {"bmp", "bmp"},
                                                         {"tif", "tiff"}, {"gif", "gif"}, {"webp", "webp"}};
  for (const auto& [suffix, program] : formats) {
    const std::string path = dir / (std::string("large.") + suffix);
    ASSERT_EQ(testing::RunCommand("convert " + picture + "-compress None -interlace None " + path).status, 0);
    const long peak = DecoderPeakKb(std::string("pixolan-picture-decoder-") + program, path);
    EXPECT_GT(peak, 0) << suffix;
#if !defined(__SANITIZE_ADDRESS__)  // its shadow memory and quarantine are no measure of the decoder's own
    EXPECT_LT(peak, 16 * 1024) << suffix;
#endif
    fs::remove(path);
  }
}

// --- The sandbox, against a decoder that misbehaves on purpose --------------------------

class HostileDecoder : public ::testing::Test {
 protected:
  HostileDecoder() { WriteFile(picture_, "any bytes at all"); }

  LoadResult Load(const std::string& behaviour, std::chrono::seconds deadline = std::chrono::seconds(15)) {
    const DecoderProgram program{PIXOLAN_HOSTILE_DECODER, {behaviour, dir_.path()}, deadline};
    return LoadPicture(picture_, MakeColor(0, 0xFF, 0), {7, 8, 9, 10}, program);
  }
  std::string Failure(const std::string& reason) const { return "Could not load " + picture_ + ": " + reason; }

  TempDir dir_;
  const std::string picture_ = dir_ / "picture.bin";
};

TEST_F(HostileDecoder, CannotOpenFiles) {
  EXPECT_EQ(Load("open").error, Failure("open: Operation not permitted"));
  EXPECT_FALSE(fs::exists(dir_ / "created"));
}

TEST_F(HostileDecoder, StatsItsPictureButNoPath) {
  EXPECT_EQ(Load("stat").error,
            Failure("picture of 16 bytes, stat: Operation not permitted, fstatat: Operation not permitted"));
}

TEST_F(HostileDecoder, AFilterNotGivenIsSaidOnceAndTheLimitsStillHold) {
  ::testing::internal::CaptureStderr();
  const LoadResult first = Load("no-filter"), second = Load("no-filter");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(first.Ok()) << first.error;
  EXPECT_TRUE(first.warning.empty()) << first.warning;  // the picture itself was read whole
  EXPECT_TRUE(second.Ok()) << second.error;
  EXPECT_EQ(said,
            "pixolan: no system-call filter for the decoding programs (Invalid argument); pictures are decoded "
            "under resource limits alone\n");
}

TEST_F(HostileDecoder, CannotMapCode) {
  EXPECT_EQ(Load("map-code").error, Failure("mmap: Operation not permitted, mprotect: Operation not permitted"));
}

TEST_F(HostileDecoder, CannotReachTheNetwork) {
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (dir_ / "socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  EXPECT_EQ(Load("connect").error, Failure("the decoder tried something a decoder may not do and was stopped"));
  EXPECT_LT(::accept(listener, nullptr, nullptr), 0);
  ::close(listener);
}

TEST_F(HostileDecoder, ACrashAMemoryBombAndALyingResultOnlyCostAMessage) {
  EXPECT_EQ(Load("crash").error, Failure("the decoder crashed on this file (signal 11)"));
  EXPECT_EQ(Load("lie").error, Failure("the decoder gave no usable result"));
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(Load("bomb").error, Failure("decoding needed more memory than a picture may use"));
#endif
}

TEST_F(HostileDecoder, AHangIsStoppedAtTheDeadline) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Load("hang", std::chrono::seconds(1)).error,
            Failure("decoding took longer than 1 seconds and was stopped"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// --- No decoder outlives what started it ----------------------------------------

// A process parent has started, once there is one; 0 after 5 s.
pid_t ChildOf(pid_t parent) {
  for (int tries = 0; tries < 500; ++tries) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      if (!std::isdigit(entry.path().filename().c_str()[0])) continue;
      // The parent's pid is the second field after the name, which ends in ")".
      const std::string stat = testing::ReadFile(entry.path() / "stat");
      const auto name_end = stat.rfind(')');
      if (name_end != std::string::npos && std::atoi(stat.c_str() + name_end + 4) == parent)
        return std::atoi(entry.path().filename().c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

TEST_F(HostileDecoder, DiesWithinASecondOfTheProgramThatStartedIt) {
  for (const int signal : {SIGTERM, SIGKILL}) {
    const pid_t program = ::fork();
    if (program == 0) ::_exit(Load("hang", std::chrono::seconds(60)).Ok());
    const pid_t decoder = ChildOf(program);
    ASSERT_GT(decoder, 0);
    const int decoder_ended = static_cast<int>(::syscall(SYS_pidfd_open, decoder, 0));
    ::kill(program, signal);
    ::waitpid(program, nullptr, 0);
    pollfd ended{decoder_ended, POLLIN, 0};
    EXPECT_EQ(::poll(&ended, 1, 1000), 1) << "the decoder still runs a second after " << strsignal(signal);
    ::close(decoder_ended);
  }
}

TEST_F(HostileDecoder, EndRunningDecodersEndsAWaitingLoadAtOnce) {
  auto load = std::async(std::launch::async, [this] { return Load("hang", std::chrono::seconds(60)); });
  ASSERT_GT(ChildOf(::getpid()), 0);
  const auto start = std::chrono::steady_clock::now();
  // Until the load has listed its decoder, there is nothing to end.
  while (load.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) EndRunningDecoders();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(load.get().error, Failure("the decoder crashed on this file (signal 9)"));
}

// --- The result pipe's checks ------------------------------------------------------

constexpr std::uint32_t kMagic = 0x34584950;  // "PIX4"

// A result header of kind, width x height (of a 9 x 9 picture, scale 1) and
// text and note lengths, followed by payload bytes.
std::string Wire(std::uint32_t magic, std::uint32_t kind, std::uint32_t width, std::uint32_t height, std::uint32_t text,
                 std::uint32_t note, std::size_t payload, std::uint32_t frames = 0, std::uint32_t delay_ms = 0) {
  const bool pixels = kind == 1;
  const std::uint32_t head[11] = {magic,  kind,     width, height, pixels ? 9u : 0u, pixels ? 9u : 0u, 1000000,
                                  frames, delay_ms, text,  note};
  return std::string(reinterpret_cast<const char*>(head), sizeof head) + std::string(payload, 'x');
}

TEST(ParseOutcome, AcceptsPixelsThatFitTheRegionWithTheirTexts) {
  const Region region{0, 0, 4, 3};
  DecodeOutcome out;
  ASSERT_TRUE(ParseOutcome(Wire(kMagic, 1, 4, 3, 5, 2, 48 + 5 + 2), region, out));
  EXPECT_EQ(out.pixels.rgba.size(), 48u);
  EXPECT_EQ(out.warning, "xxxxx");
  EXPECT_EQ(out.note, "xx");
  ASSERT_TRUE(ParseOutcome(Wire(kMagic, 2, 0, 0, 4096, 3, 4096 + 3), region, out));
  EXPECT_EQ(out.error.size(), 4096u);
  EXPECT_EQ(out.note, "xxx");
  EXPECT_TRUE(out.pixels.rgba.empty());
}

TEST(ParseOutcome, CarriesAnAnimationsFrameCountAndDelay) {
  DecodeOutcome out;
  ASSERT_TRUE(ParseOutcome(Wire(kMagic, 1, 4, 3, 0, 0, 48, 1000, 40), {0, 0, 4, 3}, out));
  EXPECT_EQ(out.frames, 1000);
  EXPECT_EQ(out.delay_ms, 40);
}

TEST(ParseOutcome, RefusesWhatDoesNotAgreeWithItsHeader) {
  const Region region{0, 0, 4, 3};
  const std::pair<const char*, std::string> refused[] = {
      {"wider than the region", Wire(kMagic, 1, 5, 3, 0, 0, 60)},
      {"taller than the region", Wire(kMagic, 1, 4, 4, 0, 0, 64)},
      {"a pixel byte missing", Wire(kMagic, 1, 4, 3, 0, 0, 47)},
      {"a byte to spare", Wire(kMagic, 1, 4, 3, 0, 0, 49)},
      {"not our magic", Wire(kMagic + 1, 1, 4, 3, 0, 0, 48)},
      {"warning too long", Wire(kMagic, 1, 4, 3, 4097, 0, 48 + 4097)},
      {"note too long", Wire(kMagic, 1, 4, 3, 0, 4097, 48 + 4097)},
      {"note longer than what came", Wire(kMagic, 2, 0, 0, 1, 4000, 10)},
      {"reason too long", Wire(kMagic, 2, 0, 0, 4097, 0, 4097)},
      {"an error without a reason", Wire(kMagic, 2, 0, 0, 0, 0, 0)},
      {"an error with a size", Wire(kMagic, 2, 1, 0, 3, 0, 3)},
      {"an error with frames", Wire(kMagic, 2, 0, 0, 3, 0, 3, 2)},
      {"more frames than an animation may have", Wire(kMagic, 1, 4, 3, 0, 0, 48, 1001)},
      {"cut short in the header", Wire(kMagic, 1, 4, 3, 0, 0, 0).substr(0, 43)}};
  for (const auto& [why, wire] : refused) {
    DecodeOutcome out;
    EXPECT_FALSE(ParseOutcome(wire, region, out)) << why;
  }
}

}  // namespace
}  // namespace pixolan
