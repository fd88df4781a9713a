#include "app/KV_Application.h"

#include <cstring>

#include "KV/Spcpp.h"

namespace {
// clang-format off
const KV_Apptpl_Identity kIdentity = {
    "Varnex", "https://www.varnex-audio.example",
    0x39373634,  // the bytes "4679" in memory order
    1000, 1, 2,
};
// clang-format on
}  // namespace

KV_Application::KV_Application() {
  for (int i = 0; i < PARAMS; ++i) params[i] = &paramObjects[i];
}

KV_Application::~KV_Application() = default;

const KV_Apptpl_Identity& KV_Application::identity() const { return kIdentity; }

void KV_Application::rangeOf(int index, float& mn, float& mx) const {
  mn = paramTable[index].mn;
  mx = paramTable[index].mx;
  KV_Object* knob = paramTable[index].type == KV_FLOAT ? widget(paramTable[index].widget) : nullptr;
  if (!knob) return;
  int32_t a = 0, b = 0;
  if (spcpp(KV_CMD("KV_Wid_Knob %o -mn -mx"), knob, &a, &b) != KV_OK) return;
  std::memcpy(&mn, &a, sizeof mn);
  std::memcpy(&mx, &b, sizeof mx);
}

KV_error KV_Application::build() {
  KV_CommandLock lock;  // another instance's build must not join this pipe
  width = 172;
  height = 238;
  blockLength = 512;
  KV_error first = buildGraph();
  for (int i = 0; i < PARAMS; ++i) params[i]->take(paramTable[i]);
  KV_keepFirst(first, buildLayout());
  for (Param* p : params)
    if (p->type == KV_FLOAT) p->widget = widget(p->row->widget);
  for (Param* p : params) KV_keepFirst(first, p->changed(this));
  return first;
}

KV_error KV_Application::buildGraph() {
  KV_Object** g = graph;
  KV_error first = KV_OK;
  auto step = [&first](KV_error e) { KV_keepFirst(first, e); };
  int32_t began = 0;
  step(spcpp(KV_CMD("KV_Soundpipe -bl %i -b"), &g[PIPE], blockLength, &began));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_I], "buf_i"));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_O], "buf_o"));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_V], "buf_v"));
  step(spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o"), &g[FX_INPUT_COPY], g[BUF_I], g[BUF_O]));
  step(spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul"), &g[FX_SOURCE_GAIN], g[BUF_O], g[BUF_O]));
  step(
      spcpp(KV_CMD("KV_Effect_Deline -i %o -g % -go %o -d % -da 1 -dt 0.02"), &g[FX_SOURCE_DELAY], g[BUF_O], g[BUF_O]));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_T], "buf_t"));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_X2], "buf_x2"));
  step(spcpp(KV_CMD("KV_Buffer -t %o"), &g[BUF_X3], "buf_x3"));
  double f = 200.0;
  step(spcpp(KV_CMD("KV_Effect_Hipass -i %o -o %o -f %f"), &g[FX_HIPASS], g[BUF_I], g[BUF_T], f / 1.6));
  for (int b = 0; b < 4; ++b) {
    const char* mode = b == 0 ? "set" : "add";
    step(spcpp(KV_CMD("KV_Effect_Lopass -i %o -o %o -f %f"), &g[FX_LOPASS1 + b], g[BUF_T], g[BUF_V], f));
    step(spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o -mode sub"), &g[FX_REMOVE1 + b], g[BUF_V], g[BUF_T]));
    step(spcpp(KV_CMD("KV_Effect_Tolvar -i %o -o %o -k 2 -mode %s"), &g[FX_MUL2_1 + b], g[BUF_V], g[BUF_X2], mode));
    step(spcpp(KV_CMD("KV_Effect_Tolvar -i %o -o %o -k 3 -mode %s"), &g[FX_MUL3_1 + b], g[BUF_V], g[BUF_X3], mode));
    f *= 1.6;
  }
  step(spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul -mode add"), &g[FX_X2_GAIN], g[BUF_X2], g[BUF_O]));
  step(spcpp(KV_CMD("KV_Effect_Koef -i %o -o %o -oper mul -mode add"), &g[FX_X3_GAIN], g[BUF_X3], g[BUF_O]));
  step(spcpp(KV_CMD("KV_Effect_Copy -i %o -o %o"), &g[FX_OUTPUT_COPY], g[BUF_O], g[BUF_O]));
  int32_t ended = 0;
  step(spcpp(KV_CMD("KV_Soundpipe %o -e"), g[PIPE], &ended));
  return first;
}

// The effects in the order the pipe runs them (their creation order).
// clang-format off
static constexpr int runOrder[] = {
    KV_Application::FX_INPUT_COPY, KV_Application::FX_SOURCE_GAIN, KV_Application::FX_SOURCE_DELAY,
    KV_Application::FX_HIPASS,
    KV_Application::FX_LOPASS1,    KV_Application::FX_REMOVE1,     KV_Application::FX_MUL2_1, KV_Application::FX_MUL3_1,
    KV_Application::FX_LOPASS2,    KV_Application::FX_REMOVE2,     KV_Application::FX_MUL2_2, KV_Application::FX_MUL3_2,
    KV_Application::FX_LOPASS3,    KV_Application::FX_REMOVE3,     KV_Application::FX_MUL2_3, KV_Application::FX_MUL3_3,
    KV_Application::FX_LOPASS4,    KV_Application::FX_REMOVE4,     KV_Application::FX_MUL2_4, KV_Application::FX_MUL3_4,
    KV_Application::FX_X2_GAIN,    KV_Application::FX_X3_GAIN,     KV_Application::FX_OUTPUT_COPY,
};
// clang-format on

void KV_Application::sendClock() {
  for (int slot : runOrder)
    if (graph[slot]) (void)spcpp(KV_CMD("KV_Effect %o -clock %i"), graph[slot], sampleRate);
}

void KV_Application::setSampleRate(int32_t rate) {
  sampleRate = rate;
  sendClock();
}

KV_error KV_Application::destroy() {
  KV_CommandLock lock;
  destroyGraph();
  destroyLayout();
  return KV_OK;
}

void KV_Application::destroyGraph() {
  for (int s = GRAPH_SLOTS - 1; s >= 0; --s)
    if (graph[s]) {
      (void)spcpp(KV_CMD("%o -delete"), graph[s]);
      graph[s] = nullptr;
    }
}
