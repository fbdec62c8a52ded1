#include <gtest/gtest.h>

#include "console_test_util.h"

using namespace rt::con;

TEST(Keyboard, InkeyTypeaheadAndLastkey) {
  contest::Rig rig;
  Console& con = rig.con();
  EXPECT_EQ(con.inkey(), 0);  // nothing waits: 0 at once
  rig.script().keys("ab").key(key::kEnter);
  EXPECT_EQ(con.inkey(), 'a');
  EXPECT_EQ(con.lastkey(), 'a');
  con.keyboard("XY");  // __KEYBOARD goes before what the display still holds
  EXPECT_EQ(con.inkey(), 'X');
  EXPECT_EQ(con.inkey(), 'Y');
  EXPECT_EQ(con.inkey(), 'b');
  EXPECT_EQ(con.inkey(0.0), key::kEnter);
  EXPECT_EQ(con.lastkey(), key::kEnter);
  EXPECT_EQ(con.inkey(), 0);
  EXPECT_EQ(con.lastkey(), key::kEnter);  // a read that found nothing keeps the last key
}

TEST(Keyboard, KeyboardEmptiesTheBufferFirst) {
  contest::Rig rig;
  Console& con = rig.con();
  con.keyboard("123");
  con.keyboard("@");
  EXPECT_EQ(con.inkey(), '@');
  EXPECT_EQ(con.inkey(), 0);
  con.keyboard("\x82");  // code page bytes stay bytes: é is 130
  EXPECT_EQ(con.inkey(), 130);
}

TEST(Keyboard, TimedInkeyAdvancesTheVirtualClock) {
  contest::Rig rig;
  Console& con = rig.con();
  auto& clock = rig.script().virtual_clock();
  const double t0 = clock.monotonic();
  EXPECT_EQ(con.inkey(5.0), 0);
  EXPECT_NEAR(clock.monotonic() - t0, 5.0, 1e-9);
  rig.script().pause(2.0).key('k');
  EXPECT_EQ(con.inkey(5.0), 'k');
  EXPECT_NEAR(clock.monotonic() - t0, 7.0, 1e-9);
  rig.script().pause(9.0).key('z');
  EXPECT_EQ(con.inkey(5.0), 0);  // the key comes after the wait
  EXPECT_EQ(con.inkey(0.0), 'z');
  EXPECT_NEAR(clock.monotonic() - t0, 16.0, 1e-9);
  // INKEY(0) with no key left would wait for ever: the script says so.
  EXPECT_THROW(con.inkey(0.0), ScriptExhausted);
}

TEST(Keyboard, EventMaskDropsMouseEventsOnly) {
  contest::Rig rig;
  Console& con = rig.con();
  EXPECT_EQ(con.set_event_mask(key::kMaskKeyboard), key::kMaskAll);
  rig.script().key(key::kMouseMove).key(key::kWheelForward).key(key::kRightDown).key('a');
  EXPECT_EQ(con.inkey(0.0), 'a');
  con.set_event_mask(key::kMaskAll);
  rig.script().key(key::kMouseMove).key(key::kWheelBackward).key(key::kRightDown);
  EXPECT_EQ(con.inkey(), key::kMouseMove);
  EXPECT_EQ(con.inkey(), key::kWheelBackward);
  EXPECT_EQ(con.inkey(), key::kRightDown);
}

TEST(Keyboard, HotkeysActOnlyInTheFormWaitNeverInInkey) {
  contest::Rig rig;
  Console& con = rig.con();
  int calls = 0;
  con.set_key(key::kGroupSeparator, [&](int k) {
    ++calls;
    EXPECT_EQ(k, 29);
    con.push_front({'@'});
  });
  rig.script().key(29).key(29);
  EXPECT_EQ(con.inkey(0.0), 29);  // INKEY returns the key itself
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(con.wait_key_for_form(), '@');
  EXPECT_EQ(calls, 1);
  // SAVESETKEY / RESTSETKEY and removal.
  const HotkeyTable saved = con.save_set_keys();
  EXPECT_TRUE(con.set_key(29, {}));  // returns the action that was set
  EXPECT_FALSE(con.hotkey(29));
  rig.script().key(29);
  EXPECT_EQ(con.wait_key_for_form(), 29);
  con.rest_set_keys(saved);
  EXPECT_TRUE(con.hotkey(29));
}

TEST(Keyboard, ReaderBurstThroughASubstitutingHotkeyLosesNothing) {
  contest::Rig rig;
  Console& con = rig.con();
  con.set_key(29, [&](int) { con.push_front({'@'}); });
  std::string burst = "0107798123456789211234567890AB";
  burst += '\x1d';
  burst += "17271231";
  burst += "10LOT4455";
  burst += '\x1d';
  burst += "91XYZW00000";
  ASSERT_EQ(burst.size(), 60u);
  rig.script().keys(burst).key(key::kEnter);
  // Some keys were already waiting in the type-ahead buffer too.
  con.keyboard("#");
  std::string got;
  for (int k = con.wait_key_for_form(); k != key::kEnter; k = con.wait_key_for_form()) got += static_cast<char>(k);
  std::string want = "#" + burst;
  for (char& c : want) {
    if (c == '\x1d') c = '@';
  }
  EXPECT_EQ(got, want);
}

TEST(SoundCommandsQuit, TonesCommandsAndQuitRestoreTheDisplay) {
  contest::Rig rig;
  Console& con = rig.con();
  auto& clock = rig.script().virtual_clock();
  const double t0 = clock.monotonic();
  con.tone(3000, 1);
  con.tone(1000, 18.2);
  ASSERT_EQ(rig.script().tones().size(), 2u);
  EXPECT_EQ(rig.script().tones()[0].freq, 3000);
  EXPECT_NEAR(clock.monotonic() - t0, 1.0 + 1 / 18.2, 1e-9);

  rig.script().set_command_status(3);
  EXPECT_EQ(con.run("i_n_fisc 0055.TNF"), 3);
  ASSERT_EQ(rig.script().commands().size(), 1u);
  EXPECT_EQ(rig.script().commands()[0], "i_n_fisc 0055.TNF");

  try {
    con.quit(4);
    FAIL() << "quit returned";
  } catch (const QuitRequest& q) {
    EXPECT_EQ(q.status, 4);
  }
  EXPECT_TRUE(rig.script().is_shut_down());
}

TEST(Settings, FontTitleIconAndKeptSettings) {
  contest::Rig rig;
  Console& con = rig.con();
  EXPECT_TRUE(con.set_mode(25, 80));
  EXPECT_FALSE(con.set_mode(50, 80));
  con.set_font_width(11);
  con.set_font_height(22);
  con.set_font_height(0);  // ignored: below one pixel
  EXPECT_EQ(con.font_height(), 22);
  EXPECT_EQ(con.font_width(), 11);
  con.set_title("Velmor 32");
  EXPECT_FALSE(con.set_icon("/nonexistent/telquin.ico"));
  con.set_close_button(false);
  con.set_alt_enter(true);
  EXPECT_EQ(rig.script().last_settings().title, "Velmor 32");
  EXPECT_FALSE(rig.script().last_settings().close_button);
  const auto kept = con.kept_settings();
  EXPECT_NE(std::find(kept.begin(), kept.end(), "close button disabled"), kept.end());
}
