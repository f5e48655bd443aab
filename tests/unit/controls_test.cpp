// The control models: a change notifies the observers once, a repeated value nobody; observers may leave any time.
#include "app/controls.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

namespace sked {
namespace {

// `change` notifies the control's observers once; `noChange` (by default `change` again) none.
template <typename T>
void OneNotice(const char* what, std::unique_ptr<T> control, std::type_identity_t<void (*)(T&)> change,
               std::type_identity_t<void (*)(T&)> noChange = nullptr) {
    SCOPED_TRACE(what);
    int calls = 0;
    control->Observe([&] { ++calls; });
    change(*control);
    EXPECT_EQ(calls, 1);
    (noChange ? noChange : change)(*control);
    EXPECT_EQ(calls, 1);
}

std::unique_ptr<EditControl> Edit(const std::string& text = "", int scrolled = 0) {
    auto edit = std::make_unique<EditControl>(101);
    edit->SetText(text);
    edit->ScrollLines(scrolled);
    return edit;
}

template <typename T>
std::unique_ptr<T> List(std::vector<std::string> items, int selection = -1, const std::string& typed = "") {
    std::unique_ptr<T> list;
    if constexpr (std::is_same_v<T, ComboBoxControl>) list = std::make_unique<T>(103, false);
    else list = std::make_unique<T>(102);
    for (const auto& item : items) list->AddString(item);
    list->SetCurSel(selection);
    if constexpr (std::is_same_v<T, ComboBoxControl>) list->SetEditText(typed);
    return list;
}

std::unique_ptr<TrackbarControl> Trackbar(int pos) {
    auto bar = std::make_unique<TrackbarControl>(104);
    bar->SetPos(pos);
    return bar;
}

TEST(ControlsTest, EverySetterNotifiesOnceOnAChangeAndNeverWhenNothingChanges) {
    using E = EditControl;
    using L = ListBoxControl;
    using C = ComboBoxControl;
    using T = TrackbarControl;
    using B = CheckBoxControl;
    using P = ButtonControl;
    OneNotice("enabled", Edit(), [](E& e) { e.SetEnabled(false); });
    OneNotice("edit text", Edit(), [](E& e) { e.SetText("RYRY"); });
    OneNotice("read-only", Edit(), [](E& e) { e.SetReadOnly(true); });
    OneNotice("margins", Edit(), [](E& e) { e.SetMargins(0, 75); });
    OneNotice("one margin", Edit(), [](E& e) { e.SetMargins(4, 0); });
    OneNotice("selection", Edit("abcdef"), [](E& e) { e.SetSelection(2, 3); });
    OneNotice("selection end", Edit("abcdef"), [](E& e) { e.SetSelection(0, 1); });
    OneNotice("scroll to the last line", Edit("1\n2\n3\n4"), [](E& e) { e.ScrollLines(10); });
    OneNotice("scroll to the top", Edit("1\n2\n3\n4", 2), [](E& e) { e.ScrollLines(-5); });
    OneNotice("list add", List<L>({}), [](L& l) { l.AddString("a"); }, [](L& l) { l.DeleteString(5); });
    OneNotice("list insert", List<L>({"a"}), [](L& l) { l.InsertString(0, "b"); }, [](L& l) { l.DeleteString(-1); });
    OneNotice("list delete", List<L>({"a", "b"}), [](L& l) { l.DeleteString(0); }, [](L& l) { l.DeleteString(1); });
    OneNotice("list reset", List<L>({"a", "b"}), [](L& l) { l.ResetContent(); });
    OneNotice("list selection", List<L>({"a", "b"}), [](L& l) { l.SetCurSel(1); });
    OneNotice("list selection cleared", List<L>({"a", "b"}, 0), [](L& l) { l.SetCurSel(-1); },
              [](L& l) { l.SetCurSel(7); });  // out of range: still nothing
    OneNotice("combo add", List<C>({}), [](C& c) { c.AddString("a"); }, [](C& c) { c.DeleteString(3); });
    OneNotice("combo insert", List<C>({"a"}), [](C& c) { c.InsertString(0, "b"); }, [](C& c) { c.DeleteString(-2); });
    OneNotice("combo delete", List<C>({"a", "b"}), [](C& c) { c.DeleteString(1); });
    OneNotice("combo reset of the edit text alone", List<C>({}, -1, "typed"), [](C& c) { c.ResetContent(); });
    OneNotice("combo selection", List<C>({"a", "b"}), [](C& c) { c.SetCurSel(1); });
    OneNotice("combo selection of the item typed", List<C>({"a", "b"}, -1, "b"), [](C& c) { c.SetCurSel(1); });
    OneNotice("combo selection over a typed text", List<C>({"a", "b"}, 1, "typed"), [](C& c) { c.SetCurSel(1); });
    OneNotice("combo edit text", List<C>({"a"}), [](C& c) { c.SetEditText("x"); });
    OneNotice("drop-down", List<C>({"a"}), [](C& c) { c.ShowDropDown(true); });
    OneNotice("check", std::make_unique<B>(105), [](B& b) { b.SetCheck(1); });
    OneNotice("third state", std::make_unique<B>(105), [](B& b) { b.SetCheck(2); });
    OneNotice("visibility", std::make_unique<B>(105), [](B& b) { b.SetVisible(false); });
    OneNotice("caption", std::make_unique<P>(106, "Start"), [](P& b) { b.SetCaption("Stop"); });
    OneNotice("radio mark", std::make_unique<P>(106, "Start"), [](P& b) { b.SetChecked(true); });
    OneNotice("trackbar range", Trackbar(0), [](T& t) { t.SetRange(0, 500); });
    OneNotice("trackbar range moving the position", Trackbar(80), [](T& t) { t.SetRange(0, 50); });
    OneNotice("trackbar position", Trackbar(0), [](T& t) { t.SetPos(40); });
    OneNotice("trackbar position beyond the range", Trackbar(0), [](T& t) { t.SetPos(500); },
              [](T& t) { t.SetPos(100); });  // already held at the maximum
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
    EXPECT_EQ(seen.size(), 4u);  // one that outlives its control: the test above
}

}  // namespace
}  // namespace sked
