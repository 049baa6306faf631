#include "data/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <streambuf>

#include "fields/value_text.h"
#include "ui/safe_file.h"

namespace datafile {
namespace {

// ---- Writing ----

void AppendFixed(std::string& out, float v, int decimals) {
  std::array<char, 64> buffer{};  // the largest float in fixed notation needs 46
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                                     std::chars_format::fixed, decimals);
  out.append(buffer.data(), written.ptr);
}

void AppendUnsigned(std::string& out, std::uint8_t b) {
  AppendFixed(out, static_cast<float>(b), 0);
}

void AppendSigned(std::string& out, std::uint8_t b) {
  AppendFixed(out, static_cast<float>(static_cast<std::int8_t>(b)), 0);
}

template <std::size_t N>
void AppendSignedLine(std::string& out, const std::array<std::uint8_t, N>& bytes) {
  for (std::uint8_t b : bytes) {
    AppendSigned(out, b);
    out.push_back(' ');
  }
  out.push_back('\n');
}

void AppendFixedLine(std::string& out, std::initializer_list<float> values) {
  bool first = true;
  for (float v : values) {
    if (!first) out.push_back(' ');
    first = false;
    AppendFixed(out, v, 5);
  }
  out.push_back('\n');
}

void AppendRecord(std::string& out, const TDaneIPPC& r) {
  for (std::uint8_t b : {r.pollingAddress, r.expansionCode, r.manufacturerId, r.deviceType,
                         r.preambles, r.universalRevision, r.specificRevision, r.softwareRevision,
                         r.hardwareRevision, r.deviceFlags, r.alarmCode, r.transferFunction,
                         r.unitCode, r.writeProtect, r.distributorCode}) {
    AppendUnsigned(out, b);
    out.push_back(' ');
  }
  AppendFixedLine(out, {static_cast<float>(r.deviceId), r.upperRange, r.lowerRange, r.damping});
  AppendFixedLine(out, {static_cast<float>(r.sensorSerial), r.upperSensorLimit, r.lowerSensorLimit,
                        r.minimumSpan});
  AppendSignedLine(out, r.message);
  AppendSignedLine(out, r.tag);
  AppendSignedLine(out, r.descriptor);
  for (std::uint8_t b : {r.dateDay, r.dateMonth, r.dateYear, r.recordDay, r.recordMonth}) {
    AppendSigned(out, b);
    out.push_back(' ');
  }
  AppendFixed(out, static_cast<float>(r.recordYear), 0);
  out.push_back(' ');
  AppendFixed(out, static_cast<float>(r.assemblyNumber), 0);
  out.push_back('\n');
}

// ---- Reading ----

bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads whitespace-separated decimal numbers as floats, one character at a time, so that neither a
// long file nor a number of a million digits is ever held whole.
class NumberScanner {
 public:
  explicit NumberScanner(std::streambuf* buffer) : buffer_(buffer) {}

  // False at the end of the text or at a word that is not a number (sign, digits with an optional
  // point, optional exponent; or inf, infinity, nan, as a float may be written).
  bool Next(float& value) {
    int c = Peek();
    while (IsBlank(c)) c = Advance();
    if (c == kEnd) return false;

    bool negative = false;
    if (c == '+' || c == '-') {
      negative = c == '-';
      c = Advance();
    }
    if (IsLetter(c)) return NextWord(negative, value);

    // Significant digits times a power of ten; digits past the kept ones only tell whether the
    // number lies above them, which one nonzero digit at the end preserves.
    std::string text = negative ? "-" : "";
    std::size_t kept = 0;
    bool droppedNonzero = false;
    std::int64_t scale = 0;
    bool sawDigit = false;
    for (; IsDigit(c); c = Advance()) {
      sawDigit = true;
      if (kept == 0 && c == '0') continue;
      if (kept < kKeptDigits) {
        text.push_back(static_cast<char>(c));
        ++kept;
      } else {
        droppedNonzero |= c != '0';
        ++scale;
      }
    }
    if (c == '.') {
      for (c = Advance(); IsDigit(c); c = Advance()) {
        sawDigit = true;
        if (kept == 0 && c == '0') {
          --scale;
        } else if (kept < kKeptDigits) {
          text.push_back(static_cast<char>(c));
          ++kept;
          --scale;
        } else {
          droppedNonzero |= c != '0';
        }
      }
    }
    if (!sawDigit) return false;
    if (c == 'e' || c == 'E') {
      c = Advance();
      bool negativeExponent = false;
      if (c == '+' || c == '-') {
        negativeExponent = c == '-';
        c = Advance();
      }
      if (!IsDigit(c)) return false;
      std::int64_t exponent = 0;
      for (; IsDigit(c); c = Advance()) {
        if (exponent < kExponentLimit) exponent = exponent * 10 + (c - '0');
      }
      scale += negativeExponent ? -exponent : exponent;
    }
    if (c != kEnd && !IsBlank(c)) return false;

    if (kept == 0) {
      value = negative ? -0.0f : 0.0f;
      return true;
    }
    if (droppedNonzero) {
      text.push_back('1');
      --scale;
    }
    std::array<char, 24> exponentText{};
    const auto written =
        std::to_chars(exponentText.data(), exponentText.data() + exponentText.size(), scale);
    text.push_back('e');
    text.append(exponentText.data(), written.ptr);
    value = config::ReadValueText(text);
    return true;
  }

 private:
  static constexpr int kEnd = std::char_traits<char>::eof();
  static constexpr std::size_t kKeptDigits = 800;
  static constexpr std::int64_t kExponentLimit = 1'000'000'000;
  static constexpr std::size_t kLongestWord = 8;  // "infinity"

  int Peek() { return buffer_->sgetc(); }
  int Advance() {
    buffer_->sbumpc();
    return buffer_->sgetc();
  }

  bool NextWord(bool negative, float& value) {
    std::string word;
    for (int c = Peek(); c != kEnd && !IsBlank(c); c = Advance()) {
      if (word.size() == kLongestWord) return false;
      word.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    if (word == "inf" || word == "infinity") {
      value = negative ? -std::numeric_limits<float>::infinity()
                       : std::numeric_limits<float>::infinity();
      return true;
    }
    if (word == "nan") {
      value = negative ? -std::numeric_limits<float>::quiet_NaN()
                       : std::numeric_limits<float>::quiet_NaN();
      return true;
    }
    return false;
  }

  std::streambuf* buffer_;
};

// Truncated toward zero and saturated at the 64-bit range, so no value is out of range for the
// conversion; NaN reads as 0.
std::int64_t Truncated(float v) {
  constexpr float kTwoTo63 = 9223372036854775808.0f;
  if (std::isnan(v)) return 0;
  if (v >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (v < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

// Byte fields keep the low 8 bits (a byte written negative comes back); wider fields saturate.
std::uint8_t LowByte(float v) {
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(Truncated(v)) & 0xFF);
}

template <typename T>
T Saturated(float v) {
  const std::int64_t t = Truncated(v);
  if (t < static_cast<std::int64_t>(std::numeric_limits<T>::min()))
    return std::numeric_limits<T>::min();
  if (t > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
    return std::numeric_limits<T>::max();
  return static_cast<T>(t);
}

class RecordReader {
 public:
  explicit RecordReader(NumberScanner& in) : in_(in) {}

  // Fields in the file's order; false as soon as one number is missing.
  bool Read(TDaneIPPC& r) {
    for (std::uint8_t* b :
         {&r.pollingAddress, &r.expansionCode, &r.manufacturerId, &r.deviceType, &r.preambles,
          &r.universalRevision, &r.specificRevision, &r.softwareRevision, &r.hardwareRevision,
          &r.deviceFlags, &r.alarmCode, &r.transferFunction, &r.unitCode, &r.writeProtect,
          &r.distributorCode}) {
      if (!Byte(*b)) return false;
    }
    if (!Integer(r.deviceId) || !Float(r.upperRange) || !Float(r.lowerRange) || !Float(r.damping))
      return false;
    if (!Integer(r.sensorSerial) || !Float(r.upperSensorLimit) || !Float(r.lowerSensorLimit) ||
        !Float(r.minimumSpan))
      return false;
    if (!Bytes(r.message) || !Bytes(r.tag) || !Bytes(r.descriptor)) return false;
    for (std::uint8_t* b : {&r.dateDay, &r.dateMonth, &r.dateYear, &r.recordDay, &r.recordMonth}) {
      if (!Byte(*b)) return false;
    }
    return Integer(r.recordYear) && Integer(r.assemblyNumber);
  }

 private:
  bool Float(float& field) { return in_.Next(field); }
  bool Byte(std::uint8_t& field) {
    float v = 0.0f;
    if (!in_.Next(v)) return false;
    field = LowByte(v);
    return true;
  }
  template <typename T>
  bool Integer(T& field) {
    float v = 0.0f;
    if (!in_.Next(v)) return false;
    field = Saturated<T>(v);
    return true;
  }
  template <std::size_t N>
  bool Bytes(std::array<std::uint8_t, N>& field) {
    for (std::uint8_t& b : field) {
      if (!Byte(b)) return false;
    }
    return true;
  }

  NumberScanner& in_;
};

ReadResult ReadFrom(std::streambuf* buffer, TDane& database) {
  ReadResult result;
  if (buffer == nullptr) {
    result.damaged = true;
    return result;
  }
  NumberScanner in(buffer);
  float countRead = 0.0f;
  // A negative count reads as no records and counts as damage, as does a fractional one (after
  // its whole records): neither is ever written.
  if (!in.Next(countRead) || !(countRead >= 0.0f)) {
    result.damaged = true;
    return result;
  }
  result.damaged = std::trunc(countRead) != countRead;
  const auto count = static_cast<std::uint64_t>(Truncated(countRead));

  // One working record for the whole file: fields the file does not carry keep its defaults.
  TDaneIPPC working;
  RecordReader reader(in);
  for (std::uint64_t i = 0; i < count; ++i) {
    // An append that fails ends the reading too, rather than dropping records unseen.
    if (!reader.Read(working) || !database.Append(working)) {
      result.damaged = true;
      break;
    }
    ++result.appended;
  }
  return result;
}

// Reads a text in place, without copying it.
class ViewBuffer : public std::streambuf {
 public:
  explicit ViewBuffer(std::string_view text) {
    char* begin = const_cast<char*>(text.data());
    setg(begin, begin, begin + text.size());
  }
};

// Reads a file descriptor; a read error ends the text like its end would, and is kept.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}
  int Error() const { return error_; }

 protected:
  int_type underflow() override {
    ssize_t n = 0;
    do {
      n = ::read(fd_, block_.data(), block_.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      if (n < 0) error_ = errno;
      return traits_type::eof();
    }
    setg(block_.data(), block_.data(), block_.data() + n);
    return traits_type::to_int_type(block_[0]);
  }

 private:
  int fd_;
  int error_ = 0;
  std::array<char, 1 << 16> block_{};
};

}  // namespace

std::string DatabaseText(const TDane& database) {
  std::string out;
  std::array<char, 24> count{};
  const auto written = std::to_chars(count.data(), count.data() + count.size(), database.Count());
  out.append(count.data(), written.ptr);
  out.push_back('\n');
  for (std::size_t i = 0; i < database.Count(); ++i) AppendRecord(out, database.At(i));
  return out;
}

void WriteDatabase(std::ostream& out, const TDane& database) {
  const std::string text = DatabaseText(database);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

ReadResult ReadDatabase(std::istream& in, TDane& database) {
  return ReadFrom(in.rdbuf(), database);
}

ReadResult ReadDatabase(std::string_view text, TDane& database) {
  ViewBuffer buffer(text);
  return ReadFrom(&buffer, database);
}

std::optional<ReadResult> ReadDatabaseFile(const std::string& path, TDane& database) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  // A folder opens, and only fails on reading; it is no data file.
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  auto buffer = std::make_unique<DescriptorBuffer>(fd);
  ReadResult result = ReadFrom(buffer.get(), database);
  ::close(fd);
  if (buffer->Error() != 0) {
    result.damaged = true;
    result.readError = buffer->Error();
  }
  return result;
}

bool WriteDatabaseFile(const std::string& path, const TDane& database, std::string* reason) {
  std::string why;
  const bool written = ui::ReplaceFile(path, DatabaseText(database), why);
  if (reason != nullptr) *reason = why;
  return written;
}

}  // namespace datafile
