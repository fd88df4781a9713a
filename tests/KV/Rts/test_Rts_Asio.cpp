// The ASIO back end against the project's test driver, registered in this Wine prefix by the
// suite: the driver list (which entries count, names cut to size, open and close), loading one
// driver in place of another, the message callback and the sample types, and a whole run
// through COM creation, the driver's calling convention, buffers and switches from the driver's
// thread, with a known signal converted on the way in and on the way out.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "KV/Rts/AsioDrivers.h"
#include "KV/Rts/AsioHost.h"
#include "KV/Rts/Rts_Asio.h"
#include "kvtd.h"

namespace {

using Chan = KV_Rts::Chan;
using Mode = KV_Rts::Mode;

const std::string bits = std::to_string(sizeof(void*) * 8);
const std::string goodName = "KV Test ASIO " + bits;
const std::string noDescKey = "KV Test NoDesc " + bits;
const std::string missingName = "KV Test Missing " + bits;
const std::string unregisteredName = "KV Test Unregistered " + bits;
const std::string longKey = "KV Test Long " + bits;
// Forty characters.
const std::string longName = "KV Test ASIO driver with a long name " + bits + "!";

std::string guidText(const GUID& g) {
  WCHAR w[64];
  StringFromGUID2(g, w, 64);
  char a[64];
  WideCharToMultiByte(CP_ACP, 0, w, -1, a, sizeof a, nullptr, nullptr);
  return a;
}

bool setText(HKEY root, const std::string& path, const char* value, const std::string& text) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return false;
  const LONG r = RegSetValueExA(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>(text.size() + 1));
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

std::string driverPath() {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string dir(exe);
  dir.resize(dir.find_last_of("\\/") + 1);
  return dir + "kv_asio_test_driver.dll";
}

std::string asioKey(const std::string& name) { return "SOFTWARE\\ASIO\\" + name; }
std::string classKey(KVTD_Kind kind) { return "CLSID\\" + guidText(kvtd_clsid(kind)); }

void registerDriver(const std::string& key, KVTD_Kind kind, const char* description, const char* server) {
  ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, asioKey(key), "CLSID", guidText(kvtd_clsid(kind))));
  if (description) {
    ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, asioKey(key), "Description", description));
  }
  if (server) {
    ASSERT_TRUE(setText(HKEY_CLASSES_ROOT, classKey(kind) + "\\InprocServer32", nullptr, server));
    ASSERT_TRUE(setText(HKEY_CLASSES_ROOT, classKey(kind) + "\\InprocServer32", "ThreadingModel", "Both"));
  }
}

void unregisterDriver(const std::string& key, KVTD_Kind kind) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, asioKey(key).c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, (classKey(kind) + "\\InprocServer32").c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, classKey(kind).c_str());
}

std::vector<std::string> reports;
int capture(const char* text, const char*) {
  reports.emplace_back(text);
  return IDOK;
}

KVTD_State* driverState() {
  static HMODULE module = LoadLibraryA(driverPath().c_str());
  return module ? reinterpret_cast<KVTD_StateFunc>(reinterpret_cast<void*>(GetProcAddress(module, "KVTD_state")))()
                : nullptr;
}

class RtsAsio : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(longName.size(), 40u);
    const std::string dll = driverPath();
    ASSERT_NE(GetFileAttributesA(dll.c_str()), INVALID_FILE_ATTRIBUTES) << dll;
    registerDriver(goodName, KVTD_GOOD, goodName.c_str(), dll.c_str());
    registerDriver(noDescKey, KVTD_FAILING, nullptr, dll.c_str());
    registerDriver(longKey, KVTD_LONG, longName.c_str(), dll.c_str());
    registerDriver(missingName, KVTD_MISSING, missingName.c_str(), "C:\\kv-no-such-folder\\kv_no_driver.dll");
    registerDriver(unregisteredName, KVTD_UNREGISTERED, unregisteredName.c_str(), nullptr);
  }
  static void TearDownTestSuite() {
    KV_Rts_Asio::classExit();
    unregisterDriver(goodName, KVTD_GOOD);
    unregisterDriver(noDescKey, KVTD_FAILING);
    unregisterDriver(longKey, KVTD_LONG);
    unregisterDriver(missingName, KVTD_MISSING);
    unregisterDriver(unregisteredName, KVTD_UNREGISTERED);
  }
  void SetUp() override {
    state = driverState();
    ASSERT_NE(state, nullptr) << "the test driver exports its state";
    reports.clear();
    KV_set_error_presenter(capture);
  }
  void TearDown() override {
    KV_Rts_Asio::classExit();
    KV_set_error_presenter(nullptr);
    EXPECT_EQ(state->objects.load(), 0) << "every driver object is released";
    EXPECT_EQ(state->badThis.load(), 0) << "every driver method arrived on its object";
  }

  static int indexOf(const AsioDriverList& list, const std::string& name) {
    char buf[MAXDRVNAMELEN];
    for (int i = 0; i < list.asioGetNumDev(); ++i)
      if (list.asioGetDriverName(i, buf, sizeof buf) == 0 && name == buf) return i;
    return -1;
  }

  static KV_Rts_Asio* instance(const std::string& name) {
    for (KV_Chain_Item* it = KV_Rts_Asio::classes.first(); !KV_Rts_Asio::classes.isEnd(it); it = it->next)
      if (name == static_cast<KV_Rts_Asio*>(it->owner)->name) return static_cast<KV_Rts_Asio*>(it->owner);
    return nullptr;
  }

  KVTD_State* state = nullptr;
};

TEST_F(RtsAsio, TheListHoldsDriversWhoseServerFileExists) {
  AsioDriverList list;
  std::vector<std::string> names;
  char buf[MAXDRVNAMELEN];
  for (int i = 0; i < list.asioGetNumDev(); ++i) {
    ASSERT_EQ(list.asioGetDriverName(i, buf, sizeof buf), 0) << i;
    names.push_back(buf);
  }
  auto listed = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) != names.end(); };
  EXPECT_TRUE(listed(goodName));
  EXPECT_TRUE(listed(noDescKey)) << "without a description the key's name is the name";
  EXPECT_TRUE(listed(longName));
  EXPECT_FALSE(listed(missingName)) << "its server file does not exist";
  EXPECT_FALSE(listed(unregisteredName)) << "its class is not registered";
  EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("KV Test", 0) == 0; }), 3);

  CLSID id{};
  ASSERT_EQ(list.asioGetDriverCLSID(indexOf(list, goodName), &id), 0);
  EXPECT_TRUE(IsEqualGUID(id, kvtd_clsid(KVTD_GOOD)));
}

TEST_F(RtsAsio, NamesThatDoNotFitAreCutWithThreeDots) {
  AsioDriverList list;
  const int i = indexOf(list, longName);
  ASSERT_GE(i, 0);
  char buf[64];
  ASSERT_EQ(list.asioGetDriverName(i, buf, 32), 0);
  EXPECT_EQ(std::string(buf), longName.substr(0, 28) + "...");
  ASSERT_EQ(list.asioGetDriverName(i, buf, 41), 0);
  EXPECT_EQ(std::string(buf), longName) << "forty characters fit in 41";
  ASSERT_EQ(list.asioGetDriverName(i, buf, 40), 0);
  EXPECT_EQ(std::string(buf), longName.substr(0, 36) + "...");
  EXPECT_EQ(list.asioGetDriverName(i, nullptr, 32), -5001);
  EXPECT_EQ(list.asioGetDriverName(list.asioGetNumDev(), buf, 32), -5003);
}

TEST_F(RtsAsio, DriversAreCreatedThroughComAndOpenedOnce) {
  AsioDriverList list;
  const int i = indexOf(list, goodName);
  ASSERT_GE(i, 0);
  void* driver = nullptr;
  EXPECT_EQ(list.asioOpenDriver(i, nullptr), -5001);
  EXPECT_EQ(list.asioOpenDriver(list.asioGetNumDev(), &driver), -5003);
  ASSERT_EQ(list.asioOpenDriver(i, &driver), 0);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(state->objects.load(), 1);
  void* again = nullptr;
  EXPECT_EQ(list.asioOpenDriver(i, &again), -5002);
  EXPECT_EQ(again, nullptr);
  // Reached through the host's declaration: the driver sees its own object in each call.
  char name[32] = {};
  static_cast<IASIO*>(driver)->getDriverName(name);
  EXPECT_STREQ(name, "KV Test Driver");
  EXPECT_EQ(static_cast<IASIO*>(driver)->getDriverVersion(), 7);
  EXPECT_EQ(list.asioCloseDriver(i), 0);
  EXPECT_EQ(state->objects.load(), 0);
  EXPECT_EQ(list.asioCloseDriver(list.asioGetNumDev()), -5003);
}

TEST_F(RtsAsio, LoadingOneDriverUnloadsTheOther) {
  AsioDrivers drivers;
  ASSERT_TRUE(drivers.loadDriver(goodName.c_str()));
  EXPECT_EQ(drivers.getCurrentDriverIndex(), indexOf(drivers, goodName));
  EXPECT_NE(theAsioDriver, nullptr);
  EXPECT_EQ(state->objects.load(), 1);
  // The long name is found as it reads in 32 characters.
  EXPECT_FALSE(drivers.loadDriver(longName.c_str()));
  ASSERT_TRUE(drivers.loadDriver((longName.substr(0, 28) + "...").c_str()));
  EXPECT_EQ(drivers.getCurrentDriverIndex(), indexOf(drivers, longName));
  EXPECT_EQ(state->objects.load(), 1) << "at most one driver is loaded";
  char current[32];
  ASSERT_TRUE(drivers.getCurrentDriverName(current));
  EXPECT_EQ(std::string(current), longName.substr(0, 28) + "...");
  drivers.removeCurrentDriver();
  EXPECT_EQ(drivers.getCurrentDriverIndex(), -1);
  EXPECT_EQ(theAsioDriver, nullptr);
  EXPECT_EQ(state->objects.load(), 0);
}

TEST_F(RtsAsio, WithoutADriverTheHostFunctionsAnswerNotPresent) {
  ASSERT_EQ(theAsioDriver, nullptr);
  long a = 5, b = 6, c = 7, d = 8;
  EXPECT_EQ(ASIOGetChannels(&a, &b), ASE_NotPresent);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  a = b = 1;
  EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
  EXPECT_EQ(a + b + c + d, 0);
  ASIOChannelInfo info{};
  EXPECT_EQ(ASIOGetChannelInfo(&info), ASE_NotPresent);
  EXPECT_STREQ(info.name, "None");
  ASIODriverInfo di{};
  EXPECT_EQ(ASIOInit(&di), ASE_NotPresent);
  EXPECT_STREQ(di.name, "No ASIO Driver");
  EXPECT_EQ(ASIOStart(), ASE_NotPresent);
  EXPECT_EQ(ASIOStop(), ASE_NotPresent);
  EXPECT_EQ(ASIOCanSampleRate(48000), ASE_NotPresent);
}

TEST_F(RtsAsio, TheMessageCallbackAnswersItsSelectors) {
  for (long value = 0; value <= 11; ++value) {
    const bool supported = value == 2 || value == 3 || value == 5 || value == 6 || value == 7 || value == 8 || value == 10;
    EXPECT_EQ(KV_Rts_Asio::message(kAsioSelectorSupported, value, nullptr, nullptr), supported ? 1 : 0) << value;
  }
  EXPECT_EQ(KV_Rts_Asio::message(kAsioEngineVersion, 0, nullptr, nullptr), 2);
  EXPECT_EQ(KV_Rts_Asio::message(kAsioResetRequest, 0, nullptr, nullptr), 1);
  EXPECT_EQ(KV_Rts_Asio::message(kAsioBufferSizeChange, 128, nullptr, nullptr), 0);
  EXPECT_EQ(KV_Rts_Asio::message(kAsioResyncRequest, 0, nullptr, nullptr), 1);
  EXPECT_EQ(KV_Rts_Asio::message(kAsioLatenciesChanged, 0, nullptr, nullptr), 1);
  EXPECT_EQ(KV_Rts_Asio::message(kAsioSupportsTimeInfo, 0, nullptr, nullptr), 1);
  for (long other : {0L, 8L, 9L, 10L, 11L, -1L}) EXPECT_EQ(KV_Rts_Asio::message(other, 0, nullptr, nullptr), 0) << other;
  EXPECT_EQ(KV_Rts_Asio::bufferSwitchTimeInfo(nullptr, 0, ASIOTrue), nullptr);
}

TEST_F(RtsAsio, OnlyLittleEndianSampleTypesHaveAFormat) {
  int usable = 0;
  for (long type = 0; type <= 40; ++type) usable += KV_Rts_Asio::formatOf(type) != 0;
  EXPECT_EQ(usable, 9);
  EXPECT_EQ(KV_Rts_Asio::formatOf(ASIOSTInt24LSB), 0x00001803u);
  EXPECT_EQ(KV_Rts_Asio::formatOf(ASIOSTInt32LSB18), 0x000E1204u);
  EXPECT_EQ(KV_Rts_Asio::formatOf(ASIOSTFloat64LSB), 0x01004008u);
  for (long type : {0L, 1L, 2L, 3L, 4L, 8L, 9L, 10L, 11L, 32L, 33L, 40L}) EXPECT_EQ(KV_Rts_Asio::formatOf(type), 0u) << type;
}

TEST_F(RtsAsio, ClassInitialisationMakesOneInstancePerListedDriver) {
  const int32_t before = KV_Rts_instances.count;
  ASSERT_EQ(KV_Rts_Asio::classInit(nullptr), KV_OK);
  EXPECT_NE(instance(goodName), nullptr);
  EXPECT_NE(instance(noDescKey), nullptr);
  EXPECT_NE(instance(longName.substr(0, 28) + "..."), nullptr) << "named as read into 32 characters";
  EXPECT_EQ(instance(missingName), nullptr);
  EXPECT_EQ(KV_Rts_instances.count - before, KV_Rts_Asio::classes.count);
  EXPECT_EQ(KV_Rts_Asio::classes.count, asioDrivers->asioGetNumDev());
  EXPECT_EQ(state->objects.load(), 0) << "no driver is created before an init";
  KV_Rts_Asio::classExit();
  EXPECT_EQ(KV_Rts_instances.count, before);
  EXPECT_EQ(asioDrivers, nullptr);
}

TEST_F(RtsAsio, AFailingInitShowsItsBoxAndDropsTheDriver) {
  ASSERT_EQ(KV_Rts_Asio::classInit(nullptr), KV_OK);
  KV_Rts_Asio* rts = instance(noDescKey);
  ASSERT_NE(rts, nullptr);
  EXPECT_EQ(rts->init(), KV_ERROR_AUDIO);
  EXPECT_EQ(state->objects.load(), 0);
  ASSERT_EQ(reports.size(), 1u);
  const std::string want = "Error: ASIOInit\nFile: ../../../projects/KV/KV/Rts/Asio\nLine: 185\nProc: KV_Rts_Asio::init\nDate: ";
  EXPECT_EQ(reports[0].substr(0, want.size()), want);
  EXPECT_EQ(rts->modes.count, 0);
  EXPECT_EQ(theAsioDriver, nullptr);
}

// ---- a whole run ----

KV_Rts* asioApp = nullptr;
std::atomic<long> blocks{0};
std::atomic<long> inputMismatches{0};
std::atomic<long> refusals{0};

// Every input is read as 32-bit integers and compared with the driver's signal; then three
// inputs of three formats go to the three outputs of three other formats.
void hostBlock() {
  const long sw = blocks.fetch_add(1);
  int32_t seen[KVTD_FRAMES];
  Chan view("check", KV_Rts::format(4, 32), KVTD_FRAMES);
  view.data = seen;
  Chan* in[4] = {};
  int n = 0;
  KV_Rts::walk<KV_Rts_Asio::Chan>(asioApp->inputs, [&](KV_Rts_Asio::Chan* c) {
    if (n < 4) in[n] = c;
    ++n;
    if (KV_Rts::copyBuffer(&view, c) != KV_OK) {
      refusals.fetch_add(1);
      return;
    }
    const bool floating = KV_Rts::isFloat(c->format);
    for (long f = 0; f < KVTD_FRAMES; ++f) {
      const int32_t want = kvtd_signal(sw, f, c->index);
      const int32_t got = seen[f] >> 16;
      if (floating ? std::abs(got - want) > 1 : seen[f] != want * 65536) inputMismatches.fetch_add(1);
    }
  });
  Chan* out[3] = {};
  int m = 0;
  KV_Rts::walk<Chan>(asioApp->outputs, [&](Chan* c) {
    if (m < 3) out[m++] = c;
  });
  if (n < 4 || m < 3) return;
  // Out 0 (16-bit) from In 3 (float), Out 2 (32-bit) from In 1 (24-bit), Out 3 (float) from In 0 (16-bit).
  if (KV_Rts::copyBuffer(out[0], in[3]) != KV_OK) refusals.fetch_add(1);
  if (KV_Rts::copyBuffer(out[1], in[1]) != KV_OK) refusals.fetch_add(1);
  if (KV_Rts::copyBuffer(out[2], in[0]) != KV_OK) refusals.fetch_add(1);
}

bool waitSwitches(KVTD_State* s, long n) {
  for (int i = 0; i < 5000 && s->switches.load() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return s->switches.load() >= n;
}

TEST_F(RtsAsio, RunsTheTestDriverWithAKnownSignalBothWays) {
  ASSERT_EQ(KV_Rts_Asio::classInit(hostBlock), KV_OK);
  KV_Rts_Asio* rts = instance(goodName);
  ASSERT_NE(rts, nullptr);
  asioApp = rts;
  blocks = 0;
  inputMismatches = 0;
  refusals = 0;
  const long inits = state->inits.load();

  ASSERT_EQ(rts->init(), KV_OK);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(state->inits.load(), inits + 1);
  EXPECT_EQ(state->objects.load(), 1);
  EXPECT_EQ(KV_Rts_Asio::active.load(), rts);
  EXPECT_EQ(rts->preferredSize, KVTD_FRAMES);
  std::vector<std::string> texts;
  KV_Rts::walk<Mode>(rts->modes, [&](Mode* m) {
    texts.push_back(m->text);
    EXPECT_EQ(m->frames, KVTD_FRAMES);
    EXPECT_EQ(m->bits, 32);
  });
  EXPECT_EQ(texts, (std::vector<std::string>{" 48.0 kHz, 32 bit, 16 ch", " 44.1 kHz, 32 bit, 16 ch"}));

  // Sixteen of the 24 inputs are asked about; the big-endian and one-bit ones are left out.
  std::vector<std::string> names;
  std::vector<uint32_t> formats;
  KV_Rts::walk<KV_Rts_Asio::Chan>(rts->inputs, [&](KV_Rts_Asio::Chan* c) {
    names.push_back(c->name);
    formats.push_back(c->format);
    EXPECT_EQ(c->length, KVTD_FRAMES);
    EXPECT_EQ(std::string(c->name), "In " + std::to_string(c->index));
  });
  EXPECT_EQ(names, (std::vector<std::string>{"In 0", "In 1", "In 2", "In 3", "In 5", "In 6", "In 7", "In 9", "In 10",
                                             "In 11", "In 12", "In 13", "In 14", "In 15"}));
  EXPECT_EQ(rts->inputCount, 14);
  ASSERT_GE(formats.size(), 7u);
  EXPECT_EQ(formats[0], 0x00001002u);
  EXPECT_EQ(formats[3], 0x01002004u);
  EXPECT_EQ(formats[4], 0x01004008u);
  EXPECT_EQ(formats[5], 0x00101004u);
  EXPECT_EQ(formats[6], 0x00081804u);

  for (int round = 0; round < 2; ++round) {
    Mode* m = static_cast<Mode*>(round == 0 ? rts->modes.first() : rts->modes.first()->next);
    const long switches = state->switches.load();
    const long stops = state->stops.load(), disposes = state->disposes.load();
    blocks = 0;
    ASSERT_EQ(rts->mode(m), KV_OK) << m->text;
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(state->rate, static_cast<double>(m->rate));
    std::vector<std::string> outs;
    KV_Rts::walk<Chan>(rts->outputs, [&](Chan* c) { outs.push_back(c->name); });
    EXPECT_EQ(outs, (std::vector<std::string>{"Out 0", "Out 2", "Out 3"})) << "round " << round;
    // The buffers asked for: the usable inputs, then the usable outputs, in chain order.
    ASSERT_EQ(state->createdCount, 17);
    EXPECT_EQ(state->createdSize, KVTD_FRAMES);
    const long wantIn[] = {0, 1, 2, 3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 14; ++i) {
      EXPECT_EQ(state->created[i][0], 1) << i;
      EXPECT_EQ(state->created[i][1], wantIn[i]) << i;
    }
    EXPECT_EQ(state->created[14][0], 0);
    EXPECT_EQ(state->created[14][1], 0);
    EXPECT_EQ(state->created[15][1], 2);
    EXPECT_EQ(state->created[16][1], 3);

    ASSERT_TRUE(waitSwitches(state, switches + KVTD_CAPTURED + 4));
    ASSERT_EQ(rts->free(), KV_OK);
    EXPECT_EQ(state->stops.load(), stops + 1);
    EXPECT_EQ(state->disposes.load(), disposes + 1);
    EXPECT_EQ(rts->currentMode(), nullptr);
    EXPECT_EQ(rts->outputs.count, 0);
    const long after = state->switches.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(state->switches.load(), after) << "no switch after free";
    // free() withdraws the mode before it stops the driver, so a switch already under way then
    // finds no mode and is dropped: every other switch runs exactly one block.
    EXPECT_LE(blocks.load(), after - switches) << "one block per switch";
    EXPECT_GE(blocks.load(), after - switches - 1) << "one block per switch, but the one racing free()";
  }
  EXPECT_EQ(inputMismatches.load(), 0);
  EXPECT_EQ(refusals.load(), 0);

  // What the driver found in its output buffers, the last run's first switches.
  for (long sw = 0; sw < KVTD_CAPTURED; ++sw)
    for (long f = 0; f < KVTD_FRAMES; ++f) {
      int16_t o0;
      int32_t o2;
      float o3;
      std::memcpy(&o0, state->captured[sw][0] + 2 * f, 2);
      std::memcpy(&o2, state->captured[sw][2] + 4 * f, 4);
      std::memcpy(&o3, state->captured[sw][3] + 4 * f, 4);
      ASSERT_LE(std::abs(o0 - kvtd_signal(sw, f, 3)), 1) << "switch " << sw << " frame " << f;
      ASSERT_EQ(o2, kvtd_signal(sw, f, 1) * 65536) << "switch " << sw << " frame " << f;
      ASSERT_EQ(o3, kvtd_signal(sw, f, 0) / 32768.0f) << "switch " << sw << " frame " << f;
    }

  EXPECT_EQ(rts->exit(), KV_OK);
  EXPECT_EQ(state->objects.load(), 0) << "exit leaves the driver";
  EXPECT_EQ(theAsioDriver, nullptr);
  EXPECT_EQ(rts->modes.count, 0);
  EXPECT_EQ(rts->inputs.count, 0);
  asioApp = nullptr;
}

}  // namespace
