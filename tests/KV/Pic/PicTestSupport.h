// What the picture suites share: reports captured instead of shown, and pixels compared and
// printed as b, g, r, a.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "KV/Pic/Base.h"
#include "KV_cfuncs.h"

inline std::vector<std::string>& capturedReports() {
  static std::vector<std::string> reports;
  return reports;
}

inline int captureReport(const char* text, const char* caption) {
  capturedReports().push_back(std::string(caption) + "|" + text);
  return 1;
}

// A fixture whose fatal-error reports land in capturedReports().
class ReportCapture : public testing::Test {
 protected:
  std::vector<std::string>& reports = capturedReports();
  void SetUp() override {
    reports.clear();
    KV_set_error_presenter(captureReport);
  }
  void TearDown() override { KV_set_error_presenter(nullptr); }
};

inline bool same(const KV_Pix_A32& p, const KV_Pix_A32& q) { return std::memcmp(&p, &q, 4) == 0; }

inline void PrintTo(const KV_Pix_A32& p, std::ostream* os) {
  *os << "(" << int(p.b) << "," << int(p.g) << "," << int(p.r) << "," << int(p.a) << ")";
}
