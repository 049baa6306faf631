#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "config/messages_dialog.h"
#include "hart/transmitter_model.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"
#include "tests/support/model_answerer.h"

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kHeader = Concat({{0x82}, kRecordAddress});
// "ПРИВЕТ МИР", "ДАВЛЕНИЕ" and "ТЕСТ" packed with the Cyrillic substitution, padded with blanks.
const Bytes kPackedGreeting{0xA1, 0x09, 0x42, 0x15, 0x48, 0x0D, 0x95, 0x08, 0x20, 0x82, 0x08, 0x20,
                            0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
const Bytes kPackedPressure{0x74, 0x10, 0xA7, 0x14, 0x89, 0x45, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
const Bytes kPackedTest{0x50, 0x50, 0xD4, 0x82, 0x08, 0x20};

std::string Padded(const std::string& text, std::size_t characters) {
  return text + std::string(characters - ui::utf8::Length(text), ' ');
}

struct Messages : ListDialogTest<TMessages> {
  static void Page(TMessages& d, int page) {
    ASSERT_TRUE(d.Item(TMessages::kTabs)->UserSelect(page));
  }
  static void Type(TMessages& d, int id, const std::string& text) {
    ASSERT_TRUE(d.Item(id)->UserType(text)) << id;
  }
};

// Exactly the page's own controls and the common ones are visible and enabled; what is visible
// lies inside the dialog, fits its text and overlaps nothing else.
void ExpectPageShowsItsOwn(TMessages& d, int page) {
  for (int p = 0; p < TMessages::kPageCount; ++p) {
    for (int id : TMessages::PageControls(p)) {
      EXPECT_EQ(d.Item(id)->Visible(), p == page) << "page " << page << " control " << id;
      EXPECT_EQ(d.Item(id)->Enabled(), p == page) << "page " << page << " control " << id;
    }
  }
  const int common[] = {TLista::kGroupBoxId, TMessages::kTabs, TMessages::kReadButton,
                        TLista::kSendButtonId, ui::kIdCancel};
  for (int id : common)
    EXPECT_TRUE(d.Item(id)->Visible() && d.Item(id)->Enabled()) << id;

  ExpectShownInsideAndApart(d);
  for (const auto& c : d.Controls()) {
    if (!c->Visible() || c->Kind() == ui::ControlKind::Edit) continue;
    const int room = c->Kind() == ui::ControlKind::GroupBox ? c->RectDu().width - 12
                                                            : c->RectDu().width;
    EXPECT_GE(room, TextWidth(c->Text())) << c->Id();
  }
  ExpectTabsFit(*d.Item(TMessages::kTabs));
}

TEST_F(Messages, TemplatePagesAndFields) {
  const ui::DialogTemplate tpl = TMessages::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 921);
  EXPECT_EQ(tpl.caption, "Сообщения");

  Run([&](TMessages& d) {
    EXPECT_EQ(d.Item(TMessages::kTabs)->Items(),
              (std::vector<std::string>{"Информация", "Описание", "Номер",
                                        "Идентификация с помощью Определителя"}));
    EXPECT_EQ(d.Item(TMessages::kTabs)->Selection(), 0);
    EXPECT_FALSE(d.Item(TLista::kListBoxId)->Visible());

    // Limits count the terminating null.
    const std::pair<int, int> limits[] = {
        {TMessages::kMessage, 33}, {TMessages::kTag, 9},  {TMessages::kDescriptor, 17},
        {TMessages::kDay, 3},      {TMessages::kMonth, 3}, {TMessages::kYear, 5},
        {TMessages::kAssemblyNumber, 9}};
    for (auto [id, limit] : limits) EXPECT_EQ(d.Item(id)->TextLimit(), limit) << id;
    for (int id : {TMessages::kMessage, TMessages::kTag, TMessages::kDescriptor})
      EXPECT_TRUE(d.Item(id)->UpperCase()) << id;
    const std::tuple<int, long, long> ranges[] = {{TMessages::kDay, 1, 31},
                                                  {TMessages::kMonth, 1, 12},
                                                  {TMessages::kYear, 1900, 2155},
                                                  {TMessages::kAssemblyNumber, 0, 16777215}};
    for (auto [id, min, max] : ranges) {
      ASSERT_TRUE(d.Item(id)->Validator().has_value()) << id;
      EXPECT_EQ(d.Item(id)->Validator()->min, min);
      EXPECT_EQ(d.Item(id)->Validator()->max, max);
    }

    // The fields start empty; a page change shows the record.
    EXPECT_EQ(Text(d, TMessages::kMessage), "");
    EXPECT_EQ(Text(d, TMessages::kYear), "");
    ExpectPageShowsItsOwn(d, 0);
    for (int page : {1, 2, 3, 0}) {
      Page(d, page);
      ExpectPageShowsItsOwn(d, page);
    }
    EXPECT_EQ(Text(d, TMessages::kDay), "14");
    EXPECT_EQ(Text(d, TMessages::kMonth), "3");
    EXPECT_EQ(Text(d, TMessages::kYear), "2021");
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "654321");
    EXPECT_EQ(Text(d, TMessages::kMessage), Padded("ЦЕХ 4 ЛИНИЯ ПАРА ЗАМЕНА 2021", 32));
    EXPECT_EQ(Text(d, TMessages::kTag), Padded("ПД-107", 8));
    EXPECT_EQ(Text(d, TMessages::kDescriptor), Padded("КОТЕЛ 2 ВЫХОД", 16));

    // Controls of a hidden page refuse the operator.
    EXPECT_FALSE(d.Item(TMessages::kTag)->UserType("X"));
    d.Item(ui::kIdCancel)->UserClick();
    EXPECT_TRUE(d.Ended());
  });
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(Messages, WritingEachPage) {
  Run([&](TMessages& d) {
    // Page 0: lower-case Cyrillic is taken as capitals and goes out packed.
    Type(d, TMessages::kMessage, "привет мир");
    EXPECT_EQ(Text(d, TMessages::kMessage), "ПРИВЕТ МИР");
    d.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_EQ(Bytes(db.At(0).message.begin(), db.At(0).message.end()), kPackedGreeting);
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x11, 0x18}, kPackedGreeting})));
    EXPECT_EQ(Sent(d).size(), 33u);
    EXPECT_EQ(Text(d, TMessages::kMessage), "");
    EXPECT_EQ(d.AwaitedCommand(), 17);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kMessage), Padded("ПРИВЕТ МИР", 32));
    EXPECT_EQ(d.AwaitedCommand(), 0);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_TRUE(changed);

    // Page 1: tag, descriptor and date; the year is kept modulo 256.
    Page(d, 1);
    Type(d, TMessages::kTag, "тест");
    Type(d, TMessages::kDescriptor, "давление");
    Type(d, TMessages::kDay, "31");
    Type(d, TMessages::kMonth, "12");
    Type(d, TMessages::kYear, "2030");
    d.Item(TLista::kSendButtonId)->UserClick();
    const TDaneIPPC& r = db.At(0);
    EXPECT_EQ(Bytes(r.tag.begin(), r.tag.end()), kPackedTest);
    EXPECT_EQ(Bytes(r.descriptor.begin(), r.descriptor.end()), kPackedPressure);
    EXPECT_EQ(r.dateDay, 31);
    EXPECT_EQ(r.dateMonth, 12);
    EXPECT_EQ(r.dateYear, 130);
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x12, 0x15}, kPackedTest,
                                                  kPackedPressure, {31, 12, 130}})));
    EXPECT_EQ(Sent(d).size(), 30u);
    for (int id : {TMessages::kTag, TMessages::kDescriptor, TMessages::kDay, TMessages::kMonth,
                   TMessages::kYear})
      EXPECT_EQ(Text(d, id), "") << id;
    EXPECT_EQ(d.AwaitedCommand(), 18);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kTag), Padded("ТЕСТ", 8));
    EXPECT_EQ(Text(d, TMessages::kDescriptor), Padded("ДАВЛЕНИЕ", 16));
    EXPECT_EQ(Text(d, TMessages::kDay), "31");
    EXPECT_EQ(Text(d, TMessages::kMonth), "12");
    EXPECT_EQ(Text(d, TMessages::kYear), "2030");
    EXPECT_EQ(panel.refreshes, 2);

    // The last year a byte above 1900 holds.
    Type(d, TMessages::kYear, "2155");
    d.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_EQ(db.At(0).dateYear, 255);
    EXPECT_EQ(Sent(d).at(28), 255);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kYear), "2155");

    // Page 2: the final assembly number, most significant byte first.
    Page(d, 2);
    Type(d, TMessages::kAssemblyNumber, "16777215");
    d.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_EQ(db.At(0).assemblyNumber, 16777215u);
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x13, 0x03, 0xFF, 0xFF, 0xFF}})));
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "");
    EXPECT_EQ(d.AwaitedCommand(), 19);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "16777215");
    Type(d, TMessages::kAssemblyNumber, "70000");
    d.Item(TLista::kSendButtonId)->UserClick();
    const Bytes number = Sent(d);
    EXPECT_EQ(Bytes(number.begin() + 8, number.begin() + 11), (Bytes{0x01, 0x11, 0x70}));
    platform->Advance(400);

    // Page 3 writes nothing.
    Page(d, 3);
    const TDaneIPPC before = db.At(0);
    const Bytes last = Sent(d);
    d.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_FALSE(platform->TimerRunning(d, THartProtokol::kReplyTimerId));
    EXPECT_EQ(Sent(d), last);
    EXPECT_EQ(db.At(0), before);
    EXPECT_EQ(d.AwaitedCommand(), 0);
  });
  EXPECT_EQ(db.At(0).assemblyNumber, 70000u);
}

TEST_F(Messages, ReadingShowsTheRecordAgain) {
  const TDaneIPPC original = db.At(0);
  Run([&](TMessages& d) {
    Page(d, 0);
    const std::string message = Text(d, TMessages::kMessage);
    d.Item(TMessages::kReadButton)->UserClick();
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x0C, 0x00}})));
    EXPECT_EQ(d.linkParam1, 3);
    EXPECT_EQ(Text(d, TMessages::kMessage), "");
    EXPECT_EQ(d.AwaitedCommand(), 12);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kMessage), message);
    EXPECT_EQ(d.AwaitedCommand(), 0);

    Page(d, 1);
    d.Item(TMessages::kReadButton)->UserClick();
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x0D, 0x00}})));
    EXPECT_EQ(d.AwaitedCommand(), 13);
    for (int id : {TMessages::kTag, TMessages::kDescriptor, TMessages::kDay, TMessages::kMonth,
                   TMessages::kYear})
      EXPECT_EQ(Text(d, id), "") << id;
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "654321");  // another page's field stays
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kYear), "2021");
    EXPECT_EQ(Text(d, TMessages::kDay), "14");

    Page(d, 2);
    d.Item(TMessages::kReadButton)->UserClick();
    ExpectSentToRecord(d, WithChecksum(Concat({kHeader, {0x10, 0x00}})));
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "");
    platform->Advance(400);
    EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "654321");

    // Page 3: command 11 to the all-zero address with the record's tag, and the identity of a
    // fresh record.
    Page(d, 3);
    d.Item(TMessages::kReadButton)->UserClick();
    EXPECT_EQ(Sent(d), WithChecksum({0x82, 0, 0, 0, 0, 0, 0x0B, 0x06, 0xA1, 0xDB, 0x71, 0xC3,
                                     0x78, 0x20}));
    EXPECT_EQ(d.preambleCount, kRecordPreambles);
    EXPECT_EQ(d.Item(TMessages::kIdentity)->Items().size(), 0u);
    EXPECT_EQ(d.AwaitedCommand(), 11);
    platform->Advance(400);
    EXPECT_EQ(d.Item(TMessages::kIdentity)->Items(),
              (std::vector<std::string>{
                  "Код типа прибора - 254 = 0", "Фабричный код = 0", "Фабричный код прибора = 0",
                  "Количество преамбул в ответе = 0", "Проверка уровня UCD = 0",
                  "Проверка уровня TSD = 0", "Версия Программы = 0", "Версия системы = 0",
                  "Флажки = 0", "Идентификационный номер = 0"}));
    EXPECT_EQ(d.AwaitedCommand(), 0);
    d.Item(TMessages::kReadButton)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(d.Item(TMessages::kIdentity)->Items().size(), 10u);
  });
  EXPECT_EQ(db.At(0), original);
  EXPECT_TRUE(changed);
  EXPECT_EQ(panel.refreshes, 5);
}

TEST_F(Messages, FailureEventsKeepTheAwaitedCommand) {
  Run([&](TMessages& d) {
    Page(d, 1);
    d.Item(TMessages::kReadButton)->UserClick();
    d.SendMessage(kEvNoAnswer);
    d.frame[108] = 2;
    d.SendMessage(kEvStatusError);
    d.SendMessage(kEvLineBusy);
    const auto& boxes = platform->MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[1].text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(boxes[1].caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
    EXPECT_EQ(boxes[2].text, "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(boxes[2].caption, "");
    for (const auto& box : boxes) EXPECT_EQ(box.flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(d.AwaitedCommand(), 13);
    EXPECT_EQ(panel.refreshes, 0);

    // The emptied date does not hold the dialog open while the request waits.
    d.Item(ui::kIdCancel)->UserClick();
    EXPECT_TRUE(d.Ended());
  });
  // Closing kills the reply timer: no reply reaches the closed dialog.
  platform->Advance(400);
  EXPECT_FALSE(changed);
}

// Values are stored as they are sent; a transmitter that refuses them, or a line that never
// carries them, leaves the record as it was, whichever page wrote.
TEST_F(Messages, ARefusedWriteLeavesTheRecordAsItWas) {
  const TDaneIPPC before = Record();
  struct Write {
    int page;
    std::function<void(TMessages&)> type;
  };
  const Write writes[] = {
      {0, [](TMessages& d) { Type(d, TMessages::kMessage, "новое"); }},
      {1,
       [](TMessages& d) {
         Type(d, TMessages::kTag, "Т-1");
         Type(d, TMessages::kDescriptor, "ВОЗДУХ");
         Type(d, TMessages::kDay, "2");
         Type(d, TMessages::kMonth, "7");
         Type(d, TMessages::kYear, "1999");
       }},
      {2, [](TMessages& d) { Type(d, TMessages::kAssemblyNumber, "42"); }},
  };
  const EventCase failures[] = {
      {kEvNoAnswer, 0, "Отсутствие ответа.\nВыбери следующий преобразователь!!!", ""},
      {kEvStatusError, 7, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
       "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
      {kEvLineBusy, 0, "Передача или нагрузка на линии.\nПередача не возможна!!!", ""},
  };
  Run([&](TMessages& d) {
    for (const Write& w : writes) {
      for (const EventCase& failure : failures) {
        SCOPED_TRACE(::testing::Message() << "page " << w.page << ", " << failure.text);
        Page(d, w.page);
        w.type(d);
        ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
        EXPECT_FALSE(Record() == before);  // stored as it is sent
        ASSERT_NO_FATAL_FAILURE(ExpectOnlyBox(d, failure));
        EXPECT_TRUE(Record() == before);
      }
    }
  });
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 9);  // each record given back is shown again
}

// A number out of its field's range is refused with the field validator's own message before
// anything is stored or sent; the fields keep what was typed.
TEST_F(Messages, OutOfRangeValuesNeverReachTheLine) {
  struct Case {
    int page;
    int field;
    const char* typed;
    const char* refusal;
  };
  const char* const days = "Value is not in the range 1 to 31.";
  const char* const years = "Value is not in the range 1900 to 2155.";
  const Case cases[] = {
      {1, TMessages::kDay, "32", days},
      {1, TMessages::kDay, "0", days},
      {1, TMessages::kMonth, "13", "Value is not in the range 1 to 12."},
      {1, TMessages::kYear, "1850", years},
      {1, TMessages::kYear, "2156", years},
      {1, TMessages::kYear, "", years},
      {2, TMessages::kAssemblyNumber, "16777216", "Value is not in the range 0 to 16777215."},
  };
  const TDaneIPPC before = Record();
  FakeLink link;
  Run(
      [&](TMessages& d) {
        for (const Case& c : cases) {
          SCOPED_TRACE(::testing::Message() << c.field << " " << c.typed);
          Page(d, c.page);  // the fields show the record again
          Type(d, c.field, c.typed);
          platform->ClearMessageBoxes();
          ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
          EXPECT_TRUE(link.Requests().empty());
          ASSERT_EQ(platform->MessageBoxes().size(), 1u);
          EXPECT_EQ(LastBox().text, c.refusal);
          EXPECT_EQ(LastBox().flags, ui::kMbOk | ui::kMbIconExclamation);
          EXPECT_EQ(Text(d, c.field), c.typed);
          EXPECT_EQ(d.AwaitedCommand(), 0);
          EXPECT_TRUE(Record() == before);
        }
      },
      {{}, nullptr, &link});
}

// "Отмена" and Escape close the dialog in every state, whatever its fields hold: filled by the
// dialog from a record out of range, typed out of range, or emptied while a write waits.
TEST_F(Messages, CancelAndEscapeAlwaysClose) {
  struct Case {
    const char* what;
    std::function<void(TMessages&)> before;
  };
  const Case cases[] = {
      {"date 0-0-1900 from the record",
       [&](TMessages& d) {
         Record().dateDay = 0;
         Record().dateMonth = 0;
         Record().dateYear = 0;
         Page(d, 1);
         EXPECT_EQ(Text(d, TMessages::kYear), "1900");
       }},
      {"number typed out of range",
       [](TMessages& d) {
         Page(d, 2);
         Type(d, TMessages::kAssemblyNumber, "16777217");
       }},
      {"date emptied by a write",
       [](TMessages& d) {
         Page(d, 1);
         d.Item(TLista::kSendButtonId)->UserClick();
         EXPECT_EQ(d.AwaitedCommand(), 18);
       }},
  };
  for (const bool escape : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << (escape ? ", Escape" : ", Cancel"));
      Record() = UnlikeDefaultsRecord();
      platform->ClearMessageBoxes();
      Run([&](TMessages& d) {
        c.before(d);
        if (escape) {
          d.SendMessage(ui::kMsgClose);
        } else {
          d.Item(ui::kIdCancel)->UserClick();
        }
        EXPECT_TRUE(d.Ended());
      });
      EXPECT_TRUE(platform->MessageBoxes().empty());
    }
  }
}

TEST_F(Messages, ReplyWithNothingAwaitedOnlyRefreshes) {
  Run([&](TMessages& d) {
    Page(d, 0);
    d.Item(TMessages::kMessage)->SetText("НЕ ТРОГАТЬ");
    d.SendMessage(kEvReply);
    EXPECT_EQ(Text(d, TMessages::kMessage), "НЕ ТРОГАТЬ");
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_TRUE(changed);
  });
}

TEST_F(Messages, EmptyDatabaseSendsNothing) {
  EmptyDatabase();
  TMessages dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_FALSE(changed);
}

TEST_F(Messages, FromAnotherTransmitterReadsGoIntoTheRecordAndTheIdentityIsTheFoundOne) {
  FakeLink link;
  link.Answer(12, kPackedGreeting);
  link.Answer(13, Concat({kPackedTest, kPackedPressure, {1, 2, 126}}));
  link.Answer(16, {0xFF, 0x00, 0x01});
  link.Answer(11, {254, 38, 3, 9, 5, 4, 2, 1, 8, 0x12, 0x34, 0x56});
  const TDaneIPPC original = db.At(0);
  Run(
      [&](TMessages& d) {
        d.Item(TMessages::kReadButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(Bytes(db.At(0).message.begin(), db.At(0).message.end()), kPackedGreeting);
        EXPECT_EQ(Text(d, TMessages::kMessage), Padded("ПРИВЕТ МИР", 32));

        Page(d, 1);
        d.Item(TMessages::kReadButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(Text(d, TMessages::kTag), Padded("ТЕСТ", 8));
        EXPECT_EQ(Text(d, TMessages::kDescriptor), Padded("ДАВЛЕНИЕ", 16));
        EXPECT_EQ(Text(d, TMessages::kDay), "1");
        EXPECT_EQ(Text(d, TMessages::kMonth), "2");
        EXPECT_EQ(Text(d, TMessages::kYear), "2026");
        EXPECT_EQ(Bytes(db.At(0).tag.begin(), db.At(0).tag.end()), kPackedTest);

        Page(d, 2);
        d.Item(TMessages::kReadButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(db.At(0).assemblyNumber, 0xFF0001u);
        EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "16711681");

        // Command 11 goes to the broadcast address; its lines describe the transmitter found.
        const TDaneIPPC beforeIdentity = db.At(0);
        Page(d, 3);
        d.Item(TMessages::kReadButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(d.Item(TMessages::kIdentity)->Items(),
                  (std::vector<std::string>{
                      "Код типа прибора - 254 = 254", "Фабричный код = 38",
                      "Фабричный код прибора = 3", "Количество преамбул в ответе = 9",
                      "Проверка уровня UCD = 5", "Проверка уровня TSD = 4",
                      "Версия Программы = 2", "Версия системы = 1", "Флажки = 8",
                      "Идентификационный номер = 1193046"}));
        EXPECT_EQ(db.At(0), beforeIdentity);
        EXPECT_EQ(panel.refreshes, 4);
        EXPECT_TRUE(platform->MessageBoxes().empty());

        // The number cut to two bytes: nothing decoded, the field stays empty, the status message.
        link.Answer(16, {0x00, 0x07});
        Page(d, 2);
        d.Item(TMessages::kReadButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(db.At(0).assemblyNumber, 0xFF0001u);
        EXPECT_EQ(Text(d, TMessages::kAssemblyNumber), "");
        EXPECT_EQ(d.AwaitedCommand(), 16);
        ASSERT_EQ(platform->MessageBoxes().size(), 1u);
        EXPECT_EQ(platform->MessageBoxes()[0].caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
      },
      {{}, nullptr, &link});
  EXPECT_NE(db.At(0), original);
}

// Command 11's reply read by the layout of the revision it says: from HART 6 on the expanded
// device type and the hardware revision's five bits, from HART 7 on the manufacturer's 16-bit
// code. One cut short of its layout is refused, though it holds HART 5's twelve bytes.
TEST_F(Messages, TheIdentityFoundByTagIsReadByTheRevisionItSays) {
  FakeLink link;
  const Bytes hart6 = hart::IdentityOf(testhart::TestModel(6));
  const Bytes hart7 = hart::IdentityOf(testhart::TestModel(7));
  const auto lines = [](int revision, const char* manufacturer, const char* type) {
    return std::vector<std::string>{
        "Код типа прибора - 254 = 254", std::string("Фабричный код = ") + manufacturer,
        std::string("Фабричный код прибора = ") + type, "Количество преамбул в ответе = 5",
        "Проверка уровня UCD = " + std::to_string(revision), "Проверка уровня TSD = 2",
        "Версия Программы = 3", "Версия системы = 4", "Флажки = 1",
        "Идентификационный номер = 662316"};
  };
  struct Case {
    const char* what;
    Bytes data;
    std::vector<std::string> lines;  // none: refused
  };
  const Case cases[] = {
      {"HART 6", hart6, lines(6, "225", "57635")},
      {"HART 7", hart7, lines(7, "24593", "58535")},
      {"HART 7 cut to HART 6's length", Bytes(hart7.begin(), hart7.begin() + 17), {}},
  };
  Run(
      [&](TMessages& d) {
        Page(d, TMessages::kIdentityPage);
        for (const Case& c : cases) {
          SCOPED_TRACE(c.what);
          platform->ClearMessageBoxes();
          link.Answer(11, c.data);
          d.Item(TMessages::kReadButton)->UserClick();
          platform->Advance(400);
          EXPECT_EQ(d.Item(TMessages::kIdentity)->Items(), c.lines);
          if (c.lines.empty()) {
            EXPECT_EQ(d.AwaitedCommand(), 11);
            ASSERT_NO_FATAL_FAILURE(ExpectLastBox(
                "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
                "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"));
            EXPECT_EQ(platform->MessageBoxes().size(), 1u);
          } else {
            EXPECT_EQ(d.AwaitedCommand(), 0);
            EXPECT_TRUE(platform->MessageBoxes().empty());
          }
        }
      },
      {{}, nullptr, &link});
  // Found by the tag, another transmitter's identity changes nothing of the record.
  EXPECT_EQ(db.At(0), UnlikeDefaultsRecord());
}

}  // namespace
