// Compiled BASIC programs using the FTP and multiplayer commands, run in
// this process: an FTP session against the local pyftpdlib server, and two
// programs playing each other over the loopback address, each machine on a
// thread of its own as two programs would run.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <variant>

#include "app/media_layouts.h"
#include "audio/commands/sound_commands.h"
#include "audio/library/library.h"
#include "audio/library/mixer.h"
#include "compiler/compiler.h"
#include "engine3d/engine.h"
#include "runtime/console/console_commands.h"
#include "runtime/runtime_state.h"
#include "runtime/vm/dispatch.h"
#include "runtime/vm/loader.h"
#include "runtime/vm/opcodes/core_handlers.h"
#include "services/files/checklist_commands.h"
#include "services/memory/memory_blocks.h"
#include "services/memory/memory_handlers.h"
#include "services/net/net_handlers.h"
#include "services/net/net_services.h"
#include "platform/audio3d/openal/openal_backend.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/platform/ftp/local_ftp_server.h"
#include "tests/support/fake_host.h"
#include "tests/support/recording_services.h"

namespace zv::test {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

uint16_t FreeUdpPort() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

std::unique_ptr<platform::SessionNetwork> LoopbackNetwork(uint16_t port) {
  platform::SessionNetworkOptions options;
  options.loopback_only = true;
  options.port = port;
  options.find_wait_ms = 300;
  options.reply_wait_ms = 3000;
  return platform::CreateEnetSessionNetwork(options);
}

// One program's machine: the core, console, memory-block, checklist and
// network commands, its own network services, and what it printed.
class Machine {
 public:
  Machine(std::unique_ptr<platform::SessionNetwork> network, uint16_t ftp_port)
      : vm(handlers, host),
        net(std::move(network), [] { return platform::CreateCurlFtpClient(platform::FtpClientOptions{2000, 3000}); },
            host.clock, ftp_port) {
    RegisterCoreHandlers(handlers);
    RegisterConsoleHandlers(handlers);
    RegisterMemoryHandlers(handlers);
    RegisterChecklistHandlers(handlers);
    RegisterNetHandlers(handlers);
    vm.engine3d = &services.engine3d;
    vm.sound = &services.sound;
    vm.input = &services.input;
    vm.editor = &services.editor;
    vm.memory_blocks = &blocks;
    vm.net = &net;
    vm.runtime = &state;
    state.console_echo = [this](std::string_view text) { printed += text; };
  }

  bool Start(std::string_view source) {
    CompileResult compiled = CompileSource(source, "test.kqa");
    if (!compiled.ok) {
      ADD_FAILURE() << FormatCompileError(*compiled.error);
      return false;
    }
    if (!InstallProgram(vm, compiled.program)) return false;
    ResetVmState(vm);
    return true;
  }
  // One turn of the pump: the program's slice, then the network's.
  bool Turn() {
    if (Ended()) return false;
    RunVmLoop(vm);
    net.ServiceNetwork(vm);
    return !Ended();
  }
  bool Ended() const { return vm.program_ended || host.quits > 0; }
  // Runs turns until the program ends or `seconds` pass.
  void RunFor(int seconds) {
    const auto deadline = SteadyClock::now() + std::chrono::seconds(seconds);
    while (Turn() && SteadyClock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  HandlerTable handlers;
  FakeHost host;
  RecordingServices services;
  RuntimeState state;
  MemoryBlocks blocks;
  Vm vm;
  NetServices net;
  std::string printed;
};

// A program here ends by itself within a second or two, a loaded machine's
// within many more: only a hang reaches this.
constexpr int kHangSeconds = 120;

// A search waits a second for answers, which a loaded machine may keep the
// host's thread from giving in time: a member searches until it finds the
// game (a turn at a time, so that a game never found ends at the limit).
constexpr char kFindTheGame[] = "repeat : sync : checklist net sessions : until checklist quantity() > 0\n";

// The host stands its game up first (a few turns, so the member finds it),
// then both run side by side until they end.
void PlayHostAndMember(Machine& host, Machine& member) {
  for (int turn = 0; turn < 5 && !host.Ended(); ++turn) host.Turn();
  std::thread host_thread([&] { host.RunFor(kHangSeconds); });
  member.RunFor(kHangSeconds);
  host_thread.join();
}

// A host that sends the first player to join (p) one message, made by
// `send`, and waits for it to leave.
std::string HostSendingOne(const std::string& send) {
  return "create net game \"Arena\", \"host\", 4\n"
         "repeat : sync : p = net player created() : until p > 0\n" +
         send + "repeat : sync : d = net player destroyed() : until d > 0\nfree net game\n";
}

// A member that joins the game, waits for one message, prints its type and
// takes it with `take`.
std::string MemberTakingOne(const std::string& take) {
  return std::string("set net connection 1\n") + kFindTheGame + "join net game 1, \"bob\"\n"
         "repeat : sync : get net message : until net message exists() = 1\n"
         "print net message type()\n" +
         take + "free net game\n";
}

// The local folder of a program that talks to the FTP server: made and
// entered for the program's run, left again and removed afterwards.
class ProgramFolder {
 public:
  explicit ProgramFolder(fs::path folder) : folder_(std::move(folder)), previous_(fs::current_path()) {
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }
  ~ProgramFolder() {
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }
  const fs::path& Path() const { return folder_; }

 private:
  fs::path folder_, previous_;
};

TEST(NetProgram, AnFtpSessionListsFetchesSendsAndReportsFailures) {
  LocalFtpServer server;
  ZV_SKIP_WITHOUT_FTP_SERVER(server);
  server.PutFile("hello.txt", "hello");
  server.PutFile("sub/big.bin", std::string(7000, 'b'));
  const ProgramFolder here(server.Root() + ".program");
  const fs::path& folder = here.Path();
  std::ofstream(folder / "up.txt") << "up";

  Machine m(nullptr, server.Port());
  ASSERT_TRUE(m.Start(
      "ftp connect \"127.0.0.1\", \"user\", \"secret\"\n"
      "print ftp status()\n"
      "ftp find first\n"
      "while ftp file type() <> -1\n"
      "  print ftp file name$(); \" \"; ftp file type()\n"
      "  ftp find next\n"
      "endwhile\n"
      "ftp get file \"hello.txt\", \"got.txt\"\n"
      "ftp put file \"up.txt\"\n"
      "ftp set dir \"sub\"\n"
      "print ftp directory$()\n"
      "ftp get file \"big.bin\", \"big.bin\", 7000\n"
      "while ftp progress() <> -1\n"
      "  print ftp progress()\n"
      "  ftp proceed\n"
      "endwhile\n"
      "ftp delete file \"big.bin\"\n"
      "ftp delete file \"big.bin\"\n"
      "print \"not reached\"\n"));
  m.RunFor(kHangSeconds);

  EXPECT_EQ(m.printed, "1\nhello.txt 0\nsub 1\n/sub\n0\n43\n87\n100\n");
  EXPECT_EQ(m.vm.errors.code, 8304);  // the second delete
  EXPECT_TRUE(m.vm.errors.warning);
  EXPECT_EQ(m.vm.errors.subject, "big.bin");  // the warning names the file
  std::ifstream got(folder / "got.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}), "hello");
  EXPECT_EQ(fs::file_size(folder / "big.bin"), 7000u);
  EXPECT_EQ(server.ReadFile("up.txt"), "up");
  EXPECT_FALSE(server.Exists("sub/big.bin"));
}

TEST(NetProgram, AnFtpDownloadStoppedHalfWayLeavesNoFileAndDisconnectsEndTheSession) {
  LocalFtpServer server;
  ZV_SKIP_WITHOUT_FTP_SERVER(server);
  server.PutFile("big.bin", std::string(7000, 'b'));
  const ProgramFolder here(server.Root() + ".stopped");

  Machine m(nullptr, server.Port());
  ASSERT_TRUE(m.Start(
      "ftp connect \"127.0.0.1\", \"user\", \"secret\"\n"
      "ftp find first\n"
      "print ftp file name$(); \" \"; ftp file size()\n"
      "ftp get file \"big.bin\", \"part.bin\", 7000\n"
      "ftp proceed\n"
      "print ftp progress()\n"
      "ftp terminate\n"
      "print ftp progress(); \" \"; ftp status()\n"
      "ftp get file \"big.bin\", \"whole.bin\", 7000\n"
      "while ftp progress() <> -1 : ftp proceed : endwhile\n"
      "ftp disconnect\n"
      "print ftp status()\n"
      "ftp connect \"127.0.0.1\", \"user\", \"secret\"\n"
      "print ftp status()\n"
      "ftp disconnect 1\n"
      "print ftp status()\n"
      "end\n"));
  m.RunFor(kHangSeconds);

  EXPECT_EQ(m.vm.errors.code, 0);
  EXPECT_EQ(m.printed, "big.bin 7000\n43\n-1 1\n0\n1\n0\n");
  // The download stopped half way leaves nothing; the one that ran to its
  // end stays.
  EXPECT_FALSE(fs::exists(here.Path() / "part.bin"));
  EXPECT_EQ(fs::file_size(here.Path() / "whole.bin"), 7000u);
}

// A download whose local file cannot be written (no folder for it, a file
// size limit as on a full disk) ends as a failure with the system's cause,
// whether it runs at once or in steps, and leaves no file.
TEST(NetProgram, ADownloadWhoseLocalFileCannotBeWrittenFailsWithTheCause) {
  LocalFtpServer server;
  ZV_SKIP_WITHOUT_FTP_SERVER(server);
  server.PutFile("big.bin", std::string(7000, 'b'));
  const ProgramFolder here(server.Root() + ".local");
  struct Case {
    const char* get;
    rlim_t size_limit;  // 0: none
    const char* cause;
  };
  const Case cases[] = {
      {"ftp get file \"big.bin\", \"nowhere/part.bin\", 7000", 0, "no such file or directory"},
      {"ftp get file \"big.bin\", \"nowhere/whole.bin\"", 0, "no such file or directory"},
      {"ftp get file \"big.bin\", \"part.bin\", 7000", 4096, "file too large"},
      {"ftp get file \"big.bin\", \"whole.bin\"", 4096, "file too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.get);
    Machine m(nullptr, server.Port());
    m.vm.standalone = true;  // warnings let a built game go on
    ASSERT_TRUE(m.Start(std::string("ftp connect \"127.0.0.1\", \"user\", \"secret\"\n") + c.get +
                        "\nfor i = 1 to 20 : ftp proceed : next i\n"
                        "print ftp progress(); \" \"; ftp failure(); \" \"; ftp error$()\n"));
    struct rlimit old_limit {};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    const auto old_action = ::signal(SIGXFSZ, SIG_IGN);
    if (c.size_limit != 0) {
      const struct rlimit limit{c.size_limit, old_limit.rlim_max};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    m.RunFor(kHangSeconds);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_action);
    EXPECT_EQ(m.printed, std::string("-1 1 The local file cannot be written: ") + c.cause + "\n");
    EXPECT_FALSE(fs::exists(here.Path() / "part.bin"));
    EXPECT_FALSE(fs::exists(here.Path() / "whole.bin"));
  }
}

TEST(NetProgram, AServerReplyIsKeptForTheProgram) {
  LocalFtpServer server;
  ZV_SKIP_WITHOUT_FTP_SERVER(server);
  Machine m(nullptr, server.Port());
  m.vm.standalone = true;  // warnings let a built game go on
  ASSERT_TRUE(m.Start(
      "ftp connect \"127.0.0.1\", \"user\", \"wrong\"\n"
      "print ftp failure(); \" \"; left$(ftp error$(), 3); \" \"; ftp failure()\n"));
  m.RunFor(kHangSeconds);
  EXPECT_EQ(m.printed, "1 530 0\n");
}

// The host waits for a player, hears from it, answers with one message of
// each kind, and waits for it to leave; the member lists and joins the game
// and prints what arrives.
TEST(NetProgram, TwoProgramsPlayOverTheLoopbackAddress) {
  const uint16_t port = FreeUdpPort();
  Machine host(LoopbackNetwork(port), 21);
  Machine member(LoopbackNetwork(port), 21);
  ASSERT_TRUE(host.Start(
      "create net game \"Arena\", \"host\", 4\n"
      "print \"hosting \"; net game exists()\n"
      "repeat : sync : p = net player created() : until p > 0\n"
      "print \"joined \"; p\n"
      "repeat : sync : get net message : until net message exists() = 1\n"
      "print \"from \"; net message player from(); \" to \"; net message player to(); \": \"; "
      "net message string$()\n"
      "send net message integer p, 42\n"
      "send net message float 0, 2.5\n"
      "send net message string p, \"hello\"\n"
      "make memblock 1, 3\n"
      "write memblock byte 1, 2, 7\n"
      "send net message memblock p, 1, 1\n"
      "repeat : sync : d = net player destroyed() : until d > 0\n"
      "print \"left \"; d\n"
      "free net game\n"));
  ASSERT_TRUE(member.Start(
      "set net connection 1\n" +
      std::string(kFindTheGame) +
      "print checklist quantity()\n"
      "join net game 1, \"bob\"\n"
      "checklist net players\n"
      "print checklist quantity(); \" \"; checklist string$(1); \" \"; checklist string$(2)\n"
      "send net message string 0, \"hi host\"\n"
      "n = 0\n"
      "repeat\n"
      "  sync\n"
      "  get net message\n"
      "  if net message exists() = 1\n"
      "    t = net message type()\n"
      "    if t = 1 then print \"integer \"; net message integer()\n"
      "    if t = 2 then print \"float \"; net message float()\n"
      "    if t = 3 then print \"string \"; net message string$()\n"
      "    if t = 4\n"
      "      net message memblock 5\n"
      "      print \"block \"; memblock size(5); \" \"; memblock byte(5, 2)\n"
      "    endif\n"
      "    n = n + 1\n"
      "  endif\n"
      "until n = 4\n"
      "free net game\n"));
  PlayHostAndMember(host, member);

  EXPECT_EQ(host.vm.errors.code, 0);
  EXPECT_EQ(member.vm.errors.code, 0) << "internal code " << member.vm.errors.internal_code;
  EXPECT_EQ(host.printed, "hosting 1\njoined 1\nfrom 1 to 0: hi host\nleft 1\n");
  EXPECT_EQ(member.printed,
            "1\n2 host bob\ninteger 42\nfloat 2.5\nstring hello\nblock 3 7\n");
}

// A computer that joins is not told of the players already in the game
// (the checklist lists them), only of those who come or go after it joined:
// the host's second player leaving is reported, by the number it is given
// then.
TEST(NetProgram, ALateJoinerHearsOfDeparturesButNotOfThePlayersAlreadyThere) {
  const uint16_t port = FreeUdpPort();
  Machine host(LoopbackNetwork(port), 21);
  Machine member(LoopbackNetwork(port), 21);
  ASSERT_TRUE(host.Start(
      "create net game \"Arena\", \"host\", 4\n"
      "g = create net player(\"guard\")\n"
      "repeat : sync : p = net player created() : until p > 0\n"
      "repeat : sync : get net message : until net message exists() = 1\n"
      "free net player g\n"
      "repeat : sync : d = net player destroyed() : until d > 0\n"
      "free net game\n"));
  ASSERT_TRUE(member.Start(
      "set net connection 1\n" +
      std::string(kFindTheGame) +
      "join net game 1, \"bob\"\n"
      "c = 0\n"
      "for i = 1 to 20 : sync : c = c + net player created() : next i\n"
      "print \"created \"; c\n"
      "send net message string 0, \"ready\"\n"
      "repeat : sync : d = net player destroyed() : until d > 0\n"
      "checklist net players\n"
      "print \"left \"; d; \" of \"; checklist quantity()\n"
      "free net game\n"));
  PlayHostAndMember(host, member);

  EXPECT_EQ(host.vm.errors.code, 0);
  EXPECT_EQ(member.vm.errors.code, 0) << "internal code " << member.vm.errors.internal_code;
  EXPECT_EQ(member.printed, "created 0\nleft 1 of 2\n");
}

// A mesh made on one machine from a block travels as a mesh message and is
// made on the other in the 3D engine's mesh records, which the app's
// adapter reaches.
TEST(NetProgram, AMeshTravelsBetweenTheEnginesOfTwoPrograms) {
  const uint16_t port = FreeUdpPort();
  Machine host(LoopbackNetwork(port), 21);
  Machine member(LoopbackNetwork(port), 21);
  Engine3D host_engine, member_engine;
  host_engine.Bind(host.vm);
  member_engine.Bind(member.vm);
  MeshLayoutAdapter host_meshes(host_engine), member_meshes(member_engine);
  host.blocks.SetMeshes(&host_meshes);
  member.blocks.SetMeshes(&member_meshes);
  ASSERT_TRUE(host.Start(HostSendingOne(
      "rem one triangle: 3 vertices, 3 normals, 1 face of 7 dwords\n"
      "make memblock 1, 32 + 36 + 36 + 28 + 24\n"
      "write memblock dword 1, 0, 3 : write memblock dword 1, 8, 3\n"
      "write memblock dword 1, 16, 1 : write memblock dword 1, 24, 7\n"
      "write memblock float 1, 44, 1.0 : write memblock float 1, 60, 2.0\n"
      "write memblock dword 1, 104, 3 : write memblock dword 1, 116, 1 : write memblock dword 1, 120, 1\n"
      "write memblock dword 1, 124, 2 : write memblock dword 1, 128, 2\n"
      "make mesh from memblock 1, 1\n"
      "send net message mesh p, 1, 1\n")));
  ASSERT_TRUE(member.Start(MemberTakingOne(
      "net message mesh 7\n"
      "make memblock from mesh 2, 7\n"
      "print memblock size(2); \" \"; memblock dword(2, 0); \" \"; memblock float(2, 60); \" \"; memblock dword(2, 128)\n")));
  PlayHostAndMember(host, member);

  EXPECT_EQ(host.vm.errors.code, 0);
  EXPECT_EQ(member.vm.errors.code, 0) << "internal code " << member.vm.errors.internal_code;
  EXPECT_EQ(member.printed, "8\n156 3 2 2\n");
  EXPECT_GT(member_engine.pools.mesh_ids.Get(7), 0);
}

// Sounds that arrive are kept as they came.
class KeptSounds final : public SoundLayoutServices {
 public:
  int32_t ImportSound(int32_t sound, const SoundMemblockLayout& layout) override {
    sounds[sound] = layout;
    return 0;
  }
  std::map<int32_t, SoundMemblockLayout> sounds;
};

// A 3D sound on the 3D sound device lives in the device's buffer; it still
// becomes a memory block and travels as a sound message.
TEST(NetProgram, A3DSoundOnTheSoundDeviceTravelsAsASoundMessage) {
  platform::LoopbackAudio3DBackend device;
  SoundCommandsService sound(SoundSystemOptions{nullptr, true, &device});
  sound.StartSoundSystem();
  ASSERT_TRUE(sound.Slots().Running());
  std::vector<int16_t> values(500);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(i * 61 - 15000);
  const std::vector<uint8_t> file = Wav16(values, 1, 11025);
  const std::string path = TempPath("net_3d.wav");
  ASSERT_TRUE(WriteBytes(path, file));

  const uint16_t port = FreeUdpPort();
  Machine host(LoopbackNetwork(port), 21);
  Machine member(LoopbackNetwork(port), 21);
  RegisterSoundHandlers(host.handlers);
  host.vm.sound = &sound;
  SoundLayoutAdapter host_sounds(sound.Slots());
  host.blocks.SetSounds(&host_sounds);
  KeptSounds member_sounds;
  member.blocks.SetSounds(&member_sounds);
  ASSERT_TRUE(host.Start(HostSendingOne(
      "load 3d sound \"" + path + "\", 1\n"
      "make memblock from sound 2, 1\n"
      "print memblock dword(2, 0); \" \"; memblock dword(2, 4); \" \"; memblock dword(2, 8); \" \"; memblock size(2)\n"
      "send net message sound p, 1, 1\n")));
  ASSERT_TRUE(member.Start(MemberTakingOne("net message sound 4\n")));
  PlayHostAndMember(host, member);
  sound.StopSoundSystem();
  SetOfflineMixing(false);
  SetAudio3DBackend(nullptr);
  std::remove(path.c_str());

  EXPECT_EQ(host.vm.errors.code, 0);
  EXPECT_EQ(member.vm.errors.code, 0) << "internal code " << member.vm.errors.internal_code;
  EXPECT_EQ(host.printed, "16 11025 500 1012\n");
  EXPECT_EQ(member.printed, "7\n");
  ASSERT_EQ(member_sounds.sounds.count(4), 1u);
  const SoundMemblockLayout& got = member_sounds.sounds[4];
  EXPECT_EQ(got.bits, 16u);
  EXPECT_EQ(got.frequency, 11025u);
  EXPECT_EQ(got.data, std::vector<uint8_t>(file.begin() + 44, file.end()));
}

}  // namespace
}  // namespace zv::test
