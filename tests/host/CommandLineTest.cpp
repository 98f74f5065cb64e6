#include <sndfile.h>

#include <gtest/gtest.h>
#include <cstring>
#include <fstream>

#include "HostTestSupport.h"
#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/PluginSession.h"

namespace {

using corvane::host::HostError;
using corvane::host::ParseDecimal;
using corvane::host::ResolveSetting;
using hosttest::RunHost;

TEST(ParseDecimal, AcceptsOnlyWholePlainNumbers) {
  EXPECT_EQ(ParseDecimal("-3"), -3.0);
  EXPECT_EQ(ParseDecimal(" 1.05 "), 1.05);
  EXPECT_EQ(ParseDecimal("+.5"), 0.5);
  EXPECT_EQ(ParseDecimal("2e-1"), 0.2);
  EXPECT_EQ(ParseDecimal("7."), 7.0);
  for (const char* bad : {"", " ", "3dB", "1,5", "nan", "inf", "-inf", "0x10", "1e", "1e999", ".",
                          "-", "1 2", "e3", "--1"})
    EXPECT_FALSE(ParseDecimal(bad).has_value()) << bad;
}

class ResolveSettingTest : public ::testing::Test {
 protected:
  std::string ErrorOf(const std::string& text) {
    try {
      ResolveSetting(text, *session);
    } catch (const HostError& e) {
      EXPECT_EQ(e.Status(), 2);
      return e.what();
    }
    ADD_FAILURE() << "accepted " << text;
    return {};
  }
  std::unique_ptr<corvane::host::PluginSession> session = corvane::host::MakeCorvaneSession();
};

TEST_F(ResolveSettingTest, FindsParametersByNameInAnyCaseOrByIndex) {
  auto check = [&](const char* text, int index, double value) {
    const auto setting = ResolveSetting(text, *session);
    EXPECT_EQ(setting.index, index) << text;
    EXPECT_DOUBLE_EQ(setting.value, value) << text;
  };
  check("T Assym=3", 1, 3.0);
  check("t assym = -30", 1, -30.0);
  check("NONLINEARITY=1.13", 2, 1.13);
  check("Output=-6", 10, -6.0);
  check("10=-60", 10, -60.0);
  check("Oversampling=on", 11, 1.0);
  check("oversampling=FALSE", 11, 0.0);
  check("11=1", 11, 1.0);
  check("Oversampling=true", 11, 1.0);
  check("11=off", 11, 0.0);
}

TEST_F(ResolveSettingTest, RejectionsNameTheProblem) {
  const std::string range = ErrorOf("Gain=60.5");
  EXPECT_NE(range.find("Gain"), std::string::npos) << range;
  EXPECT_NE(range.find("0 to 60 dB"), std::string::npos) << range;
  EXPECT_NE(ErrorOf("Threshold=0.01").find("-60 to 0 dB"), std::string::npos);
  EXPECT_NE(ErrorOf("Mod A=-1").find("0 to 100 %"), std::string::npos);
  EXPECT_NE(ErrorOf("Nonlinearity=0.99").find("1 to 1.13"), std::string::npos);
  EXPECT_NE(ErrorOf("Gain=3dB").find("'3dB'"), std::string::npos);
  EXPECT_NE(ErrorOf("Mix=1,5").find("Mix"), std::string::npos);
  EXPECT_NE(ErrorOf("Mix=nan").find("Mix"), std::string::npos);
  EXPECT_NE(ErrorOf("Oversampling=maybe").find("on or off"), std::string::npos);
  EXPECT_NE(ErrorOf("Oversampling=0.5").find("Oversampling"), std::string::npos);
  EXPECT_NE(ErrorOf("Drive=3").find("'Drive'"), std::string::npos);
  EXPECT_NE(ErrorOf("12=0").find("0 to 11"), std::string::npos);
  EXPECT_NE(ErrorOf("99999999999=0").find("0 to 11"), std::string::npos);
  EXPECT_NE(ErrorOf("Gain").find("NAME=VALUE"), std::string::npos);
  EXPECT_NE(ErrorOf("=3").find("name"), std::string::npos);
}

// Every rejected command line must leave the output directory exactly as it was: no output,
// no half-written temporary, an existing output file untouched.
class RejectedCommandTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(RejectedCommandTest, ExitsTwoWithOneLineAndWritesNothing) {
  hosttest::TempDir dir;
  hosttest::Audio stereo;
  stereo.channels = 2;
  stereo.sampleRate = 48000;
  stereo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  stereo.samples.assign(200, 0.25f);
  hosttest::WriteAudio(dir / "in.wav", stereo);
  hosttest::Audio wide = stereo;
  wide.channels = 3;
  wide.samples.assign(300, 0.25f);
  hosttest::WriteAudio(dir / "wide.wav", wide);
  std::ofstream(dir / "notes.txt") << "not audio\n";
  std::ofstream(dir / "existing.wav") << "keep me";
  // State files that do not add up: too short for the header, shorter or longer than the
  // header says, of another chunk ID.
  std::vector<uint8_t> chunk(56 + 96, 0);
  chunk[0] = 96;
  std::memcpy(&chunk[20], "00rj", 4);
  hosttest::WriteBytes(dir / "short.chunk",
                       std::vector<uint8_t>(chunk.begin(), chunk.begin() + 40));
  hosttest::WriteBytes(dir / "cut.chunk", std::vector<uint8_t>(chunk.begin(), chunk.end() - 8));
  std::vector<uint8_t> longer = chunk;
  longer.resize(chunk.size() + 8);
  hosttest::WriteBytes(dir / "long.chunk", longer);
  std::vector<uint8_t> alien = chunk;
  std::memcpy(&alien[20], "00rk", 4);
  hosttest::WriteBytes(dir / "alien.chunk", alien);
  const auto before = dir.Entries();

  std::vector<std::string> args = {"render"};
  for (const std::string& arg : GetParam()) {
    std::string expanded = arg;
    if (const size_t at = expanded.find("DIR/"); at != std::string::npos)
      expanded.replace(at, 3, dir.Path().string());
    args.push_back(expanded);
  }
  const auto result = RunHost(args);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err.rfind("corvane-host: ", 0), 0u) << result.err;
  EXPECT_EQ(hosttest::LineCount(result.err), 1) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(dir.Entries(), before);
  std::ifstream existing(dir / "existing.wav");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(existing), {}), "keep me");
}

using Args = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    BadArguments, RejectedCommandTest,
    ::testing::Values(
        Args{"DIR/in.wav", "--bogus"}, Args{"DIR/in.wav", "-o"}, Args{"DIR/in.wav", "--set"},
        Args{"DIR/in.wav", "--block"}, Args{"DIR/in.wav", "--block", "0"},
        Args{"DIR/in.wav", "--block", "-64"}, Args{"DIR/in.wav", "--block", "abc"},
        Args{"DIR/in.wav", "--block", "1.5"}, Args{"-o", "DIR/demo.wav", "--rate", "0"},
        Args{"-o", "DIR/demo.wav", "--rate", "-48000"},
        Args{"-o", "DIR/demo.wav", "--rate", "fast"}, Args{"DIR/in.wav", "--rate", "44100"},
        Args{"DIR/in.wav", "--format", "mp3"}, Args{"DIR/in.wav", "--offline=yes"},
        Args{"DIR/in.wav", "DIR/in.wav"}, Args{"DIR/in.wav", "--set", "Gain"},
        Args{"DIR/in.wav", "--set", "Drive=3"}, Args{"DIR/in.wav", "--set", "12=1"},
        Args{"DIR/in.wav", "--set", "Gain=3dB"}, Args{"DIR/in.wav", "--set", "Mix=1,5"},
        Args{"DIR/in.wav", "--set", "Mix=inf"}, Args{"DIR/in.wav", "--set", "Gain=61"},
        Args{"DIR/in.wav", "-o", "DIR/existing.wav", "--set", "Oversampling=2"},
        Args{"DIR/missing.wav"}, Args{"DIR/notes.txt"}, Args{"DIR/"}, Args{"DIR/wide.wav"},
        Args{"DIR/in.wav", "-o", "DIR/out.mp3"},
        Args{"DIR/in.wav", "-o", "DIR/out.flac", "--format", "float32"},
        Args{"-o", "DIR/no/such/dir/out.wav"}, Args{"-o", "DIR/demo.ogg"},
        Args{"DIR/in.wav", "--state-in", "DIR/short.chunk"},
        Args{"DIR/in.wav", "--state-in", "DIR/cut.chunk"},
        Args{"DIR/in.wav", "--state-in", "DIR/long.chunk"},
        Args{"DIR/in.wav", "--state-in", "DIR/alien.chunk"},
        Args{"DIR/in.wav", "--state-in", "DIR/missing.chunk"},
        Args{"DIR/in.wav", "--state-in", "DIR/"},
        Args{"DIR/in.wav", "--state-out", "DIR/no/such/dir/state"},
        Args{"DIR/in.wav", "--state-out", "DIR/"}, Args{"DIR/in.wav", "--automate", "Drive@1=3"},
        Args{"DIR/in.wav", "--automate", "Gain@1=61"}, Args{"DIR/in.wav", "--automate", "Gain=3"},
        Args{"DIR/in.wav", "--automate", "Gain@-1=3"},
        Args{"DIR/in.wav", "--automate", "Gain@soon=3"}, Args{"DIR/in.wav", "--automate", "@1=3"},
        Args{"DIR/in.wav", "--bypass", "2:1"}, Args{"DIR/in.wav", "--bypass", "1:1"},
        Args{"DIR/in.wav", "--bypass", "-1:2"}, Args{"DIR/in.wav", "--bypass", "a:b"},
        Args{"DIR/in.wav", "--bypass", "1"}, Args{"DIR/in.wav", "--bypass", "0:1", "--in-process"},
        Args{"DIR/in.wav", "--module", "DIR/missing.so"},
        Args{"DIR/in.wav", "--module", "DIR/notes.txt"},
        Args{"DIR/in.wav", "--module", FAKE_MODULE_WITHOUT_SDK_VERSION_PATH},
        Args{"DIR/in.wav", "--module", "DIR/in.wav", "--in-process"}));

TEST(ParseAutomation, SplitsTimeFromSetting) {
  const auto automation = corvane::host::ParseAutomation("T Assym@1.5=-3");
  EXPECT_EQ(automation.seconds, 1.5);
  EXPECT_EQ(automation.setting, "T Assym=-3");
  EXPECT_EQ(corvane::host::ParseAutomation("a@b@0=1").setting, "a@b=1");
  const auto bypass = corvane::host::ParseBypass("0.25:2");
  EXPECT_EQ(bypass.from, 0.25);
  EXPECT_EQ(bypass.to, 2.0);
}

TEST(Command, HelpAndMissingOrUnknownCommands) {
  const auto help = RunHost({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: corvane-host render [IN]", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("T Assym"), std::string::npos);
  EXPECT_EQ(help.err, "");
  const auto renderHelp = RunHost({"render", "--help"});
  EXPECT_EQ(renderHelp.status, 0);
  EXPECT_EQ(renderHelp.out, help.out);

  const auto none = RunHost({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, help.out);
  const auto unknown = RunHost({"mix"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("corvane-host: unknown command 'mix'\n", 0), 0u) << unknown.err;
}

}  // namespace
