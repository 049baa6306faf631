#include "data/data_file_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "data/data_file.h"
#include "hart/protokol.h"
#include "tests/support/fixture_records.h"
#include "ui/headless/headless_platform.h"

namespace fs = std::filesystem;

namespace {

// A window that records the program's own messages reaching it.
class Probe : public ui::Window {
 public:
  explicit Probe(ui::Window* parent) : ui::Window(parent) { Create(); }
  std::vector<std::pair<unsigned, ui::WParam>> received;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message < 0x10000) received.emplace_back(message, w);
    return ui::Window::HandleMessage(message, w, l);
  }
};

using Messages = std::vector<std::pair<unsigned, ui::WParam>>;

TDaneIPPC WithId(int id) {
  TDaneIPPC r;
  r.deviceId = id;
  return r;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The main window's side: a top-level owner, the data panel under it, a folder for files.
struct Document {
  Document() {
    std::string pattern = (fs::path(testing::TempDir()) / "k7cmdXXXXXX").string();
    folder = ::mkdtemp(pattern.data());
  }
  ~Document() { fs::remove_all(folder); }

  std::string Path(const std::string& name) const { return (folder / name).string(); }
  // A data file of `records` records whose count line says `declared`.
  std::string File(const std::string& name, int records, const std::string& declared) {
    TDane source;
    for (int i = 1; i <= records; ++i) source.Append(WithId(i));
    std::string text = datafile::DatabaseText(source);
    text.replace(0, text.find('\n'), declared);
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  const ui::MessageBoxRecord& LastBox() { return platform->MessageBoxes().back(); }
  const ui::FileDialogData& LastDialog() { return platform->FileDialogs().back(); }
  // What reached the owner (broadcasts) and the panel since the last call.
  std::pair<Messages, Messages> Received() {
    std::pair<Messages, Messages> out{std::move(owner.received), std::move(panel.received)};
    owner.received.clear();
    panel.received.clear();
    return out;
  }

  fs::path folder;
  ui::ScopedHeadlessPlatform platform;
  Probe owner{nullptr};
  Probe panel{&owner};
  TDane db;
  TDataFile file{db};
};

const std::string kNotFound = "Не найдено файла данных";
const std::string kReadError = "Ошибка считывания данных";
const std::string kUnwritten = "Не удалось записать файл данных: ";
const Messages kUntitledBroadcast{{117, 1}};
const Messages kTitledBroadcast{{117, 0}};
const Messages kRefresh{{kMsgShowRecord, 0}};
std::string CurrentFolder() { return fs::current_path().string() + "/"; }

TEST(DataFileCommands, MayCloseAnswersYesOnlyWhenNothingIsLost) {
  Document doc;
  EXPECT_TRUE(doc.file.Untitled());
  EXPECT_EQ(doc.file.DialogData().filter, "Файл измерений (*.pom)|*.pom|Все файлы (*.*)|*.*|");
  EXPECT_EQ(doc.file.DialogData().defaultExt, "POM");
  EXPECT_EQ(doc.file.DialogData().flags, 0x1004u);
  EXPECT_TRUE(doc.file.MayClose(doc.owner));  // nothing changed: no question
  EXPECT_TRUE(doc.platform->MessageBoxes().empty());

  doc.file.StoreIdentified(doc.owner, &doc.panel, WithId(12556));
  EXPECT_EQ(doc.Received(), std::make_pair(kUntitledBroadcast, kRefresh));
  EXPECT_TRUE(doc.file.Changed());

  doc.platform->QueueAnswer(ui::kIdCancel);
  EXPECT_FALSE(doc.file.MayClose(doc.owner));
  EXPECT_EQ(doc.LastBox().text, "Рапорт составлен. Куда хочешь записать?");
  EXPECT_EQ(doc.LastBox().caption, "Внимание Рапорта");
  EXPECT_EQ(doc.LastBox().flags, ui::kMbYesNoCancel | ui::kMbIconQuestion);
  doc.platform->QueueAnswer(ui::kIdNo);
  EXPECT_TRUE(doc.file.MayClose(doc.owner));
  EXPECT_TRUE(doc.platform->FileDialogs().empty());  // neither saved

  // Yes, then the save dialog cancelled, or a write that fails: no, and nothing changes.
  doc.platform->QueueAnswer(ui::kIdYes);
  doc.platform->QueueFileAnswer(std::nullopt);
  EXPECT_FALSE(doc.file.MayClose(doc.owner));
  EXPECT_EQ(doc.LastDialog().fileName, CurrentFolder());
  EXPECT_EQ(doc.LastDialog().flags, 0x0004u);  // a new name is fine for saving
  doc.platform->QueueAnswer(ui::kIdYes);
  doc.platform->QueueFileAnswer(doc.Path("missing/plant.pom"));
  EXPECT_FALSE(doc.file.MayClose(doc.owner));
  EXPECT_EQ(doc.LastBox().text, kUnwritten + doc.Path("missing/plant.pom") + "\nНет такого каталога.");
  EXPECT_EQ(doc.LastBox().caption, kReadError);
  EXPECT_EQ(doc.LastBox().flags, ui::kMbOk | ui::kMbIconExclamation);
  EXPECT_TRUE(doc.file.Changed());
  EXPECT_TRUE(doc.file.Untitled());
  EXPECT_EQ(doc.file.FileName(), "");
  EXPECT_EQ(doc.Received(), std::make_pair(Messages{}, Messages{}));

  // Yes, then a name: written, yes.
  const std::string path = doc.Path("plant.pom");
  doc.platform->QueueAnswer(ui::kIdYes);
  doc.platform->QueueFileAnswer(path);
  EXPECT_TRUE(doc.file.MayClose(doc.owner));
  EXPECT_EQ(Contents(path), datafile::DatabaseText(doc.db));
  EXPECT_FALSE(doc.file.Changed());
  EXPECT_FALSE(doc.file.Untitled());
  EXPECT_EQ(doc.file.FileName(), path);
  EXPECT_EQ(doc.Received().first, kTitledBroadcast);
}

TEST(DataFileCommands, SaveUsesTheLastNameAndNeverDestroysTheOldFile) {
  Document doc;
  doc.file.StoreIdentified(doc.owner, nullptr, WithId(1));
  const std::string path = doc.Path("plant.pom");
  doc.platform->QueueFileAnswer(path);
  ASSERT_TRUE(doc.file.Save(doc.owner));  // untitled: asks for a name

  doc.db.At(0).deviceId = 2;
  doc.file.ChangedFlag() = true;  // as a configuration dialog does
  EXPECT_TRUE(doc.file.Save(doc.owner));
  EXPECT_EQ(doc.platform->FileDialogs().size(), 1u);  // titled: no dialog
  EXPECT_NE(Contents(path).find(" 2.00000 "), std::string::npos);
  EXPECT_FALSE(doc.file.Changed());

  // Save as offers the current name; a failed one (the name is a folder) keeps everything.
  const std::string saved = Contents(path);
  doc.db.At(0).deviceId = 3;
  doc.file.ChangedFlag() = true;
  fs::create_directory(doc.Path("sub"));
  doc.platform->QueueFileAnswer(doc.Path("sub"));
  EXPECT_FALSE(doc.file.SaveAs(doc.owner));
  EXPECT_EQ(doc.LastDialog().fileName, path);
  EXPECT_EQ(doc.LastBox().text, kUnwritten + doc.Path("sub") + "\nЭто каталог, а не файл.");
  EXPECT_EQ(doc.file.FileName(), path);
  EXPECT_TRUE(doc.file.Changed());
  EXPECT_FALSE(doc.file.Untitled());
  EXPECT_EQ(Contents(path), saved);
  EXPECT_TRUE(fs::is_empty(doc.Path("sub")));
}

TEST(DataFileCommands, OpenNewAndIdentifyReplaceTheDatabase) {
  Document doc;
  const std::string twelve = doc.File("twelve.pom", 12, "12");
  doc.platform->QueueFileAnswer(twelve);
  EXPECT_TRUE(doc.file.Open(doc.owner, &doc.panel));
  EXPECT_EQ(doc.LastDialog().flags, 0x1004u);
  EXPECT_EQ(doc.db.Count(), 12u);
  EXPECT_EQ(doc.db.Capacity(), 21u);
  EXPECT_FALSE(doc.file.Changed());
  EXPECT_FALSE(doc.file.Untitled());
  EXPECT_EQ(doc.file.FileName(), twelve);
  EXPECT_EQ(doc.Received(), std::make_pair(kTitledBroadcast, kRefresh));
  EXPECT_TRUE(doc.platform->MessageBoxes().empty());

  doc.platform->QueueFileAnswer(std::nullopt);  // cancelled: nothing changes
  EXPECT_FALSE(doc.file.Open(doc.owner, &doc.panel));
  doc.file.ChangedFlag() = true;
  doc.platform->QueueAnswer(ui::kIdCancel);  // unsaved and Cancel: no dialog
  EXPECT_FALSE(doc.file.Open(doc.owner, &doc.panel));
  EXPECT_EQ(doc.platform->FileDialogs().size(), 2u);
  EXPECT_EQ(doc.db.Count(), 12u);
  EXPECT_EQ(doc.file.FileName(), twelve);

  // A file that fails on reading: said, naming it, and the unsaved document stays as it was.
  doc.platform->QueueAnswer(ui::kIdNo);
  doc.platform->QueueFileAnswer("/proc/self/mem");
  EXPECT_FALSE(doc.file.Open(doc.owner, &doc.panel));
  EXPECT_EQ(doc.LastBox().text, "Не удалось прочитать файл данных: /proc/self/mem\nОшибка ввода-вывода.");
  EXPECT_EQ(doc.db.Count(), 12u);
  EXPECT_TRUE(doc.file.Changed());
  EXPECT_EQ(doc.file.FileName(), twelve);

  // A file that cannot be opened: the message, and an empty, unchanged, untitled document that
  // keeps the chosen name for the next dialog.
  doc.platform->QueueAnswer(ui::kIdNo);
  doc.platform->QueueFileAnswer(doc.Path("missing.pom"));
  EXPECT_FALSE(doc.file.Open(doc.owner, nullptr));
  EXPECT_EQ(doc.LastBox().text, kNotFound);
  EXPECT_EQ(doc.LastBox().caption, kReadError);
  EXPECT_EQ(doc.db.Count(), 0u);
  EXPECT_FALSE(doc.file.Changed());
  EXPECT_TRUE(doc.file.Untitled());
  EXPECT_EQ(doc.file.FileName(), doc.Path("missing.pom"));

  // Identification after a load leaves just the identified record.
  doc.platform->QueueFileAnswer(twelve);
  ASSERT_TRUE(doc.file.Open(doc.owner, &doc.panel));
  doc.Received();
  doc.file.StoreIdentified(doc.owner, &doc.panel, WithId(12556));
  EXPECT_EQ(doc.db.Count(), 1u);
  EXPECT_EQ(doc.db.At(0), WithId(12556));
  EXPECT_TRUE(doc.file.Changed());
  EXPECT_TRUE(doc.file.Untitled());
  EXPECT_EQ(doc.Received(), std::make_pair(kUntitledBroadcast, kRefresh));

  // A new file: the question first, then empty, unchanged and untitled; the old file stays.
  doc.platform->QueueAnswer(ui::kIdCancel);
  EXPECT_FALSE(doc.file.NewFile(doc.owner, &doc.panel));
  EXPECT_EQ(doc.db.Count(), 1u);
  doc.platform->QueueAnswer(ui::kIdNo);
  EXPECT_TRUE(doc.file.NewFile(doc.owner, &doc.panel));
  EXPECT_EQ(doc.db.Count(), 0u);
  EXPECT_FALSE(doc.file.Changed());
  EXPECT_TRUE(doc.file.Untitled());
  EXPECT_EQ(doc.file.FileName(), "");
  EXPECT_EQ(doc.Received(), std::make_pair(kUntitledBroadcast, kRefresh));
  TDane reread;
  EXPECT_EQ(datafile::ReadDatabaseFile(twelve, reread)->appended, 12u);
}

TEST(DataFileCommands, DamagedFilesLoadWhatIsCompleteAndStayUntitled) {
  const std::vector<std::pair<std::string, std::size_t>> cases{
      {"3", 2}, {"-1", 0}, {"4294967295", 2}, {"", 0}, {"PK\x03\x04", 0}};
  for (const auto& [count, kept] : cases) {
    Document doc;
    doc.platform->QueueFileAnswer(doc.File("good.pom", 1, "1"));
    ASSERT_TRUE(doc.file.Open(doc.owner, &doc.panel));
    doc.Received();

    const std::string path = doc.File("damaged.pom", count.empty() ? 0 : 2, count);
    if (count.empty()) std::ofstream(path, std::ios::trunc);  // an empty file
    doc.platform->QueueFileAnswer(path);
    EXPECT_TRUE(doc.file.Open(doc.owner, &doc.panel)) << count;
    ASSERT_EQ(doc.platform->MessageBoxes().size(), 1u) << count;
    EXPECT_EQ(doc.LastBox().text,
              "Файл данных повреждён.\nСчитано записей: " + std::to_string(kept) + ".");
    EXPECT_EQ(doc.LastBox().caption, kReadError);
    EXPECT_EQ(doc.LastBox().flags, ui::kMbOk | ui::kMbIconExclamation);
    EXPECT_EQ(doc.db.Count(), kept) << count;
    for (std::size_t i = 0; i < kept; ++i) EXPECT_EQ(doc.db.At(i), WithId(static_cast<int>(i) + 1));
    EXPECT_EQ(doc.file.Changed(), kept > 0) << count;  // nothing read, nothing to save
    EXPECT_TRUE(doc.file.Untitled());
    EXPECT_EQ(doc.Received(), std::make_pair(kUntitledBroadcast, kRefresh)) << count;

    // Saving asks for a name; cancelling it leaves the damaged original as it was.
    const std::string original = Contents(path);
    doc.platform->QueueFileAnswer(std::nullopt);
    EXPECT_FALSE(doc.file.Save(doc.owner));
    EXPECT_EQ(doc.LastDialog().fileName, CurrentFolder());
    EXPECT_EQ(Contents(path), original);
  }
}

// An open that reads nothing leaves nothing to save and no name to save to: neither closing nor
// saving may write the empty database over the file that was open before.
TEST(DataFileCommands, AnOpenThatReadsNothingLeavesAnEmptyUntitledUnchangedDocument) {
  struct Case {
    const char* what;
    std::string box;  // the message after the open
  };
  const Case cases[] = {
      {"missing.pom", kNotFound},
      {"folder.pom", kNotFound},
      {"zip.pom", "Файл данных повреждён.\nСчитано записей: 0."},
      {"empty.pom", "Файл данных повреждён.\nСчитано записей: 0."},
  };
  for (const Case& c : cases) {
    Document doc;
    doc.file.StoreIdentified(doc.owner, &doc.panel, UnlikeDefaultsRecord());
    ASSERT_TRUE(doc.db.Append(BystanderRecord()));
    const std::string good = doc.Path("good.pom");
    doc.platform->QueueFileAnswer(good);
    ASSERT_TRUE(doc.file.SaveAs(doc.owner));
    const std::string saved = Contents(good);
    doc.db.At(0).damping = 2.0f;  // a change, then an open without saving it
    doc.file.ChangedFlag() = true;
    fs::create_directory(doc.Path("folder.pom"));
    std::ofstream(doc.Path("zip.pom"), std::ios::binary) << "PK\x03\x04";
    std::ofstream(doc.Path("empty.pom"), std::ios::binary);
    doc.Received();

    doc.platform->QueueAnswer(ui::kIdNo);
    doc.platform->QueueFileAnswer(doc.Path(c.what));
    doc.file.Open(doc.owner, &doc.panel);
    EXPECT_EQ(doc.LastBox().text, c.box) << c.what;
    EXPECT_EQ(doc.db.Count(), 0u) << c.what;
    EXPECT_FALSE(doc.file.Changed()) << c.what;
    EXPECT_TRUE(doc.file.Untitled()) << c.what;
    EXPECT_EQ(doc.Received(), std::make_pair(kUntitledBroadcast, kRefresh)) << c.what;

    // Closing asks nothing; saving asks for a name, and cancelling it writes nothing.
    const std::size_t boxes = doc.platform->MessageBoxes().size();
    EXPECT_TRUE(doc.file.MayClose(doc.owner)) << c.what;
    EXPECT_EQ(doc.platform->MessageBoxes().size(), boxes) << c.what;
    doc.platform->QueueFileAnswer(std::nullopt);
    EXPECT_FALSE(doc.file.Save(doc.owner)) << c.what;
    EXPECT_EQ(doc.LastDialog().fileName, CurrentFolder()) << c.what;
    EXPECT_EQ(Contents(good), saved) << c.what;
  }
}

}  // namespace
