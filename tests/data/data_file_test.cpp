#include "data/data_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::uint32_t Bits(float x) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// The record that identification makes from the simulated transmitter at polling address 0.
TDaneIPPC IdentifiedRecord() {
  TDaneIPPC r;
  r.expansionCode = 254, r.manufacturerId = 63, r.deviceType = 1, r.preambles = 5;
  r.universalRevision = 5, r.specificRevision = 3, r.softwareRevision = 1, r.hardwareRevision = 1;
  r.deviceFlags = 5, r.alarmCode = 250, r.unitCode = 12, r.writeProtect = 250,
  r.distributorCode = 63;
  r.deviceId = 12556;
  r.upperRange = 249.99609375f;
  return r;
}

// Every field the file carries set apart from its default.
TDaneIPPC FullRecord(int seed) {
  TDaneIPPC r = IdentifiedRecord();
  r.pollingAddress = static_cast<std::uint8_t>(seed);
  for (std::size_t i = 0; i < r.message.size(); ++i)
    r.message[i] = static_cast<std::uint8_t>(seed + i * 11);
  r.message[0] = 0x80, r.message[1] = 0xFF, r.message[2] = 0x7F;
  for (std::size_t i = 0; i < r.tag.size(); ++i)
    r.tag[i] = static_cast<std::uint8_t>(200 + i + seed);
  for (std::size_t i = 0; i < r.descriptor.size(); ++i)
    r.descriptor[i] = static_cast<std::uint8_t>(i * 23);
  r.deviceId = 16777215 - seed;  // identifiers are 24-bit
  r.sensorSerial = 12345678 + seed;
  r.lowerRange = -24.99951171875f, r.damping = 0.000004f;
  r.upperSensorLimit = 1000000.0f, r.lowerSensorLimit = -1.5f, r.minimumSpan = 0.25f;
  r.dateDay = 31, r.dateMonth = 8, r.dateYear = 130;  // 2030
  r.recordDay = 7, r.recordMonth = 200, r.recordYear = 2026, r.assemblyNumber = 11234;
  r.characterisation[3] = 9.0f;  // not in the file
  return r;
}

// What FullRecord looks like after a trip through the file.
TDaneIPPC AfterFile(TDaneIPPC r) {
  r.characterisation = TDaneIPPC{}.characterisation;
  r.lowerRange = -24.99951f, r.damping = 0.0f;
  return r;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

// The 72 numbers of one record in the file's order, all "0" unless changed.
std::vector<std::string> Numbers() { return std::vector<std::string>(72, "0"); }
constexpr std::size_t kDeviceId = 15, kUpperRange = 16, kSensorSerial = 19, kRecordYear = 70,
                      kAssembly = 71;

std::string Join(const std::vector<std::string>& numbers, const char* between = " ") {
  std::string out;
  for (const std::string& n : numbers) out += n + between;
  return out;
}

TEST(DataFileWrite, FormatByteForByte) {
  TDane db;
  EXPECT_EQ(datafile::DatabaseText(db), "0\n");
  db.Append(IdentifiedRecord());
  const std::string expected =
      "1\n"
      "0 254 63 1 5 5 3 1 1 5 250 0 12 250 63 12556.00000 249.99609 0.00000 0.00000\n"
      "0.00000 0.00000 0.00000 0.00000\n" +
      Repeat("-126 8 32 ", 8) + "\n" + Repeat("-126 8 32 ", 2) + "\n" + Repeat("-126 8 32 ", 4) +
      "\n0 0 0 0 0 0 0\n";
  EXPECT_EQ(datafile::DatabaseText(db), expected);
  std::ostringstream out;
  datafile::WriteDatabase(out, db);
  EXPECT_EQ(out.str(), expected);

  TDaneIPPC r = FullRecord(1);
  r.recordYear = -3;
  r.assemblyNumber = 4294967295u;  // through a float: 2^32
  r.upperRange = 0.000005f;        // as a float just below the half step
  r.lowerRange = -0.0f;
  TDane full;
  full.Append(r);
  std::istringstream lines(datafile::DatabaseText(full));
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[1].substr(all[1].find("16777214.")), "16777214.00000 0.00000 -0.00000 0.00000");
  EXPECT_EQ(all[2], "12345679.00000 1000000.00000 -1.50000 0.25000");
  EXPECT_EQ(all[3].substr(0, 15), "-128 -1 127 34 ");
  EXPECT_EQ(all[6], "31 8 -126 7 -56 -3 4294967296");
}

TEST(DataFileRead, RoundTripAndLooseLayout) {
  TDane source;
  for (int seed = 0; seed < 3; ++seed) source.Append(FullRecord(seed));
  TDane back;
  back.Append(TDaneIPPC{});  // reading appends
  const datafile::ReadResult read = datafile::ReadDatabase(datafile::DatabaseText(source), back);
  EXPECT_EQ(read.appended, 3u);
  EXPECT_FALSE(read.damaged);
  ASSERT_EQ(back.Count(), 4u);
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(back.At(i), AfterFile(FullRecord(static_cast<int>(i) - 1)));
  EXPECT_EQ(Bits(back.At(1).upperRange), Bits(249.99609375f));
  EXPECT_EQ(back.At(1).dateYear, 130);

  TDane empty;
  EXPECT_FALSE(datafile::ReadDatabase("0\n", empty).damaged);
  EXPECT_EQ(empty.Count(), 0u);

  std::vector<std::string> numbers = Numbers();
  numbers[kDeviceId] = "+12556", numbers[kUpperRange] = ".5", numbers[kSensorSerial] = "7.";
  numbers[kRecordYear] = "2.026E3";
  TDane loose;
  const datafile::ReadResult looseRead =
      datafile::ReadDatabase("\r\n\t1\r\n" + Join(numbers, "\t\r\n"), loose);
  ASSERT_EQ(looseRead.appended, 1u);
  EXPECT_FALSE(looseRead.damaged);
  EXPECT_EQ(loose.At(0).deviceId, 12556);
  EXPECT_EQ(loose.At(0).upperRange, 0.5f);
  EXPECT_EQ(loose.At(0).sensorSerial, 7);
  EXPECT_EQ(loose.At(0).recordYear, 2026);
}

TEST(DataFileRead, IntegerFieldsTruncateAndNeverOverflow) {
  std::vector<std::string> numbers = Numbers();
  numbers[0] = "-126";                     // low 8 bits: 0x82
  numbers[1] = "3.9";                      // toward zero
  numbers[2] = "-3.9";                     // -3: 0xFD
  numbers[3] = "256";                      // 0
  numbers[4] = "1e30";                     // saturated at 64 bits, then the low 8 bits
  numbers[5] = std::string(1000000, '9');  // a million digits
  numbers[6] = "nan";
  numbers[kDeviceId] = "1e30";
  numbers[kSensorSerial] = "-1e30";
  numbers[kUpperRange] = "-" + std::string(1000000, '7');
  numbers[kUpperRange + 1] = "1e-999999999999";
  numbers[kRecordYear] = "-inf";
  numbers[kAssembly] = "-5";
  TDane db;
  ASSERT_EQ(datafile::ReadDatabase("1 " + Join(numbers), db).appended, 1u);
  const TDaneIPPC& r = db.At(0);
  EXPECT_EQ(std::vector<int>({r.pollingAddress, r.expansionCode, r.manufacturerId, r.deviceType,
                              r.preambles, r.universalRevision, r.specificRevision}),
            std::vector<int>({0x82, 3, 0xFD, 0, 0xFF, 0xFF, 0}));
  EXPECT_EQ(r.deviceId, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(r.sensorSerial, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(r.upperRange, -std::numeric_limits<float>::infinity());
  EXPECT_EQ(Bits(r.lowerRange), Bits(0.0f));
  EXPECT_EQ(r.recordYear, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(r.assemblyNumber, 0u);
  numbers = Numbers();
  numbers[kAssembly] = "4294967296";
  ASSERT_EQ(datafile::ReadDatabase("1 " + Join(numbers), db).appended, 1u);
  EXPECT_EQ(db.At(1).assemblyNumber, 4294967295u);

  // Non-finite floats are written as words and read back.
  TDane odd;
  TDaneIPPC infinite;
  infinite.upperRange = std::numeric_limits<float>::infinity();
  infinite.damping = std::numeric_limits<float>::quiet_NaN();
  odd.Append(infinite);
  ASSERT_EQ(datafile::ReadDatabase(datafile::DatabaseText(odd), odd).appended, 1u);
  EXPECT_EQ(odd.At(1).upperRange, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(odd.At(1).damping));
}

TEST(DataFileRead, DamagedFilesKeepTheCompleteRecords) {
  const std::string one = Join(Numbers());
  std::vector<std::string> numbers = Numbers();
  numbers[kDeviceId] = "2";
  const std::string two = Join(numbers);
  numbers[40] = "12x";
  const std::string broken = Join(numbers);

  struct Case {
    std::string text;
    std::size_t appended;
    bool damaged;
  };
  const std::vector<Case> cases{
      {"", 0, true},
      {" \n\t ", 0, true},
      {"garbage\n", 0, true},
      {std::string("\x01\xFF\x00", 3), 0, true},
      {"3\n" + one + two, 2, true},  // count larger than the records
      {"-1\n" + one, 0, true},
      {"4294967295\n" + one + two, 2, true},
      {"inf " + one, 1, true},
      {"nan " + one, 0, true},
      {"1.5 " + one + two, 1, true},  // a fractional count
      {"2 " + one + broken, 1, true},
      {"1 " + one.substr(0, one.size() - 2), 0, true},  // a number short
      {"1 1e " + one, 0, true},
      {"1 - " + one, 0, true},
      {"1 . " + one, 0, true},
      {"1 1,5 " + one, 0, true},
      {"1 " + one + "whatever", 1, false},  // after the records nothing is read
      {"1\n" + one + two, 1, false},
  };
  for (const Case& c : cases) {
    TDane db;
    const datafile::ReadResult read = datafile::ReadDatabase(c.text, db);
    EXPECT_EQ(read.appended, c.appended) << c.text.substr(0, 20);
    EXPECT_EQ(read.damaged, c.damaged) << c.text.substr(0, 20);
    EXPECT_EQ(db.Count(), c.appended);
    if (c.appended >= 2) {
      EXPECT_EQ(db.At(1).deviceId, 2);
    }
  }

  // A database that cannot grow ends the reading as damage, with what fitted.
  TDane small(11);
  const datafile::ReadResult read = datafile::ReadDatabase("12 " + Repeat(one, 12), small);
  EXPECT_EQ(read.appended, 11u);
  EXPECT_TRUE(read.damaged);
}

TEST(DataFileLocale, NumbersAreTheSameUnderARussianLocale) {
  TDane db;
  db.Append(IdentifiedRecord());
  db.Append(FullRecord(2));
  const std::string inC = datafile::DatabaseText(db);

  if (std::setlocale(LC_ALL, "ru_RU.UTF-8") == nullptr) GTEST_SKIP() << "ru_RU.UTF-8 is missing";
  std::locale::global(std::locale("ru_RU.UTF-8"));
  std::ostringstream out;  // takes the Russian locale: grouping and a decimal comma
  datafile::WriteDatabase(out, db);
  std::istringstream in(inC);
  TDane back;
  const datafile::ReadResult read = datafile::ReadDatabase(in, back);
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");

  EXPECT_EQ(out.str(), inC);
  EXPECT_NE(inC.find("12556.00000 249.99609"), std::string::npos);
  EXPECT_EQ(read.appended, 2u);
  EXPECT_EQ(back.At(1), AfterFile(FullRecord(2)));
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(DataFileOnDisk, ReplacesWholeOrNotAtAll) {
  std::string pattern = (fs::path(testing::TempDir()) / "k7dataXXXXXX").string();
  const fs::path folder = ::mkdtemp(pattern.data());
  const auto names = [&] {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder)) out.push_back(entry.path().filename());
    return out;
  };
  const fs::path path = folder / "plant.pom";
  TDane one, many;
  one.Append(IdentifiedRecord());
  for (int seed = 0; seed < 12; ++seed) many.Append(FullRecord(seed));

  ASSERT_TRUE(datafile::WriteDatabaseFile(path, many));
  TDane back;
  const auto read = datafile::ReadDatabaseFile(path, back);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->appended, 12u);
  EXPECT_EQ(back.Capacity(), 21u);

  // Replacing keeps the permissions; through a link the linked file changes and the link stays.
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  fs::create_symlink(path, folder / "link.pom");
  ASSERT_TRUE(datafile::WriteDatabaseFile(folder / "link.pom", one));
  EXPECT_EQ(Contents(path), datafile::DatabaseText(one));
  EXPECT_TRUE(fs::is_symlink(folder / "link.pom"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, mode);

  EXPECT_FALSE(datafile::WriteDatabaseFile(folder / "no/such/folder.pom", many));
  EXPECT_FALSE(datafile::WriteDatabaseFile(folder, many));  // a folder
  EXPECT_FALSE(datafile::WriteDatabaseFile(folder.string() + "/", many));
  EXPECT_EQ(Contents(path), datafile::DatabaseText(one));
  EXPECT_EQ(names().size(), 2u);  // the file and the link

  // A missing file and a folder cannot be opened for reading.
  TDane none;
  EXPECT_FALSE(datafile::ReadDatabaseFile(folder / "missing.pom", none).has_value());
  EXPECT_FALSE(datafile::ReadDatabaseFile(folder, none).has_value());
  fs::remove_all(folder);
}

}  // namespace
