#pragma once
// Field codes and the field dispatcher: every measured value travels as an addressed code
// (field code + 1024 × cell index) and a Windows-1251 text, and passes DispatchField on its way
// into the running poll cycle, which goes to the display and then to the log writer.

#include <optional>
#include <string>
#include <string_view>

namespace parser {

// Field codes (1..1023) and the two whole diagnostic codes.
enum FieldCode : int {
  fcImei = 1,
  fcManufacturer = 2,
  fcModel = 3,
  fcFirmware = 4,
  fcImsi = 129,
  fcReserved = 130,
  fcCountry = 257,
  fcOperator = 258,
  fcLocalArea = 259,
  fcFreqBand = 265,
  fcBaseStation = 385,
  fcCell = 386,
  fcRxLevel = 387,
  fcChannel = 388,
  fcRxQuality = 389,
  fcBitError = 390,
  fcTimingAdvance = 391,
  fcPhoneState = 392,
  fcInfo = 12801,   // 0x3201
  fcError = 12802,  // 0x3202
};

inline constexpr int kCellCodeStep = 1024;  // addressed code = field code + 1024 × cell index
inline constexpr int kCellCount = 7;        // 0 the serving cell, 1..6 the neighbours

// The not-available marker.
inline constexpr std::string_view kNotAvailable = "(n/a)";

// The number a value text states: an optional '-', decimal digits and, after a decimal comma,
// more digits ("-75", "0,14", "5,5"); none for "(n/a)" and for every other text. Read once where a
// value is made, never again by those who receive it.
std::optional<double> ValueNumber(std::string_view text);

// One measured value as it travels: the text that is shown and logged (Windows-1251), and the
// number that text states (ValueNumber), made beside it so that no receiver parses the text.
struct FieldValue {
  std::string text;
  std::optional<double> number;
};

// A value known only as its text (an identity answer, a band name): the text and its number.
FieldValue TextValue(std::string text);

// Where the dispatcher sends values: a session's cycle builder, which hands each cycle to the
// display, the log and the rest in that order. Called on the dispatching thread.
class FieldSink {
 public:
  virtual ~FieldSink() = default;
  virtual void AcceptField(int fieldCode, int cellIndex, const FieldValue& value) = 0;
  // A diagnostic text ("*** INFO:...", "*** ERROR:..."); shown nowhere unless a sink wants it.
  virtual void AcceptDiagnostic(const std::string& /*text*/) {}
};

// The sink of the calling thread, null when none (values are then accepted and dropped).
FieldSink* ThreadSink();

// Makes sink the calling thread's sink for the object's lifetime: a session does this on each of
// its threads, so two sessions in one process never see each other's values.
class ScopedThreadSink {
 public:
  explicit ScopedThreadSink(FieldSink* sink);
  ~ScopedThreadSink();
  ScopedThreadSink(const ScopedThreadSink&) = delete;
  ScopedThreadSink& operator=(const ScopedThreadSink&) = delete;

 private:
  FieldSink* previous_;
};

// The diagnostic output: shows nothing; hands the text to the thread's sink, if any.
void ShowDiagnostic(const std::string& text);

// The field dispatcher. code is an addressed code or fcInfo/fcError. True when accepted.
bool DispatchField(int code, const FieldValue& value);
// The same for a value known only as its text (DispatchField(code, TextValue(text))).
bool DispatchField(int code, const std::string& text);

// Text to signed integer: 0 for "(n/a)", for an empty text and for any text with a character
// other than '-' and the digits. A text of those characters that is no valid integer
// ("-", "1-2", beyond 32 bits) also gives 0.
int ParseNumber(std::string_view text);

}  // namespace parser
