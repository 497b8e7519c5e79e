#pragma once
// A field sink that records what the dispatcher hands it, for tests of every module.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "parser/measurement_fields.h"

namespace testsupport {

struct RecordedField {
  int fieldCode;
  int cellIndex;
  std::string text;
  bool operator==(const RecordedField&) const = default;
};

class RecordingSink : public parser::FieldSink {
 public:
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    std::lock_guard lock(mutex_);
    fields_.push_back({fieldCode, cellIndex, value.text});
    numbers_.push_back(value.number);
  }
  void AcceptDiagnostic(const std::string& text) override {
    std::lock_guard lock(mutex_);
    diagnostics_.push_back(text);
  }
  std::vector<RecordedField> Fields() const {
    std::lock_guard lock(mutex_);
    return fields_;
  }
  // The numbers that came beside the texts, in the same order.
  std::vector<std::optional<double>> Numbers() const {
    std::lock_guard lock(mutex_);
    return numbers_;
  }
  std::vector<std::string> Diagnostics() const {
    std::lock_guard lock(mutex_);
    return diagnostics_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    fields_.clear();
    numbers_.clear();
    diagnostics_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedField> fields_;
  std::vector<std::optional<double>> numbers_;
  std::vector<std::string> diagnostics_;
};

// Records what the calling thread dispatches, for the lifetime of the object.
class ScopedDisplayRecorder {
 public:
  ScopedDisplayRecorder() : scope_(&sink_) {}
  std::vector<RecordedField> Fields() const { return sink_.Fields(); }
  std::vector<std::optional<double>> Numbers() const { return sink_.Numbers(); }
  std::vector<std::string> Diagnostics() const { return sink_.Diagnostics(); }
  void Clear() { sink_.Clear(); }

 private:
  RecordingSink sink_;
  parser::ScopedThreadSink scope_;
};

}  // namespace testsupport
