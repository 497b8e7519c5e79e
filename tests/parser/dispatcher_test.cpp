#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/measurement_fields.h"
#include "tests/support/recording_sink.h"

namespace {

std::vector<std::string> g_diagnostics;
void RecordDiagnostic(const std::string& text) { g_diagnostics.push_back(text); }

// Records which side saw a value, to check the display is served before the log.
class OrderSink : public parser::FieldSink {
 public:
  OrderSink(std::string name, std::vector<std::string>& order) : name_(std::move(name)), order_(order) {}
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    order_.push_back(name_ + ":" + std::to_string(fieldCode) + "/" + std::to_string(cellIndex) + "=" + value.text);
  }

 private:
  std::string name_;
  std::vector<std::string>& order_;
};

}  // namespace

TEST(DispatchField, DecodesAddressedCodesAndServesDisplayThenLog) {
  std::vector<std::string> order;
  OrderSink display("show", order), log("log", order);
  parser::SetDisplaySink(&display);
  parser::SetLogSink(&log);

  EXPECT_TRUE(parser::DispatchField(2435, "-80"));  // 387 + 1024 * 2
  EXPECT_TRUE(parser::DispatchField(387, "-71"));
  EXPECT_TRUE(parser::DispatchField(1, "350000000000000"));
  EXPECT_FALSE(parser::DispatchField(3072, "x"));  // field code 0: an unknown column of neighbour 3
  EXPECT_FALSE(parser::DispatchField(0, "x"));
  EXPECT_FALSE(parser::DispatchField(131, "x"));
  EXPECT_FALSE(parser::DispatchField(-5, "x"));
  EXPECT_EQ(order, (std::vector<std::string>{"show:387/2=-80", "log:387/2=-80", "show:387/0=-71", "log:387/0=-71",
                                             "show:1/0=350000000000000", "log:1/0=350000000000000"}));

  parser::SetDisplaySink(nullptr);
  parser::SetLogSink(nullptr);
}

TEST(DispatchField, DiagnosticCodesGoOnlyToTheDiagnosticOutput) {
  testsupport::ScopedDisplayRecorder display;
  g_diagnostics.clear();
  parser::SetDiagnosticHandler(&RecordDiagnostic);
  EXPECT_TRUE(parser::DispatchField(parser::fcError, "PARSE ERROR"));
  EXPECT_TRUE(parser::DispatchField(parser::fcInfo, "hello"));
  parser::SetDiagnosticHandler(nullptr);
  EXPECT_TRUE(parser::DispatchField(parser::fcError, "discarded"));
  EXPECT_TRUE(display.Fields().empty());
  EXPECT_EQ(g_diagnostics, (std::vector<std::string>{"*** ERROR:PARSE ERROR", "*** INFO:hello"}));
}
