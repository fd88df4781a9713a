#include <cstdio>
#include <memory>

#include "lv2/KV_Main_Lv2.h"

namespace {
constexpr int kUriSize = 256;

// The product's address with `suffix`, made once from an unbuilt product's identity.
const char* uriOf(char (&text)[kUriSize], const char* suffix) {
  std::unique_ptr<KV_Apptpl> app(KV_Lv2::createProduct());
  if (!app) return nullptr;
  std::snprintf(text, sizeof text, "%s/plugins/%s%s", app->identity().vendor, app->identity().name, suffix);
  return text;
}
}  // namespace

const char* KV_Lv2::pluginUri() {
  static char text[kUriSize];
  static const char* const uri = uriOf(text, "");
  return uri;
}

const char* KV_Lv2::uiUri() {
  static char text[kUriSize];
  static const char* const uri = uriOf(text, "#ui");
  return uri;
}
