// The control models: every change of what a view shows notifies the
// observers once, a repeated value nobody, and observers can leave at any time.
#include "platform/controls.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace sked {
namespace {

using Act = std::function<void(Control&)>;

// `call` on the control as a T.
template <typename T>
Act On(std::function<void(T&)> call) {
    return [call](Control& c) { call(dynamic_cast<T&>(c)); };
}

std::unique_ptr<Control> Edit(const std::string& text = "", int scrolled = 0) {
    auto edit = std::make_unique<EditControl>(101);
    edit->SetText(text);
    edit->ScrollLines(scrolled);
    return edit;
}

std::unique_ptr<Control> List(std::vector<std::string> items, int selection = -1) {
    auto list = std::make_unique<ListBoxControl>(102);
    for (const auto& item : items) list->AddString(item);
    list->SetCurSel(selection);
    return list;
}

std::unique_ptr<Control> Combo(std::vector<std::string> items, const std::string& editText = "", int selection = -1) {
    auto combo = std::make_unique<ComboBoxControl>(103, false);
    for (const auto& item : items) combo->AddString(item);
    combo->SetCurSel(selection);
    combo->SetEditText(editText);
    return combo;
}

std::unique_ptr<Control> Trackbar(int pos) {
    auto bar = std::make_unique<TrackbarControl>(104);
    bar->SetPos(pos);
    return bar;
}

TEST(ControlsTest, EverySetterNotifiesOnceOnAChangeAndNeverWhenNothingChanges) {
    using E = EditControl;
    using L = ListBoxControl;
    using C = ComboBoxControl;
    using T = TrackbarControl;
    auto box = [] { return std::make_unique<CheckBoxControl>(105); };
    auto button = [] { return std::make_unique<ButtonControl>(106, "Start"); };
    // A control in its starting state, a call that changes what it shows, and
    // a call that leaves it as it is (by default the change repeated).
    const struct {
        const char* name;
        std::function<std::unique_ptr<Control>()> make;
        Act change, noChange = {};
    } cases[] = {
        {"enabled", [] { return Edit(); }, [](Control& c) { c.SetEnabled(false); }},
        {"edit text", [] { return Edit(); }, On<E>([](E& e) { e.SetText("RYRY"); })},
        {"read-only", [] { return Edit(); }, On<E>([](E& e) { e.SetReadOnly(true); })},
        {"margins", [] { return Edit(); }, On<E>([](E& e) { e.SetMargins(0, 75); })},
        {"one margin", [] { return Edit(); }, On<E>([](E& e) { e.SetMargins(4, 0); })},
        {"selection", [] { return Edit("abcdef"); }, On<E>([](E& e) { e.SetSelection(2, 3); })},
        {"selection end", [] { return Edit("abcdef"); }, On<E>([](E& e) { e.SetSelection(0, 1); })},
        {"scroll to the last line", [] { return Edit("1\n2\n3\n4"); }, On<E>([](E& e) { e.ScrollLines(10); })},
        {"scroll to the top", [] { return Edit("1\n2\n3\n4", 2); }, On<E>([](E& e) { e.ScrollLines(-5); })},
        {"list add", [] { return List({}); }, On<L>([](L& l) { l.AddString("a"); }),
         On<L>([](L& l) { l.DeleteString(5); })},
        {"list insert", [] { return List({"a"}); }, On<L>([](L& l) { l.InsertString(0, "b"); }),
         On<L>([](L& l) { l.DeleteString(-1); })},
        {"list delete", [] { return List({"a", "b"}); }, On<L>([](L& l) { l.DeleteString(0); }),
         On<L>([](L& l) { l.DeleteString(1); })},
        {"list reset", [] { return List({"a", "b"}); }, On<L>([](L& l) { l.ResetContent(); })},
        {"list selection", [] { return List({"a", "b"}); }, On<L>([](L& l) { l.SetCurSel(1); })},
        {"list selection cleared", [] { return List({"a", "b"}, 0); }, On<L>([](L& l) { l.SetCurSel(-1); }),
         On<L>([](L& l) { l.SetCurSel(7); })},  // out of range: still nothing
        {"combo add", [] { return Combo({}); }, On<C>([](C& c) { c.AddString("a"); }),
         On<C>([](C& c) { c.DeleteString(3); })},
        {"combo insert", [] { return Combo({"a"}); }, On<C>([](C& c) { c.InsertString(0, "b"); }),
         On<C>([](C& c) { c.DeleteString(-2); })},
        {"combo delete", [] { return Combo({"a", "b"}); }, On<C>([](C& c) { c.DeleteString(1); })},
        {"combo reset of the edit text alone", [] { return Combo({}, "typed"); },
         On<C>([](C& c) { c.ResetContent(); })},
        {"combo selection", [] { return Combo({"a", "b"}); }, On<C>([](C& c) { c.SetCurSel(1); })},
        {"combo selection of the item typed", [] { return Combo({"a", "b"}, "b"); },
         On<C>([](C& c) { c.SetCurSel(1); })},
        {"combo selection over a typed text", [] { return Combo({"a", "b"}, "typed", 1); },
         On<C>([](C& c) { c.SetCurSel(1); })},
        {"combo edit text", [] { return Combo({"a"}); }, On<C>([](C& c) { c.SetEditText("x"); })},
        {"drop-down", [] { return Combo({"a"}); }, On<C>([](C& c) { c.ShowDropDown(true); })},
        {"check", box, On<CheckBoxControl>([](CheckBoxControl& b) { b.SetCheck(1); })},
        {"third state", box, On<CheckBoxControl>([](CheckBoxControl& b) { b.SetCheck(2); })},
        {"visibility", box, On<CheckBoxControl>([](CheckBoxControl& b) { b.SetVisible(false); })},
        {"caption", button, On<ButtonControl>([](ButtonControl& b) { b.SetCaption("Stop"); })},
        {"radio mark", button, On<ButtonControl>([](ButtonControl& b) { b.SetChecked(true); })},
        {"trackbar range", [] { return Trackbar(0); }, On<T>([](T& t) { t.SetRange(0, 500); })},
        {"trackbar range moving the position", [] { return Trackbar(80); }, On<T>([](T& t) { t.SetRange(0, 50); })},
        {"trackbar position", [] { return Trackbar(0); }, On<T>([](T& t) { t.SetPos(40); })},
        {"trackbar position beyond the range", [] { return Trackbar(0); }, On<T>([](T& t) { t.SetPos(500); }),
         On<T>([](T& t) { t.SetPos(100); })},  // already held at the maximum
    };
    for (const auto& setter : cases) {
        SCOPED_TRACE(setter.name);
        std::unique_ptr<Control> control = setter.make();
        int calls = 0;
        control->Observe([&] { ++calls; });
        setter.change(*control);
        EXPECT_EQ(calls, 1);
        (setter.noChange ? setter.noChange : setter.change)(*control);
        EXPECT_EQ(calls, 1);
    }
}

TEST(ControlsTest, AddingOrInsertingKeepsTheComboSelectionOnItsItem) {
    ComboBoxControl sorted(1, true), plain(2, false);
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

TEST(ControlsTest, ObserversCanLeaveDuringANotification) {
    EditControl edit(1);
    std::vector<std::string> calls;
    Control::ObserverId first = 0, second = 0, third = 0, late = 0;
    first = edit.Observe([&] {
        calls.push_back("first");
        edit.Unobserve(first);  // itself, while it runs
        edit.Unobserve(third);  // and one not yet called in this round
        if (!late) late = edit.Observe([&] { calls.push_back("late"); });
    });
    second = edit.Observe([&] { calls.push_back("second"); });
    third = edit.Observe([&] { calls.push_back("third"); });
    EXPECT_TRUE(first != 0 && first != second && second != third);

    edit.SetText("a");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));  // one added meanwhile waits for the next change
    calls.clear();
    edit.SetText("b");
    EXPECT_EQ(calls, (std::vector<std::string>{"second", "late"}));

    calls.clear();
    edit.Unobserve(second);
    edit.Unobserve(second);  // twice, and ids never handed out: ignored
    edit.Unobserve(0);
    edit.Unobserve(9999);
    edit.SetText("c");
    EXPECT_EQ(calls, std::vector<std::string>{"late"});
}

TEST(ControlsTest, AChangeMadeByAnObserverReachesEveryoneAndLeavesNoRemovedObserverBehind) {
    EditControl edit(1);
    std::vector<std::string> seen;
    Control::ObserverId echo = 0;
    echo = edit.Observe([&] {
        seen.push_back("echo " + edit.Text());
        if (edit.Text() == "a") {
            edit.Unobserve(echo);
            edit.SetText("b");  // a nested round
        }
    });
    edit.Observe([&] { seen.push_back("view " + edit.Text()); });
    edit.SetText("a");
    EXPECT_EQ(seen, (std::vector<std::string>{"echo a", "view b", "view b"}));
    seen.clear();
    edit.SetText("c");
    EXPECT_EQ(seen, std::vector<std::string>{"view c"});
}

// A window may close, and its controls go, from inside a notification.
TEST(ControlsTest, AnObserverMayDestroyTheControlOrTheWindowOfAnother) {
    auto edit = std::make_unique<EditControl>(1);
    int after = 0;
    edit->Observe([&] { edit.reset(); });
    edit->Observe([&] { ++after; });  // belongs to the window that has gone
    ControlSubscription subscription(*edit, [&] { ++after; });
    edit->SetText("closing");
    EXPECT_EQ(edit, nullptr);
    EXPECT_EQ(after, 0);
    EXPECT_FALSE(subscription.Active());

    ButtonControl button(1, "Start");
    struct Window {
        ControlSubscription subscription;
        int calls = 0;
    };
    auto closing = std::make_unique<Window>(), staying = std::make_unique<Window>();
    closing->subscription = ControlSubscription(button, [&] { closing.reset(); });
    staying->subscription = ControlSubscription(button, [w = staying.get()] { ++w->calls; });
    button.SetCaption("Stop");
    EXPECT_EQ(closing, nullptr);
    button.SetCaption("Start");
    EXPECT_EQ(staying->calls, 2);
}

TEST(ControlsTest, SubscriptionsUnsubscribeWhenTheyGoAway) {
    TrackbarControl bar(1);
    std::vector<int> seen;
    {
        ControlSubscription scoped(bar, [&] { seen.push_back(bar.Pos()); });
        EXPECT_TRUE(scoped.Active());
        bar.SetPos(10);
    }
    bar.SetPos(20);
    EXPECT_EQ(seen, std::vector<int>{10});

    // Moved: only the new owner hears, and it unsubscribes once.
    ControlSubscription moved;
    EXPECT_FALSE(moved.Active());
    {
        ControlSubscription original(bar, [&] { seen.push_back(-bar.Pos()); });
        moved = std::move(original);
        EXPECT_FALSE(original.Active());
    }
    bar.SetPos(30);
    EXPECT_EQ(seen, (std::vector<int>{10, -30}));

    // Assigning over a subscription ends the old one.
    moved = ControlSubscription(bar, [&] { seen.push_back(1000 + bar.Pos()); });
    bar.SetPos(40);
    ControlSubscription constructed(std::move(moved));
    bar.SetPos(50);
    EXPECT_EQ(seen, (std::vector<int>{10, -30, 1040, 1050}));
    constructed.Reset();
    EXPECT_FALSE(constructed.Active());
    bar.SetPos(60);
    EXPECT_EQ(seen.size(), 4u);

    // One that outlives its control.
    {
        CheckBoxControl box(1);
        constructed = ControlSubscription(box, [] {});
        EXPECT_TRUE(constructed.Active());
    }
    EXPECT_FALSE(constructed.Active());
    constructed.Reset();
}

}  // namespace
}  // namespace sked
