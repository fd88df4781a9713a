// Writes the bundle's Turtle files from the product itself: manifest.ttl and <name>.ttl with the
// ports, names, symbols, ranges and defaults of its parameters.
//   KV_Main_Lv2_ttl BUNDLE_DIR BINARY_FILE_NAME
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "lv2/KV_Main_Lv2.h"

namespace {

// The shortest decimal text that reads back as the same float.
std::string number(float v) {
  char text[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
    if (std::strtof(text, nullptr) == v) break;
  }
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";  // a decimal, not an integer literal
  return s;
}

std::string lower(const char* text) {
  std::string s = text;
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* const kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui:   <http://lv2plug.in/ns/extensions/ui#> .\n\n";

bool writeManifest(const std::string& dir, const std::string& binary, const std::string& ttl) {
  FILE* f = std::fopen((dir + "/manifest.ttl").c_str(), "w");
  if (!f) return false;
  std::fputs(kPrefixes, f);
  std::fprintf(f, "<%s>\n  a lv2:Plugin ;\n  lv2:binary <%s> ;\n  rdfs:seeAlso <%s> .\n\n", KV_Lv2::pluginUri(),
               binary.c_str(), ttl.c_str());
  std::fprintf(f, "<%s>\n  a ui:X11UI ;\n  ui:binary <%s> ;\n  rdfs:seeAlso <%s> .\n", KV_Lv2::uiUri(), binary.c_str(),
               ttl.c_str());
  return std::fclose(f) == 0;
}

void writePort(FILE* f, const KV_Apptpl_ParamInfo& p, uint32_t index, bool last) {
  float lo = p.minimum < p.maximum ? p.minimum : p.maximum;
  float hi = p.minimum < p.maximum ? p.maximum : p.minimum;
  std::fprintf(f, "  [\n    a lv2:InputPort, lv2:ControlPort ;\n    lv2:index %u ;\n", index);
  std::fprintf(f, "    lv2:symbol \"%s\" ;\n    lv2:name \"%s\" ;\n", p.symbol, p.name);
  if (p.toggle) {
    std::fprintf(f, "    lv2:portProperty lv2:integer, lv2:toggled ;\n");
    std::fprintf(f, "    lv2:default %d ;\n    lv2:minimum 0 ;\n    lv2:maximum 1 ;\n", p.initial > 0.5f ? 1 : 0);
  } else {
    std::fprintf(f, "    lv2:default %s ;\n    lv2:minimum %s ;\n    lv2:maximum %s ;\n", number(p.initial).c_str(),
                 number(lo).c_str(), number(hi).c_str());
  }
  std::fprintf(f, "  ]%s\n", last ? " ." : " ,");
}

bool writePlugin(const std::string& dir, const std::string& ttl, const KV_Apptpl& app) {
  FILE* f = std::fopen((dir + "/" + ttl).c_str(), "w");
  if (!f) return false;
  const KV_Apptpl_Identity& id = app.identity();
  std::fputs(kPrefixes, f);
  std::fprintf(f, "<%s>\n  a lv2:Plugin, lv2:DistortionPlugin, doap:Project ;\n  doap:name \"%s\" ;\n",
               KV_Lv2::pluginUri(), id.name);
  std::fprintf(f, "  doap:maintainer [ foaf:name \"%s\" ; foaf:homepage <%s> ] ;\n", id.vendor, id.vendor);
  std::fprintf(f, "  lv2:minorVersion 0 ;\n  lv2:microVersion %d ;\n", id.version);
  std::fprintf(f, "  lv2:optionalFeature lv2:hardRTCapable ;\n  ui:ui <%s> ;\n  lv2:port\n", KV_Lv2::uiUri());
  std::fprintf(f,
               "  [\n    a lv2:InputPort, lv2:AudioPort ;\n    lv2:index %u ;\n    lv2:symbol \"in\" ;\n"
               "    lv2:name \"Input\" ;\n  ] ,\n",
               KV_Lv2::AUDIO_IN);
  std::fprintf(f,
               "  [\n    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index %u ;\n    lv2:symbol \"out_l\" ;\n"
               "    lv2:name \"Left output\" ;\n  ] ,\n",
               KV_Lv2::AUDIO_OUT_L);
  std::fprintf(f,
               "  [\n    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index %u ;\n    lv2:symbol \"out_r\" ;\n"
               "    lv2:name \"Right output\" ;\n  ] ,\n",
               KV_Lv2::AUDIO_OUT_R);
  const int32_t n = app.paramCount();
  for (int32_t i = 0; i < n; ++i)
    writePort(f, app.paramInfo(i), KV_Lv2::FIRST_CONTROL + static_cast<uint32_t>(i), i == n - 1);
  std::fprintf(f, "\n<%s>\n  a ui:X11UI ;\n  lv2:requiredFeature ui:parent ;\n", KV_Lv2::uiUri());
  std::fprintf(f, "  lv2:optionalFeature ui:resize, ui:idleInterface ;\n  lv2:extensionData ui:idleInterface .\n");
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR BINARY_FILE_NAME\n", argv[0]);
    return 2;
  }
  std::unique_ptr<KV_Apptpl> app(KV_Lv2::createProduct());
  if (!app || !KV_Lv2::pluginUri()) {
    std::fprintf(stderr, "%s: no product\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1], ttl = lower(app->identity().name) + ".ttl";
  if (!writeManifest(dir, argv[2], ttl) || !writePlugin(dir, ttl, *app)) {
    std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
