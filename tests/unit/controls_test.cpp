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

// One setter: a control in its starting state, a call that changes what it
// shows, and a call that leaves it as it is (by default the change repeated).
struct SetterCase {
    const char* name;
    std::function<std::unique_ptr<Control>()> make;
    std::function<void(Control&)> change;
    std::function<void(Control&)> noChange = {};
};

template <typename T>
T& As(Control& control) {
    return dynamic_cast<T&>(control);
}

std::unique_ptr<Control> Edit(const std::string& text = "") {
    auto edit = std::make_unique<EditControl>(101);
    edit->SetText(text);
    return edit;
}

std::unique_ptr<Control> List(std::vector<std::string> items, int selection = -1) {
    auto list = std::make_unique<ListBoxControl>(102);
    for (const auto& item : items) list->AddString(item);
    list->SetCurSel(selection);
    return list;
}

std::unique_ptr<Control> Combo(std::vector<std::string> items, const std::string& editText = "", bool sorted = false) {
    auto combo = std::make_unique<ComboBoxControl>(103, sorted);
    for (const auto& item : items) combo->AddString(item);
    combo->SetEditText(editText);
    return combo;
}

std::unique_ptr<Control> Trackbar(int pos) {
    auto bar = std::make_unique<TrackbarControl>(104);
    bar->SetPos(pos);
    return bar;
}

const std::vector<SetterCase>& SetterCases() {
    static const std::vector<SetterCase> cases = {
        {"enabled", [] { return Edit(); }, [](Control& c) { c.SetEnabled(false); }},
        {"edit text", [] { return Edit(); }, [](Control& c) { As<EditControl>(c).SetText("RYRY"); }},
        {"read-only", [] { return Edit(); }, [](Control& c) { As<EditControl>(c).SetReadOnly(true); }},
        {"margins", [] { return Edit(); }, [](Control& c) { As<EditControl>(c).SetMargins(0, 75); }},
        {"one margin", [] { return Edit(); }, [](Control& c) { As<EditControl>(c).SetMargins(4, 0); }},
        {"selection", [] { return Edit("abcdef"); }, [](Control& c) { As<EditControl>(c).SetSelection(2, 3); }},
        {"selection end", [] { return Edit("abcdef"); }, [](Control& c) { As<EditControl>(c).SetSelection(0, 1); }},
        {"scrolling down to the last line", [] { return Edit("1\n2\n3\n4"); },
         [](Control& c) { As<EditControl>(c).ScrollLines(10); }},
        {"scrolling back to the top",
         [] {
             auto edit = Edit("1\n2\n3\n4");
             As<EditControl>(*edit).ScrollLines(2);
             return edit;
         },
         [](Control& c) { As<EditControl>(c).ScrollLines(-5); }},
        {"list add", [] { return List({}); }, [](Control& c) { As<ListBoxControl>(c).AddString("a"); },
         [](Control& c) { As<ListBoxControl>(c).DeleteString(5); }},
        {"list insert", [] { return List({"a"}); }, [](Control& c) { As<ListBoxControl>(c).InsertString(0, "b"); },
         [](Control& c) { As<ListBoxControl>(c).DeleteString(-1); }},
        {"list delete", [] { return List({"a", "b"}); }, [](Control& c) { As<ListBoxControl>(c).DeleteString(0); },
         [](Control& c) { As<ListBoxControl>(c).DeleteString(1); }},
        {"list reset", [] { return List({"a", "b"}); }, [](Control& c) { As<ListBoxControl>(c).ResetContent(); }},
        {"list selection", [] { return List({"a", "b"}); }, [](Control& c) { As<ListBoxControl>(c).SetCurSel(1); }},
        {"list selection cleared", [] { return List({"a", "b"}, 0); },
         [](Control& c) { As<ListBoxControl>(c).SetCurSel(-1); },
         [](Control& c) { As<ListBoxControl>(c).SetCurSel(7); }},  // out of range: still nothing
        {"combo add", [] { return Combo({}); }, [](Control& c) { As<ComboBoxControl>(c).AddString("a"); },
         [](Control& c) { As<ComboBoxControl>(c).DeleteString(3); }},
        {"combo insert", [] { return Combo({"a"}); }, [](Control& c) { As<ComboBoxControl>(c).InsertString(0, "b"); },
         [](Control& c) { As<ComboBoxControl>(c).DeleteString(-2); }},
        {"combo delete", [] { return Combo({"a", "b"}); }, [](Control& c) { As<ComboBoxControl>(c).DeleteString(1); },
         [](Control& c) { As<ComboBoxControl>(c).DeleteString(1); }},
        {"combo reset of the edit text alone", [] { return Combo({}, "typed"); },
         [](Control& c) { As<ComboBoxControl>(c).ResetContent(); }},
        {"combo selection", [] { return Combo({"a", "b"}); }, [](Control& c) { As<ComboBoxControl>(c).SetCurSel(1); }},
        {"combo selection of the item already typed", [] { return Combo({"a", "b"}, "b"); },
         [](Control& c) { As<ComboBoxControl>(c).SetCurSel(1); }},
        {"combo selection filling the edit text",
         [] {
             auto combo = Combo({"a", "b"});
             As<ComboBoxControl>(*combo).SetCurSel(1);
             As<ComboBoxControl>(*combo).SetEditText("typed");
             return combo;
         },
         [](Control& c) { As<ComboBoxControl>(c).SetCurSel(1); }},
        {"combo edit text", [] { return Combo({"a"}); }, [](Control& c) { As<ComboBoxControl>(c).SetEditText("x"); }},
        {"drop-down", [] { return Combo({"a"}); }, [](Control& c) { As<ComboBoxControl>(c).ShowDropDown(true); }},
        {"check", [] { return std::make_unique<CheckBoxControl>(105); },
         [](Control& c) { As<CheckBoxControl>(c).SetCheck(1); }},
        {"third state", [] { return std::make_unique<CheckBoxControl>(105); },
         [](Control& c) { As<CheckBoxControl>(c).SetCheck(2); }},
        {"visibility", [] { return std::make_unique<CheckBoxControl>(105); },
         [](Control& c) { As<CheckBoxControl>(c).SetVisible(false); }},
        {"caption", [] { return std::make_unique<ButtonControl>(106, "Start"); },
         [](Control& c) { As<ButtonControl>(c).SetCaption("Stop"); }},
        {"radio mark", [] { return std::make_unique<ButtonControl>(106, "FSK"); },
         [](Control& c) { As<ButtonControl>(c).SetChecked(true); }},
        {"trackbar range", [] { return Trackbar(0); }, [](Control& c) { As<TrackbarControl>(c).SetRange(0, 500); }},
        {"trackbar range moving the position", [] { return Trackbar(80); },
         [](Control& c) { As<TrackbarControl>(c).SetRange(0, 50); }},
        {"trackbar position", [] { return Trackbar(0); }, [](Control& c) { As<TrackbarControl>(c).SetPos(40); }},
        {"trackbar position beyond the range", [] { return Trackbar(0); },
         [](Control& c) { As<TrackbarControl>(c).SetPos(500); },
         [](Control& c) { As<TrackbarControl>(c).SetPos(100); }},  // already held at the maximum
    };
    return cases;
}

TEST(ControlsTest, EverySetterNotifiesOnceOnAChangeAndNeverWhenNothingChanges) {
    for (const SetterCase& setter : SetterCases()) {
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
    for (ComboBoxControl* combo : {&sorted, &plain}) {
        EXPECT_EQ(combo->CurSel(), 2);
        EXPECT_EQ(combo->Item(combo->CurSel()), "D");
    }
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
    EXPECT_NE(first, 0);
    EXPECT_NE(first, second);
    EXPECT_NE(second, third);

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

TEST(ControlsTest, AnObserverMayDestroyTheControlItWatches) {
    auto edit = std::make_unique<EditControl>(1);
    int after = 0;
    edit->Observe([&] { edit.reset(); });
    edit->Observe([&] { ++after; });  // belongs to the window that has gone
    ControlSubscription subscription(*edit, [&] { ++after; });
    edit->SetText("closing");
    EXPECT_EQ(edit, nullptr);
    EXPECT_EQ(after, 0);
    EXPECT_FALSE(subscription.Active());
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
    EXPECT_EQ(seen, (std::vector<int>{10, -30, 1040}));
    ControlSubscription constructed(std::move(moved));
    bar.SetPos(50);
    EXPECT_EQ(seen, (std::vector<int>{10, -30, 1040, 1050}));
    constructed.Reset();
    EXPECT_FALSE(constructed.Active());
    bar.SetPos(60);
    EXPECT_EQ(seen.size(), 4u);
}

TEST(ControlsTest, AWindowClosedByItsOwnObserverIsNotCalledAgain) {
    ButtonControl button(1, "Start");
    struct Window {
        ControlSubscription subscription;
        int calls = 0;
    };
    auto closing = std::make_unique<Window>();
    auto staying = std::make_unique<Window>();
    closing->subscription = ControlSubscription(button, [&, w = closing.get()] {
        ++w->calls;
        closing.reset();  // the window closes itself while it is being told
    });
    staying->subscription = ControlSubscription(button, [w = staying.get()] { ++w->calls; });
    button.SetCaption("Stop");
    EXPECT_EQ(closing, nullptr);
    button.SetCaption("Start");
    EXPECT_EQ(staying->calls, 2);
}

TEST(ControlsTest, ASubscriptionMayOutliveItsControl) {
    ControlSubscription subscription;
    {
        CheckBoxControl box(1);
        subscription = ControlSubscription(box, [] {});
        EXPECT_TRUE(subscription.Active());
    }
    EXPECT_FALSE(subscription.Active());
    subscription.Reset();
}

}  // namespace
}  // namespace sked
