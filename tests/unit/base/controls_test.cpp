// The control models: a change notifies the observers once, a repeated value nobody; observers may leave any time.
#include "app/controls.h"

#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace sked {
namespace {

using Calls = std::vector<std::string>;
// How often a step changes what the control shows when done twice: 0, 1 (the first time) or 2; the step.
template <typename T>
using Step = std::pair<int, std::function<void(T&)>>;
#define STEP(changes, call) {changes, [](auto& control) { control.call; }}

// What a control shows, as one text.
std::string Shows(const auto&... values) {
    std::ostringstream text;
    ((text << values << ' '), ...);
    return text.str();
}

// Each step is done twice; the observers hear once of each change of what `control` shows, never otherwise.
template <typename T>
void CheckNotices(T&& control, std::string (*shows)(const T&), std::vector<Step<T>> steps) {
    int calls = 0;
    control.Observe([&] { ++calls; });
    for (std::size_t i = 0; i < 2 * steps.size(); ++i, calls = 0) {
        const std::string before = shows(control);
        steps[i / 2].second(control);
        const int changes = steps[i / 2].first > int(i % 2);
        EXPECT_EQ(std::pair(shows(control) != before, calls), std::pair(changes == 1, changes))
            << "step " << i / 2 << "." << i % 2 + 1 << " from " << before;
    }
}

TEST(ControlsTest, EverySetterNotifiesOnceOnAChangeAndNeverWhenNothingChanges) {
    CheckNotices<EditControl>(EditControl(), [](const EditControl& e) {
        return Shows(e.Text(), e.ReadOnly(), e.LeftMargin(), e.RightMargin(), e.SelectionStart(), e.SelectionEnd(),
                     e.FirstVisibleLine(), e.Enabled());
    }, {STEP(1, SetEnabled(false)), STEP(1, SetText("1\n2\n3\n4")), STEP(1, SetReadOnly(true)),
        STEP(1, SetTextOf(7, [](long long n) { return std::to_string(n) + "\n2\n3\n4"; })),  // observed: told at once, made when read
        STEP(1, SetMargins(4, 75)), STEP(1, SetSelection(2, 3)), STEP(1, ScrollLines(10)),
        STEP(1, ScrollLines(-5))});  // held at either end
    CheckNotices<ListBoxControl>(ListBoxControl(), [](const auto& l) { return Shows(l.Count(), l.CurSel()); },
        {STEP(2, AddString("a")), STEP(0, DeleteString(5)), STEP(0, DeleteString(-1)), STEP(2, InsertString(0, "b")),
         STEP(1, SetCurSel(1)), STEP(1, SetCurSel(7)), STEP(2, DeleteString(0)), STEP(1, ResetContent())});
    CheckNotices<ComboBoxControl>(ComboBoxControl(false), [](const ComboBoxControl& c) {
        return Shows(c.Count(), c.CurSel(), c.EditText(), c.DroppedDown());
    }, {STEP(1, SetEditText("typed")), STEP(1, ResetContent()),  // the edit text alone
        STEP(2, AddString("a")), STEP(2, InsertString(0, "b")), STEP(0, DeleteString(9)), STEP(1, SetEditText("a")),
        STEP(1, SetCurSel(2)), STEP(1, SetEditText("x")), STEP(1, SetCurSel(2)),  // the item typed, then over a text
        STEP(1, ShowDropDown(true)), STEP(2, DeleteString(0))});
    CheckNotices<TrackbarControl>(TrackbarControl(), [](const auto& t) { return Shows(t.Min(), t.Max(), t.Pos()); },
        {STEP(1, SetRange(0, 500)), STEP(1, SetPos(500)), STEP(0, SetPos(600)),  // held at the maximum
         STEP(1, SetRange(0, 50))});
}

// Unobserved, a text set by SetTextOf (the clock, every second) is made only when read, as SetText would leave it;
// its revision counts the changes of the text, made or set, and nothing else.
TEST(ControlsTest, ATextNobodyWatchesIsMadeOnlyWhenRead) {
    static int made = 0;
    const EditControl::TextMaker make = [](long long n) { return ++made, "T" + std::to_string(n); };
    EditControl clock;
    clock.SetText("a\nb"), clock.SetSelection(1, 2), clock.ScrollLines(1);
    for (long long second = 0; second < 1000; ++second) clock.SetTextOf(second, make);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(Shows(clock.Text(), clock.SelectionStart(), clock.FirstVisibleLine(), made), Shows("T999", 0, 0, 1));
    const unsigned long revision = clock.TextRevision();
    clock.SetTextOf(5, make), clock.SetText("T5");  // the same text: nothing changes
    EXPECT_EQ(Shows(clock.Text(), made, clock.TextRevision()), Shows("T5", 2, revision + 1));
    clock.SetSelection(0, 1), clock.SetReadOnly(true), clock.SetTextOf(5, make);
    EXPECT_EQ(clock.TextRevision(), revision + 1);
    clock.SetTextOf(6, make), clock.SetText("T7");
    EXPECT_EQ(clock.TextRevision(), revision + 3);
}

TEST(ControlsTest, AddingOrInsertingKeepsTheComboSelectionOnItsItem) {
    ComboBoxControl sorted(true), plain(false);
    for (ComboBoxControl* combo : {&sorted, &plain}) {
        combo->AddString("B");
        combo->AddString("D");
        combo->SetCurSel(1);
    }
    EXPECT_EQ(sorted.AddString("a"), 0);
    plain.InsertString(0, "a");
    EXPECT_EQ(sorted.Items(), plain.Items());  // a B D
    for (ComboBoxControl* combo : {&sorted, &plain}) EXPECT_EQ(combo->CurSel(), 2);
    EXPECT_EQ(sorted.AddString("E"), 3);
    EXPECT_EQ(sorted.CurSel(), 2);
}

// A view showing the revision before learns the one row to copy, an older one (or none) refills, a current one nothing.
TEST(ControlsTest, AViewOfTheRowsCopiesOneRowOrRefillsThemAll) {
    ListBoxControl list;
    const auto change = [&](RowsControl::Revision shown) {
        return std::pair(list.ChangeSince(shown).kind, list.ChangeSince(shown).row);
    };
    list.SetItems({"a", "b", "c"});
    const RowsControl::Revision loaded = list.CurrentRevision();
    EXPECT_EQ(change(RowsControl::kNothingShown), std::pair(ListChange::kRefilled, 0));
    list.DeleteString(0);
    EXPECT_EQ(change(loaded), std::pair(ListChange::kRemoved, 0));
    list.InsertString(1, "d");
    EXPECT_EQ(std::tuple(change(loaded + 1), change(loaded).first, change(loaded + 2).first),
              std::tuple(std::pair(ListChange::kInserted, 1), ListChange::kRefilled, ListChange::kNone));
    EXPECT_EQ(list.Items(), (std::deque<std::string>{"b", "d", "c"}));
}

TEST(ControlsTest, ObserversCanLeaveOrChangeTheControlDuringANotification) {
    EditControl edit;
    Calls calls;
    Control::ObserverId first = 0, third = 0, late = 0;
    first = edit.Observe([&] {
        calls.push_back("first " + edit.Text());
        edit.Unobserve(first);  // itself, while it runs
        edit.Unobserve(third);  // and one not yet called in this round
        if (!late) late = edit.Observe([&] { calls.push_back("late " + edit.Text()); });
        edit.SetText("b");      // a nested round
    });
    const Control::ObserverId second = edit.Observe([&] { calls.push_back("second " + edit.Text()); });
    third = edit.Observe([&] { calls.push_back("third"); });
    edit.SetText("a");
    // The one added meanwhile hears the next change (the nested one); both rounds skip those that left.
    EXPECT_EQ(calls, (Calls{"first a", "second b", "late b", "second b"}));
    calls.clear();
    edit.Unobserve(second);
    edit.SetText("c");
    EXPECT_EQ(calls, Calls{"late c"});
}

// Subscriptions end with their window, which may close, its controls going, from inside a notification.
TEST(ControlsTest, SubscriptionsEndWithTheirWindowEvenDuringANotificationAndOutliveTheControl) {
    auto edit = std::make_unique<EditControl>();
    Calls calls;
    ControlSubscription first(*edit, [&] { calls.push_back("first"); });
    first = ControlSubscription(*edit, [&] { calls.push_back("staying " + edit->Text()); });  // ends the first
    ControlSubscription staying(std::move(first));
    first.Reset();  // moved from: ends nothing
    {
        ControlSubscription scoped(*edit, [&] { calls.push_back("scoped"); });
    }
    edit->SetText("a");
    edit->SetText("b");
    edit->Observe([&] { edit.reset(); });  // the window and its controls go
    ControlSubscription late(*edit, [&] { calls.push_back("late"); });
    edit->SetText("closing");
    EXPECT_EQ(calls, (Calls{"staying a", "staying b", "staying closing"}));
    EXPECT_TRUE(edit == nullptr && !staying.Active() && !late.Active());
}

}  // namespace
}  // namespace sked
