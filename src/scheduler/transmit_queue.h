// The transmit queue: the schedule's entries in insertion order, each kept
// with its line as the list shows it and what that line says (when it falls
// due, its name). Only the head is ever sent. The window's list observes it.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sked {

struct QueueEntry {
    std::string text;      // "MM/DD/YYYY HH:MM:SS name ..." as loaded or added
    std::time_t due = -1;  // 0 or less: the date and time do not read
    int words = 0;         // words read, up to three
    std::string name;      // the third word: a file under data/ or a "$" command

    static QueueEntry FromLine(const std::string& text);
};

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
    const std::vector<QueueEntry>& Entries() const { return entries_; }
    // The lines as the list shows them.
    std::vector<std::string> Lines() const;

    void Append(const std::string& line);
    void AppendAll(const std::vector<std::string>& lines);
    // Before entry `index` (at the end when index is Count()).
    void Insert(int index, const std::string& line);
    void Remove(int index);
    void Clear();

    // Told of every change; Unobserve with the id returned.
    int Observe(Observer observer);
    void Unobserve(int id);

private:
    void Changed(QueueChange change);

    std::vector<QueueEntry> entries_;
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
};

}  // namespace sked
