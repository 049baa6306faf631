#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "calib/read_pv_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

constexpr ui::Color kBlue{0, 0, 255};
constexpr ui::Color kFace{192, 192, 192};  // the headless button face

// Every request that leaves the dialog, as the frame trace writes it.
struct SentFrames {
  std::FILE* file = std::tmpfile();
  hart::FrameTrace trace{file};
  ~SentFrames() {
    trace.Flush();
    std::fclose(file);
  }
  std::vector<std::string> Lines() {
    std::fflush(file);
    std::rewind(file);
    std::vector<std::string> lines;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
      if (std::strstr(line, " TX ")) lines.emplace_back(line);
    }
    std::fseek(file, 0, SEEK_END);
    return lines;
  }
};

// What stays visible: blue text is drawn, and text in the background colour erases the same text
// at the same place in the same font. Two texts left at one place are stale text.
std::map<std::tuple<int, int, std::string>, std::set<std::string>> Screen(
    const std::vector<ui::DrawOp>& ops) {
  std::map<std::tuple<int, int, std::string>, std::set<std::string>> screen;
  for (const ui::DrawOp& op : ops) {
    if (op.kind != ui::DrawOp::Kind::Text) continue;
    auto& texts = screen[{op.x, op.y, op.font.face}];
    if (op.color == kBlue) {
      texts.insert(op.text);
    } else if (op.color == kFace) {
      texts.erase(op.text);
    } else {
      ADD_FAILURE() << "unexpected colour for " << op.text;
    }
  }
  std::erase_if(screen, [](const auto& entry) { return entry.second.empty(); });
  return screen;
}

void ExpectScreen(const std::vector<ui::DrawOp>& ops, const std::string& unit,
                  const std::string& pressure, const std::string& current) {
  using Texts = std::set<std::string>;
  const auto screen = Screen(ops);
  ASSERT_EQ(screen.size(), 4u);
  EXPECT_EQ(screen.at({80, 10, "System"}), Texts{unit});
  EXPECT_EQ(screen.at({80, 90, "System"}), Texts{"[mA]"});
  EXPECT_EQ(screen.at({20, 20, "Times New Roman"}), Texts{pressure});
  EXPECT_EQ(screen.at({20, 100, "Times New Roman"}), Texts{current});
}

struct ReadPV : ListDialogTest<TReadPV> {
  SentFrames sent;
  TSerialPortSettings settings{{}, &sent.trace};
  void Click(ui::Dialog& dialog, int id) { ASSERT_TRUE(dialog.Item(id)->UserClick()); }
};

TEST(MeasuredValueText, WritesPrintfTenGInEveryLocale) {
  EXPECT_EQ(calib::MeasuredValueText(152.23f), "    152.23");
  EXPECT_EQ(calib::MeasuredValueText(6.2f), "       6.2");
  EXPECT_EQ(calib::MeasuredValueText(0.0f), "         0");
  EXPECT_EQ(calib::MeasuredValueText(-0.0f), "        -0");
  EXPECT_EQ(calib::MeasuredValueText(1e-05f), "     1e-05");
  EXPECT_EQ(calib::MeasuredValueText(123456789.0f), "1.23457e+08");
  EXPECT_EQ(calib::MeasuredValueText(999999.0f), "    999999");
  EXPECT_EQ(calib::MeasuredValueText(9999995.0f), "     1e+07");
  EXPECT_EQ(calib::MeasuredValueText(1.0f / 0.0f), "       inf");

  // Any float, against the C library's own %10g in the C locale.
  const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  ASSERT_NE(c, nullptr);
  const locale_t before = uselocale(c);
  std::mt19937 bits(7);
  for (int i = 0; i < 20000; ++i) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(bits()));
    char expected[64];
    std::snprintf(expected, sizeof expected, "%10g", static_cast<double>(v));
    ASSERT_EQ(calib::MeasuredValueText(v), expected) << std::bit_cast<std::uint32_t>(v);
  }
  uselocale(before);
  freelocale(c);

  // A Russian desktop writes decimal commas, the reading dialog still a point.
  if (std::setlocale(LC_ALL, "ru_RU.utf8") != nullptr) {
    EXPECT_EQ(calib::MeasuredValueText(152.23f), "    152.23");
    EXPECT_EQ(calib::MeasuredValueText(1e-05f), "     1e-05");
  }
  std::setlocale(LC_ALL, "C");
}

TEST_F(ReadPV, EmptyDatabaseReportsAndNeverBuildsARequest) {
  EmptyDatabase();
  TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.Item(TLista::kSendButtonId)->UserClick();
  platform->Advance(2000);
  EXPECT_TRUE(dialog.Request().empty());
  EXPECT_TRUE(sent.Lines().empty());
  EXPECT_FALSE(changed);
}

TEST_F(ReadPV, TemplateAndTheFirstPaintingAtSetUp) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    EXPECT_EQ(d.Caption(), "Считывание Давления и Напряжения ");
    EXPECT_EQ(d.Item(TLista::kSendButtonId)->Text(), "Читай");
    EXPECT_EQ(d.Item(TLista::kSendButtonId)->Kind(), ui::ControlKind::DefPushButton);
    EXPECT_EQ(d.Item(ui::kIdCancel)->Text(), "Отмена");
    EXPECT_EQ(d.Item(TReadPV::kContinuousId)->Kind(), ui::ControlKind::CheckBox);
    EXPECT_EQ(d.Item(TReadPV::kContinuousId)->Text(), "Постоянное считывание");
    EXPECT_FALSE(d.Item(TReadPV::kContinuousId)->Checked());
    EXPECT_FALSE(d.Item(TLista::kGroupBoxId)->Visible());
    EXPECT_EQ(d.Item(TLista::kGroupBoxId)->RectDu(), (ui::Rect{0, 0, 6, 6}));
    EXPECT_FALSE(d.Item(TLista::kListBoxId)->Visible());
    EXPECT_FALSE(d.Item(TLista::kListLabelId)->Visible());
    // The visible controls lie below the painted values (170 pixels, 105 units) and apart.
    std::vector<ui::Rect> visible;
    for (const auto& control : d.Controls()) {
      if (!control->Visible()) continue;
      const ui::Rect r = control->RectDu();
      EXPECT_GE(r.y, 105) << control->Id();
      EXPECT_LE(r.x + r.width, d.Template().rect.width) << control->Id();
      EXPECT_LE(r.y + r.height, d.Template().rect.height) << control->Id();
      for (const ui::Rect& o : visible) {
        EXPECT_TRUE(r.x >= o.x + o.width || o.x >= r.x + r.width || r.y >= o.y + o.height ||
                    o.y >= r.y + r.height)
            << control->Id();
      }
      visible.push_back(r);
    }

    const auto& ops = platform->Drawing(d);
    ASSERT_EQ(ops.size(), 7u);
    const ui::Font valueFont{"Times New Roman", 66, 0, 15, 700, false, 2, 0x12};
    const ui::Font defaultFont = ops[0].font;
    EXPECT_NE(defaultFont, valueFont);
    const std::vector<std::tuple<int, int, std::string, ui::Color, ui::Font>> expected{
        {80, 10, "[Отсутствие]", kFace, defaultFont},
        {80, 10, "[Отсутствие]", kBlue, defaultFont},
        {80, 90, "[mA]", kBlue, defaultFont},
        {20, 20, "         0", kFace, valueFont},
        {20, 100, "         0", kFace, valueFont},
        {20, 20, "         0", kBlue, valueFont},
        {20, 100, "         0", kBlue, valueFont},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const auto& [x, y, text, colour, font] = expected[i];
      EXPECT_EQ(ops[i].x, x) << i;
      EXPECT_EQ(ops[i].y, y) << i;
      EXPECT_EQ(ops[i].text, text) << i;
      EXPECT_EQ(ops[i].color, colour) << i;
      EXPECT_EQ(ops[i].font, font) << i;
      EXPECT_EQ(ops[i].bkMode, ui::BkMode::Transparent) << i;
    }
    EXPECT_TRUE(sent.Lines().empty());
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
  dialog.Execute();
  EXPECT_FALSE(changed);
}

TEST_F(ReadPV, ReadingSendsCommandThreeAndPaintsTheAnswerWithTheRecordsUnit) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TReadPV&>(d);
    Click(dialog, TLista::kSendButtonId);
    ExpectSentToRecord(dialog, ToRecord(0x03));
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(dialog.linkParam2, 26);

    platform->Advance(399);
    EXPECT_FALSE(changed);
    EXPECT_EQ(dialog.Pressure(), 0.0f);
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(dialog.Pressure()), 0x43183AE1u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(dialog.LoopCurrent()), 0x40C66666u);
    ExpectScreen(platform->Drawing(dialog), "[Bar]", "    152.23", "       6.2");
    EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));

    // The unit comes from the record at each reply; names without an entry show as absent.
    db.At(0).unitCode = 237;
    db.At(0).preambles = 7;
    Click(dialog, TLista::kSendButtonId);
    EXPECT_EQ(dialog.preambleCount, 7);
    platform->Advance(400);
    ExpectScreen(platform->Drawing(dialog), "[МПа]", "    152.23", "       6.2");
    db.At(0).unitCode = 20;
    Click(dialog, TLista::kSendButtonId);
    platform->Advance(400);
    ExpectScreen(platform->Drawing(dialog), "[Отсутствие]", "    152.23", "       6.2");

    // Another selection repaints the last reading with the last unit, and reads nothing.
    db.At(0).unitCode = 6;
    const std::size_t before = platform->Drawing(dialog).size();
    dialog.SendMessage(ui::kMsgCommand,
                       ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_GT(platform->Drawing(dialog).size(), before);
    ExpectScreen(platform->Drawing(dialog), "[Отсутствие]", "    152.23", "       6.2");
    EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
    Click(dialog, TLista::kSendButtonId);
    platform->Advance(400);
    ExpectScreen(platform->Drawing(dialog), "[PSI]", "    152.23", "       6.2");
    EXPECT_EQ(sent.Lines().size(), 4u);
    Click(dialog, ui::kIdCancel);
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_EQ(panel.refreshes, 0);  // reading changes nothing the panel shows
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(ReadPV, PaintMessageRedrawsTheReadingAndRestoresTheFont) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    Click(d, TLista::kSendButtonId);
    platform->Advance(400);

    platform->ClearDrawing(d);
    platform->Paint(d);
    ExpectScreen(platform->Drawing(d), "[Bar]", "    152.23", "       6.2");
    for (const ui::DrawOp& op : platform->Drawing(d)) {
      EXPECT_EQ(op.bkMode, ui::BkMode::Transparent);
      if (op.font.face == "Times New Roman") {
        EXPECT_EQ(op.font, TReadPV::ValueFont());
      }
    }
    // A paint message in between leaves the next reading's erasing intact.
    Click(d, TLista::kSendButtonId);
    platform->Advance(400);
    ExpectScreen(platform->Drawing(d), "[Bar]", "    152.23", "       6.2");

    std::vector<ui::DrawOp> ops;
    ui::RecordingContext dc(ops, d.ClientRect());
    const ui::Font own{"Arial", 12};
    dc.SelectFont(own);
    d.SendMessage(ui::kMsgPaint, 0, reinterpret_cast<ui::LParam>(static_cast<ui::DeviceContext*>(&dc)));
    EXPECT_EQ(dc.SelectFont(own), own);
    ASSERT_EQ(ops.size(), 7u);
    EXPECT_EQ(ops[2].text, "[mA]");
    EXPECT_EQ(ops[2].font, own);
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
  dialog.Execute();
}

TEST_F(ReadPV, ContinuousReadingEveryFourHundredMillisecondsUntilCleared) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    Click(d, TReadPV::kContinuousId);
    EXPECT_TRUE(sent.Lines().empty());  // checking the box alone reads nothing
    Click(d, TLista::kSendButtonId);
    for (int i = 0; i < 5; ++i) platform->Advance(400);
    auto lines = sent.Lines();
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i], std::to_string(400 * i) +
                              " TX 82 26 03 0A 1B 2C 03 00 99 preambles=9 p1=3 p2=26 long=1\n");
    }
    ExpectScreen(platform->Drawing(d), "[Bar]", "    152.23", "       6.2");

    // Cleared: the reading in progress still ends in a painting, and nothing follows.
    Click(d, TReadPV::kContinuousId);
    const std::size_t before = platform->Drawing(d).size();
    platform->Advance(400);
    EXPECT_GT(platform->Drawing(d).size(), before);
    platform->Advance(4000);
    EXPECT_EQ(sent.Lines().size(), 6u);
    Click(d, TReadPV::kContinuousId);
    platform->Advance(4000);
    EXPECT_EQ(sent.Lines().size(), 6u);

    // Closing ends a continuous reading.
    Click(d, TLista::kSendButtonId);
    platform->Advance(800);
    EXPECT_EQ(sent.Lines().size(), 9u);
    Click(d, ui::kIdCancel);
  });
  {
    TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
    EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
    platform->Advance(4000);
  }
  platform->Advance(4000);
  EXPECT_EQ(sent.Lines().size(), 9u);
}

TEST_F(ReadPV, FailureEvents) {
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TReadPV&>(d);
    Click(dialog, TReadPV::kContinuousId);
    Click(dialog, TLista::kSendButtonId);
    platform->Advance(400);
    changed = false;

    // No answer: its message, and the continuous reading stops there.
    dialog.SendMessage(kEvNoAnswer);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
    EXPECT_EQ(platform->MessageBoxes()[0].caption, "");
    EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);
    platform->Advance(2000);
    EXPECT_FALSE(changed);
    EXPECT_EQ(sent.Lines().size(), 2u);

    // A non-zero status: no message and nothing painted, but the continuous reading goes on.
    const std::size_t painted = platform->Drawing(dialog).size();
    dialog.frame[108] = 0x05;
    dialog.SendMessage(kEvStatusError);
    EXPECT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->Drawing(dialog).size(), painted);
    EXPECT_EQ(sent.Lines().size(), 3u);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(sent.Lines().size(), 4u);

    // Without the box a non-zero status sends nothing.
    Click(dialog, TReadPV::kContinuousId);
    platform->Advance(400);
    dialog.SendMessage(kEvStatusError);
    platform->Advance(2000);
    EXPECT_EQ(sent.Lines().size(), 4u);

    dialog.SendMessage(kEvLineBusy);
    ASSERT_EQ(platform->MessageBoxes().size(), 2u);
    EXPECT_EQ(platform->MessageBoxes()[1].text,
              "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(platform->MessageBoxes()[1].caption, "");
    EXPECT_EQ(platform->MessageBoxes()[1].flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(sent.Lines().size(), 4u);
  });
  TReadPV dialog(nullptr, db, changed, memory, settings, &panel);
  dialog.Execute();
}

TEST_F(ReadPV, FromAnotherTransmitterTheReadingComesFromTheReplyAndAShortReplyIsAStatusError) {
  FakeLink link;
  // Loop current, unit, pressure; the pressure's lowest byte is lost in the three-byte form.
  link.Answer(3, ReplyData({WireFloat(12.75f), {237}, {0x42, 0xF7, 0x00, 0x7F}}));
  platform->OnModal(TReadPV::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TReadPV&>(d);
    Click(dialog, 801);
    ASSERT_EQ(link.Requests().size(), 1u);
    EXPECT_EQ(link.Requests()[0], Sent(dialog));
    platform->Advance(399);
    EXPECT_FALSE(changed);
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dialog.Pressure(), 123.5f);
    EXPECT_EQ(dialog.LoopCurrent(), 12.75f);
    ExpectScreen(platform->Drawing(dialog), "[МПа]", "     123.5", "     12.75");

    // Unit and pressure missing: nothing is decoded, and as after any status error a continuous
    // reading goes on without a message.
    changed = false;
    link.Answer(3, ReplyData({WireFloat(4.0f)}));
    Click(dialog, TReadPV::kContinuousId);
    Click(dialog, 801);
    platform->Advance(400);
    EXPECT_FALSE(changed);
    EXPECT_EQ(dialog.Pressure(), 123.5f);
    EXPECT_EQ(dialog.LoopCurrent(), 12.75f);
    EXPECT_TRUE(platform->MessageBoxes().empty());
    EXPECT_TRUE(link.Waiting());
    Click(dialog, TReadPV::kContinuousId);
    link.Deliver();
    EXPECT_FALSE(link.Waiting());
    ExpectScreen(platform->Drawing(dialog), "[МПа]", "     123.5", "     12.75");
  });
  TReadPV dialog(nullptr, db, changed, memory, {{}, nullptr, &link}, &panel);
  dialog.Execute();
}

}  // namespace
