#pragma once
// A field sink that records what the dispatcher hands it, for tests of every module.

#include <mutex>
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
  void AcceptField(int fieldCode, int cellIndex, const std::string& text) override {
    std::lock_guard lock(mutex_);
    fields_.push_back({fieldCode, cellIndex, text});
  }
  std::vector<RecordedField> Fields() const {
    std::lock_guard lock(mutex_);
    return fields_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    fields_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedField> fields_;
};

// Installs a recording sink as the display side for the lifetime of the object.
class ScopedDisplayRecorder {
 public:
  ScopedDisplayRecorder() { parser::SetDisplaySink(&sink_); }
  ~ScopedDisplayRecorder() { parser::SetDisplaySink(nullptr); }
  std::vector<RecordedField> Fields() const { return sink_.Fields(); }
  void Clear() { sink_.Clear(); }

 private:
  RecordingSink sink_;
};

}  // namespace testsupport
