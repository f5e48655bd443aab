// The transmit queue: the schedule's entries in insertion order, each kept as
// read (when it falls due, its name) with the line the queue shows for it.
// Only the head is ever sent. The window's list observes it.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sked {

struct Repetition;

struct QueueEntry {
    std::string text;  // "MM/DD/YYYY HH:MM:SS name ..." as the queue shows it
    std::time_t due = 0;
    std::string name;  // a file under data/ or a "$" command
    // An occurrence of a repeating entry: the entry and its followers, to
    // queue the next one when this one leaves the queue.
    std::shared_ptr<const Repetition> repeats;
    bool IsCommand() const { return !name.empty() && name[0] == '$'; }
};

// The queue line of an entry due at `when`: "MM/DD/YYYY HH:MM:SS " and `rest`.
std::string QueueLine(std::time_t when, const std::string& rest);

// What changed in the queue, so that a list showing it keeps its selection.
struct QueueChange {
    enum Kind { kInserted, kRemoved, kReplaced } kind = kReplaced;
    int index = 0;  // of the entry inserted or removed
};

class TransmitQueue {
public:
    using Observer = std::function<void(const QueueChange& change)>;

    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const QueueEntry& At(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
    const std::deque<QueueEntry>& Entries() const { return entries_; }

    // Replaces the whole queue (a load).
    void Replace(std::vector<QueueEntry> entries);
    // Before entry `index` (at the end when index is Count()).
    void Insert(int index, QueueEntry entry);
    void Remove(int index);

    // Told of every change; Unobserve with the id returned.
    int Observe(Observer observer);
    void Unobserve(int id);

private:
    void Changed(QueueChange change);

    // A deque: the head leaves at every entry sent, and a long queue must not
    // move every entry behind it each time.
    std::deque<QueueEntry> entries_;
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
};

}  // namespace sked
