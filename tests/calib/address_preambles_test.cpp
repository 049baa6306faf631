#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "calib/address_preambles_dialog.h"
#include "hart/transmitter_model.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"
#include "tests/support/model_answerer.h"

namespace {

struct PolPre : ListDialogTest<TPolPre> {
  static void SelectTab(TPolPre& d, int tab) {
    ASSERT_TRUE(d.Item(TPolPre::kTabs)->UserSelect(tab));
  }
};

// The controls a tab shows; everything else of both tabs stays hidden and disabled.
const std::vector<int> kAddressTabControls{TPolPre::kAddressField, TPolPre::kAddressHint,
                                           TPolPre::kAddressSpin};
const std::vector<int> kPreamblesTabControls{TPolPre::kPreamblesField, TPolPre::kPreamblesHint,
                                             TPolPre::kPreamblesSpin};

void ExpectTabShows(TPolPre& d, const std::vector<int>& shown, const std::vector<int>& hidden) {
  for (int id : shown) {
    EXPECT_TRUE(d.Item(id)->Visible()) << id;
    EXPECT_TRUE(d.Item(id)->Enabled()) << id;
  }
  for (int id : hidden) {
    EXPECT_FALSE(d.Item(id)->Visible()) << id;
    EXPECT_FALSE(d.Item(id)->Enabled()) << id;
  }
}

// What is visible together must not overlap, must lie inside the dialog and must fit its text
// (about 4.5 dialog units per character, 8 units per line).
void ExpectLayoutFits(TPolPre& d) {
  ExpectShownInsideAndApart(d);
  for (const auto& c : d.Controls()) {
    if (!c->Visible()) continue;
    const ui::Rect& r = c->RectDu();
    const int lines = c->Kind() == ui::ControlKind::Static ? std::max(1, r.height / 8) : 1;
    const int room = c->Kind() == ui::ControlKind::GroupBox ? r.width - 12 : r.width;
    EXPECT_GE(room * lines, TextWidth(c->Text())) << c->Id();
  }
  ExpectTabsFit(*d.Item(TPolPre::kTabs));
}

TEST_F(PolPre, TemplateTabsAndFields) {
  const ui::DialogTemplate tpl = TPolPre::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 923);
  EXPECT_EQ(tpl.caption, "Адрес датчика/Преамбулы");

  Run([&](TPolPre& d) {
    EXPECT_FALSE(d.Item(TLista::kListBoxId)->Visible());
    EXPECT_EQ(d.Item(TPolPre::kTabs)->Items(),
              (std::vector<std::string>{"Адрес датчика", "Преамбулы"}));
    EXPECT_EQ(d.Item(TPolPre::kTabs)->Selection(), 0);

    // Opening shows both fields empty and the address tab alone.
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "");
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "");
    ExpectTabShows(d, kAddressTabControls, kPreamblesTabControls);
    EXPECT_EQ(Text(d, TPolPre::kQueryButton), "Какой Адрес датчика");
    ExpectLayoutFits(d);

    db.At(0).pollingAddress = 3;
    db.At(0).preambles = 7;
    SelectTab(d, TPolPre::kPreamblesTab);
    ExpectTabShows(d, kPreamblesTabControls, kAddressTabControls);
    EXPECT_EQ(Text(d, TPolPre::kQueryButton), "Сколько Преамбул");
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "3");
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "7");
    EXPECT_FALSE(d.Item(TPolPre::kAddressField)->UserType("9"));
    ExpectLayoutFits(d);

    SelectTab(d, TPolPre::kAddressTab);
    ExpectTabShows(d, kAddressTabControls, kPreamblesTabControls);
    EXPECT_EQ(Text(d, TPolPre::kQueryButton), "Какой Адрес датчика");
    EXPECT_FALSE(d.Item(TPolPre::kPreamblesSpin)->UserSpin(1));
    d.Item(ui::kIdCancel)->UserClick();
    EXPECT_TRUE(d.Ended());
  });
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_FALSE(changed);
}

TEST_F(PolPre, SpinAndValidatorKeepTheRanges) {
  Run([&](TPolPre& d) {
    SelectTab(d, TPolPre::kAddressTab);  // fills the fields: address 7, preambles 9
    ui::Control& address = *d.Item(TPolPre::kAddressField);
    ui::Control& spin = *d.Item(TPolPre::kAddressSpin);
    EXPECT_TRUE(spin.UserSpin(-1));
    EXPECT_EQ(address.Text(), "6");
    for (int i = 0; i < 8; ++i) spin.UserSpin(-1);
    EXPECT_EQ(address.Text(), "0");
    address.UserType("14");
    spin.UserSpin(1);
    EXPECT_EQ(address.Text(), "15");  // steps on from the typed value
    spin.UserSpin(1);
    EXPECT_EQ(address.Text(), "15");

    address.UserType("-a7 ");  // letters, blanks and the minus sign never get in
    EXPECT_EQ(address.Text(), "7");
    ASSERT_TRUE(d.Item(TPolPre::kAddressField)->Validator().has_value());
    EXPECT_EQ(d.Item(TPolPre::kAddressField)->Validator()->max, 15);

    SelectTab(d, TPolPre::kPreamblesTab);
    ui::Control& preambles = *d.Item(TPolPre::kPreamblesField);
    EXPECT_EQ(preambles.Text(), "9");
    for (int i = 0; i < 7; ++i) d.Item(TPolPre::kPreamblesSpin)->UserSpin(-1);
    EXPECT_EQ(preambles.Text(), "3");
    for (int i = 0; i < 20; ++i) d.Item(TPolPre::kPreamblesSpin)->UserSpin(1);
    EXPECT_EQ(preambles.Text(), "20");
    ASSERT_TRUE(preambles.Validator().has_value());
    EXPECT_EQ(preambles.Validator()->min, 3);
    EXPECT_EQ(preambles.Validator()->max, 20);
  });
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(PolPre, WritingAddressAndPreambles) {
  Run([&](TPolPre& d) {
    SelectTab(d, TPolPre::kAddressTab);
    d.Item(TPolPre::kAddressField)->UserType("5");
    d.Item(TLista::kSendButtonId)->UserClick();
    ExpectSentToRecord(d, ToRecord(0x06, {0x05}));
    EXPECT_EQ(d.linkParam1, 3);
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "");  // emptied at once
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kWriteAddress);
    EXPECT_EQ(db.At(0).pollingAddress, 7);  // only the reply changes the record
    EXPECT_FALSE(changed);

    platform->Advance(399);
    EXPECT_EQ(panel.refreshes, 0);
    platform->Advance(1);
    EXPECT_EQ(db.At(0).pollingAddress, 5);
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "5");
    EXPECT_EQ(d.Item(TPolPre::kAddressSpin)->Position(), 5);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_TRUE(changed);

    SelectTab(d, TPolPre::kPreamblesTab);
    d.Item(TPolPre::kPreamblesField)->UserType("20");
    d.Item(TLista::kSendButtonId)->UserClick();
    ExpectSentToRecord(d, ToRecord(0x3B, {0x14}));
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "");
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "5");
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kWritePreambles);
    platform->Advance(400);
    EXPECT_EQ(db.At(0).preambles, 20);
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "20");
    EXPECT_EQ(panel.refreshes, 2);

    // Later requests to this transmitter carry its new preamble count.
    d.Item(TPolPre::kPreamblesField)->UserType("6");
    d.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_EQ(d.preambleCount, 20);
    platform->Advance(400);
    EXPECT_EQ(db.At(0).preambles, 6);
  });
}

// A number out of its field's range is refused with the field validator's own message before
// anything is sent; the address range follows the record's universal revision.
TEST_F(PolPre, OutOfRangeValuesNeverReachTheLine) {
  struct Case {
    int tab;
    int revision;
    const char* typed;
    int written;          // -1: refused
    const char* refusal;
  };
  const char* const to15 = "Value is not in the range 0 to 15.";
  const char* const to63 = "Value is not in the range 0 to 63.";
  const char* const preamblesRange = "Value is not in the range 3 to 20.";
  const Case cases[] = {
      {TPolPre::kAddressTab, 5, "16", -1, to15},    {TPolPre::kAddressTab, 5, "15", 15, nullptr},
      {TPolPre::kAddressTab, 5, "+9", 9, nullptr},  {TPolPre::kAddressTab, 6, "63", 63, nullptr},
      {TPolPre::kAddressTab, 6, "64", -1, to63},    {TPolPre::kAddressTab, 7, "40", 40, nullptr},
      {TPolPre::kPreamblesTab, 5, "99", -1, preamblesRange},
      {TPolPre::kPreamblesTab, 5, "2", -1, preamblesRange},
      {TPolPre::kPreamblesTab, 5, "020", -1, preamblesRange},  // two characters get in: "02"
      {TPolPre::kPreamblesTab, 5, "3", 3, nullptr},
      {TPolPre::kPreamblesTab, 6, "20", 20, nullptr},
  };
  FakeLink link;
  Run(
      [&](TPolPre& d) {
        for (const Case& c : cases) {
          SCOPED_TRACE(::testing::Message() << "revision " << c.revision << ", " << c.typed);
          Record() = UnlikeDefaultsRecord();
          Record().universalRevision = static_cast<std::uint8_t>(c.revision);
          const TDaneIPPC before = Record();
          SelectTab(d, c.tab);
          const bool address = c.tab == TPolPre::kAddressTab;
          const int field = address ? TPolPre::kAddressField : TPolPre::kPreamblesField;
          const int last = c.revision >= 6 ? 63 : 15;
          EXPECT_EQ(d.Item(TPolPre::kAddressSpin)->Max(), last);
          EXPECT_EQ(d.Item(TPolPre::kAddressField)->Validator()->max, last);
          ASSERT_TRUE(d.Item(field)->UserType(c.typed));
          const std::size_t sent = link.Requests().size();
          platform->ClearMessageBoxes();
          ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
          if (c.written < 0) {
            EXPECT_EQ(link.Requests().size(), sent);
            ASSERT_EQ(platform->MessageBoxes().size(), 1u);
            EXPECT_EQ(LastBox().text, c.refusal);
            EXPECT_EQ(LastBox().flags, ui::kMbOk | ui::kMbIconExclamation);
            EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
            EXPECT_EQ(Text(d, field), std::string(c.typed).substr(0, 2));
            platform->Advance(400);
            EXPECT_TRUE(Record() == before);
          } else {
            const std::uint8_t value = static_cast<std::uint8_t>(c.written);
            ASSERT_EQ(link.Requests().size(), sent + 1);
            EXPECT_EQ(link.Requests().back(), ToRecord(address ? 0x06 : 0x3B, {value}));
            platform->Advance(400);
            EXPECT_EQ(address ? Record().pollingAddress : Record().preambles, value);
            EXPECT_TRUE(platform->MessageBoxes().empty());
          }
        }

        // From revision 6 on the address search goes on past 15; it reads no field.
        SelectTab(d, TPolPre::kAddressTab);
        d.Item(TPolPre::kAddressField)->UserType("99");
        d.Item(TPolPre::kQueryButton)->UserClick();
        for (int i = 0; i < 16; ++i) d.SendMessage(kEvNoAnswer);
        EXPECT_EQ(link.Requests().back(), WithChecksum({0x02, 16, 0x00, 0x00}));
        EXPECT_TRUE(platform->MessageBoxes().empty());
      },
      {{}, nullptr, &link});
}

// Cancel and Escape close the dialog in every state, whatever its fields hold: filled by the
// dialog from a record out of range, typed out of range, or emptied while a write waits.
TEST_F(PolPre, CancelAndEscapeAlwaysClose) {
  struct Case {
    const char* what;
    std::function<void(TPolPre&)> before;
  };
  const Case cases[] = {
      {"preambles 0 from the record",
       [&](TPolPre& d) {
         Record().preambles = 0;
         SelectTab(d, TPolPre::kPreamblesTab);
       }},
      {"address typed out of range",
       [&](TPolPre& d) {
         SelectTab(d, TPolPre::kAddressTab);
         d.Item(TPolPre::kAddressField)->UserType("99");
       }},
      {"address emptied by a write",
       [&](TPolPre& d) {
         SelectTab(d, TPolPre::kAddressTab);
         d.Item(TLista::kSendButtonId)->UserClick();
       }},
  };
  for (const bool escape : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.what << (escape ? ", Escape" : ", Cancel"));
      Record() = UnlikeDefaultsRecord();
      platform->ClearMessageBoxes();
      Run([&](TPolPre& d) {
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

TEST_F(PolPre, QueriesAndTheAddressSearch) {
  db.At(0).pollingAddress = 3;
  Run([&](TPolPre& d) {
    // Search: the first poll goes to address 0 and the simulated transmitter answers it.
    d.Item(TPolPre::kQueryButton)->UserClick();
    EXPECT_EQ(Sent(d), (Bytes{0x02, 0x00, 0x00, 0x00, 0x02}));
    EXPECT_EQ(d.linkParam1, 1);
    EXPECT_EQ(d.frameIsLong, 0);
    EXPECT_EQ(d.preambleCount, kRecordPreambles);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kAddressSearch);
    platform->Advance(400);
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "3");
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
    EXPECT_EQ(panel.refreshes, 1);

    // Unanswered polls go on address by address and stop at the first answer.
    d.Item(TPolPre::kQueryButton)->UserClick();
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(Sent(d), (Bytes{0x02, 0x01, 0x00, 0x00, 0x03}));
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(Sent(d), (Bytes{0x02, 0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(d.linkParam1, 1);
    platform->Advance(400);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
    EXPECT_TRUE(platform->MessageBoxes().empty());
    // A late no-answer after the search ended polls nothing more.
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(Sent(d)[1], 0x02);
    EXPECT_EQ(platform->MessageBoxes().size(), 1u);
    platform->ClearMessageBoxes();

    // All sixteen addresses unanswered: the search gives up after address 15.
    d.Item(TPolPre::kQueryButton)->UserClick();
    std::vector<int> polled{Sent(d)[1]};
    for (int i = 0; i < 15; ++i) {
      d.SendMessage(kEvNoAnswer);
      polled.push_back(Sent(d)[1]);
      EXPECT_EQ(Sent(d), WithChecksum({0x02, static_cast<std::uint8_t>(i + 1), 0x00, 0x00}));
    }
    EXPECT_TRUE(platform->MessageBoxes().empty());
    EXPECT_EQ(polled.back(), 15);
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(Sent(d)[1], 15);  // nothing beyond 15
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
    EXPECT_EQ(platform->MessageBoxes()[0].caption, "");
    EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
    platform->Advance(400);  // the reply timer of the last poll

    // Preamble query: to the record's polling address.
    SelectTab(d, TPolPre::kPreamblesTab);
    d.Item(TPolPre::kPreamblesField)->UserType("4");
    d.Item(TPolPre::kQueryButton)->UserClick();
    EXPECT_EQ(Sent(d), (Bytes{0x02, 0x03, 0x00, 0x00, 0x01}));
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kPreambleQuery);
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "4");
    platform->Advance(400);
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "9");
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
  });
  EXPECT_EQ(db.At(0).pollingAddress, 3);
  EXPECT_EQ(db.At(0).preambles, 9);
}

// The query and the search answer with what the record now holds, a write of this dialog included.
TEST_F(PolPre, QueriesAfterWritesShowTheWrittenSettings) {
  Run([&](TPolPre& d) {
    SelectTab(d, TPolPre::kPreamblesTab);
    d.Item(TPolPre::kPreamblesField)->UserType("12");
    d.Item(TLista::kSendButtonId)->UserClick();
    platform->Advance(400);
    d.Item(TPolPre::kPreamblesField)->SetText("");
    d.Item(TPolPre::kQueryButton)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "12");

    SelectTab(d, TPolPre::kAddressTab);
    d.Item(TPolPre::kAddressField)->UserType("9");
    d.Item(TLista::kSendButtonId)->UserClick();
    platform->Advance(400);
    d.Item(TPolPre::kAddressField)->SetText("");
    d.Item(TPolPre::kQueryButton)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(Text(d, TPolPre::kAddressField), "9");
  });
  EXPECT_EQ(db.At(0).preambles, 12);
  EXPECT_EQ(db.At(0).pollingAddress, 9);
}

TEST_F(PolPre, FailureEvents) {
  Run([&](TPolPre& d) {
    struct Case {
      std::uint8_t code;
      const char* text;
      const char* caption;
    };
    const Case cases[] = {
        {2,
         "Неправильный адрес датчика Преобразователя.\n0 <= АДРЕС ДАТЧИКА <= 15.\nАдрес датчика "
         "не изменен.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {3, "Количество Преамбул очень большое.\n3 <= Количество Преамбул <= 20.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {4, "Количество Преамбул очень малое.\n3<= Количество Преамбул <= 20.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {5, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {64, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
    };
    d.Item(TPolPre::kAddressField)->UserType("4");
    d.Item(TLista::kSendButtonId)->UserClick();
    for (const Case& c : cases) {
      ASSERT_NO_FATAL_FAILURE(ExpectOnlyBox(d, {kEvStatusError, c.code, c.text, c.caption}));
    }
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kWriteAddress);

    // No answer to a write leaves the awaited command; to the preamble query it resets it.
    platform->ClearMessageBoxes();
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kWriteAddress);
    SelectTab(d, TPolPre::kPreamblesTab);
    d.Item(TPolPre::kQueryButton)->UserClick();
    d.SendMessage(kEvNoAnswer);
    EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
    ASSERT_EQ(platform->MessageBoxes().size(), 2u);
    for (const auto& box : platform->MessageBoxes()) {
      EXPECT_EQ(box.text, "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
      EXPECT_EQ(box.caption, "");
    }

    platform->ClearMessageBoxes();
    d.SendMessage(kEvLineBusy);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);

    // A reply with nothing awaited changes nothing but still refreshes the panel.
    platform->Advance(400);
    EXPECT_EQ(db.At(0).pollingAddress, 7);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_TRUE(changed);
  });
}

TEST_F(PolPre, EmptyDatabaseSendsNothing) {
  EmptyDatabase();
  TPolPre dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_FALSE(platform->TimerRunning(dialog, THartProtokol::kReplyTimerId));
  EXPECT_FALSE(changed);
}

TEST_F(PolPre, FromAnotherTransmitterAddressAndPreamblesComeFromTheReplies) {
  FakeLink link;
  // Command 0's identity: expansion, manufacturer, type, request preambles 7, ..., device id.
  const Bytes identity{254, 63, 1, 7, 5, 3, 1, 1, 5, 0x00, 0x31, 0x0C};
  link.Answer(0, identity);
  link.Answer(6, {4});
  Run(
      [&](TPolPre& d) {
        // Addresses 0 to 2 stay silent; the transmitter answers at 3.
        d.Item(TPolPre::kQueryButton)->UserClick();
        for (int i = 0; i < 3; ++i) d.SendMessage(kEvNoAnswer);
        EXPECT_EQ(link.Requests().back(), WithChecksum({0x02, 0x03, 0x00, 0x00}));
        platform->Advance(400);
        EXPECT_EQ(link.LastReply()[0], 0x06);
        EXPECT_EQ(db.At(0).pollingAddress, 3);
        EXPECT_EQ(Text(d, TPolPre::kAddressField), "3");
        EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
        EXPECT_EQ(panel.refreshes, 1);

        // The transmitter took 4, not the 5 typed.
        d.Item(TPolPre::kAddressField)->UserType("5");
        d.Item(TLista::kSendButtonId)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(db.At(0).pollingAddress, 4);
        EXPECT_EQ(Text(d, TPolPre::kAddressField), "4");

        SelectTab(d, TPolPre::kPreamblesTab);
        d.Item(TPolPre::kPreamblesField)->UserType("12");
        d.Item(TLista::kSendButtonId)->UserClick();
        platform->Advance(400);  // echoed as sent
        EXPECT_EQ(db.At(0).preambles, 12);
        d.Item(TPolPre::kQueryButton)->UserClick();
        EXPECT_EQ(link.Requests().back(), WithChecksum({0x02, 0x04, 0x00, 0x00}));
        platform->Advance(400);
        EXPECT_EQ(db.At(0).preambles, 7);
        EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "7");
        EXPECT_EQ(panel.refreshes, 4);
        EXPECT_TRUE(platform->MessageBoxes().empty());

        // A short-frame answer too short for its identity: the general status message.
        link.Answer(0, {254, 63});
        d.Item(TPolPre::kQueryButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(db.At(0).preambles, 7);
        EXPECT_EQ(panel.refreshes, 4);
        ASSERT_EQ(platform->MessageBoxes().size(), 1u);
        EXPECT_EQ(platform->MessageBoxes()[0].text,
                  "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
        EXPECT_EQ(platform->MessageBoxes()[0].caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");

        // A status reply in short form carries its response code in byte 4.
        link.Answer(0, {}, 3);
        d.Item(TPolPre::kQueryButton)->UserClick();
        platform->Advance(400);
        ASSERT_EQ(platform->MessageBoxes().size(), 2u);
        EXPECT_EQ(platform->MessageBoxes()[1].text,
                  "Количество Преамбул очень большое.\n3 <= Количество Преамбул <= 20.");
      },
      {{}, nullptr, &link});
}

// A HART 7 transmitter's command 0, read by its layout: the address that answered and the
// preambles it asks for, kept within what this dialog writes. One cut short of its layout is
// refused, though it holds HART 5's twelve bytes.
TEST_F(PolPre, AHart7TransmittersCommandZeroIsReadByItsLayout) {
  FakeLink link;
  hart::TransmitterModel hart7 = testhart::TestModel(7);
  hart7.requestPreambles = 25;
  const Bytes identity = hart::IdentityOf(hart7);
  link.Answer(0, identity);
  Record().universalRevision = 7;
  Run(
      [&](TPolPre& d) {
        // From HART 6 on the search goes past 15: the transmitter answers at 41.
        d.Item(TPolPre::kQueryButton)->UserClick();
        for (int i = 0; i < 41; ++i) d.SendMessage(kEvNoAnswer);
        EXPECT_EQ(link.Requests().back(), WithChecksum({0x02, 41, 0x00, 0x00}));
        platform->Advance(400);
        EXPECT_EQ(Record().pollingAddress, 41);
        EXPECT_EQ(Text(d, TPolPre::kAddressField), "41");

        SelectTab(d, TPolPre::kPreamblesTab);
        d.Item(TPolPre::kQueryButton)->UserClick();
        EXPECT_EQ(link.Requests().back(), WithChecksum({0x02, 41, 0x00, 0x00}));
        platform->Advance(400);
        EXPECT_EQ(Record().preambles, 20);
        EXPECT_EQ(Text(d, TPolPre::kPreamblesField), "20");
        EXPECT_EQ(d.AwaitedCommand(), TPolPre::kIdle);
        EXPECT_TRUE(platform->MessageBoxes().empty());

        link.Answer(0, Bytes(identity.begin(), identity.begin() + 17));
        Record().preambles = 9;
        d.Item(TPolPre::kQueryButton)->UserClick();
        platform->Advance(400);
        EXPECT_EQ(Record().preambles, 9);
        EXPECT_EQ(d.AwaitedCommand(), TPolPre::kPreambleQuery);
        ASSERT_EQ(platform->MessageBoxes().size(), 1u);
        ExpectStopBox(LastBox(), "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
                      "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
      },
      {{}, nullptr, &link});
}

}  // namespace
