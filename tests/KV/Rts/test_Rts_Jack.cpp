// The JACK back end: a missing libjack and a missing server are listed states, not reports; against a dummy
// server of the test's own, a test client's known signal goes into the back end's inputs,
// through the block callback and back out of its outputs into the test client, sample for sample.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "KV/Rts/Rts_Jack.h"

namespace {

using Chan = KV_Rts::Chan;
using Mode = KV_Rts::Mode;

std::vector<std::string> reports;
int capture(const char* text, const char*) {
  reports.emplace_back(text);
  return 1;
}

// libjack as the test client uses it: through the system's own declarations, loaded at run
// time like the back end does, so that the suite links no more than the plug-in does.
struct Jack {
  void* handle = dlopen("libjack.so.0", RTLD_NOW | RTLD_LOCAL);
#define KV_JACK_FN(name) decltype(&::name) name = handle ? reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)) : nullptr
  KV_JACK_FN(jack_client_open);
  KV_JACK_FN(jack_client_close);
  KV_JACK_FN(jack_port_register);
  KV_JACK_FN(jack_port_get_buffer);
  KV_JACK_FN(jack_port_name);
  KV_JACK_FN(jack_set_process_callback);
  KV_JACK_FN(jack_activate);
  KV_JACK_FN(jack_deactivate);
  KV_JACK_FN(jack_connect);
  KV_JACK_FN(jack_get_buffer_size);
  KV_JACK_FN(jack_set_xrun_callback);
#undef KV_JACK_FN
  // Never unloaded, as the back end never unloads it.
};

// A JACK server of the test's own, under a name no other server has.
class Server {
 public:
  explicit Server(std::string name_) : name(std::move(name_)) {}
  ~Server() { stop(); }

  // False when jackd cannot be started at all. The server ends with the suite's process even
  // when that dies: the kernel sends it SIGTERM when its parent goes.
  bool start() {
    const char* argv[] = {"jackd", "--no-realtime", "-n", name.c_str(), "-d", "dummy", "-r", "48000", "-p", "256", nullptr};
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return false;
    pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execvp("jackd", const_cast<char**>(argv));
      const char failed = 1;
      (void)!write(ready[1], &failed, 1);
      _exit(127);
    }
    close(ready[1]);
    char failed = 0;
    const bool execFailed = read(ready[0], &failed, 1) == 1;  // end of file once exec succeeded
    close(ready[0]);
    if (execFailed) {
      waitpid(pid, nullptr, 0);
      pid = -1;
      return false;
    }
    return true;
  }

  void stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }

  const std::string name;

 private:
  pid_t pid = -1;
};

// The signal: unique in every 20000 consecutive samples, never zero, distinct on the right.
float signal(int64_t k, int channel) {
  const float v = static_cast<float>((k * 7919) % 20000 + 1) / 32768.0f;
  return channel == 0 ? v : -v;
}

// The test client: writes the signal into two ports and records two ports.
struct Tester {
  Jack* jack = nullptr;
  jack_client_t* client = nullptr;
  jack_port_t* src[2] = {};
  jack_port_t* dst[2] = {};
  std::vector<float> got[2];
  std::atomic<int64_t> sent{0};
  std::atomic<int64_t> recorded{0};
  std::atomic<int32_t> xruns{0};

  static int xrun(void* self) {
    static_cast<Tester*>(self)->xruns.fetch_add(1);
    return 0;
  }

  static int process(jack_nframes_t n, void* self) {
    auto* t = static_cast<Tester*>(self);
    const int64_t k = t->sent.load(std::memory_order_relaxed);
    const int64_t r = t->recorded.load(std::memory_order_relaxed);
    for (int c = 0; c < 2; ++c) {
      auto* out = static_cast<float*>(t->jack->jack_port_get_buffer(t->src[c], n));
      auto* in = static_cast<const float*>(t->jack->jack_port_get_buffer(t->dst[c], n));
      for (jack_nframes_t i = 0; i < n; ++i) {
        out[i] = signal(k + i, c);
        if (r + static_cast<int64_t>(i) < static_cast<int64_t>(t->got[c].size())) t->got[c][static_cast<size_t>(r + i)] = in[i];
      }
    }
    t->sent.store(k + n, std::memory_order_relaxed);
    t->recorded.store(r + n, std::memory_order_release);
    return 0;
  }
};

// The application: each input straight to the output of the same side.
KV_Rts* jackApp = nullptr;
std::atomic<int32_t> blocks{0};
std::atomic<int32_t> refused{0};

void passThrough() {
  blocks.fetch_add(1);
  Chan* in[2] = {};
  Chan* out[2] = {};
  int i = 0, o = 0;
  KV_Rts::walk<Chan>(jackApp->inputs, [&](Chan* c) {
    if (i < 2) in[i++] = c;
  });
  KV_Rts::walk<Chan>(jackApp->outputs, [&](Chan* c) {
    if (o < 2) out[o++] = c;
  });
  for (int c = 0; c < 2; ++c)
    if (in[c] && out[c] && KV_Rts::copyBuffer(out[c], in[c]) != KV_OK) refused.fetch_add(1);
}

class RtsJack : public testing::Test {
 protected:
  void SetUp() override {
    reports.clear();
    KV_set_error_presenter(capture);
    saved = {KV_Rts_Jack::library, KV_Rts_Jack::clientName, KV_Rts_Jack::serverName};
    ASSERT_EQ(KV_Rts_Jack::classInit(passThrough), KV_OK);
    ASSERT_EQ(KV_Rts_Jack::classes.count, 1);
    rts = static_cast<KV_Rts_Jack*>(KV_Rts_Jack::classes.first()->owner);
    jackApp = rts;
  }
  void TearDown() override {
    KV_Rts_Jack::classExit();
    KV_Rts_Jack::library = saved[0];
    KV_Rts_Jack::clientName = saved[1];
    KV_Rts_Jack::serverName = saved[2];
    KV_set_error_presenter(nullptr);
    jackApp = nullptr;
  }

  std::vector<const char*> saved;
  KV_Rts_Jack* rts = nullptr;
};

TEST_F(RtsJack, ClassInitialisationRegistersOneInstanceNamedJack) {
  EXPECT_STREQ(rts->name, "JACK");
  bool listed = false;
  for (KV_Chain_Item* it = KV_Rts_instances.first(); !KV_Rts_instances.isEnd(it); it = it->next)
    listed |= KV_Rts_of(it) == rts;
  EXPECT_TRUE(listed);
}

TEST_F(RtsJack, AMissingLibraryIsAnOpenError) {
  KV_Rts_Jack::library = "libkv-no-such-jack.so.0";
  EXPECT_EQ(rts->init(), KV_ERROR_AUDIO_CANNOT_OPEN);
  EXPECT_EQ(rts->modes.count, 0);
  EXPECT_EQ(rts->inputs.count, 0);
  EXPECT_TRUE(reports.empty()) << "an absent library is a state, not a fatal error: " << reports[0];
  EXPECT_EQ(rts->absence, KV_Rts_Jack::kNoLibrary);
  EXPECT_EQ(rts->mode(nullptr), KV_ERROR_AUDIO_CANNOT_OPEN);
  EXPECT_EQ(rts->free(), KV_OK);
}

TEST_F(RtsJack, NoServerIsAnOpenErrorAndNoneIsStarted) {
  const std::string name = "kv-rts-absent-" + std::to_string(getpid());
  KV_Rts_Jack::serverName = name.c_str();
  EXPECT_EQ(rts->init(), KV_ERROR_AUDIO_CANNOT_OPEN);
  EXPECT_TRUE(reports.empty()) << "an absent server is a state, not a fatal error: " << reports[0];
  EXPECT_EQ(rts->absence, KV_Rts_Jack::kNoServer);
  EXPECT_EQ(rts->modes.count, 0);
}

TEST_F(RtsJack, AKnownSignalGoesThroughTheBackEndSampleForSample) {
  Jack jack;
  ASSERT_NE(jack.handle, nullptr) << "libjack.so.0: " << dlerror();
  Server server("kv-rts-test-" + std::to_string(getpid()));
  if (!server.start()) GTEST_SKIP() << "jackd cannot be started (is jackd2 installed?)";

  // The server is up once a client can join it.
  Tester tester;
  tester.jack = &jack;
  jack_status_t status{};
  for (int i = 0; i < 500 && !tester.client; ++i) {
    tester.client = jack.jack_client_open("kv_tester", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                          &status, server.name.c_str());
    if (!tester.client) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(tester.client, nullptr) << "the dummy server did not come up";

  KV_Rts_Jack::serverName = server.name.c_str();
  ASSERT_EQ(rts->init(), KV_OK);
  std::vector<std::string> texts;
  KV_Rts::walk<Mode>(rts->modes, [&](Mode* m) { texts.push_back(m->text); });
  EXPECT_EQ(texts, (std::vector<std::string>{" 48.0 kHz, 32 bit, quadro", " 48.0 kHz, 32 bit, stereo"}));
  Mode* stereo = static_cast<Mode*>(rts->modes.tail.prev);
  EXPECT_EQ(stereo->frames, 256);
  ASSERT_EQ(rts->inputs.count, 2);
  KV_Rts::walk<Chan>(rts->inputs, [&](Chan* c) { EXPECT_EQ(c->format, KV_Rts::format(4, 32, 0, true)); });

  ASSERT_EQ(rts->mode(stereo), KV_OK);
  std::vector<std::string> outs;
  KV_Rts::walk<Chan>(rts->outputs, [&](Chan* c) { outs.push_back(c->name); });
  EXPECT_EQ(outs, (std::vector<std::string>{"Left front", "Right front"}));

  constexpr size_t N = 48000;  // one second of what comes back
  for (auto& g : tester.got) g.assign(N, 0.0f);
  const char* names[2][2] = {{"src_l", "dst_l"}, {"src_r", "dst_r"}};
  for (int c = 0; c < 2; ++c) {
    tester.src[c] = jack.jack_port_register(tester.client, names[c][0], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    tester.dst[c] = jack.jack_port_register(tester.client, names[c][1], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    ASSERT_TRUE(tester.src[c] && tester.dst[c]);
  }
  ASSERT_EQ(jack.jack_set_process_callback(tester.client, &Tester::process, &tester), 0);
  ASSERT_EQ(jack.jack_set_xrun_callback(tester.client, &Tester::xrun, &tester), 0);
  ASSERT_EQ(jack.jack_activate(tester.client), 0);
  std::vector<Chan*> ins, outChans;
  KV_Rts::walk<Chan>(rts->inputs, [&](Chan* c) { ins.push_back(c); });
  KV_Rts::walk<Chan>(rts->outputs, [&](Chan* c) { outChans.push_back(c); });
  ASSERT_EQ(ins.size(), 2u);
  ASSERT_EQ(outChans.size(), 2u);
  for (int c = 0; c < 2; ++c) {
    ASSERT_NE(rts->portName(ins[c]), nullptr);
    EXPECT_EQ(rts->connect(jack.jack_port_name(tester.src[c]), rts->portName(ins[c])), KV_OK);
    EXPECT_EQ(jack.jack_connect(tester.client, rts->portName(outChans[c]), jack.jack_port_name(tester.dst[c])), 0);
  }
  EXPECT_EQ(rts->connect("kv_tester:no_such_port", rts->portName(ins[0])), KV_ERROR_AUDIO);

  for (int i = 0; i < 1000 && tester.recorded.load() < static_cast<int64_t>(N); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GE(tester.recorded.load(), static_cast<int64_t>(N)) << "the dummy server ran too slowly";
  jack.jack_deactivate(tester.client);
  EXPECT_EQ(rts->free(), KV_OK);
  EXPECT_EQ(rts->outputs.count, 0);
  const int32_t after = blocks.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(blocks.load(), after) << "no block after free";
  EXPECT_GT(after, 0);
  EXPECT_EQ(refused.load(), 0);

  // Until the connections were made silence came back; from the first sample on, the signal,
  // late by a whole number of periods and otherwise unchanged. The connections are made one by
  // one while the server runs, so each side may start in a period of its own; both are compared
  // from the later start on. A server that falls behind (an xrun, on a loaded machine) drops or
  // repeats a period of one client or both, which moves the lateness by whole periods: at most
  // twice per xrun (a period lost, then one repeated).
  constexpr int64_t P = 256;
  size_t first = 0, firstRight = 0;
  while (first < N && tester.got[0][first] == 0.0f) ++first;
  while (firstRight < N && tester.got[1][firstRight] == 0.0f) ++firstRight;
  ASSERT_LT(first, N / 2) << "nothing came back";
  ASSERT_LT(firstRight, N / 2) << "nothing came back on the right";
  // The signal repeats after 20000 samples: the match nearest before the sample back.
  auto lateAt = [&](size_t i) {
    for (int64_t late = 0; late < 20000 && late <= static_cast<int64_t>(i); ++late)
      if (signal(static_cast<int64_t>(i) - late, 0) == tester.got[0][i]) return late;
    return int64_t{-1};
  };
  const int64_t firstLate = lateAt(first);
  ASSERT_GE(firstLate, 0) << "the first sample back is no sample of the signal";
  EXPECT_EQ(firstLate % P, 0) << "late by " << firstLate << " samples";
  const size_t start = (std::max(first, firstRight) + P - 1) / P * P;
  int64_t late = firstLate;
  int32_t moves = 0;
  for (size_t at = start; at + P <= N; at += P) {
    if (tester.got[0][at] != signal(static_cast<int64_t>(at) - late, 0)) {
      late = lateAt(at);
      ++moves;
      ASSERT_EQ(late % P, 0) << "sample " << at << " is late by " << late;
    }
    for (size_t i = at; i < at + P; ++i) {
      ASSERT_EQ(tester.got[0][i], signal(static_cast<int64_t>(i) - late, 0)) << "left, sample " << i;
      ASSERT_EQ(tester.got[1][i], signal(static_cast<int64_t>(i) - late, 1)) << "right, sample " << i;
    }
  }
  EXPECT_LE(moves, 2 * tester.xruns.load()) << "the lateness moved without an xrun";
  EXPECT_LE(start, N / 2);

  EXPECT_EQ(rts->exit(), KV_OK);
  EXPECT_EQ(rts->modes.count, 0);
  jack.jack_client_close(tester.client);
  server.stop();
}

}  // namespace
