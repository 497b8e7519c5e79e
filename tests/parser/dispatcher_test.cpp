#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "parser/measurement_fields.h"
#include "tests/support/recording_sink.h"

namespace {

// Records what the dispatcher handed on, as one line a value.
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

TEST(DispatchField, DecodesAddressedCodesForTheThreadsSink) {
  std::vector<std::string> order;
  OrderSink cycle("cycle", order);
  const parser::ScopedThreadSink scope(&cycle);

  EXPECT_TRUE(parser::DispatchField(2435, "-80"));  // 387 + 1024 * 2
  EXPECT_TRUE(parser::DispatchField(387, "-71"));
  EXPECT_TRUE(parser::DispatchField(1, "350000000000000"));
  EXPECT_FALSE(parser::DispatchField(3072, "x"));  // field code 0: an unknown column of neighbour 3
  EXPECT_FALSE(parser::DispatchField(0, "x"));
  EXPECT_FALSE(parser::DispatchField(131, "x"));
  EXPECT_FALSE(parser::DispatchField(-5, "x"));
  EXPECT_EQ(order, (std::vector<std::string>{"cycle:387/2=-80", "cycle:387/0=-71", "cycle:1/0=350000000000000"}));
}

// Two threads, two sinks: what one thread dispatches never reaches the other's sink.
TEST(DispatchField, EachThreadHasItsOwnSink) {
  std::vector<std::string> first;
  std::vector<std::string> second;
  OrderSink firstSink("a", first), secondSink("b", second);
  std::thread other([&] {
    const parser::ScopedThreadSink scope(&secondSink);
    for (int i = 0; i < 100; ++i) parser::DispatchField(388, "62");
  });
  {
    const parser::ScopedThreadSink scope(&firstSink);
    for (int i = 0; i < 100; ++i) parser::DispatchField(387, "-80");
  }
  other.join();
  EXPECT_EQ(first, std::vector<std::string>(100, "a:387/0=-80"));
  EXPECT_EQ(second, std::vector<std::string>(100, "b:388/0=62"));
  EXPECT_TRUE(parser::DispatchField(387, "-80"));  // no sink: accepted, and goes nowhere
}

TEST(DispatchField, DiagnosticCodesGoOnlyToTheDiagnosticOutput) {
  testsupport::ScopedDisplayRecorder display;
  EXPECT_TRUE(parser::DispatchField(parser::fcError, "PARSE ERROR"));
  EXPECT_TRUE(parser::DispatchField(parser::fcInfo, "hello"));
  EXPECT_TRUE(display.Fields().empty());
  EXPECT_EQ(display.Diagnostics(), (std::vector<std::string>{"*** ERROR:PARSE ERROR", "*** INFO:hello"}));
}
