#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/compare_command.h"
#include "app/compare_window.h"
#include "app/configuration.h"
#include "data/data_file.h"
#include "data/database.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "journal/journal.h"
#include "tests/support/model_answerer.h"
#include "tests/support/temp_data_home.h"
#include "tests/support/test_transmitter.h"
#include "ui/headless/headless_platform.h"

namespace {

// The transmitter state a case sets, answered on the dialogs' own reply timer as the simulated
// transmitter answers: a line's rules, one command refused as write-protected, or silence.
struct Line {
  hart::TransmitterModel model = testhart::TestModel();
  std::uint8_t refused = 0;
  bool silent = false;
};

class ModelLink : public hart::Link {
 public:
  explicit ModelLink(Line& line) : line_(line) {}
  void Transmit(THartProtokol& dialog) override {
    request_.assign(dialog.Request().begin(), dialog.Request().end());
    waiting_ = &dialog;
    dialog.ArmReplyTimer();
  }
  void Forget(THartProtokol& dialog) override {
    if (waiting_ == &dialog) waiting_ = nullptr;
  }
  void ReplyDue(THartProtokol& dialog) override {
    if (waiting_ != &dialog) return;
    waiting_ = nullptr;
    hart::AnswerRules rules;
    rules.answersEverything = false;
    hart::TransmitterModel probe = line_.model;
    std::vector<std::uint8_t> reply = hart::Answer(probe, request_, rules);
    if (line_.silent || reply.empty()) {
      dialog.SendMessage(kEvNoAnswer);
      return;
    }
    if (request_[0] == hart::kLongDelimiter && request_[6] == line_.refused) {
      reply = testhart::CodeAlone(reply, 7);
    } else {
      line_.model = probe;
    }
    std::copy(reply.begin(), reply.end(), dialog.Reply().begin());
    dialog.NoteReceived(static_cast<int>(reply.size()), THartProtokol::kNoPreambles);
    dialog.SendMessage(hart::OutcomeOf(dialog.Reply()));
  }

 private:
  Line& line_;
  THartProtokol* waiting_ = nullptr;
  std::vector<std::uint8_t> request_;
};

struct Outcome {
  int status = 0;
  std::string out;
  std::string err;
};

struct CompareApplyTest : ::testing::Test {
  TempDataHome home;
  Line line;
  DeviceArgs args = [this] {
    DeviceArgs a;
    a.file = home.Dir() + "/record.pom";
    return a;
  }();
  LinkMaker maker = [this] { return std::make_unique<ModelLink>(line); };

  TDaneIPPC Identified() {
    ui::ScopedHeadlessPlatform platform;
    ModelLink link(line);
    TSerialPortSettings settings;
    settings.link = &link;
    return IdentifyTransmitter(nullptr, settings).value_or(TDaneIPPC{});
  }
  void Save(const TDaneIPPC& record) {
    ui::ScopedHeadlessPlatform platform;
    TDane db;
    db.Append(TDaneIPPC{});
    db.Append(record);
    args.record = 2;
    ASSERT_TRUE(datafile::WriteDatabaseFile(args.file, db));
  }
  Outcome Run(int (*run)(const DeviceArgs&, std::FILE*, std::FILE*, const LinkMaker&),
              const LinkMaker& link) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome o;
    o.status = run(args, out, err, link);
    for (auto [file, text] : {std::pair{out, &o.out}, std::pair{err, &o.err}}) {
      std::rewind(file);
      char buffer[4096];
      while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text->append(buffer, n);
      std::fclose(file);
    }
    return o;
  }
  std::vector<std::string> Differing(const std::string& out) {
    std::vector<std::string> names;
    for (std::size_t at = out.find("≠ "); at != std::string::npos; at = out.find("≠ ", at + 1)) {
      const std::size_t from = at + std::string("≠ ").size();
      names.push_back(out.substr(from, out.find(':', from) - from));
    }
    return names;
  }
};

TEST_F(CompareApplyTest, CompareNamesEachFieldThatDiffersAndOnlyThose) {
  struct Case {
    const char* what;
    std::function<void(TDaneIPPC&)> file;
    std::function<void(hart::TransmitterModel&)> transmitter;
    std::vector<std::string> differing;
  };
  const std::vector<Case> cases{
      {"the same", {}, {}, {}},
      {"unit in the file", [](TDaneIPPC& r) { r.unitCode = 7; }, {}, {"Единицы"}},
      // Below what the wire's three bytes carry: the same value.
      {"upper end past the wire", [](TDaneIPPC& r) { r.upperRange *= 1.000001f; }, {}, {}},
      {"lower end", [](TDaneIPPC& r) { r.lowerRange += 1.0f; }, {}, {"Нижний предел диапазона"}},
      {"damping on the transmitter", {}, [](hart::TransmitterModel& m) { m.damping = 4.0f; },
       {"Постоянная времени [с]"}},
      {"transfer function", {}, [](hart::TransmitterModel& m) { m.transferFunction = 1; },
       {"Характеристика преобразования"}},
      {"tag and message", [](TDaneIPPC& r) { r.tag[0] ^= 0x04; r.message[5] ^= 0x10; }, {},
       {"Тег", "Сообщение"}},
      {"descriptor and date", [](TDaneIPPC& r) { r.descriptor[1] ^= 0x01; r.dateDay = 2; }, {},
       {"Дескриптор", "Дата"}},
      {"polling address and preambles",
       [](TDaneIPPC& r) { r.pollingAddress = 9; r.preambles = 20; }, {},
       {"Адрес датчика", "Преамбулы"}},
      {"identity only", [](TDaneIPPC& r) { r.deviceId += 1; r.manufacturerId += 1; }, {}, {}},
  };
  const hart::TransmitterModel original = line.model;
  const TDaneIPPC identified = Identified();
  ASSERT_EQ(identified.deviceId, static_cast<std::int32_t>(original.deviceId));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    line.model = original;
    if (c.transmitter) c.transmitter(line.model);
    TDaneIPPC record = identified;
    if (c.file) c.file(record);
    Save(record);
    const Outcome o = Run(RunCompare, maker);
    EXPECT_EQ(Differing(o.out), c.differing) << o.out << o.err;
    EXPECT_EQ(o.status, c.differing.empty() ? 0 : kExitDifferent);
  }
  line.silent = true;
  EXPECT_EQ(Run(RunCompare, maker).status, kExitUnread);
  args.record = 3;
  EXPECT_EQ(Run(RunCompare, maker).status, 2);
}

// The record of another configuration, for apply to write: every part it writes differs.
TDaneIPPC Reconfigured(TDaneIPPC r) {
  r.unitCode = 7;
  r.upperRange = 1.5f;
  r.lowerRange = -0.25f;
  r.damping = 0.5f;
  r.transferFunction = 1;
  r.tag[0] ^= 0x04;
  r.descriptor[2] ^= 0x08;
  r.dateMonth = 11;
  r.message[7] ^= 0x20;
  return r;
}

TEST_F(CompareApplyTest, ApplyWritesEachPartReadsItBackAndStopsAtARefusal) {
  const TDaneIPPC identified = Identified();
  Save(Reconfigured(identified));
  line.refused = 34;
  const hart::TransmitterModel before = line.model;
  Outcome o = Run(RunApply, maker);
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_NE(o.out.find("Постоянная времени: прибор отказал: Код ответа 7: Преобразователь защищён от "
                       "записи.\n"
                       "Запись остановлена. Уже записано: Единицы, Диапазон.\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(line.model.unit, 7);
  EXPECT_EQ(line.model.damping, before.damping);
  EXPECT_EQ(line.model.tag, before.tag);

  line.refused = 0;
  o = Run(RunApply, maker);
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(Run(RunCompare, maker).status, 0);

  // Every write in the journal, the refused one with its code.
  std::string warning;
  const auto journal = journal::Journal::Open(journal::DefaultPath(), warning);
  ASSERT_NE(journal, nullptr);
  std::vector<std::string> outcomes;
  for (const journal::Entry& e : journal->List({})) {
    outcomes.push_back(std::to_string(e.command) + " " + e.outcome);
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{
                          "44 выполнено", "35 выполнено", "34 отказ прибора. Код ответа 7: Преобразователь защищён от записи.",
                          "44 выполнено", "35 выполнено", "34 выполнено", "47 выполнено",
                          "18 выполнено", "17 выполнено"}));
}

TEST_F(CompareApplyTest, ApplyWritesNothingToAnotherKindOfTransmitterUnlessForced) {
  TDaneIPPC other = Reconfigured(Identified());
  other.deviceType += 1;
  Save(other);
  const hart::TransmitterModel before = line.model;
  const Outcome refused = Run(RunApply, maker);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("Ничего не записано"), std::string::npos) << refused.err;
  EXPECT_EQ(line.model.unit, before.unit);
  args.force = true;
  EXPECT_EQ(Run(RunApply, maker).status, 0);
  EXPECT_EQ(line.model.unit, 7);
}

// In the window only the ticked rows are written: damping unticked stays as the transmitter has it.
TEST_F(CompareApplyTest, TheWindowWritesTheRowsTheTechnicianTicks) {
  const TDaneIPPC device = Identified();
  TDaneIPPC file = device;
  file.unitCode = 7;
  file.damping = device.damping + 1.5f;
  file.pollingAddress = 4;
  ui::ScopedHeadlessPlatform platform;
  ModelLink link(line);
  TSerialPortSettings settings;
  settings.link = &link;
  TCompareWindow window(nullptr, settings, file, device);
  std::vector<std::string> marked;
  platform->OnModal(TCompareWindow::kResourceId, [&](ui::Dialog& d) {
    for (int i = 0; d.Item(TCompareWindow::kRowMarkId + i) != nullptr; ++i) {
      if (d.Item(TCompareWindow::kRowMarkId + i)->Text() == "≠") {
        marked.push_back(d.Item(TCompareWindow::kRowTickId + i)->Text());
      }
    }
    // The damping row, after the three identity rows and the unit and range ones, unticked.
    ASSERT_TRUE(d.Item(TCompareWindow::kRowTickId + 6)->UserClick());
    ASSERT_TRUE(d.Item(TCompareWindow::kApplyId)->UserClick());
    d.EndDialog(ui::kIdCancel);
  });
  window.Execute();
  EXPECT_EQ(marked, (std::vector<std::string>{"Единицы", "Постоянная времени [с]", "Адрес датчика"}));
  EXPECT_EQ(line.model.unit, 7);
  EXPECT_EQ(line.model.damping, testhart::TestModel().damping);
  EXPECT_EQ(line.model.pollingAddress, testhart::TestModel().pollingAddress);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Единицы: [Bar] — записано и прочитано\nКонфигурация записана в преобразователь.");
}

// The same over a serial line, the pseudo-terminal test transmitter in real time.
TEST_F(CompareApplyTest, ApplyOverTheSerialTestTransmitter) {
  testhart::TestTransmitter transmitter;
  transmitter.SetModel(line.model);
  Save(Reconfigured(Identified()));
  args.port = transmitter.Device();
  const Outcome o = Run(RunApply, {});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(transmitter.Model().unit, 7);
  EXPECT_EQ(transmitter.Model().transferFunction, 1);
  EXPECT_EQ(Run(RunCompare, {}).status, 0);
}

}  // namespace
